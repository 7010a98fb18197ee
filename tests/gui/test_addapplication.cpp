/* The Add Application window: the list from the search-result file, its icons, the selection
 * handed back, the 200-result question, and reloads after a search dialog closes. */
#include <gtest/gtest.h>

#include <memory>

#include "CAddApplicationWindow.h"
#include "CIconCache.h"
#include "KelTest.h"
#include "ScriptedIPC.h"
#include "SearchTestHelpers.h"

using LibKELData::CApplicationInfo;
using LibKELGUI::CAddApplicationWindow;
using LibKELGUI::CIconCache;
using namespace searchtest;

namespace {

class AddApplication : public ::testing::Test {
protected:
    keltest::ScriptedIPC ipc;
    GtkWidget* parent = NewParent();
    std::unique_ptr<CAddApplicationWindow> win;
    std::list<CApplicationInfo> chosen;
    int closed = 0;

    void SetUp() override { ASSERT_TRUE(keltest::WritePng(LibKELData::KEL_IMAGE_APP_DEFAULT_ICON, 32, 0x808080ff)); }
    void TearDown() override
    {
        win.reset();
        gtk_widget_destroy(parent);
    }
    static void Closed(GtkWidget*, gpointer self)
    {
        AddApplication* t = static_cast<AddApplication*>(self);
        ++t->closed;
        t->chosen.push_back(CApplicationInfo("stale", "", "", 0)); /* must be replaced */
        t->win->GetSelectApplicationList(t->chosen);
    }
    void Open(bool remote = false)
    {
        win.reset(new CAddApplicationWindow(remote));
        win->Init();
        win->ShowModal(parent, G_CALLBACK(Closed), this);
        keltest::Drain();
    }
    GtkWidget* Win() const { return win->GetWindow(); }
    GtkTreeView* View() const { return GTK_TREE_VIEW(keltest::FindByType(Win(), GTK_TYPE_TREE_VIEW)); }
    int Rows() const { return ListNames(Win()).size(); }
    GdkPixbuf* IconAt(int row) const { return keltest::CellAt<GdkPixbuf*>(gtk_tree_view_get_model(View()), row, 0); }
    void Select(const std::vector<int>& rows)
    {
        for (int r : rows) {
            GtkTreePath* path = gtk_tree_path_new_from_indices(r, -1);
            gtk_tree_selection_select_path(gtk_tree_view_get_selection(View()), path);
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
    int StartSearch()
    {
        ipc.studentCount = 1;
        SetPath(SearchDialog(), "/opt");
        keltest::Click(ActionButton(SearchDialog()));
        return ipc.LastCall(ipc.CountCalls("SearchProgram") ? "SearchProgram" : "SearchLocalProgram").clear;
    }
};

} // namespace

TEST_F(AddApplication, ListsTheResultFileWithIconsDecodedOncePerFile)
{
    std::string small = keltest::Root() + "/icons/small.png", large = keltest::Root() + "/icons/large.png";
    ASSERT_TRUE(keltest::WritePng(small, 24));
    ASSERT_TRUE(keltest::WritePng(large, 128));
    WriteResults({Program(0, small), Program(1, large), Program(2, keltest::Root() + "/icons/missing.png"),
                  Program(3, ""), Program(4, small), Program(5, large)});
    CIconCache::Clear();
    unsigned decodes = CIconCache::DecodeCount();
    Open();
    ASSERT_EQ(Rows(), 6);
    EXPECT_EQ(ListNames(Win())[5], "Program 5");
    EXPECT_EQ(CIconCache::DecodeCount() - decodes, 3u) << "each file once, the default icon once";
    /* At file size, but a huge icon is shown at the row height limit, keeping its shape. */
    const int expected[] = {24, 48, 32, 32, 24, 48};
    for (int i = 0; i < 6; ++i) {
        ASSERT_NE(IconAt(i), nullptr) << "row " << i;
        EXPECT_EQ(gdk_pixbuf_get_width(IconAt(i)), expected[i]) << "row " << i;
        EXPECT_EQ(gdk_pixbuf_get_height(IconAt(i)), expected[i]) << "row " << i;
    }
    EXPECT_EQ(IconAt(2), IconAt(3)) << "one default picture shared by the rows";
    EXPECT_EQ(IconAt(1), IconAt(5)) << "one scaled picture per file";
    decodes = CIconCache::DecodeCount();
    EXPECT_EQ(win->LoadXMLData(), 6);
    EXPECT_EQ(CIconCache::DecodeCount(), decodes) << "a reload decodes nothing again";
}

TEST_F(AddApplication, OkHandsBackCopiesOfTheSelectedRowsInListOrderAndNothingOtherwise)
{
    std::vector<CApplicationInfo> programs;
    for (int i = 0; i < 5; ++i)
        programs.push_back(Program(i, "/icons/p" + std::to_string(i) + ".png"));
    programs[2].SetEnable(0);
    WriteResults(programs);
    struct Case {
        const char* close; /* a button, or "frame" */
        std::vector<int> selected, handedBack;
    } const cases[] = {
        {"OK", {}, {}}, {"OK", {3}, {3}}, {"OK", {4, 0, 2}, {0, 2, 4}}, {"Cancel", {0, 1}, {}}, {"frame", {2}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.close) + " " + std::to_string(c.selected.size()));
        Open();
        Select(c.selected);
        if (std::string(c.close) == "frame")
            keltest::CloseFromFrame(Win());
        else
            Press(c.close);
        EXPECT_EQ(Win(), nullptr);
        ASSERT_EQ(chosen.size(), c.handedBack.size());
        std::list<CApplicationInfo>::iterator it = chosen.begin();
        for (int i : c.handedBack)
            EXPECT_TRUE((it++)->IsEqual(programs[i])) << i;
    }
    EXPECT_EQ(closed, 5);
    /* Copies: they outlive the window and its records. */
    Open();
    Select({4});
    Press("OK");
    win.reset();
    EXPECT_EQ(chosen.back().GetName(), "Program 4");
}

TEST_F(AddApplication, AboveTwoHundredResultsTheUserMayClearThemForTheNextSearch)
{
    WriteResultCount(200);
    Open();
    ASSERT_EQ(Rows(), 200);
    {
        keltest::MessageBoxAnswerer answer(GTK_RESPONSE_YES, 300);
        Press("Search");
        EXPECT_FALSE(answer.Answered());
    }
    ASSERT_NE(SearchDialog(), nullptr);
    EXPECT_EQ(StartSearch(), 0);
    /* The search brought one more; the list shows it once the dialog is closed. */
    WriteResultCount(201);
    EXPECT_EQ(Rows(), 200);
    keltest::CloseFromFrame(SearchDialog());
    EXPECT_EQ(Rows(), 201);

    for (int response : {GTK_RESPONSE_YES, GTK_RESPONSE_NO}) {
        {
            keltest::MessageBoxAnswerer answer(response);
            Press("Search");
            ASSERT_TRUE(answer.Answered());
            EXPECT_EQ(answer.Text(),
                      "The sum of search result has exceeded 200. Do you want to clear the old search result?");
            EXPECT_EQ(answer.Parent(), GTK_WINDOW(Win()));
        }
        ASSERT_NE(SearchDialog(), nullptr) << "the question is only a question";
        EXPECT_EQ(StartSearch(), response == GTK_RESPONSE_YES ? 1 : 0);
        keltest::CloseFromFrame(SearchDialog());
    }
}

TEST_F(AddApplication, ASearchDialogClosedBeforeAnythingWasFoundStillReloadsAndAnEmptyReloadLeavesNoRow)
{
    WriteResultCount(1);
    Open(true);
    ASSERT_EQ(Rows(), 1);
    Press("Search");
    ASSERT_NE(SearchDialog(), nullptr);
    WriteResultCount(2);
    keltest::Drain();
    EXPECT_EQ(Rows(), 1);
    keltest::CloseFromFrame(SearchDialog());
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(ipc.CountCalls("CancelOperation"), 0);

    /* A reload that finds nothing leaves no selected row pointing at a discarded record. */
    Select({1});
    Press("Search");
    ASSERT_EQ(remove((LibKELData::CONFIG_FILE_DIR + LibKELData::SEARCH_RESULT).c_str()), 0);
    keltest::CloseFromFrame(SearchDialog());
    EXPECT_EQ(Rows(), 0);
    Press("OK");
    EXPECT_EQ(closed, 1);
    EXPECT_TRUE(chosen.empty());
}

TEST_F(AddApplication, DeletingTheWindowDuringASearchStopsItAndNoAnswerGetsThrough)
{
    WriteResultCount(2);
    Open();
    Press("Search");
    ASSERT_NE(SearchDialog(), nullptr);
    StartSearch();
    ASSERT_EQ(ipc.CountCalls("SearchLocalProgram"), 1);
    win.reset();
    EXPECT_EQ(ipc.CountCalls("CancelOperation"), 1);
    EXPECT_EQ(SearchDialog(), nullptr);
    EXPECT_EQ(closed, 0) << "the opener hears nothing from a window it deleted itself";
    ipc.DeliverLocalDone();
    ASSERT_TRUE(ipc.WaitDelivered(1));
    EXPECT_EQ(ipc.Reached(), 0);
}
