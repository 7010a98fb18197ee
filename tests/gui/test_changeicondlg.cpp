/* Tests of the name-and-icon dialog: the icon grid, grid and file-chooser choices, name
 * validation, the ways it closes, and what its owner reads back. */
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <libintl.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "CChangeIconDlg.h"
#include "KELDataTools.h"
#include "KelTest.h"

using LibKELGUI::CChangeIconDlg;

namespace {

const char* const TITLE = "Edit Application";

/* Stands in for the Shell Settings page: a parent window, and a close callback that reads
 * the dialog while it is still intact. */
struct Owner {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    CChangeIconDlg* dlg = nullptr;
    int calls = 0, status = -1;
    bool windowStillHeld = false;
    std::string name, icon;

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
        calls = 0;
        dlg = new CChangeIconDlg(iconDir, iconPath, itemName, TITLE);
        dlg->Init();
        gtk_widget_show(window);
        ASSERT_EQ(1, dlg->ShowModal(window, G_CALLBACK(OnDialogClosed), this));
        keltest::Drain();
    }
    GtkWidget* Win() const { return dlg->GetWindow(); }
    GtkEntry* NameEntry() const { return GTK_ENTRY(keltest::FindByType(Win(), GTK_TYPE_ENTRY, 0)); }
    GtkEntry* PathEntry() const { return GTK_ENTRY(keltest::FindByType(Win(), GTK_TYPE_ENTRY, 1)); }
    GtkIconView* Grid() const { return GTK_ICON_VIEW(keltest::FindByType(Win(), GTK_TYPE_ICON_VIEW)); }
    void Click(const char* label) const { keltest::Click(keltest::FindButtonByLabel(Win(), label)); }
    /* The path entry's text, checked to equal its tooltip. */
    std::string PathShown() const
    {
        gchar* tip = gtk_widget_get_tooltip_text(GTK_WIDGET(PathEntry()));
        std::string text = gtk_entry_get_text(PathEntry());
        EXPECT_STREQ(text.c_str(), tip);
        g_free(tip);
        return text;
    }
    void Select(int index) const
    {
        GtkTreePath* path = gtk_tree_path_new_from_indices(index, -1);
        gtk_icon_view_select_path(Grid(), path);
        gtk_tree_path_free(path);
        keltest::Drain();
    }
};

struct GridRow {
    int width, height; /* 0 x 0 without an image */
    std::string name, path;
};

std::vector<GridRow> GridRows(GtkIconView* grid)
{
    std::vector<GridRow> rows;
    GtkTreeModel* model = gtk_icon_view_get_model(grid);
    GtkTreeIter it;
    for (gboolean ok = gtk_tree_model_get_iter_first(model, &it); ok; ok = gtk_tree_model_iter_next(model, &it)) {
        GdkPixbuf* image = nullptr;
        gchar *name = nullptr, *path = nullptr;
        gtk_tree_model_get(model, &it, 0, &image, 1, &name, 2, &path, -1);
        rows.push_back({image ? gdk_pixbuf_get_width(image) : 0, image ? gdk_pixbuf_get_height(image) : 0,
                        name ? name : "", path ? path : ""});
        if (image)
            g_object_unref(image);
        g_free(name);
        g_free(path);
    }
    return rows;
}

/* What GTK does when the user closes a window from its frame. */
void CloseFromFrame(GtkWidget* window)
{
    GdkEvent* event = gdk_event_new(GDK_DELETE);
    event->any.window = GDK_WINDOW(g_object_ref(window->window));
    gtk_main_do_event(event);
    gdk_event_free(event);
    keltest::Drain();
}

/* Answers the next file chooser from a timeout: sets the file, waits until the chooser has
 * taken it (it loads folders asynchronously) and emits the response. */
struct ChooserDriver {
    std::string file;
    int response;
    bool answered = false, filterTakesPng = false, filterTakesText = false;
    std::string title, filterName;
    GtkWindow* parent = nullptr;
    int polls = 0;
    guint source = gdk_threads_add_timeout(10, Poll, this);

    ChooserDriver(const std::string& f, int r) : file(f), response(r) {}
    ~ChooserDriver()
    {
        if (source)
            g_source_remove(source);
    }
    static gboolean Poll(gpointer self)
    {
        ChooserDriver* d = static_cast<ChooserDriver*>(self);
        GtkFileChooser* chooser = nullptr;
        for (GtkWindow* w : keltest::ToplevelsWithTitle(""))
            if (GTK_IS_FILE_CHOOSER_DIALOG(w) && GTK_WIDGET_VISIBLE(w))
                chooser = GTK_FILE_CHOOSER(w);
        if (!chooser)
            return TRUE;
        if (d->polls++ == 0) {
            d->title = gtk_window_get_title(GTK_WINDOW(chooser));
            d->parent = gtk_window_get_transient_for(GTK_WINDOW(chooser));
            GtkFileFilter* filter = gtk_file_chooser_get_filter(chooser);
            d->filterName = filter ? gtk_file_filter_get_name(filter) : "";
            GtkFileFilterInfo info = {GTK_FILE_FILTER_MIME_TYPE, NULL, NULL, NULL, "image/png"};
            d->filterTakesPng = filter && gtk_file_filter_filter(filter, &info);
            info.mime_type = "text/plain";
            d->filterTakesText = filter && gtk_file_filter_filter(filter, &info);
            if (d->response == GTK_RESPONSE_ACCEPT)
                gtk_file_chooser_set_filename(chooser, d->file.c_str());
        }
        gchar* chosen = gtk_file_chooser_get_filename(chooser);
        bool ready = d->response != GTK_RESPONSE_ACCEPT || (chosen && d->file == chosen);
        g_free(chosen);
        if (!ready && d->polls < 1000)
            return TRUE;
        d->answered = ready; /* given up: cancelled, so that the dialog's nested loop ends */
        d->source = 0;
        gtk_dialog_response(GTK_DIALOG(chooser), ready ? d->response : GTK_RESPONSE_CANCEL);
        return FALSE;
    }
};

std::string IconDir()
{
    return keltest::EtcKel() + "icons";
}

} // namespace

TEST(ChangeIconDlg, GridListsEveryVisibleEntryInDirectoryOrder)
{
    const std::string dir = IconDir(), latin1 = "caf\xe9.png"; /* not valid UTF-8 */
    GdkPixbuf* wide = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 48, 24);
    gdk_pixbuf_fill(wide, 0xcc3333ff);
    ASSERT_TRUE(keltest::MakeDirs(dir + "/subfolder") && keltest::MakeDirs(dir + "/.hiddendir"));
    ASSERT_TRUE(gdk_pixbuf_save(wide, (dir + "/wide.png").c_str(), "png", NULL, NULL));
    g_object_unref(wide);
    ASSERT_TRUE(keltest::WritePng(dir + "/square.png", 32) && keltest::WritePng(dir + "/" + latin1, 16));
    ASSERT_TRUE(keltest::WritePng(dir + "/.hidden.png", 32));
    ASSERT_TRUE(keltest::WriteFile(dir + "/notes.txt", "text") && keltest::WriteFile(dir + "/bad.png", "\x89PNG"));
    ASSERT_EQ(0, mkfifo((dir + "/pipe.png").c_str(), 0644)); /* opening it to decode would block */

    std::vector<std::string> expected;
    GDir* d = g_dir_open(dir.c_str(), 0, NULL);
    for (const gchar* n = g_dir_read_name(d); n; n = g_dir_read_name(d))
        if (n[0] != '.')
            expected.push_back(n);
    g_dir_close(d);

    keltest::LogCapture log;
    Owner owner;
    owner.Open(dir, "", "Editor");
    EXPECT_TRUE(log.Has("CChangeIconDlg::initIconView >>Start") && log.Has("CChangeIconDlg::initIconView <<End"));
    std::vector<GridRow> rows = GridRows(owner.Grid());
    ASSERT_EQ(7u, expected.size());
    ASSERT_EQ(expected.size(), rows.size());
    int latin1Row = -1;
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(expected[i]);
        EXPECT_EQ(dir + "/" + expected[i], rows[i].path);
        EXPECT_TRUE(g_utf8_validate(rows[i].name.c_str(), -1, NULL));
        if (expected[i] == "square.png")
            EXPECT_TRUE(rows[i].width == 24 && rows[i].height == 24);
        else if (expected[i] == "wide.png")
            EXPECT_TRUE(rows[i].width == 24 && rows[i].height == 12); /* aspect kept */
        else if (expected[i] == latin1)
            latin1Row = (int)i;
        else
            EXPECT_TRUE(rows[i].width == 0 && rows[i].name == expected[i]); /* listed without picture */
    }
    ASSERT_GE(latin1Row, 0);
    EXPECT_GT(rows[latin1Row].width, 0);

    /* The grid chooses by the real bytes; the entry shows a readable form of them. */
    owner.Select(latin1Row);
    EXPECT_TRUE(g_utf8_validate(owner.PathShown().c_str(), -1, NULL));
    EXPECT_NE(std::string::npos, owner.PathShown().find("caf"));
    owner.Click("OK");
    EXPECT_EQ(1, owner.status);
    EXPECT_EQ(dir + "/" + latin1, owner.icon);
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
    GtkAdjustment* v = gtk_scrolled_window_get_vadjustment(
        GTK_SCROLLED_WINDOW(keltest::FindByType(owner.Win(), GTK_TYPE_SCROLLED_WINDOW)));
    ASSERT_TRUE(keltest::PumpUntil([v]() { return v->upper > v->page_size; }));
    gtk_adjustment_set_value(v, v->upper - v->page_size);
    keltest::Drain();
    GtkTreePath *first = NULL, *last = NULL;
    ASSERT_TRUE(gtk_icon_view_get_visible_range(owner.Grid(), &first, &last));
    EXPECT_EQ(149, gtk_tree_path_get_indices(last)[0]);
    gtk_tree_path_free(first);
    gtk_tree_path_free(last);
}

TEST(ChangeIconDlg, LastChoiceBetweenGridAndBrowseWins)
{
    const std::string dir = IconDir(), browsed = keltest::Home() + "/pictures/mine.png";
    ASSERT_TRUE(keltest::WritePng(dir + "/a.png", 32) && keltest::WritePng(dir + "/b.png", 32));
    ASSERT_TRUE(keltest::WritePng(browsed, 48));
    keltest::LogCapture log;
    Owner owner;
    owner.Open(dir, dir + "/b.png", "Editor");
    const std::string gridIcon = GridRows(owner.Grid()).at(0).path;
    owner.Select(0);
    EXPECT_EQ(gridIcon, owner.PathShown());
    {
        ChooserDriver driver(browsed, GTK_RESPONSE_ACCEPT);
        owner.Click("Browse...");
        ASSERT_TRUE(driver.answered);
        EXPECT_EQ("Choose Icon", driver.title);
        EXPECT_EQ(GTK_WINDOW(owner.Win()), driver.parent);
        EXPECT_EQ("Image types", driver.filterName);
        EXPECT_TRUE(driver.filterTakesPng && !driver.filterTakesText);
    }
    EXPECT_EQ(browsed, owner.PathShown());
    EXPECT_TRUE(log.Has("CChangeIconDlg::GTK_BROWSE_BTN_CLICKED <<End"));
    EXPECT_TRUE(keltest::ToplevelsWithTitle("Choose Icon").empty());
    {
        ChooserDriver driver(keltest::Home() + "/elsewhere.png", GTK_RESPONSE_CANCEL);
        owner.Click("Browse...");
        ASSERT_TRUE(driver.answered);
    }
    EXPECT_EQ(browsed, owner.PathShown());
    owner.Select(0); /* the grid icon chosen before browsing can be chosen again */
    EXPECT_EQ(gridIcon, owner.PathShown());
    {
        ChooserDriver driver(browsed, GTK_RESPONSE_ACCEPT);
        owner.Click("Browse...");
        ASSERT_TRUE(driver.answered);
    }
    owner.Click("OK");
    EXPECT_EQ(1, owner.calls);
    EXPECT_EQ(1, owner.status);
    EXPECT_EQ(browsed, owner.icon);
}

TEST(ChangeIconDlg, NameIsTrimmedValidatedAndOnlyAnAcceptedOneApplies)
{
    keltest::LogCapture log;
    Owner owner;
    owner.Open(IconDir(), "/opt/icons/old.png", "Old Name");
    std::string reason, empty;
    ASSERT_LT(LibKELData::CKELDataTools::IsInputValid(empty, reason), 0);
    gtk_entry_set_text(owner.NameEntry(), "  \n \t \r\n ");
    {
        keltest::MessageBoxAnswerer box(GTK_RESPONSE_OK);
        owner.Click("OK");
        ASSERT_TRUE(box.Answered());
        EXPECT_EQ(reason, box.Text());
        EXPECT_EQ(GTK_MESSAGE_ERROR, box.Type());
        EXPECT_EQ(GTK_WINDOW(owner.Win()), box.Parent());
    }
    ASSERT_TRUE(owner.Win() && GTK_WIDGET_VISIBLE(owner.Win()));
    EXPECT_STREQ("", gtk_entry_get_text(owner.NameEntry()));
    EXPECT_EQ(0, owner.calls);
    EXPECT_EQ(0, owner.dlg->FetchReturnStatus());
    EXPECT_TRUE(log.Has("CChangeIconDlg::GTK_OK_BTN_CLICKED <<End"));

    /* A name typed after the refusal but never confirmed is not applied by a frame close. */
    gtk_entry_set_text(owner.NameEntry(), "Typed But Not Confirmed");
    CloseFromFrame(owner.Win());
    EXPECT_EQ(1, owner.calls);
    EXPECT_EQ(0, owner.status);
    EXPECT_EQ("Old Name", owner.name);

    owner.Open(IconDir(), "/opt/icons/old.png", "Old Name");
    gtk_entry_set_text(owner.NameEntry(), " \n  Web\nBrowser \r\n ");
    owner.Click("OK");
    EXPECT_EQ(1, owner.calls);
    EXPECT_TRUE(owner.windowStillHeld);
    EXPECT_EQ(1, owner.status);
    EXPECT_EQ("WebBrowser", owner.name);
    EXPECT_EQ("/opt/icons/old.png", owner.icon); /* no icon chosen: the item keeps its own */
    EXPECT_TRUE(owner.dlg->GetWindow() == NULL);
}

TEST(ChangeIconDlg, CancelFrameCloseAndDeleteWhileOpenApplyNothing)
{
    const std::string dir = IconDir();
    ASSERT_TRUE(keltest::WritePng(dir + "/a.png", 32));
    keltest::LogCapture log;
    Owner owner;
    owner.Open(dir, "/opt/icons/old.png", "Old Name");
    owner.Select(0);
    gtk_entry_set_text(owner.NameEntry(), "New Name");
    owner.Click("Cancel");
    EXPECT_EQ(1, owner.calls);
    EXPECT_EQ(0, owner.status);
    EXPECT_TRUE(log.Has("CChangeIconDlg::CancelBtn click >>Start") && log.Has("CChangeIconDlg::CancelBtn click <<End"));

    owner.Open(dir, "/opt/icons/old.png", "Old Name");
    owner.Select(0);
    CloseFromFrame(owner.Win());
    EXPECT_EQ(1, owner.calls);
    EXPECT_EQ(0, owner.status);
    EXPECT_TRUE(keltest::ToplevelsWithTitle(TITLE).empty());

    /* The owner's destructor deletes a dialog that is still up: no callback, no window left. */
    owner.Open(dir, "", "Name");
    owner.Select(0);
    delete owner.dlg;
    owner.dlg = nullptr;
    keltest::Drain();
    EXPECT_EQ(0, owner.calls);
    EXPECT_TRUE(keltest::ToplevelsWithTitle(TITLE).empty());
}

TEST(ChangeIconDlg, MissingFolderAndNoIconStillGiveAWorkingDialogWithoutPlaceholderPath)
{
    keltest::LogCapture log;
    const std::string domainBefore = textdomain(NULL);
    Owner owner;
    owner.Open(keltest::Root() + "/no/such/folder", "", "Tools");
    EXPECT_EQ(domainBefore, textdomain(NULL)); /* the host's default domain stays its own */
    bool logged = false;
    for (const keltest::LogCapture::Line& line : log.Lines())
        logged = logged || (line.text == "Can not open specified dir!" && line.level == 2);
    EXPECT_TRUE(logged);
    EXPECT_TRUE(GridRows(owner.Grid()).empty());
    EXPECT_EQ(LibKELGUI::Tr("Default Icon"), owner.PathShown());
    gtk_entry_set_text(owner.NameEntry(), "Utilities");
    owner.Click("OK");
    EXPECT_EQ(1, owner.status);
    EXPECT_EQ("Utilities", owner.name);
    EXPECT_EQ("", owner.icon); /* the placeholder is never handed back as a path */
}
