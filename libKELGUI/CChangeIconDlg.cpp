/* The name-and-icon dialog: a name entry, an icon grid over one folder and a file chooser. */
#include "CChangeIconDlg.h"

#include <libintl.h>

#include "CIconCache.h"
#include "CMessageBox.h"
#include "CWidgetLayout.h"
#include "KELConstants.h"
#include "KELDataTools.h"

using LibKELData::CKELDataTools;

namespace LibKELGUI {

namespace {

const char* const CLS = "CChangeIconDlg";
const int GRID_ICON_SIZE = 24;
const int NAME_MAX_CHARS = 64;

enum { COL_IMAGE, COL_NAME, COL_PATH, N_COLS };

/* File names need not be UTF-8; the entry and tooltip must be. */
std::string DisplayPath(const std::string& path)
{
    gchar* shown = g_filename_display_name(path.c_str());
    std::string result = shown ? shown : "";
    g_free(shown);
    return result;
}

GtkWidget* NewLabel(const char* text)
{
    GtkWidget* label = gtk_label_new_with_mnemonic(text);
    gtk_misc_set_alignment(GTK_MISC(label), 0, 0.5);
    SetMinimumSize(label, 76, 25);
    gtk_widget_show(label);
    return label;
}

/* A row packed into box (*row): a label (*label) and the entry it names, which is returned. */
GtkWidget* AppendEntryRow(GtkWidget* box, const char* text, int spacing, int padding, GtkWidget** row,
                          GtkWidget** label)
{
    *row = gtk_hbox_new(FALSE, spacing);
    gtk_box_pack_start(GTK_BOX(box), *row, FALSE, FALSE, padding);
    gtk_widget_show(*row);
    *label = NewLabel(text);
    gtk_box_pack_start(GTK_BOX(*row), *label, FALSE, FALSE, 10);
    GtkWidget* entry = gtk_entry_new();
    /* Entries scroll their text: the width is kept, the height follows the font. */
    gtk_widget_set_size_request(entry, 240, -1);
    SetMinimumSize(entry, 0, 25);
    gtk_box_pack_start(GTK_BOX(*row), entry, FALSE, FALSE, 3);
    gtk_widget_show(entry);
    gtk_label_set_mnemonic_widget(GTK_LABEL(*label), entry);
    return entry;
}

GtkWidget* NewButton(const char* text, int width, int height)
{
    GtkWidget* button = gtk_button_new_with_label(text);
    SetMinimumSize(button, width, height);
    gtk_widget_show(button);
    return button;
}

} // namespace

CChangeIconDlg::CChangeIconDlg(std::string iconDir, std::string iconPath, std::string name, std::string title)
    : m_IconDir(iconDir)
    , m_Title(title)
    , m_pMainBox(NULL)
    , m_pRowBox(NULL)
    , m_pButtonPanel(NULL)
    , m_pIconStore(NULL)
    , m_pScroller(NULL)
    , m_pIconView(NULL)
    , m_pOKBtn(NULL)
    , m_pCancelBtn(NULL)
    , m_pBrowseBtn(NULL)
    , m_pIconDirText(NULL)
    , m_pNameLabel(NULL)
    , m_pNameEntry(NULL)
    , m_pIconPathLabel(NULL)
    , m_pIconPathEntry(NULL)
    , m_IconPath(iconPath)
    , m_Name(name)
    , m_ReturnStatus(0)
    , m_pNameCheck(NULL)
    , m_pNameCheckData(NULL)
{
}

CChangeIconDlg::~CChangeIconDlg()
{
    /* The base destroys the window after our members are gone: nothing of ours may run then. */
    DisconnectHandlers();
    if (m_pIconStore)
        g_object_unref(m_pIconStore);
    g_free(m_pIconDirText);
}

int CChangeIconDlg::Init()
{
    if (m_pWindow || m_bDestroying || m_pIconStore)
        return 0; /* one window per object, even after GTK destroyed it from the frame */

    /* Without a display there is nothing to build; gtk_init would end the host. */
    if (!gtk_init_check(NULL, NULL)) {
        FailureLine("CChangeIconDlg::Init: cannot open the display");
        return 0;
    }
    BuildWindow();
    BuildNameRows();
    BuildIconGrid();
    BuildButtons();
    g_signal_connect(m_pWindow, "destroy", G_CALLBACK(GtkOnWindowDestroyed), this);
    g_signal_connect(m_pBrowseBtn, "clicked", G_CALLBACK(GTK_BROWSE_BTN_CLICKED), this);
    g_signal_connect(m_pIconView, "selection-changed", G_CALLBACK(GtkOnIconViewSelectionChanged), this);
    g_signal_connect(m_pOKBtn, "clicked", G_CALLBACK(GTK_OK_BTN_CLICKED), this);
    g_signal_connect(m_pCancelBtn, "clicked", G_CALLBACK(GTK_CANCEL_BTN_CLICKED), this);
    AssignMnemonics(m_pWindow);
    CloseOnEscape(m_pCancelBtn);
    /* Typing renames at once; Enter is OK. */
    gtk_window_set_focus(GTK_WINDOW(m_pWindow), m_pNameEntry);
    gtk_editable_select_region(GTK_EDITABLE(m_pNameEntry), 0, -1);

    m_bInitialized = true;
    return 0;
}

void CChangeIconDlg::BuildWindow()
{
    m_pWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(m_pWindow);
    gtk_window_set_position(window, GTK_WIN_POS_CENTER);
    gtk_window_set_modal(window, TRUE);
    SetWindowIcon(LibKELData::KEL_ADMIN_TOOL_ICON);
    /* The least size: the icon grid takes what the window grows by. */
    SetMinimumSize(m_pWindow, 450, 250);
    gtk_window_set_title(window, m_Title.c_str());
    gtk_window_set_wmclass(window, m_Title.c_str(), "KEL");

    m_pMainBox = gtk_vbox_new(FALSE, 1);
    gtk_container_set_border_width(GTK_CONTAINER(m_pMainBox), 0);
    gtk_container_add(GTK_CONTAINER(m_pWindow), m_pMainBox);
    gtk_widget_show(m_pMainBox);
}

void CChangeIconDlg::BuildNameRows()
{
    m_pNameEntry = AppendEntryRow(m_pMainBox, Tr("Name:"), 2, 7, &m_pRowBox, &m_pNameLabel);
    /* Enter in the name is OK. */
    gtk_entry_set_activates_default(GTK_ENTRY(m_pNameEntry), TRUE);
    gtk_entry_set_max_length(GTK_ENTRY(m_pNameEntry), NAME_MAX_CHARS);
    gtk_entry_set_text(GTK_ENTRY(m_pNameEntry), m_Name.c_str());
    /* The entry stops at its limit without a sound: say where it is. */
    SetTooltip(m_pNameEntry, Format(Tr("At most %d characters"), NAME_MAX_CHARS).c_str());

    m_pIconPathEntry = AppendEntryRow(m_pMainBox, Tr("Icon Path:"), 1, 0, &m_pRowBox, &m_pIconPathLabel);
    gtk_entry_set_alignment(GTK_ENTRY(m_pIconPathEntry), 0);
    gtk_editable_set_editable(GTK_EDITABLE(m_pIconPathEntry), FALSE);
    ShowIconPath();
    m_pBrowseBtn = NewButton(Tr("Browse..."), 95, 28);
    gtk_box_pack_end(GTK_BOX(m_pRowBox), m_pBrowseBtn, FALSE, FALSE, 9);
}

void CChangeIconDlg::BuildIconGrid()
{
    /* The store is filled before the grid sees it: a grid attached to its model relayouts on
     * every inserted row. */
    m_pRowBox = gtk_hbox_new(FALSE, 1);
    gtk_container_set_border_width(GTK_CONTAINER(m_pRowBox), 5);
    gtk_box_pack_start(GTK_BOX(m_pMainBox), m_pRowBox, TRUE, TRUE, 0);
    gtk_widget_show(m_pRowBox);
    m_pIconStore = gtk_list_store_new(N_COLS, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_STRING);
    m_pIconDirText = g_strdup(m_IconDir.c_str());
    initIconView(m_pIconStore);
    m_pIconView = gtk_icon_view_new_with_model(GTK_TREE_MODEL(m_pIconStore));
    /* Fixed, not a minimum: the grid's own request follows its layout, which follows the
     * room it gets, and a scroll bar coming and going would resize it for ever. */
    gtk_widget_set_size_request(m_pIconView, 400, 130);
    gtk_icon_view_set_selection_mode(GTK_ICON_VIEW(m_pIconView), GTK_SELECTION_SINGLE);
    gtk_icon_view_set_pixbuf_column(GTK_ICON_VIEW(m_pIconView), COL_IMAGE);
    m_pScroller = gtk_scrolled_window_new(NULL, NULL);
    SetMinimumSize(m_pScroller, 400, 130);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(m_pScroller), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
    gtk_box_pack_start(GTK_BOX(m_pRowBox), m_pScroller, TRUE, TRUE, 5);
    /* Added directly, not through a viewport, on the scroller's own adjustments: the grid
     * scrolls itself, while a viewport would give it only the 130 pixels it requests and
     * leave the other icons unreachable. */
    gtk_container_add(GTK_CONTAINER(m_pScroller), m_pIconView);
    gtk_widget_show(m_pScroller);
    gtk_widget_show(m_pIconView);
    SelectCurrentIcon();
}

void CChangeIconDlg::SelectCurrentIcon()
{
    GtkTreeModel* model = GTK_TREE_MODEL(m_pIconStore);
    GtkTreeIter iter;
    for (gboolean more = gtk_tree_model_get_iter_first(model, &iter); more; more = gtk_tree_model_iter_next(model, &iter)) {
        gchar* path = NULL;
        gtk_tree_model_get(model, &iter, COL_PATH, &path, -1);
        const bool current = path && m_IconPath == path;
        g_free(path);
        if (current) {
            GtkTreePath* row = gtk_tree_model_get_path(model, &iter);
            gtk_icon_view_select_path(GTK_ICON_VIEW(m_pIconView), row);
            gtk_icon_view_set_cursor(GTK_ICON_VIEW(m_pIconView), row, NULL, FALSE);
            gtk_icon_view_scroll_to_path(GTK_ICON_VIEW(m_pIconView), row, FALSE, 0, 0);
            gtk_tree_path_free(row);
            return;
        }
    }
}

void CChangeIconDlg::BuildButtons()
{
    /* Cancel left of OK; OK answers Enter. */
    GtkWidget* buttons = CWidgetLayout::AppendButtonPanel(m_pMainBox, &m_pButtonPanel);
    m_pOKBtn = NewButton(Tr("OK"), 95, 32);
    gtk_box_pack_end(GTK_BOX(buttons), m_pOKBtn, FALSE, FALSE, 5);
    gtk_widget_set_can_default(m_pOKBtn, TRUE);
    gtk_window_set_default(GTK_WINDOW(m_pWindow), m_pOKBtn);
    m_pCancelBtn = NewButton(Tr("Cancel"), 95, 32);
    gtk_box_pack_end(GTK_BOX(buttons), m_pCancelBtn, FALSE, FALSE, 5);
}

int CChangeIconDlg::FetchReturnStatus()
{
    return m_ReturnStatus;
}

int CChangeIconDlg::FetchData(std::string& name, std::string& iconPath)
{
    name = m_Name;
    iconPath = m_IconPath;
    return 0;
}

void CChangeIconDlg::SetNameCheck(NameCheckFn fn, void* data)
{
    m_pNameCheck = fn;
    m_pNameCheckData = data;
}

void CChangeIconDlg::initIconView(GtkListStore* store)
{
    TraceStart(CLS, "initIconView");
    if (!store) {
        TraceEnd(CLS, "initIconView");
        return;
    }
    /* Refilling a store the grid shows: detach it meanwhile, so that the grid does not
     * relayout once per row (quadratic on a large folder). */
    GtkIconView* view = NULL;
    if (m_pIconView && gtk_icon_view_get_model(GTK_ICON_VIEW(m_pIconView)) == GTK_TREE_MODEL(store)) {
        view = GTK_ICON_VIEW(m_pIconView);
        g_object_ref(store);
        gtk_icon_view_set_model(view, NULL);
    }
    gtk_list_store_clear(store);

    GDir* dir = m_pIconDirText ? g_dir_open(m_pIconDirText, 0, NULL) : NULL;
    if (!dir) {
        FailureLine("Can not open specified dir!");
    } else {
        const gchar* entry;
        while ((entry = g_dir_read_name(dir)) != NULL) {
            if (entry[0] == '.')
                continue;
            gchar* path = g_build_filename(m_pIconDirText, entry, NULL);
            gchar* shown = g_filename_to_utf8(entry, -1, NULL, NULL, NULL);
            if (!shown)
                shown = g_filename_display_name(entry);
            /* Only regular files are decoded: opening a named pipe would block the dialog. */
            GdkPixbuf* image = NULL;
            if (g_file_test(path, G_FILE_TEST_IS_REGULAR))
                image = CIconCache::Decode(path, GRID_ICON_SIZE);
            GtkTreeIter iter;
            gtk_list_store_insert_with_values(store, &iter, -1, COL_IMAGE, image, COL_NAME, shown, COL_PATH, path,
                                              -1);
            if (image)
                g_object_unref(image);
            g_free(shown);
            g_free(path);
        }
        g_dir_close(dir);
    }

    if (view) {
        gtk_icon_view_set_model(view, GTK_TREE_MODEL(store));
        g_object_unref(store);
    }
    TraceEnd(CLS, "initIconView");
}

void CChangeIconDlg::OnIconViewSelectionChanged()
{
    if (!m_pIconView)
        return;
    /* The selected item, not the cursor: a selection made without moving the cursor
     * (keyboard, or programmatically) must count too. */
    GList* selected = gtk_icon_view_get_selected_items(GTK_ICON_VIEW(m_pIconView));
    if (!selected)
        return;
    GtkTreeModel* model = gtk_icon_view_get_model(GTK_ICON_VIEW(m_pIconView));
    GtkTreeIter iter;
    if (model && gtk_tree_model_get_iter(model, &iter, static_cast<GtkTreePath*>(selected->data))) {
        gchar* path = NULL;
        gtk_tree_model_get(model, &iter, COL_PATH, &path, -1);
        if (path) {
            m_IconPath = path;
            ShowIconPath();
        }
        g_free(path);
    }
    for (GList* l = selected; l; l = l->next)
        gtk_tree_path_free(static_cast<GtkTreePath*>(l->data));
    g_list_free(selected);
}

void CChangeIconDlg::OnBROWSEBtnClicked()
{
    if (!m_pWindow)
        return;
    const char* title = Tr("Choose Icon");
    GtkWidget* chooser = gtk_file_chooser_dialog_new(title, GTK_WINDOW(m_pWindow), GTK_FILE_CHOOSER_ACTION_OPEN,
                                                     GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, GTK_STOCK_OPEN,
                                                     GTK_RESPONSE_ACCEPT, NULL);
    if (!chooser)
        return;
    gtk_window_set_wmclass(GTK_WINDOW(chooser), title, "KEL");
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, Tr("Image types"));
    gtk_file_filter_add_pixbuf_formats(filter);
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
    /* Where the icons are, not the chooser's "Recently Used" page. */
    if (g_file_test(m_IconDir.c_str(), G_FILE_TEST_IS_DIR))
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), m_IconDir.c_str());

    /* The nested loop may see the chooser or our window destroyed. */
    g_object_add_weak_pointer(G_OBJECT(chooser), reinterpret_cast<gpointer*>(&chooser));
    gint response = gtk_dialog_run(GTK_DIALOG(chooser));
    if (chooser && response == GTK_RESPONSE_ACCEPT && m_pIconPathEntry) {
        gchar* file = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
        if (file) {
            m_IconPath = file;
            ShowIconPath();
            /* The grid no longer shows the chosen icon; clearing its selection also lets
             * the user pick the same grid icon again (an unchanged selection emits nothing). */
            if (m_pIconView)
                gtk_icon_view_unselect_all(GTK_ICON_VIEW(m_pIconView));
        }
        g_free(file);
    }
    if (chooser) {
        g_object_remove_weak_pointer(G_OBJECT(chooser), reinterpret_cast<gpointer*>(&chooser));
        gtk_widget_destroy(chooser);
    }
}

void CChangeIconDlg::OnOKBtnClicked()
{
    if (!m_pNameEntry)
        return;
    std::string text = gtk_entry_get_text(GTK_ENTRY(m_pNameEntry));
    CKELDataTools::TrimSpaceBeforeAndAfterString(text);
    CKELDataTools::TrimEnterCharacterOfString(text);
    /* Removing line breaks can bare blanks at the ends ("Tools \n"): trim them too. */
    CKELDataTools::TrimSpaceBeforeAndAfterString(text);
    std::string message;
    if (CKELDataTools::IsInputValid(text, message) < 0 ||
        (m_pNameCheck && !m_pNameCheck(text, message, m_pNameCheckData))) {
        /* The status stays 0: a frame close after a refused name applies nothing. */
        RefuseName(message);
        return;
    }
    m_Name = text;
    m_ReturnStatus = 1;
    Close(); /* the owner's close callback reads us here; touch nothing afterwards */
}

void CChangeIconDlg::RefuseName(const std::string& reason)
{
    /* The box runs a main loop of its own: the window may be gone after it. */
    GtkWidget* window = m_pWindow;
    g_object_add_weak_pointer(G_OBJECT(window), reinterpret_cast<gpointer*>(&window));
    CMessageBox::Show(reason, m_pWindow, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, GTK_DIALOG_MODAL,
                      LibKELData::KEL_SHELL_CONTROLLER_ICON);
    if (!window)
        return;
    g_object_remove_weak_pointer(G_OBJECT(window), reinterpret_cast<gpointer*>(&window));
    if (!m_pNameEntry)
        return;
    /* What the user typed stays, selected, so that it can be mended or typed over. */
    gtk_widget_grab_focus(m_pNameEntry);
    gtk_editable_select_region(GTK_EDITABLE(m_pNameEntry), 0, -1);
}

void CChangeIconDlg::OnCancelBtnClicked()
{
    m_ReturnStatus = 0;
    Close();
}

void CChangeIconDlg::OnWindowDestroyed()
{
    /* Runs before the owner's close callback; from here on the widgets are going. */
    DisconnectHandlers();
    m_pMainBox = m_pRowBox = m_pButtonPanel = m_pScroller = m_pIconView = NULL;
    m_pOKBtn = m_pCancelBtn = m_pBrowseBtn = NULL;
    m_pNameLabel = m_pNameEntry = m_pIconPathLabel = m_pIconPathEntry = NULL;
}

void CChangeIconDlg::ShowIconPath()
{
    if (!m_pIconPathEntry)
        return;
    /* Translators: stands in the icon path field of an item that has no icon of its own. */
    std::string shown = m_IconPath.empty() ? Tr("Default Icon") : DisplayPath(m_IconPath);
    gtk_entry_set_text(GTK_ENTRY(m_pIconPathEntry), shown.c_str());
    /* A long path shows its end, the file name; the tooltip has it whole. */
    gtk_editable_set_position(GTK_EDITABLE(m_pIconPathEntry), -1);
    SetTooltip(m_pIconPathEntry, shown.c_str());
}

void CChangeIconDlg::DisconnectHandlers()
{
    /* By function on the window: the base watches it with the same data pointer. */
    if (m_pWindow)
        g_signal_handlers_disconnect_by_func(m_pWindow, reinterpret_cast<gpointer>(GtkOnWindowDestroyed), this);
    GtkWidget* children[] = {m_pIconView, m_pOKBtn, m_pCancelBtn, m_pBrowseBtn};
    for (GtkWidget* w : children)
        if (w)
            g_signal_handlers_disconnect_matched(w, G_SIGNAL_MATCH_DATA, 0, 0, NULL, NULL, this);
}

void CChangeIconDlg::GtkOnIconViewSelectionChanged(GtkIconView*, gpointer data)
{
    if (data) static_cast<CChangeIconDlg*>(data)->OnIconViewSelectionChanged();
}

void CChangeIconDlg::GTK_BROWSE_BTN_CLICKED(GtkWidget*, gpointer data)
{
    TraceStart(CLS, "GTK_BROWSE_BTN_CLICKED");
    if (data) static_cast<CChangeIconDlg*>(data)->OnBROWSEBtnClicked();
    TraceEnd(CLS, "GTK_BROWSE_BTN_CLICKED");
}

void CChangeIconDlg::GTK_OK_BTN_CLICKED(GtkWidget*, gpointer data)
{
    TraceStart(CLS, "GTK_OK_BTN_CLICKED");
    if (data) static_cast<CChangeIconDlg*>(data)->OnOKBtnClicked();
    TraceEnd(CLS, "GTK_OK_BTN_CLICKED");
}

void CChangeIconDlg::GTK_CANCEL_BTN_CLICKED(GtkWidget*, gpointer data)
{
    TraceStart(CLS, "CancelBtn click");
    if (data) static_cast<CChangeIconDlg*>(data)->OnCancelBtnClicked();
    TraceEnd(CLS, "CancelBtn click");
}

void CChangeIconDlg::GtkOnWindowDestroyed(GtkWidget*, gpointer data)
{
    static_cast<CChangeIconDlg*>(data)->OnWindowDestroyed();
}

} // namespace LibKELGUI
