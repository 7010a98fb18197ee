/* The remote program search dialog against a scripted service: students answering, the
 * bar's range, refusals, cancel and restart, close and delete while answers keep arriving. */
#include <gtest/gtest.h>

#include <memory>

#include "CSearchProgramForShellController.h"
#include "KelTest.h"
#include "ScriptedIPC.h"
#include "SearchTestHelpers.h"

using LibKELGUI::CSearchProgramForShellController;
using namespace searchtest;

namespace {

struct RemoteSearch {
    keltest::ScriptedIPC ipc;
    GtkWidget* parent = NewParent();
    int closed = 0;
    std::unique_ptr<CSearchProgramForShellController> dlg;

    RemoteSearch()
        : dlg(new CSearchProgramForShellController(0))
    {
        dlg->Init();
        dlg->ShowModal(parent, G_CALLBACK(CountClose), &closed);
        keltest::Drain();
    }
    ~RemoteSearch()
    {
        dlg.reset();
        gtk_widget_destroy(parent);
    }
    GtkWidget* Win() const { return dlg->GetWindow(); }
    void ClickAction() { keltest::Click(ActionButton(Win())); }
    void Start(int students, const std::string& path = "/usr/share/applications")
    {
        ipc.studentCount = students;
        SetPath(Win(), path);
        ClickAction();
    }
    /* One answer, delivered from the service's thread; returns the bar afterwards. */
    double Answer(const std::string& student)
    {
        int n = ipc.Delivered() + 1;
        ipc.DeliverStudentAnswer(student);
        EXPECT_TRUE(ipc.WaitDelivered(n));
        return Progress(Win());
    }
};

} // namespace

TEST(SearchRemote, RefusedBeforeStartingForAnEmptyPathOrNoStudent)
{
    RemoteSearch t;

    t.ClickAction();
    EXPECT_EQ(StatusText(t.Win()), "Please input search path first!");
    EXPECT_EQ(StatusColour(t.Win()), "red");
    EXPECT_EQ(t.ipc.CountCalls("GetStudentList"), 0);

    t.Start(0);
    EXPECT_EQ(StatusText(t.Win()), "No student is online!");
    EXPECT_EQ(StatusTooltip(t.Win()), "No student is online!");
    EXPECT_EQ(StatusColour(t.Win()), "red");
    EXPECT_EQ(ActionLabel(t.Win()), "Search");
    EXPECT_EQ(t.ipc.CountCalls("GetStudentList"), 1);
    EXPECT_EQ(t.ipc.CountCalls("SearchProgram"), 0);
}

TEST(SearchRemote, FourStudentsAnsweringFillTheBarAndEndTheSearch)
{
    RemoteSearch t;
    keltest::LogCapture log;
    t.Start(4, "/opt");
    ASSERT_EQ(t.ipc.CountCalls("SearchProgram"), 1);
    EXPECT_EQ(t.ipc.LastCall("SearchProgram").text, "/opt");
    EXPECT_EQ(t.ipc.LastCall("SearchProgram").clear, 0);
    EXPECT_EQ(ActionLabel(t.Win()), "Cancel");
    EXPECT_TRUE(log.Has("CSearchProgramForShellController::OnSearchBtnClicked  <<End"));
    int call = log.IndexOf("CSearchProgramForShellController::OnSearchBtnClicked Call API >>Start");
    ASSERT_GE(call, 0);
    EXPECT_EQ(log.Lines()[call].tag, 6);

    EXPECT_DOUBLE_EQ(t.Answer("s1"), 0.25);
    EXPECT_DOUBLE_EQ(t.Answer("s2"), 0.5);
    EXPECT_DOUBLE_EQ(t.Answer("s3"), 0.75);
    EXPECT_EQ(StatusText(t.Win()), "");
    EXPECT_EQ(ActionLabel(t.Win()), "Cancel");
    EXPECT_DOUBLE_EQ(t.Answer("s4"), 1.0);
    EXPECT_EQ(StatusText(t.Win()), "Search program is done!");
    EXPECT_EQ(StatusColour(t.Win()), "black");
    EXPECT_EQ(ActionLabel(t.Win()), "Search");
    EXPECT_EQ(log.Count("CSearchProgramForShellController::SearchProgramCallBack one student search result return"), 4);
    EXPECT_TRUE(log.Has("CSearchProgramForShellController::SearchProgramCallBack All Students have been searched."));
    EXPECT_TRUE(log.Has("All Students have been searched."));

    /* Idle again: the next click starts a search. */
    t.ClickAction();
    EXPECT_EQ(t.ipc.CountCalls("SearchProgram"), 2);
    EXPECT_EQ(t.ipc.CountCalls("CancelOperation"), 0);
}

TEST(SearchRemote, AnEmptyStudentEndsTheSearchAtOnce)
{
    RemoteSearch t;
    t.Start(5);
    EXPECT_DOUBLE_EQ(t.Answer("s1"), 0.2);
    EXPECT_DOUBLE_EQ(t.Answer(""), 1.0);
    EXPECT_EQ(StatusText(t.Win()), "Search program is done!");
    EXPECT_EQ(ActionLabel(t.Win()), "Search");
    t.ClickAction();
    EXPECT_EQ(t.ipc.CountCalls("SearchProgram"), 2);
}

TEST(SearchRemote, CancelAfterTwoOfFiveThenANewSearchCountsFromZero)
{
    RemoteSearch t;
    t.Start(5);
    t.Answer("s1");
    EXPECT_DOUBLE_EQ(t.Answer("s2"), 0.4);
    t.ClickAction();
    EXPECT_EQ(t.ipc.CountCalls("CancelOperation"), 1);
    EXPECT_EQ(ActionLabel(t.Win()), "Search");
    EXPECT_DOUBLE_EQ(Progress(t.Win()), 0.0);

    t.ClickAction();
    ASSERT_EQ(t.ipc.CountCalls("SearchProgram"), 2);
    EXPECT_DOUBLE_EQ(t.Answer("s1"), 0.2);
    EXPECT_DOUBLE_EQ(t.Answer("s2"), 0.4);
    EXPECT_DOUBLE_EQ(t.Answer("s3"), 0.6);
    EXPECT_DOUBLE_EQ(t.Answer("s4"), 0.8);
    EXPECT_EQ(StatusText(t.Win()), "");
    EXPECT_DOUBLE_EQ(t.Answer("s5"), 1.0);
    EXPECT_EQ(StatusText(t.Win()), "Search program is done!");
}

TEST(SearchRemote, AnswersOutsideASearchKeepTheBarWithinRange)
{
    RemoteSearch t;
    /* No search has run: there is nothing to count against. */
    EXPECT_DOUBLE_EQ(t.Answer("s1"), 0.0);
    EXPECT_DOUBLE_EQ(t.Answer(""), 0.0);
    EXPECT_EQ(StatusText(t.Win()), "");

    /* More answers than students. */
    t.Start(2);
    EXPECT_DOUBLE_EQ(t.Answer("s1"), 0.5);
    EXPECT_DOUBLE_EQ(t.Answer("s2"), 1.0);
    EXPECT_DOUBLE_EQ(t.Answer("s2"), 1.0);
    EXPECT_DOUBLE_EQ(t.Answer("s3"), 1.0);
    EXPECT_EQ(StatusText(t.Win()), "Search program is done!");
    EXPECT_EQ(ActionLabel(t.Win()), "Search");
}

TEST(SearchRemote, StartAndCancelRefusalsLeaveTheButtonByTheErrorValue)
{
    RemoteSearch t;
    keltest::LogCapture log;
    t.ipc.searchResult = IPCAPI::IPC_ERR_BUSY;
    t.Start(3);
    EXPECT_EQ(ActionLabel(t.Win()), "Search");
    EXPECT_EQ(StatusText(t.Win()), "");
    EXPECT_TRUE(log.Has("Cannot start search!"));

    t.ipc.searchResult = 0;
    t.ClickAction();
    EXPECT_EQ(ActionLabel(t.Win()), "Cancel");

    t.ipc.cancelResult = -1;
    t.ipc.cancelError = IPCAPI::IPC_ERR_NOT_CONNECTED;
    t.ClickAction();
    EXPECT_EQ(ActionLabel(t.Win()), "Cancel");
    EXPECT_TRUE(log.Has("CancelSearch Failure!"));
    EXPECT_TRUE(log.Has("CSearchProgramForShellController::CancelSearch Cancel Remote Search >>Start"));
    t.ipc.cancelError = 0;
    t.ClickAction();
    EXPECT_EQ(ActionLabel(t.Win()), "Cancel");
    EXPECT_EQ(t.ipc.CountCalls("CancelOperation"), 2);

    /* The operation no longer runs: idle, and the next click starts a new search. */
    t.ipc.cancelError = IPCAPI::IPC_ERR_NO_SUCH_OPERATION;
    t.ClickAction();
    EXPECT_EQ(ActionLabel(t.Win()), "Search");
    t.ClickAction();
    EXPECT_EQ(t.ipc.CountCalls("SearchProgram"), 3);
    EXPECT_EQ(t.ipc.CountCalls("CancelOperation"), 3);
}

TEST(SearchRemote, ClosingWhileSearchingCancelsFirstAndLateAnswersTouchNothing)
{
    RemoteSearch t;
    t.Start(3);
    t.Answer("s1");
    const int op = t.ipc.LastCall("SearchProgram").op;

    CloseFromFrame(t.Win());
    EXPECT_EQ(t.ipc.CountCalls("CancelOperation"), 1);
    EXPECT_EQ(t.ipc.LastCall("CancelOperation").op, op);
    EXPECT_EQ(t.closed, 1);
    EXPECT_EQ(t.dlg->GetWindow(), nullptr);

    /* Answers keep arriving for a window that is gone, past the end of the search. */
    for (const char* s : {"s2", "s3", "s4", ""}) {
        int n = t.ipc.Delivered() + 1;
        t.ipc.DeliverStudentAnswer(s);
        ASSERT_TRUE(t.ipc.WaitDelivered(n));
    }
    EXPECT_EQ(t.ipc.Reached(), 5);

    t.dlg.reset();
    t.ipc.DeliverStudentAnswer("s5");
    ASSERT_TRUE(t.ipc.WaitDelivered(6));
    EXPECT_EQ(t.ipc.Reached(), 5);
    EXPECT_EQ(t.closed, 1);
}

TEST(SearchRemote, DeletingTheDialogWhileAnAnswerWaitsForTheGdkLock)
{
    RemoteSearch t;
    keltest::LogCapture log;
    t.Start(2);

    /* The test thread holds the GDK lock: the answer gets as far as waiting for it. */
    t.ipc.DeliverStudentAnswer("s1");
    ASSERT_TRUE(t.ipc.WaitBegun(1));
    gint64 deadline = g_get_monotonic_time() + 5 * G_USEC_PER_SEC;
    while (!log.Has("CSearchProgramForShellController::SearchProgramCallBack one student search result return") &&
           g_get_monotonic_time() < deadline)
        g_thread_yield();

    t.dlg.reset(); /* must neither deadlock nor let the answer in */
    EXPECT_EQ(t.ipc.CountCalls("CancelOperation"), 1) << "deleting a searching dialog stops its search";
    ASSERT_TRUE(t.ipc.WaitDelivered(1)) << "the waiting answer gave up once it got the lock";
    const int reached = t.ipc.Reached();
    t.ipc.DeliverStudentAnswer("s2");
    ASSERT_TRUE(t.ipc.WaitDelivered(2));
    EXPECT_EQ(t.ipc.Reached(), reached) << "nothing reaches a deleted dialog";
}
