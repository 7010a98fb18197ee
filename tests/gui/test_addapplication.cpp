/* The Add Application window: the list from the search-result file, its icons, the
 * selection handed back, the 200-result question, and reloads after a search dialog closes. */
#include <gtest/gtest.h>

#include <memory>

#include "CAddApplicationWindow.h"
#include "CIconCache.h"
#include "KelTest.h"
#include "ScriptedIPC.h"
#include "SearchTestHelpers.h"

using LibKELData::CApplicationInfo;
using LibKELGUI::CAddApplicationWindow;
using namespace searchtest;

namespace {

struct Opener {
    keltest::ScriptedIPC ipc;
    GtkWidget* parent = NewParent();
    std::unique_ptr<CAddApplicationWindow> win;
    std::list<CApplicationInfo> chosen;
    int closed = 0;

    static void Closed(GtkWidget*, gpointer self)
    {
        Opener* o = static_cast<Opener*>(self);
        ++o->closed;
        o->chosen.push_back(CApplicationInfo("stale", "", "", 0)); /* must be replaced */
        o->win->GetSelectApplicationList(o->chosen);
    }

    void Open(bool remote = false)
    {
        win.reset(new CAddApplicationWindow(remote));
        win->Init();
        win->ShowModal(parent, G_CALLBACK(Closed), this);
        keltest::Drain();
    }
    ~Opener()
    {
        win.reset();
        gtk_widget_destroy(parent);
    }
    GtkWidget* Win() const { return win->GetWindow(); }
    GtkTreeView* View() const { return GTK_TREE_VIEW(keltest::FindByType(Win(), GTK_TYPE_TREE_VIEW)); }
    int Rows() const
    {
        GtkTreeModel* model = gtk_tree_view_get_model(View());
        return model ? gtk_tree_model_iter_n_children(model, NULL) : -1;
    }
    std::string NameAt(int row) const { return Cell<gchar*, std::string>(row, 1); }
    GdkPixbuf* IconAt(int row) const
    {
        GdkPixbuf* pb = Cell<GdkPixbuf*, GdkPixbuf*>(row, 0);
        if (pb)
            g_object_unref(pb); /* the store keeps its own */
        return pb;
    }
    void Select(std::initializer_list<int> rows)
    {
        GtkTreeSelection* sel = gtk_tree_view_get_selection(View());
        for (int r : rows) {
            GtkTreePath* path = gtk_tree_path_new_from_indices(r, -1);
            gtk_tree_selection_select_path(sel, path);
            gtk_tree_path_free(path);
        }
    }
    void Press(const char* label) { keltest::Click(keltest::FindButtonByLabel(Win(), label)); }
    GtkWidget* SearchDialog() const
    {
        std::vector<GtkWindow*> dialogs = keltest::ToplevelsWithTitle("Search Program");
        return dialogs.size() == 1 ? GTK_WIDGET(dialogs[0]) : NULL;
    }
    /* Starts a search in the open search dialog and returns its clear-results flag. */
    int StartSearchIn(GtkWidget* dialog)
    {
        ipc.studentCount = 1;
        SetPath(dialog, "/opt");
        keltest::Click(ActionButton(dialog));
        return ipc.LastCall(ipc.CountCalls("SearchProgram") ? "SearchProgram" : "SearchLocalProgram").clear;
    }

private:
    template <typename T, typename R>
    R Cell(int row, int column) const
    {
        GtkTreeModel* model = gtk_tree_view_get_model(View());
        GtkTreeIter iter;
        T value = T();
        if (!gtk_tree_model_iter_nth_child(model, &iter, NULL, row))
            return R();
        gtk_tree_model_get(model, &iter, column, &value, -1);
        R result = value ? R(value) : R();
        if constexpr (std::is_same<T, gchar*>::value)
            g_free(value);
        return result;
    }
};

void WriteDefaultIcon()
{
    ASSERT_TRUE(keltest::WritePng(LibKELData::KEL_IMAGE_APP_DEFAULT_ICON, 32, 0x808080ff));
}

} // namespace

TEST(AddApplication, ListsTheResultFileWithIconsDecodedOncePerFile)
{
    WriteDefaultIcon();
    std::string small = keltest::Root() + "/icons/small.png";
    std::string large = keltest::Root() + "/icons/large.png";
    ASSERT_TRUE(keltest::WritePng(small, 24));
    ASSERT_TRUE(keltest::WritePng(large, 128));
    WriteResults({Program(0, small), Program(1, large), Program(2, keltest::Root() + "/icons/missing.png"),
                  Program(3, ""), Program(4, small), Program(5, large)});
    LibKELGUI::CIconCache::Clear();
    unsigned decodes = LibKELGUI::CIconCache::DecodeCount();

    Opener o;
    o.Open();
    ASSERT_EQ(o.Rows(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(o.NameAt(i), "Program " + std::to_string(i));
    /* Each file decoded once, the default icon once for both rows without one of their own. */
    EXPECT_EQ(LibKELGUI::CIconCache::DecodeCount() - decodes, 3u);

    /* At file size, but a huge icon is shown at the row height limit, keeping its shape. */
    const int expected[] = {24, 48, 32, 32, 24, 48};
    for (int i = 0; i < 6; ++i) {
        GdkPixbuf* pb = o.IconAt(i);
        ASSERT_NE(pb, nullptr) << "row " << i;
        EXPECT_EQ(gdk_pixbuf_get_width(pb), expected[i]) << "row " << i;
        EXPECT_EQ(gdk_pixbuf_get_height(pb), expected[i]) << "row " << i;
    }
    EXPECT_EQ(o.IconAt(2), o.IconAt(3)) << "one default picture shared by the rows";
    EXPECT_EQ(o.IconAt(1), o.IconAt(5)) << "one scaled picture per file";
    EXPECT_TRUE(gtk_tree_view_get_fixed_height_mode(o.View()));

    /* A reload decodes nothing again. */
    decodes = LibKELGUI::CIconCache::DecodeCount();
    EXPECT_EQ(o.win->LoadXMLData(), 6);
    EXPECT_EQ(LibKELGUI::CIconCache::DecodeCount(), decodes);
}

TEST(AddApplication, OkHandsBackCopiesOfTheSelectedRowsInListOrder)
{
    WriteDefaultIcon();
    std::vector<CApplicationInfo> programs;
    for (int i = 0; i < 5; ++i)
        programs.push_back(Program(i, "/icons/p" + std::to_string(i) + ".png"));
    programs[2].SetEnable(0);
    WriteResults(programs);
    keltest::LogCapture log;
    Opener o;

    o.Open();
    o.Press("OK");
    EXPECT_EQ(o.closed, 1);
    EXPECT_TRUE(o.chosen.empty());
    EXPECT_EQ(o.win->GetWindow(), nullptr);

    o.Open();
    o.Select({3});
    o.Press("OK");
    ASSERT_EQ(o.chosen.size(), 1u);
    EXPECT_TRUE(o.chosen.front().IsEqual(programs[3]));

    o.Open();
    o.Select({4, 0, 2});
    o.Press("OK");
    ASSERT_EQ(o.chosen.size(), 3u);
    std::list<CApplicationInfo>::iterator it = o.chosen.begin();
    EXPECT_TRUE(it->IsEqual(programs[0]));
    EXPECT_TRUE((++it)->IsEqual(programs[2]));
    EXPECT_EQ(it->GetEnable(), 0);
    EXPECT_TRUE((++it)->IsEqual(programs[4]));

    /* Copies: they outlive the window and its records. */
    o.win.reset();
    EXPECT_EQ(o.chosen.back().GetName(), "Program 4");
    EXPECT_TRUE(log.Has("CAddApplicationWindow::GtkOKBtnClicked >>Start"));
    EXPECT_EQ(log.Count("CAddApplicationWindow::GtkTreeSelectionForeachFunc >>Start"), 4);
}

TEST(AddApplication, CancelAndTheFrameCloseHandBackNothing)
{
    WriteDefaultIcon();
    WriteResultCount(3);
    keltest::LogCapture log;
    Opener o;

    o.Open();
    o.Select({0, 1});
    o.Press("Cancel");
    EXPECT_EQ(o.closed, 1);
    EXPECT_TRUE(o.chosen.empty());

    o.Open();
    o.Select({2});
    log.Clear();
    CloseFromFrame(o.Win());
    EXPECT_EQ(o.closed, 2);
    EXPECT_TRUE(o.chosen.empty());
    EXPECT_EQ(o.win->GetWindow(), nullptr);
    EXPECT_TRUE(log.Has("CAddApplicationWindow::GtkCancelBtnClicked >>Start"));
    EXPECT_TRUE(log.Has("CAddApplicationWindow::GtkCancelBtnClicked <<End"));
}

TEST(AddApplication, AboveTwoHundredResultsTheUserMayClearThemForTheNextSearch)
{
    WriteDefaultIcon();
    WriteResultCount(200);
    Opener o;
    o.Open();
    ASSERT_EQ(o.Rows(), 200);

    {
        keltest::MessageBoxAnswerer answer(GTK_RESPONSE_YES, 300);
        o.Press("Search");
        EXPECT_FALSE(answer.Answered());
    }
    ASSERT_NE(o.SearchDialog(), nullptr);
    EXPECT_EQ(o.StartSearchIn(o.SearchDialog()), 0);

    /* The search brought one more; the list shows it once the dialog is closed. */
    WriteResultCount(201);
    EXPECT_EQ(o.Rows(), 200);
    CloseFromFrame(o.SearchDialog());
    EXPECT_EQ(o.Rows(), 201);
    EXPECT_EQ(o.SearchDialog(), nullptr);

    {
        keltest::MessageBoxAnswerer answer(GTK_RESPONSE_YES);
        o.Press("Search");
        ASSERT_TRUE(answer.Answered());
        EXPECT_EQ(answer.Text(),
                  "The sum of search result has exceeded 200. Do you want to clear the old search result?");
        EXPECT_EQ(answer.Type(), GTK_MESSAGE_INFO);
        EXPECT_EQ(answer.Parent(), GTK_WINDOW(o.Win()));
    }
    ASSERT_NE(o.SearchDialog(), nullptr);
    EXPECT_EQ(o.StartSearchIn(o.SearchDialog()), 1);
    CloseFromFrame(o.SearchDialog());

    {
        keltest::MessageBoxAnswerer answer(GTK_RESPONSE_NO);
        o.Press("Search");
        EXPECT_TRUE(answer.Answered());
    }
    ASSERT_NE(o.SearchDialog(), nullptr) << "the question is only a question";
    EXPECT_EQ(o.StartSearchIn(o.SearchDialog()), 0);
}

TEST(AddApplication, ASearchDialogClosedBeforeAnythingWasFoundStillReloads)
{
    WriteDefaultIcon();
    WriteResultCount(1);
    Opener o;
    o.Open(true);
    ASSERT_EQ(o.Rows(), 1);

    o.Press("Search");
    GtkWidget* dialog = o.SearchDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(keltest::FindButtonByLabel(dialog, "Browse..."), nullptr) << "remote search: no local folder";
    WriteResultCount(2);
    keltest::Drain();
    EXPECT_EQ(o.Rows(), 1);

    CloseFromFrame(dialog);
    EXPECT_EQ(o.Rows(), 2);
    EXPECT_EQ(o.ipc.CountCalls("SearchProgram"), 0);
    EXPECT_EQ(o.ipc.CountCalls("CancelOperation"), 0);

    /* The local window opens the local search. */
    Opener local;
    local.Open(false);
    local.Press("Search");
    ASSERT_NE(local.SearchDialog(), nullptr);
    EXPECT_NE(keltest::FindButtonByLabel(local.SearchDialog(), "Browse..."), nullptr);
}

TEST(AddApplication, AReloadThatFindsNothingLeavesNoRowBehind)
{
    WriteDefaultIcon();
    WriteResultCount(3);
    Opener o;
    o.Open();
    o.Select({1});

    o.Press("Search");
    ASSERT_NE(o.SearchDialog(), nullptr);
    ASSERT_EQ(remove((LibKELData::CONFIG_FILE_DIR + LibKELData::SEARCH_RESULT).c_str()), 0);
    CloseFromFrame(o.SearchDialog());
    EXPECT_EQ(o.Rows(), 0);

    /* Nothing selected is left to read a discarded record from. */
    o.Press("OK");
    EXPECT_EQ(o.closed, 1);
    EXPECT_TRUE(o.chosen.empty());
}

TEST(AddApplication, DeletingTheWindowDuringASearchStopsItAndNoAnswerGetsThrough)
{
    WriteDefaultIcon();
    WriteResultCount(2);
    Opener o;
    o.Open();
    o.Press("Search");
    GtkWidget* dialog = o.SearchDialog();
    ASSERT_NE(dialog, nullptr);
    o.StartSearchIn(dialog);
    ASSERT_EQ(o.ipc.CountCalls("SearchLocalProgram"), 1);

    o.win.reset();
    EXPECT_EQ(o.ipc.CountCalls("CancelOperation"), 1);
    EXPECT_EQ(o.SearchDialog(), nullptr);
    EXPECT_EQ(o.closed, 0) << "the opener hears nothing from a window it deleted itself";
    o.ipc.DeliverLocalDone();
    ASSERT_TRUE(o.ipc.WaitDelivered(1));
    EXPECT_EQ(o.ipc.Reached(), 0);
}
