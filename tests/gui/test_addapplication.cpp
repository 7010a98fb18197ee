/* The Add Application window: the selection handed back, each program's command, reloads after a
 * search dialog closes, and deletion during a search. */
#include <gtest/gtest.h>
#include <gdk/gdkkeysyms.h>

#include <memory>

#include "CAddApplicationWindow.h"
#include "ScriptedIPC.h"
#include "SearchTestHelpers.h"

using LibKELData::CApplicationInfo;
using LibKELGUI::CAddApplicationWindow;
using namespace searchtest;

namespace {

class AddApplication : public ::testing::Test {
protected:
    keltest::ScriptedIPC ipc;
    GtkWidget* parent = NewParent();
    std::unique_ptr<CAddApplicationWindow> win;
    std::list<CApplicationInfo> chosen;
    int closed = 0;

    void TearDown() override { win.reset(), gtk_widget_destroy(parent); }
    static void Closed(GtkWidget*, gpointer self)
    {
        AddApplication* t = static_cast<AddApplication*>(self);
        t->chosen.assign(++t->closed, CApplicationInfo("stale", "", "", 0)); /* must be replaced */
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
    int Rows() const { return gtk_tree_model_iter_n_children(gtk_tree_view_get_model(View()), NULL); }
    void Select(const std::vector<int>& rows)
    {
        for (int r : rows) {
            GtkTreePath* path = gtk_tree_path_new_from_indices(r, -1);
            gtk_tree_selection_select_path(gtk_tree_view_get_selection(View()), path);
            gtk_tree_path_free(path);
        }
    }
    void Press(const char* label) { keltest::Click(keltest::FindButtonByLabel(Win(), label)); }
    GtkWidget* SearchDialog() const { auto d = keltest::ToplevelsWithTitle("Search Program"); return d.empty() ? NULL : GTK_WIDGET(d[0]); }
    static void Results(int count)
    {
        std::vector<CApplicationInfo> programs;
        for (int i = 0; i < count; ++i)
            programs.push_back(Program(i));
        WriteResults(programs);
    }
};

} // namespace

TEST_F(AddApplication, OkHandsBackCopiesOfTheSelectedRowsInListOrderAndNothingOtherwise)
{
    Results(5);
    /* Closed by a button, "frame" or "escape"; the rows selected, the rows handed back. */
    const struct { const char* close; std::vector<int> selected, handedBack; } cases[] = {
        {"OK", {}, {}}, {"OK", {4, 0, 2}, {0, 2, 4}}, {"Cancel", {0}, {}}, {"frame", {2}, {}}, {"escape", {1}, {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.close);
        Open();
        Select(c.selected);
        std::string how = c.close;
        how == "frame" ? keltest::CloseFromFrame(Win()) : how == "escape" ? keltest::PressKey(Win(), GDK_Escape) : Press(c.close);
        EXPECT_EQ(Win(), nullptr);
        std::string names, expected;
        for (const CApplicationInfo& p : chosen) names += p.GetName() + "; ";
        for (int i : c.handedBack) expected += Program(i).GetName() + "; ";
        EXPECT_EQ(names, expected);
    }
    EXPECT_EQ(closed, 5);
}

TEST_F(AddApplication, TheListFillsTheWindowWithAtLeastFiveRowsForAMultipleSelection)
{
    Results(10);
    Open();
    GtkTreePath *first = NULL, *last = NULL;
    ASSERT_TRUE(keltest::PumpUntil([this] { return GTK_WIDGET_MAPPED(View()); }, 5000));
    ASSERT_TRUE(gtk_tree_view_get_visible_range(View(), &first, &last));
    EXPECT_GE(gtk_tree_path_get_indices(last)[0] - gtk_tree_path_get_indices(first)[0], 4);
    gtk_tree_path_free(first);
    gtk_tree_path_free(last);
}

TEST_F(AddApplication, EachRowShowsItsCommandEscaped)
{
    WriteResults({CApplicationInfo("Gimp & Co", "/usr/bin/gimp <x>", "", 1)});
    Open();
    gchar* tip = keltest::CellAt<gchar*>(gtk_tree_view_get_model(View()), 0, gtk_tree_view_get_tooltip_column(View()));
    ASSERT_TRUE(tip && pango_parse_markup(tip, -1, 0, NULL, NULL, NULL, NULL)) << "names and commands are escaped";
    EXPECT_NE(std::string(tip).find("/usr/bin/gimp &lt;x&gt;"), std::string::npos) << tip;
    g_free(tip);
}

TEST_F(AddApplication, ClosingTheSearchDialogReloadsAndAnEmptyReloadLeavesNoRowPointingAtDiscardedRecords)
{
    Results(1);
    Open(true);
    Press("Search");
    Results(2);
    keltest::CloseFromFrame(SearchDialog());
    EXPECT_EQ(Rows(), 2);
    Select({1});
    Press("Search");
    ASSERT_EQ(remove(LibKELData::SearchResultFile().c_str()), 0);
    keltest::CloseFromFrame(SearchDialog());
    EXPECT_EQ(Rows(), 0);
    Press("OK");
    EXPECT_TRUE(chosen.empty());
}

TEST_F(AddApplication, DeletingTheWindowDuringASearchStopsItAndNoAnswerGetsThrough)
{
    Open();
    Press("Search");
    SetPath(SearchDialog(), "/");
    keltest::Click(ActionButton(SearchDialog()));
    ASSERT_EQ(ipc.CountCalls("SearchLocalProgram"), 1);
    win.reset();
    EXPECT_TRUE(ipc.CountCalls("CancelOperation") == 1 && SearchDialog() == nullptr);
    EXPECT_EQ(closed, 0) << "the opener hears nothing from a window it deleted itself";
    ipc.DeliverLocalDone();
    ASSERT_TRUE(ipc.WaitDelivered(1));
    EXPECT_EQ(ipc.Reached(), 0);
}
