/* Tests of the name-and-icon dialog: the icon grid, grid and file-chooser choices, name
 * validation, the ways it closes, and what its owner reads back. */
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <libintl.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "CChangeIconDlg.h"
#include "KELConstants.h"
#include "KELDataTools.h"
#include "KelTest.h"

using LibKELGUI::CChangeIconDlg;

namespace {

const char* const TITLE = "Edit Application";

/* Stands in for the Shell Settings page: a parent window and the close callback that
 * reads the dialog while it is still intact. */
struct Owner {
    GtkWidget* window = nullptr;
    CChangeIconDlg* dlg = nullptr;
    int calls = 0;
    int status = -1;
    bool windowStillHeld = false;
    std::string name;
    std::string icon;

    Owner()
    {
        window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_widget_show(window);
    }
    ~Owner()
    {
        delete dlg;
        gtk_widget_destroy(window);
    }
    static void OnDialogClosed(GtkWidget* widget, gpointer data)
    {
        Owner* o = static_cast<Owner*>(data);
        o->calls++;
        o->windowStillHeld = o->dlg->GetWindow() == widget;
        o->status = o->dlg->FetchReturnStatus();
        o->dlg->FetchData(o->name, o->icon);
    }
    void Open(const std::string& iconDir, const std::string& iconPath, const std::string& itemName)
    {
        delete dlg;
        dlg = new CChangeIconDlg(iconDir, iconPath, itemName, TITLE);
        dlg->Init();
        ASSERT_EQ(1, dlg->ShowModal(window, G_CALLBACK(OnDialogClosed), this));
        keltest::Drain();
    }
    GtkWidget* Win() const { return dlg->GetWindow(); }
    GtkWidget* NameEntry() const { return keltest::FindByType(Win(), GTK_TYPE_ENTRY, 0); }
    GtkWidget* PathEntry() const { return keltest::FindByType(Win(), GTK_TYPE_ENTRY, 1); }
    GtkIconView* Grid() const { return GTK_ICON_VIEW(keltest::FindByType(Win(), GTK_TYPE_ICON_VIEW)); }
    GtkWidget* Button(const char* label) const { return keltest::FindButtonByLabel(Win(), label); }
};

struct GridRow {
    bool hasImage;
    int width;
    int height;
    std::string name;
    std::string path;
};

std::vector<GridRow> GridRows(GtkIconView* grid)
{
    std::vector<GridRow> rows;
    GtkTreeModel* model = gtk_icon_view_get_model(grid);
    GtkTreeIter it;
    for (gboolean ok = gtk_tree_model_get_iter_first(model, &it); ok; ok = gtk_tree_model_iter_next(model, &it)) {
        GdkPixbuf* image = nullptr;
        gchar* name = nullptr;
        gchar* path = nullptr;
        gtk_tree_model_get(model, &it, 0, &image, 1, &name, 2, &path, -1);
        GridRow row = {image != nullptr, image ? gdk_pixbuf_get_width(image) : 0,
                       image ? gdk_pixbuf_get_height(image) : 0, name ? name : "", path ? path : ""};
        rows.push_back(row);
        if (image)
            g_object_unref(image);
        g_free(name);
        g_free(path);
    }
    return rows;
}

void SelectGridRow(GtkIconView* grid, int index)
{
    GtkTreePath* path = gtk_tree_path_new_from_indices(index, -1);
    gtk_icon_view_select_path(grid, path);
    gtk_tree_path_free(path);
    keltest::Drain();
}

std::string EntryText(GtkWidget* entry)
{
    return gtk_entry_get_text(GTK_ENTRY(entry));
}

std::string Tooltip(GtkWidget* widget)
{
    gchar* t = gtk_widget_get_tooltip_text(widget);
    std::string s = t ? t : "";
    g_free(t);
    return s;
}

/* What the window manager does when the user closes a window from its frame. */
void CloseFromFrame(GtkWidget* window)
{
    GdkEvent* event = gdk_event_new(GDK_DELETE);
    event->any.window = GDK_WINDOW(g_object_ref(window->window));
    event->any.send_event = TRUE;
    gtk_main_do_event(event);
    gdk_event_free(event);
    keltest::Drain();
}

bool WriteWidePng(const std::string& path)
{
    GdkPixbuf* pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 48, 24);
    gdk_pixbuf_fill(pb, 0xcc3333ff);
    gboolean ok = gdk_pixbuf_save(pb, path.c_str(), "png", NULL, NULL);
    g_object_unref(pb);
    return ok;
}

/* Answers the next file chooser from a timeout: sets the file (once the chooser has taken
 * it; it loads folders asynchronously) and emits the response. Records what it saw. */
class ChooserDriver {
public:
    ChooserDriver(const std::string& file, int response)
        : m_File(file), m_Response(response), m_Deadline(g_get_monotonic_time() + 10 * G_USEC_PER_SEC)
    {
        m_Source = gdk_threads_add_timeout(10, Poll, this);
    }
    ~ChooserDriver()
    {
        if (m_Source)
            g_source_remove(m_Source);
    }
    bool answered = false;
    std::string title;
    GtkWindow* parent = nullptr;
    std::vector<std::string> filterNames;
    bool filterTakesPng = false;
    bool filterTakesText = false;

private:
    static gboolean Poll(gpointer self) { return static_cast<ChooserDriver*>(self)->Step(); }
    gboolean Step()
    {
        GtkWidget* chooser = nullptr;
        GList* tops = gtk_window_list_toplevels();
        for (GList* l = tops; l; l = l->next)
            if (GTK_IS_FILE_CHOOSER_DIALOG(l->data) && GTK_WIDGET_VISIBLE(l->data))
                chooser = GTK_WIDGET(l->data);
        g_list_free(tops);
        if (g_get_monotonic_time() > m_Deadline) {
            m_Source = 0;
            return FALSE;
        }
        if (!chooser)
            return TRUE;
        if (!m_Seen) {
            m_Seen = true;
            Record(chooser);
            if (m_Response == GTK_RESPONSE_ACCEPT)
                gtk_file_chooser_set_filename(GTK_FILE_CHOOSER(chooser), m_File.c_str());
            else
                return Answer(chooser);
            return TRUE;
        }
        gchar* f = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
        bool ready = f && m_File == f;
        g_free(f);
        return ready ? Answer(chooser) : TRUE;
    }
    gboolean Answer(GtkWidget* chooser)
    {
        answered = true;
        m_Source = 0;
        gtk_dialog_response(GTK_DIALOG(chooser), m_Response);
        return FALSE;
    }
    void Record(GtkWidget* chooser)
    {
        title = gtk_window_get_title(GTK_WINDOW(chooser));
        parent = gtk_window_get_transient_for(GTK_WINDOW(chooser));
        GSList* filters = gtk_file_chooser_list_filters(GTK_FILE_CHOOSER(chooser));
        for (GSList* l = filters; l; l = l->next) {
            GtkFileFilter* filter = GTK_FILE_FILTER(l->data);
            filterNames.push_back(gtk_file_filter_get_name(filter));
            GtkFileFilterInfo info = {};
            info.contains = GTK_FILE_FILTER_MIME_TYPE;
            info.mime_type = "image/png";
            filterTakesPng = filterTakesPng || gtk_file_filter_filter(filter, &info);
            info.mime_type = "text/plain";
            filterTakesText = filterTakesText || gtk_file_filter_filter(filter, &info);
        }
        g_slist_free(filters);
    }

    std::string m_File;
    int m_Response;
    gint64 m_Deadline;
    guint m_Source = 0;
    bool m_Seen = false;
};

std::string IconDir()
{
    return keltest::EtcKel() + "icons";
}

} // namespace

TEST(ChangeIconDlg, GridListsEveryVisibleEntryInDirectoryOrder)
{
    const std::string dir = IconDir();
    const std::string latin1Name = "caf\xe9.png"; /* not valid UTF-8 */
    ASSERT_TRUE(keltest::WritePng(dir + "/square.png", 32));
    ASSERT_TRUE(WriteWidePng(dir + "/wide.png"));
    ASSERT_TRUE(keltest::WritePng(dir + "/" + latin1Name, 16));
    ASSERT_TRUE(keltest::WritePng(dir + "/.hidden.png", 32));
    ASSERT_TRUE(keltest::MakeDirs(dir + "/.hiddendir"));
    ASSERT_TRUE(keltest::MakeDirs(dir + "/subfolder"));
    ASSERT_TRUE(keltest::WriteFile(dir + "/notes.txt", "not an image\n"));
    ASSERT_TRUE(keltest::WriteFile(dir + "/broken.png", "\x89PNG truncated"));
    ASSERT_EQ(0, mkfifo((dir + "/pipe.png").c_str(), 0644)); /* decoding it would block forever */

    std::vector<std::string> expected;
    GDir* d = g_dir_open(dir.c_str(), 0, NULL);
    ASSERT_TRUE(d != NULL);
    for (const gchar* n = g_dir_read_name(d); n; n = g_dir_read_name(d))
        if (n[0] != '.')
            expected.push_back(dir + "/" + n);
    g_dir_close(d);
    ASSERT_EQ(7u, expected.size());

    keltest::LogCapture log;
    Owner owner;
    owner.Open(dir, "", "Editor");
    ASSERT_TRUE(owner.Win() != NULL);
    EXPECT_TRUE(log.Has("CChangeIconDlg::initIconView >>Start"));
    EXPECT_TRUE(log.Has("CChangeIconDlg::initIconView <<End"));

    std::vector<GridRow> rows = GridRows(owner.Grid());
    ASSERT_EQ(expected.size(), rows.size());
    int latin1Row = -1;
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].path);
        EXPECT_EQ(expected[i], rows[i].path);
        EXPECT_TRUE(g_utf8_validate(rows[i].name.c_str(), -1, NULL));
        std::string base = rows[i].path.substr(dir.size() + 1);
        if (base == "square.png") {
            EXPECT_EQ(24, rows[i].width);
            EXPECT_EQ(24, rows[i].height);
        } else if (base == "wide.png") {
            EXPECT_EQ(24, rows[i].width); /* aspect kept */
            EXPECT_EQ(12, rows[i].height);
        } else if (base == latin1Name) {
            EXPECT_TRUE(rows[i].hasImage);
            latin1Row = (int)i;
        } else {
            EXPECT_FALSE(rows[i].hasImage); /* non-image, broken image, subfolder, pipe */
            EXPECT_EQ(base, rows[i].name);
        }
    }
    ASSERT_GE(latin1Row, 0);

    /* The grid chooses by the real bytes; the entry shows a readable form of them. */
    SelectGridRow(owner.Grid(), latin1Row);
    std::string shown = EntryText(owner.PathEntry());
    EXPECT_TRUE(g_utf8_validate(shown.c_str(), -1, NULL));
    EXPECT_NE(std::string::npos, shown.find("caf"));
    EXPECT_EQ(shown, Tooltip(owner.PathEntry()));
    keltest::Click(owner.Button("OK"));
    EXPECT_EQ(1, owner.status);
    EXPECT_EQ(dir + "/" + latin1Name, owner.icon);
}

TEST(ChangeIconDlg, LastChoiceBetweenGridAndBrowseWins)
{
    const std::string dir = IconDir();
    ASSERT_TRUE(keltest::WritePng(dir + "/a.png", 32, 0x33cc33ff));
    ASSERT_TRUE(keltest::WritePng(dir + "/b.png", 32, 0x3333ccff));
    const std::string browsed = keltest::Home() + "/pictures/mine.png";
    ASSERT_TRUE(keltest::WritePng(browsed, 48));

    keltest::LogCapture log;
    Owner owner;
    owner.Open(dir, dir + "/b.png", "Editor");
    std::vector<GridRow> rows = GridRows(owner.Grid());
    ASSERT_EQ(2u, rows.size());

    SelectGridRow(owner.Grid(), 0);
    EXPECT_EQ(rows[0].path, EntryText(owner.PathEntry()));
    EXPECT_EQ(rows[0].path, Tooltip(owner.PathEntry()));

    {
        ChooserDriver driver(browsed, GTK_RESPONSE_ACCEPT);
        keltest::Click(owner.Button("Browse..."));
        ASSERT_TRUE(driver.answered);
        EXPECT_EQ("Choose Icon", driver.title);
        EXPECT_EQ(GTK_WINDOW(owner.Win()), driver.parent);
        ASSERT_EQ(1u, driver.filterNames.size());
        EXPECT_EQ("Image types", driver.filterNames[0]);
        EXPECT_TRUE(driver.filterTakesPng);
        EXPECT_FALSE(driver.filterTakesText);
    }
    EXPECT_EQ(browsed, EntryText(owner.PathEntry()));
    EXPECT_EQ(browsed, Tooltip(owner.PathEntry()));
    EXPECT_TRUE(log.Has("CChangeIconDlg::GTK_BROWSE_BTN_CLICKED >>Start"));
    EXPECT_TRUE(log.Has("CChangeIconDlg::GTK_BROWSE_BTN_CLICKED <<End"));
    EXPECT_TRUE(keltest::ToplevelsWithTitle("Choose Icon").empty());

    {
        ChooserDriver driver(keltest::Home() + "/elsewhere.png", GTK_RESPONSE_CANCEL);
        keltest::Click(owner.Button("Browse..."));
        ASSERT_TRUE(driver.answered);
    }
    EXPECT_EQ(browsed, EntryText(owner.PathEntry()));

    /* The grid icon chosen before browsing can be chosen again. */
    SelectGridRow(owner.Grid(), 0);
    EXPECT_EQ(rows[0].path, EntryText(owner.PathEntry()));

    {
        ChooserDriver driver(browsed, GTK_RESPONSE_ACCEPT);
        keltest::Click(owner.Button("Browse..."));
        ASSERT_TRUE(driver.answered);
    }
    keltest::Click(owner.Button("OK"));
    EXPECT_EQ(1, owner.calls);
    EXPECT_EQ(1, owner.status);
    EXPECT_EQ("Editor", owner.name);
    EXPECT_EQ(browsed, owner.icon);
}

TEST(ChangeIconDlg, EveryIconOfALargeFolderCanBeScrolledTo)
{
    const std::string dir = IconDir();
    ASSERT_TRUE(keltest::WritePng(dir + "/icon0.png", 48));
    const std::string png = keltest::ReadFile(dir + "/icon0.png");
    for (int i = 1; i < 150; ++i)
        ASSERT_TRUE(keltest::WriteFile(dir + "/icon" + std::to_string(i) + ".png", png));

    Owner owner;
    owner.Open(dir, "", "Name");
    EXPECT_EQ(150u, GridRows(owner.Grid()).size());
    GtkWidget* scroller = keltest::FindByType(owner.Win(), GTK_TYPE_SCROLLED_WINDOW);
    ASSERT_TRUE(scroller != NULL);
    GtkAdjustment* v = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scroller));
    ASSERT_TRUE(keltest::PumpUntil([v]() { return v->upper > v->page_size; }));
    /* The last icon is reachable: scrolling to the end moves the grid's own content. */
    gtk_adjustment_set_value(v, v->upper - v->page_size);
    keltest::Drain();
    GtkTreePath* last = gtk_tree_path_new_from_indices(149, -1);
    GtkTreePath* first = NULL;
    GtkTreePath* end = NULL;
    ASSERT_TRUE(gtk_icon_view_get_visible_range(owner.Grid(), &first, &end));
    EXPECT_EQ(0, gtk_tree_path_compare(last, end));
    gtk_tree_path_free(first);
    gtk_tree_path_free(end);
    gtk_tree_path_free(last);
}

TEST(ChangeIconDlg, NameIsTrimmedAndValidatedBeforeClosing)
{
    keltest::LogCapture log;
    Owner owner;
    owner.Open(IconDir(), "/opt/icons/old.png", "Old Name");

    /* The entry holds 64 characters at most. */
    gtk_entry_set_text(GTK_ENTRY(owner.NameEntry()), std::string(70, 'x').c_str());
    EXPECT_EQ(64, g_utf8_strlen(EntryText(owner.NameEntry()).c_str(), -1));

    /* Only blanks and line breaks: refused with the validator's own message. */
    std::string blank = "  \n \t \r\n ";
    std::string reason;
    std::string trimmed;
    ASSERT_LT(LibKELData::CKELDataTools::IsInputValid(trimmed, reason), 0);
    gtk_entry_set_text(GTK_ENTRY(owner.NameEntry()), blank.c_str());
    {
        keltest::MessageBoxAnswerer box(GTK_RESPONSE_OK);
        keltest::Click(owner.Button("OK"));
        ASSERT_TRUE(box.Answered());
        EXPECT_EQ(reason, box.Text());
        EXPECT_EQ(GTK_MESSAGE_ERROR, box.Type());
        EXPECT_EQ("Error", box.Title());
        EXPECT_EQ(GTK_WINDOW(owner.Win()), box.Parent());
    }
    ASSERT_TRUE(owner.Win() != NULL);
    EXPECT_TRUE(GTK_WIDGET_VISIBLE(owner.Win()));
    EXPECT_EQ("", EntryText(owner.NameEntry()));
    EXPECT_EQ(0, owner.calls);
    EXPECT_EQ(0, owner.dlg->FetchReturnStatus());
    EXPECT_TRUE(log.Has("CChangeIconDlg::GTK_OK_BTN_CLICKED >>Start"));
    EXPECT_TRUE(log.Has("CChangeIconDlg::GTK_OK_BTN_CLICKED <<End"));

    /* Blanks around and line breaks inside are dropped; the rest is stored. */
    gtk_entry_set_text(GTK_ENTRY(owner.NameEntry()), " \n  Web\nBrowser \r\n ");
    keltest::Click(owner.Button("OK"));
    EXPECT_EQ(1, owner.calls);
    EXPECT_TRUE(owner.windowStillHeld);
    EXPECT_EQ(1, owner.status);
    EXPECT_EQ("WebBrowser", owner.name);
    EXPECT_EQ("/opt/icons/old.png", owner.icon);
    EXPECT_TRUE(owner.dlg->GetWindow() == NULL);
    EXPECT_TRUE(keltest::ToplevelsWithTitle(TITLE).empty());
}

TEST(ChangeIconDlg, FrameCloseAfterRefusedNameAppliesNothing)
{
    Owner owner;
    owner.Open(IconDir(), "", "Old Name");
    gtk_entry_set_text(GTK_ENTRY(owner.NameEntry()), "   ");
    {
        keltest::MessageBoxAnswerer box(GTK_RESPONSE_OK);
        keltest::Click(owner.Button("OK"));
        ASSERT_TRUE(box.Answered());
    }
    gtk_entry_set_text(GTK_ENTRY(owner.NameEntry()), "Typed But Not Confirmed");
    CloseFromFrame(owner.Win());
    EXPECT_EQ(1, owner.calls);
    EXPECT_EQ(0, owner.status);
    EXPECT_EQ("Old Name", owner.name);
    EXPECT_TRUE(owner.dlg->GetWindow() == NULL);
    /* Deleting the object afterwards must not destroy the window a second time. */
    delete owner.dlg;
    owner.dlg = nullptr;
    keltest::Drain();
}

TEST(ChangeIconDlg, CancelAndFrameCloseReportNoChange)
{
    const std::string dir = IconDir();
    ASSERT_TRUE(keltest::WritePng(dir + "/a.png", 32));

    keltest::LogCapture log;
    Owner owner;
    owner.Open(dir, "/opt/icons/old.png", "Old Name");
    SelectGridRow(owner.Grid(), 0);
    gtk_entry_set_text(GTK_ENTRY(owner.NameEntry()), "New Name");
    keltest::Click(owner.Button("Cancel"));
    EXPECT_EQ(1, owner.calls);
    EXPECT_EQ(0, owner.status);
    EXPECT_TRUE(owner.dlg->GetWindow() == NULL);
    EXPECT_TRUE(log.Has("CChangeIconDlg::CancelBtn click >>Start"));
    EXPECT_TRUE(log.Has("CChangeIconDlg::CancelBtn click <<End"));

    /* A second opening replaces the first object, as the owner does. */
    owner.calls = 0;
    owner.Open(dir, "/opt/icons/old.png", "Old Name");
    SelectGridRow(owner.Grid(), 0);
    CloseFromFrame(owner.Win());
    EXPECT_EQ(1, owner.calls);
    EXPECT_EQ(0, owner.status);
    EXPECT_TRUE(keltest::ToplevelsWithTitle(TITLE).empty());
}

TEST(ChangeIconDlg, DeletingAnOpenDialogRunsNoCallback)
{
    const std::string dir = IconDir();
    ASSERT_TRUE(keltest::WritePng(dir + "/a.png", 32));
    Owner owner;
    owner.Open(dir, "", "Name");
    SelectGridRow(owner.Grid(), 0);
    delete owner.dlg; /* what the owner's destructor does while the dialog is up */
    owner.dlg = nullptr;
    keltest::Drain();
    EXPECT_EQ(0, owner.calls);
    EXPECT_TRUE(keltest::ToplevelsWithTitle(TITLE).empty());
}

TEST(ChangeIconDlg, PlaceholderIsShownButNeverReturnedAsIconPath)
{
    const std::string placeholder = LibKELGUI::Tr("Default Icon");
    Owner owner;
    owner.Open(IconDir(), "", "Tools");
    EXPECT_EQ(placeholder, EntryText(owner.PathEntry()));
    EXPECT_EQ(placeholder, Tooltip(owner.PathEntry()));
    gtk_entry_set_text(GTK_ENTRY(owner.NameEntry()), "Utilities");
    keltest::Click(owner.Button("OK"));
    EXPECT_EQ(1, owner.status);
    EXPECT_EQ("Utilities", owner.name);
    EXPECT_EQ("", owner.icon);

    /* An item with an icon keeps it when the user picks none. */
    owner.Open(IconDir(), "/opt/icons/tools.png", "Tools");
    EXPECT_EQ("/opt/icons/tools.png", EntryText(owner.PathEntry()));
    keltest::Click(owner.Button("OK"));
    EXPECT_EQ(1, owner.status);
    EXPECT_EQ("Tools", owner.name);
    EXPECT_EQ("/opt/icons/tools.png", owner.icon);
}

TEST(ChangeIconDlg, MissingIconFolderLeavesAnEmptyGridAndAWorkingDialog)
{
    keltest::LogCapture log;
    char* domainBefore = g_strdup(textdomain(NULL));
    Owner owner;
    owner.Open(keltest::Root() + "/no/such/folder", "", "Name");
    EXPECT_STREQ(domainBefore, textdomain(NULL)); /* the host's default domain is its own */
    g_free(domainBefore);

    bool failureLogged = false;
    for (const keltest::LogCapture::Line& line : log.Lines())
        failureLogged = failureLogged || (line.text == "Can not open specified dir!" && line.level == 2);
    EXPECT_TRUE(failureLogged);
    EXPECT_TRUE(GridRows(owner.Grid()).empty());
    EXPECT_TRUE(GTK_WIDGET_VISIBLE(owner.Grid()));

    GtkWidget* cancel = owner.Button("Cancel");
    EXPECT_EQ(cancel, gtk_window_get_focus(GTK_WINDOW(owner.Win())));
    gtk_entry_set_text(GTK_ENTRY(owner.NameEntry()), "Renamed");
    keltest::Click(owner.Button("OK"));
    EXPECT_EQ(1, owner.status);
    EXPECT_EQ("Renamed", owner.name);
}
