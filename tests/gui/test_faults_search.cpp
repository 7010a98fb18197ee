/* The search dialogs clicked through a thousand searches and cancels while answers keep arriving, with a
 * scripted service that answers late and with the real local service. */
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <random>

#include "CSearchProgramForAdminTool.h"
#include "CSearchProgramForShellController.h"
#include "KELConstants.h"
#include "KELData.h"
#include "KelTest.h"
#include "ServiceFixture.h"
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
    ASSERT_TRUE(KelTest::StartPolicyService());
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
    /* Whatever the last click left running ends (the service stays busy until its last
     * answer is delivered, which needs the GDK lock); then one search runs to its end. */
    ASSERT_TRUE(keltest::PumpUntil([win] {
        if (ActionLabel(win) == "Cancel")
            return true;
        keltest::Click(ActionButton(win));
        return ActionLabel(win) == "Cancel";
    }, 30000));
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
