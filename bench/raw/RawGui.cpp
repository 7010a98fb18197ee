/* Raw window baselines with plain GTK 2: what the editor's widgets cost without our code around them. */
#include "RawGui.h"

namespace raw {

namespace {

const int ICON = 32;

GtkWidget* Scrolled(GtkWidget* child, int width, int height)
{
    GtkWidget* scroll = gtk_scrolled_window_new(NULL, NULL);
    gtk_widget_set_size_request(scroll, width, height);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroll), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
    gtk_container_add(GTK_CONTAINER(scroll), child);
    return scroll;
}

GtkTreeViewColumn* FixedColumn(GtkWidget* view, const char* title, GtkCellRenderer* renderer, const char* attribute,
                               int column, int width)
{
    GtkTreeViewColumn* c = gtk_tree_view_column_new_with_attributes(title, renderer, attribute, column, NULL);
    gtk_tree_view_column_set_sizing(c, GTK_TREE_VIEW_COLUMN_FIXED);
    gtk_tree_view_column_set_fixed_width(c, width);
    gtk_tree_view_append_column(GTK_TREE_VIEW(view), c);
    return c;
}

GtkWidget* ProgramView(GtkListStore* store)
{
    GtkWidget* view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
    FixedColumn(view, "Show", gtk_cell_renderer_toggle_new(), "active", 0, 50);
    GtkCellRenderer* pixbuf = gtk_cell_renderer_pixbuf_new();
    gtk_cell_renderer_set_fixed_size(pixbuf, ICON, ICON);
    FixedColumn(view, "", pixbuf, "pixbuf", 1, ICON + 8);
    GtkCellRenderer* text = gtk_cell_renderer_text_new();
    g_object_set(text, "ellipsize", PANGO_ELLIPSIZE_END, NULL);
    gtk_tree_view_column_set_expand(FixedColumn(view, "Program name", text, "text", 2, 200), TRUE);
    gtk_tree_view_set_fixed_height_mode(GTK_TREE_VIEW(view), TRUE);
    return view;
}

GtkWidget* Frame(GtkWidget** notebook)
{
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_set_size_request(window, 525, 350);
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER_ON_PARENT);
    gtk_window_set_modal(GTK_WINDOW(window), TRUE);
    gtk_window_set_title(GTK_WINDOW(window), "Shell Settings");
    gtk_window_set_wmclass(GTK_WINDOW(window), "Shell Settings", "KEL");
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    GtkWidget* box = gtk_vbox_new(FALSE, 5);
    gtk_container_add(GTK_CONTAINER(window), box);
    *notebook = gtk_notebook_new();
    gtk_container_set_border_width(GTK_CONTAINER(*notebook), 8);
    gtk_box_pack_start(GTK_BOX(box), *notebook, FALSE, FALSE, 0);
    GtkWidget* panel = gtk_event_box_new();
    gtk_widget_set_name(panel, "button-panel.GtkEventBox");
    gtk_box_pack_end(GTK_BOX(box), panel, FALSE, TRUE, 0);
    GtkWidget* row = gtk_hbox_new(FALSE, 5);
    gtk_widget_set_name(row, "font-white");
    gtk_container_set_border_width(GTK_CONTAINER(row), 3);
    gtk_container_add(GTK_CONTAINER(panel), row);
    const char* labels[] = {"OK", "Apply", "Cancel"};
    for (const char* label : labels) {
        GtkWidget* button = gtk_button_new_with_label(label);
        gtk_widget_set_size_request(button, 95, 32);
        gtk_box_pack_end(GTK_BOX(row), button, FALSE, FALSE, 0);
        gtk_widget_set_tooltip_text(button, label);
    }
    return window;
}

GtkWidget* LegendImage(const std::string& file)
{
    GdkPixbuf* pb = gdk_pixbuf_new_from_file(file.c_str(), NULL);
    GtkWidget* image = gtk_image_new_from_pixbuf(pb);
    if (pb)
        g_object_unref(pb);
    return image;
}

/* The lock page; grid[day][hour] receives the toggle buttons. */
GtkWidget* LockPage(GtkWidget* notebook, const std::string& imageDir, GtkWidget* grid[7][24])
{
    GtkWidget* page = gtk_vbox_new(FALSE, 5);
    gtk_notebook_append_page(GTK_NOTEBOOK(notebook), page, gtk_label_new("Shell Lock Settings"));
    GtkWidget* heading = gtk_hbox_new(FALSE, 5);
    gtk_box_pack_start(GTK_BOX(page), heading, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(heading), gtk_label_new("Shell Lock Settings"), FALSE, FALSE, 10);
    GtkWidget* autoRow = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(page), autoRow, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(autoRow), gtk_check_button_new(), FALSE, FALSE, 10);
    GtkWidget* label = gtk_label_new_with_mnemonic("Automatically lock Daxwyn");
    gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
    gtk_widget_set_size_request(label, 295, 25);
    gtk_misc_set_alignment(GTK_MISC(label), 0, 0.5);
    gtk_widget_set_tooltip_text(label, "Automatically lock Daxwyn");
    gtk_box_pack_start(GTK_BOX(autoRow), label, FALSE, FALSE, 0);
    gtk_box_pack_end(GTK_BOX(autoRow), gtk_label_new("Lock"), FALSE, FALSE, 10);
    gtk_box_pack_end(GTK_BOX(autoRow), LegendImage(imageDir + "sc_locked.png"), FALSE, FALSE, 5);
    gtk_box_pack_end(GTK_BOX(autoRow), gtk_label_new("Unlock"), FALSE, FALSE, 10);
    gtk_box_pack_end(GTK_BOX(autoRow), LegendImage(imageDir + "sc_unlocked.png"), FALSE, FALSE, 5);

    GtkWidget* gridRow = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(page), gridRow, FALSE, FALSE, 0);
    GtkWidget* gridBox = gtk_vbox_new(FALSE, 0);
    gtk_container_set_border_width(GTK_CONTAINER(gridBox), 5);
    gtk_box_pack_start(GTK_BOX(gridRow), gridBox, FALSE, FALSE, 0);
    GtkWidget* table = gtk_table_new(8, 29, TRUE);
    gtk_box_pack_start(GTK_BOX(gridBox), table, FALSE, FALSE, 0);
    const char* hours[] = {"0", "2", "4", "6", " 8", "10", "12", "14", "16", "18", "20", "22"};
    const guint lefts[] = {3, 5, 7, 9, 12, 14, 16, 18, 21, 23, 25, 27};
    for (int i = 0; i < 12; ++i) {
        GtkWidget* h = gtk_label_new(hours[i]);
        gtk_misc_set_alignment(GTK_MISC(h), 0.1, 0.5);
        gtk_table_attach_defaults(GTK_TABLE(table), h, lefts[i], lefts[i] + 2, 0, 1);
    }
    const char* days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    GdkColor freeColour = {0, 0xCC00, 0xCC00, 0x9900};
    GdkColor lockedColour = {0, 0x6600, 0x9A00, 0xCC00};
    for (int day = 0; day < 7; ++day) {
        GtkWidget* d = gtk_link_button_new_with_label("", days[day]);
        gtk_button_set_alignment(GTK_BUTTON(d), 0, 0.5);
        gtk_widget_set_size_request(d, 15, 25);
        gtk_widget_set_name(d, "link-button");
        gtk_table_attach_defaults(GTK_TABLE(table), d, 0, 3, day + 1, day + 2);
        for (int hour = 0; hour < 24; ++hour) {
            GtkWidget* b = gtk_toggle_button_new();
            gtk_widget_set_name(b, "admin-calendar-button.GtkToggleButton");
            gtk_widget_set_size_request(b, 17, 18);
            gtk_widget_modify_bg(b, GTK_STATE_NORMAL, &freeColour);
            gtk_widget_modify_bg(b, GTK_STATE_SELECTED, &lockedColour);
            gtk_widget_modify_bg(b, GTK_STATE_ACTIVE, &lockedColour);
            gtk_widget_modify_bg(b, GTK_STATE_PRELIGHT, &lockedColour);
            guint column = hour < 8 ? 3 + hour : hour < 16 ? 4 + hour : 5 + hour;
            gtk_table_attach_defaults(GTK_TABLE(table), b, column, column + 1, day + 1, day + 2);
            if (grid)
                grid[day][hour] = b;
        }
    }
    return page;
}

} // namespace

IconCache::IconCache(const std::string& fallback, int size)
    : m_Fallback(fallback)
    , m_Size(size)
    , m_Decodes(0)
    , m_FallbackTried(false)
    , m_FallbackPixbuf(NULL)
{
}

IconCache::~IconCache()
{
    for (auto& entry : m_Pixbufs)
        if (entry.second)
            g_object_unref(entry.second);
    if (m_FallbackPixbuf)
        g_object_unref(m_FallbackPixbuf);
}

GdkPixbuf* IconCache::Decode(const std::string& path)
{
    ++m_Decodes;
    return m_Size > 0 ? gdk_pixbuf_new_from_file_at_size(path.c_str(), m_Size, m_Size, NULL)
                      : gdk_pixbuf_new_from_file(path.c_str(), NULL);
}

GdkPixbuf* IconCache::Get(const std::string& path)
{
    GdkPixbuf* pb = NULL;
    if (!path.empty()) {
        auto it = m_Pixbufs.find(path);
        if (it == m_Pixbufs.end())
            it = m_Pixbufs.insert(std::make_pair(path, Decode(path))).first;
        pb = it->second;
    }
    if (!pb) {
        if (!m_FallbackTried) {
            m_FallbackTried = true;
            m_FallbackPixbuf = Decode(m_Fallback);
        }
        pb = m_FallbackPixbuf;
    }
    return pb;
}

ListWindow NewProgramListWindow()
{
    ListWindow w;
    w.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_set_size_request(w.window, 525, 350);
    gtk_window_set_resizable(GTK_WINDOW(w.window), FALSE);
    w.store = gtk_list_store_new(4, G_TYPE_BOOLEAN, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_POINTER);
    w.view = ProgramView(w.store);
    GtkWidget* box = gtk_vbox_new(FALSE, 5);
    gtk_box_pack_start(GTK_BOX(box), Scrolled(w.view, 340, 225), FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(w.window), box);
    return w;
}

ListWindow NewResultListWindow(int iconSize)
{
    ListWindow w;
    w.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_set_size_request(w.window, 360, 240);
    gtk_window_set_resizable(GTK_WINDOW(w.window), FALSE);
    w.store = gtk_list_store_new(3, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_POINTER);
    w.view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(w.store));
    gtk_tree_selection_set_mode(gtk_tree_view_get_selection(GTK_TREE_VIEW(w.view)), GTK_SELECTION_MULTIPLE);
    gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(w.view), FALSE);
    gtk_tree_view_set_rules_hint(GTK_TREE_VIEW(w.view), TRUE);
    gtk_widget_set_size_request(w.view, 160, 195);
    GtkCellRenderer* pixbuf = gtk_cell_renderer_pixbuf_new();
    gtk_cell_renderer_set_fixed_size(pixbuf, iconSize, iconSize);
    FixedColumn(w.view, "", pixbuf, "pixbuf", 0, iconSize + 4);
    GtkCellRenderer* text = gtk_cell_renderer_text_new();
    g_object_set(text, "ellipsize", PANGO_ELLIPSIZE_END, NULL);
    gtk_tree_view_column_set_expand(FixedColumn(w.view, "", text, "text", 1, 100), TRUE);
    gtk_tree_view_set_fixed_height_mode(GTK_TREE_VIEW(w.view), TRUE);
    GtkWidget* scroll = gtk_scrolled_window_new(NULL, NULL);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroll), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
    gtk_container_add(GTK_CONTAINER(scroll), w.view);
    GtkWidget* box = gtk_vbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), scroll, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(w.window), box);
    return w;
}

void DestroyListWindow(ListWindow& w)
{
    gtk_widget_destroy(w.window);
    g_object_unref(w.store);
    w = ListWindow();
}

void FillPrograms(GtkListStore* store, const std::vector<App>& apps, IconCache& icons)
{
    GtkTreeIter iter;
    for (const App& a : apps)
        gtk_list_store_insert_with_values(store, &iter, -1, 0, a.enable ? TRUE : FALSE, 1, icons.Get(a.icon), 2,
                                          a.name.c_str(), 3, &a, -1);
}

void FillResults(GtkListStore* store, const std::vector<App>& apps, IconCache& icons)
{
    GtkTreeIter iter;
    for (const App& a : apps)
        gtk_list_store_insert_with_values(store, &iter, -1, 0, icons.Get(a.icon), 1, a.name.c_str(), 2, &a, -1);
}

Editor BuildEditor(const Policy& policy, const Schedule& schedule, int usb, int dialog, IconCache& icons,
                   const std::string& imageDir)
{
    Editor e;
    e.window = Frame(&e.notebook);
    gtk_window_set_icon_from_file(GTK_WINDOW(e.window), (imageDir + "admintool_main.png").c_str(), NULL);

    GtkWidget* grid[7][24];
    LockPage(e.notebook, imageDir, grid);

    GtkWidget* page = gtk_vbox_new(FALSE, 5);
    gtk_widget_set_size_request(page, 480, 265);
    gtk_notebook_append_page(GTK_NOTEBOOK(e.notebook), page, gtk_label_new("Program Registration"));
    GtkWidget* lists = gtk_hbox_new(FALSE, 5);
    gtk_box_pack_start(GTK_BOX(page), lists, FALSE, FALSE, 0);
    e.categories = gtk_list_store_new(3, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_POINTER);
    e.categoryView = gtk_tree_view_new_with_model(GTK_TREE_MODEL(e.categories));
    g_object_unref(e.categories);
    GtkCellRenderer* pixbuf = gtk_cell_renderer_pixbuf_new();
    gtk_cell_renderer_set_fixed_size(pixbuf, ICON, ICON);
    FixedColumn(e.categoryView, "", pixbuf, "pixbuf", 0, ICON + 8);
    GtkCellRenderer* text = gtk_cell_renderer_text_new();
    g_object_set(text, "ellipsize", PANGO_ELLIPSIZE_END, NULL);
    gtk_tree_view_column_set_expand(FixedColumn(e.categoryView, "Category", text, "text", 1, 100), TRUE);
    gtk_tree_view_set_fixed_height_mode(GTK_TREE_VIEW(e.categoryView), TRUE);
    gtk_box_pack_start(GTK_BOX(lists), Scrolled(e.categoryView, 160, 225), FALSE, FALSE, 0);
    e.programs = gtk_list_store_new(4, G_TYPE_BOOLEAN, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_POINTER);
    e.programView = ProgramView(e.programs);
    g_object_unref(e.programs);
    gtk_box_pack_start(GTK_BOX(lists), Scrolled(e.programView, 340, 225), FALSE, FALSE, 0);
    GtkWidget* buttons = gtk_hbox_new(FALSE, 5);
    gtk_widget_set_name(buttons, "small-button");
    gtk_box_pack_start(GTK_BOX(page), buttons, FALSE, FALSE, 0);
    const char* labels[] = {"+", "-", "Edit", "+", "-", "Edit", "Restore to Default"};
    const int widths[] = {32, 32, 55, 32, 32, 55, 155};
    for (int i = 0; i < 7; ++i) {
        GtkWidget* b = gtk_button_new_with_label(labels[i]);
        gtk_widget_set_size_request(b, widths[i], 32);
        gtk_widget_set_tooltip_text(b, labels[i]);
        gtk_box_pack_start(GTK_BOX(buttons), b, FALSE, FALSE, 0);
    }

    GtkWidget* system = gtk_vbox_new(FALSE, 5);
    gtk_notebook_append_page(GTK_NOTEBOOK(e.notebook), system, gtk_label_new("System Settings"));
    gtk_box_pack_start(GTK_BOX(system), gtk_label_new("System Settings"), FALSE, FALSE, 0);
    GtkWidget* checks = gtk_hbox_new(FALSE, 5);
    gtk_box_pack_start(GTK_BOX(system), checks, FALSE, FALSE, 0);
    GtkWidget* usbBox = gtk_check_button_new_with_label("Disable USB storage");
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(usbBox), usb ? FALSE : TRUE);
    gtk_box_pack_start(GTK_BOX(checks), usbBox, FALSE, FALSE, 0);
    GtkWidget* dialogBox = gtk_check_button_new_with_label("Notify when a new student connects");
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(dialogBox), dialog ? TRUE : FALSE);
    gtk_box_pack_start(GTK_BOX(checks), dialogBox, FALSE, FALSE, 0);

    /* The records on the pages: categories, the first category's programs, the locked hours. */
    GtkTreeIter iter;
    for (const Category& c : policy.categories)
        gtk_list_store_insert_with_values(e.categories, &iter, -1, 0, icons.Get(c.icon), 1, c.name.c_str(), 2, &c,
                                          -1);
    if (!policy.categories.empty()) {
        GtkTreePath* first = gtk_tree_path_new_first();
        gtk_tree_view_set_cursor(GTK_TREE_VIEW(e.categoryView), first, NULL, FALSE);
        gtk_tree_path_free(first);
        FillPrograms(e.programs, policy.categories[0].apps, icons);
    }
    for (int day = 0; day < 7; ++day)
        for (int hour = 0; hour < 24; ++hour)
            if (schedule.locked[day][hour])
                gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(grid[day][hour]), TRUE);
    return e;
}

GtkWidget* BuildLockFrame(const std::string& imageDir)
{
    GtkWidget* notebook = NULL;
    GtkWidget* window = Frame(&notebook);
    LockPage(notebook, imageDir, NULL);
    return window;
}

} // namespace raw
