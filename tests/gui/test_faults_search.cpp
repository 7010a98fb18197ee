/* The search dialogs clicked through a thousand searches and cancels while answers keep arriving, with a
 * scripted service that answers late and with the real local service; and the name-and-icon dialog over an
 * icon folder of thousands of files and traps. */
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <random>

#include "CChangeIconDlg.h"
#include "CSearchProgramForAdminTool.h"
#include "CSearchProgramForShellController.h"
#include "KELConstants.h"
#include "KELData.h"
#include "KelTest.h"
#include "ScriptedIPC.h"
#include "SearchTestHelpers.h"

using namespace searchtest;

namespace {

/* What the dialog shows must always be one of its two states, with the bar in range. */
void ExpectSane(GtkWidget* win, int round)
{
    const std::string label = ActionLabel(win);
    EXPECT_TRUE(label == "Search" || label == "Cancel") << "round " << round << ": " << label;
    const double bar = Progress(win);
    EXPECT_TRUE(bar >= 0.0 && bar <= 1.0) << "round " << round << ": bar at " << bar;
}

} // namespace

TEST(SearchDialogFaults, RemoteSearchCancelledAndRestartedAThousandTimesWhileAnswersArrive)
{
    keltest::ScriptedIPC ipc;
    ipc.studentCount = 4;
    GtkWidget* parent = NewParent();
    int closed = 0;
    std::unique_ptr<LibKELGUI::CSearchProgramForShellController> dlg(new LibKELGUI::CSearchProgramForShellController(0));
    dlg->Init();
    dlg->ShowModal(parent, G_CALLBACK(CountClose), &closed);
    keltest::Drain();
    GtkWidget* win = dlg->GetWindow();
    SetPath(win, "/opt");

    /* Answers are queued without waiting: they land whenever the main loop runs, before or
     * after the next click, and some belong to a search already cancelled. */
    std::mt19937 rng(3);
    int starts = 0, cancels = 0, queued = 0;
    for (int round = 0; round < 1000; ++round) {
        const bool searching = ActionLabel(win) == "Cancel";
        keltest::Click(ActionButton(win));
        if (searching) {
            ++cancels;
            EXPECT_EQ("Search", ActionLabel(win)) << "round " << round << ": an accepted cancel ends the search";
        } else {
            ++starts;
        }
        for (int n = rng() % 4; n > 0; --n, ++queued)
            ipc.DeliverStudentAnswer("s" + std::to_string(n));
        if (rng() % 3 == 0)
            keltest::Drain();
        ExpectSane(win, round);
    }
    ASSERT_TRUE(ipc.WaitDelivered(queued, 30000));
    ExpectSane(win, 1000);
    EXPECT_EQ(starts, ipc.CountCalls("SearchProgram"));
    EXPECT_EQ(cancels, ipc.CountCalls("CancelOperation"));

    /* Still working: a search from idle ends with its four answers. */
    if (ActionLabel(win) == "Cancel")
        keltest::Click(ActionButton(win));
    keltest::Click(ActionButton(win));
    ASSERT_EQ("Cancel", ActionLabel(win));
    for (int i = 0; i < 4; ++i)
        ipc.DeliverStudentAnswer("s" + std::to_string(i));
    ASSERT_TRUE(ipc.WaitDelivered(queued + 4));
    EXPECT_DOUBLE_EQ(1.0, Progress(win));
    EXPECT_EQ("Search program is done!", StatusText(win));
    EXPECT_EQ("Search", ActionLabel(win));

    dlg.reset();
    gtk_widget_destroy(parent);
}

TEST(SearchDialogFaults, LocalSearchOnTheRealServiceCancelledAndRestartedAThousandTimes)
{
    const std::string tree = keltest::Root() + "/apps";
    for (int i = 0; i < 60; ++i)
        keltest::WriteFile(tree + "/d" + std::to_string(i % 12) + "/p" + std::to_string(i) + ".desktop",
                           "[Desktop Entry]\nType=Application\nName=P" + std::to_string(i) + "\nExec=/bin/true " +
                               std::to_string(i) + "\n");
    GtkWidget* parent = NewParent();
    int closed = 0;
    std::unique_ptr<LibKELGUI::CSearchProgramForAdminTool> dlg(new LibKELGUI::CSearchProgramForAdminTool(0));
    dlg->Init();
    dlg->ShowModal(parent, G_CALLBACK(CountClose), &closed);
    keltest::Drain();
    GtkWidget* win = dlg->GetWindow();
    SetPath(win, tree);

    std::mt19937 rng(5);
    for (int round = 0; round < 1000; ++round) {
        keltest::Click(ActionButton(win));
        /* The completion needs the GDK lock, which the test holds between its pumps. */
        if (rng() % 4 == 0)
            keltest::Drain();
        ExpectSane(win, round);
    }
    /* Whatever the last click left running ends; then one search runs to its end. */
    ASSERT_TRUE(keltest::PumpUntil([win] {
        if (ActionLabel(win) == "Cancel")
            return false;
        return true;
    }, 30000));
    keltest::Click(ActionButton(win));
    ASSERT_TRUE(keltest::PumpUntil([win] { return StatusText(win) == "Search program is done!"; }, 30000))
        << StatusText(win) << " / " << ActionLabel(win);
    EXPECT_EQ("Search", ActionLabel(win));
    LibKELData::CSearchResultData results;
    ASSERT_EQ(0, results.LoadFromFile(LibKELData::CONFIG_FILE_DIR + LibKELData::SEARCH_RESULT));
    ASSERT_NE(nullptr, results.GetPApplicationInfoList());
    EXPECT_EQ(60u, results.GetPApplicationInfoList()->size());

    dlg.reset();
    gtk_widget_destroy(parent);
}

TEST(SearchDialogFaults, IconFolderOfThousandsOfFilesAndTraps)
{
    const std::string dir = keltest::EtcKel() + "icons";
    ASSERT_TRUE(keltest::WritePng(dir + "/icon.png", 48));
    /* Thousands of entries, cheaply: links to one picture, and files that are no pictures. */
    for (int i = 0; i < 2500; ++i)
        ASSERT_EQ(0, link((dir + "/icon.png").c_str(), (dir + "/i" + std::to_string(i) + ".png").c_str()));
    for (int i = 0; i < 500; ++i)
        ASSERT_TRUE(keltest::WriteFile(dir + "/note" + std::to_string(i) + ".txt", "not a picture"));
    ASSERT_EQ(0, symlink("/dev/zero", (dir + "/zero.png").c_str())); /* endless */
    ASSERT_EQ(0, symlink("nowhere.png", (dir + "/dangling.png").c_str()));
    ASSERT_EQ(0, mkfifo((dir + "/fifo.png").c_str(), 0644));
    ASSERT_TRUE(keltest::MakeDirs(dir + "/folder.png"));
    ASSERT_TRUE(keltest::WriteFile(dir + "/cut.png", keltest::ReadFile(dir + "/icon.png").substr(0, 60)));
    ASSERT_TRUE(keltest::WriteFile(dir + "/name\n\xff\xfe.png", keltest::ReadFile(dir + "/icon.png")));
    const size_t entries = 1 + 2500 + 500 + 6;

    GtkWidget* parent = NewParent();
    int closed = 0;
    LibKELGUI::CChangeIconDlg dlg(dir, "", "Name", "Edit Application");
    dlg.Init();
    ASSERT_EQ(1, dlg.ShowModal(parent, G_CALLBACK(CountClose), &closed));
    keltest::Drain();
    GtkIconView* grid = GTK_ICON_VIEW(keltest::FindByType(dlg.GetWindow(), GTK_TYPE_ICON_VIEW));
    ASSERT_NE(nullptr, grid);
    GtkTreeModel* model = gtk_icon_view_get_model(grid);
    EXPECT_EQ((int)entries, gtk_tree_model_iter_n_children(model, NULL));

    /* The last icon can be chosen, and the dialog closes with it. */
    GtkTreePath* last = gtk_tree_path_new_from_indices((int)entries - 1, -1);
    gtk_icon_view_select_path(grid, last);
    gtk_tree_path_free(last);
    keltest::Click(keltest::FindButtonByLabel(dlg.GetWindow(), "OK"));
    EXPECT_EQ(1, closed);
    std::string name, icon;
    dlg.FetchData(name, icon);
    EXPECT_EQ("Name", name);
    EXPECT_EQ(0u, icon.find(dir + "/"));
    gtk_widget_destroy(parent);
}
