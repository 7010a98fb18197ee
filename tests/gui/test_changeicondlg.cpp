/* The name-and-icon dialog: the icon grid, grid and file-chooser choices, name validation, the
 * ways it closes, and what its owner reads back. */
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <libintl.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "CChangeIconDlg.h"
#include "KELDataTools.h"
#include "KelTest.h"
#include "SearchTestHelpers.h"

using LibKELGUI::CChangeIconDlg;

namespace {

const char* const TITLE = "Edit Application";

/* Stands in for the Shell Settings page: a parent window, and a close callback that reads the
 * dialog while it is still intact. */
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
    GtkEntry* Entry(int i) const { return GTK_ENTRY(keltest::FindByType(Win(), GTK_TYPE_ENTRY, i)); }
    void SetName(const char* name) const { gtk_entry_set_text(Entry(0), name); }
    std::string PathShown() const { return gtk_entry_get_text(Entry(1)); }
    GtkIconView* Grid() const { return GTK_ICON_VIEW(keltest::FindByType(Win(), GTK_TYPE_ICON_VIEW)); }
    void Click(const char* label) const { keltest::Click(keltest::FindButtonByLabel(Win(), label)); }
    void Select(int index) const
    {
        GtkTreePath* path = gtk_tree_path_new_from_indices(index, -1);
        gtk_icon_view_select_path(Grid(), path);
        gtk_tree_path_free(path);
        keltest::Drain();
    }
};

/* The grid's rows: picture width and height (0 x 0 without one), shown name, file path. */
struct GridRow {
    int width, height;
    std::string name, path;
};

std::vector<GridRow> GridRows(GtkIconView* grid)
{
    GtkTreeModel* model = gtk_icon_view_get_model(grid);
    std::vector<std::string> names = keltest::ColumnTexts(model, 1), paths = keltest::ColumnTexts(model, 2);
    std::vector<GridRow> rows;
    for (size_t i = 0; i < names.size(); ++i) {
        GdkPixbuf* image = keltest::CellAt<GdkPixbuf*>(model, i, 0);
        rows.push_back(
            {image ? gdk_pixbuf_get_width(image) : 0, image ? gdk_pixbuf_get_height(image) : 0, names[i], paths[i]});
    }
    return rows;
}

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

    Owner owner;
    owner.Open(dir, "", "Editor");
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
    ASSERT_TRUE(keltest::WritePng(dir + "/a.png", 32) && keltest::WritePng(browsed, 48));
    Owner owner;
    owner.Open(dir, dir + "/b.png", "Editor");
    owner.Select(0);
    EXPECT_EQ(dir + "/a.png", owner.PathShown());
    {
        searchtest::ChooserAnswerer answer("", browsed, GTK_RESPONSE_ACCEPT);
        owner.Click("Browse...");
        ASSERT_TRUE(answer.answered);
        EXPECT_TRUE(answer.filterTakesPng && !answer.filterTakesText) << "the chooser offers images only";
    }
    EXPECT_EQ(browsed, owner.PathShown());
    {
        searchtest::ChooserAnswerer answer("", keltest::Home() + "/elsewhere.png", GTK_RESPONSE_CANCEL);
        owner.Click("Browse...");
    }
    EXPECT_EQ(browsed, owner.PathShown());
    owner.Select(0); /* the grid icon chosen before browsing can be chosen again */
    EXPECT_EQ(dir + "/a.png", owner.PathShown());
    owner.Click("OK");
    EXPECT_EQ(1, owner.status);
    EXPECT_EQ(dir + "/a.png", owner.icon);
}

TEST(ChangeIconDlg, NameIsTrimmedValidatedAndOnlyAnAcceptedOneApplies)
{
    Owner owner;
    owner.Open(IconDir(), "/opt/icons/old.png", "Old Name");
    std::string reason;
    ASSERT_LT(LibKELData::CKELDataTools::IsInputValid("", reason), 0);
    owner.SetName("  \n \t \r\n ");
    {
        keltest::MessageBoxAnswerer box(GTK_RESPONSE_OK);
        owner.Click("OK");
        EXPECT_EQ(reason, box.Text());
        EXPECT_EQ(GTK_MESSAGE_ERROR, box.Type());
        EXPECT_EQ(GTK_WINDOW(owner.Win()), box.Parent());
    }
    ASSERT_TRUE(owner.Win() && GTK_WIDGET_VISIBLE(owner.Win()));
    EXPECT_EQ(0, owner.calls);
    EXPECT_EQ(0, owner.dlg->FetchReturnStatus()) << "a refused OK is no OK";

    /* A name typed after the refusal but never confirmed is not applied by a frame close. */
    owner.SetName("Typed But Not Confirmed");
    keltest::CloseFromFrame(owner.Win());
    EXPECT_EQ(0, owner.status);
    EXPECT_EQ("Old Name", owner.name);

    owner.Open(IconDir(), "/opt/icons/old.png", "Old Name");
    owner.SetName(" \n  Web\nBrowser \r\n ");
    owner.Click("OK");
    EXPECT_EQ(1, owner.calls);
    EXPECT_TRUE(owner.windowStillHeld);
    EXPECT_EQ(1, owner.status);
    EXPECT_EQ("WebBrowser", owner.name);
    EXPECT_EQ("/opt/icons/old.png", owner.icon); /* no icon chosen: the item keeps its own */
}

TEST(ChangeIconDlg, CancelFrameCloseAndDeleteWhileOpenApplyNothing)
{
    ASSERT_TRUE(keltest::WritePng(IconDir() + "/a.png", 32));
    Owner owner;
    for (int how = 0; how < 3; ++how) {
        owner.Open(IconDir(), "/opt/icons/old.png", "Old Name");
        owner.Select(0);
        owner.SetName("New Name");
        if (how == 0)
            owner.Click("Cancel");
        else if (how == 1)
            keltest::CloseFromFrame(owner.Win());
        else { /* deleted by its owner while still open: no callback */
            delete owner.dlg;
            owner.dlg = nullptr;
        }
        keltest::Drain();
        EXPECT_EQ(how < 2 ? 1 : 0, owner.calls) << how;
        EXPECT_EQ(how < 2 ? 0 : -1, owner.status) << how;
        EXPECT_TRUE(keltest::ToplevelsWithTitle(TITLE).empty()) << how;
        owner.status = -1;
    }
}

TEST(ChangeIconDlg, MissingFolderAndNoIconStillGiveAWorkingDialogWithoutPlaceholderPath)
{
    keltest::LogCapture log;
    const std::string domainBefore = textdomain(NULL);
    Owner owner;
    owner.Open(keltest::Root() + "/no/such/folder", "", "Tools");
    EXPECT_EQ(domainBefore, textdomain(NULL)); /* the host's default domain stays its own */
    EXPECT_TRUE(log.Has("Can not open specified dir!"));
    EXPECT_TRUE(GridRows(owner.Grid()).empty());
    EXPECT_EQ(LibKELGUI::Tr("Default Icon"), owner.PathShown());
    owner.SetName("Utilities");
    owner.Click("OK");
    EXPECT_EQ(1, owner.status);
    EXPECT_EQ("Utilities", owner.name);
    EXPECT_EQ("", owner.icon); /* the placeholder is never handed back as a path */
}
