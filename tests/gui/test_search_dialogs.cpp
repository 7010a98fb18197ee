/* The local and the remote program search dialogs against a scripted service: start, refusals,
 * cancel, completion, students answering, the bar's range, close and delete while answers keep
 * arriving, and the folder chooser. */
#include <gtest/gtest.h>

#include <memory>
#include <type_traits>

#include "CSearchProgramForAdminTool.h"
#include "CSearchProgramForShellController.h"
#include "KelTest.h"
#include "ScriptedIPC.h"
#include "SearchTestHelpers.h"

using namespace searchtest;

namespace {

struct Local {
    typedef LibKELGUI::CSearchProgramForAdminTool Dialog;
    static constexpr const char* kClass = "CSearchProgramForAdminTool";
    static constexpr const char* kStart = "SearchLocalProgram";
    static constexpr const char* kStartFailure = "SearchLocalProgram Failure!";
    static constexpr const char* kAnswerLog =
        "CSearchProgramForAdminTool::SearchLocalProgramCallBack Local Search Return.";
    static constexpr int kTag = 1;
    /* A cancel refused without an error value: the local dialog takes the search for ended. */
    static constexpr const char* kLabelAfterPlainRefusal = "Search";
    static void Answer(keltest::ScriptedIPC& ipc) { ipc.DeliverLocalDone(); }
};

struct Remote {
    typedef LibKELGUI::CSearchProgramForShellController Dialog;
    static constexpr const char* kClass = "CSearchProgramForShellController";
    static constexpr const char* kStart = "SearchProgram";
    static constexpr const char* kStartFailure = "Cannot start search!";
    static constexpr const char* kAnswerLog =
        "CSearchProgramForShellController::SearchProgramCallBack one student search result return";
    static constexpr int kTag = 6;
    static constexpr const char* kLabelAfterPlainRefusal = "Cancel";
    static void Answer(keltest::ScriptedIPC& ipc) { ipc.DeliverStudentAnswer("s1"); }
};

struct VariantNames {
    template <class V> static std::string GetName(int) { return std::is_same<V, Local>::value ? "Local" : "Remote"; }
};

template <class V> class SearchDialog : public ::testing::Test {
protected:
    keltest::ScriptedIPC ipc; /* outlives the dialog, which cancels a running search when deleted */
    GtkWidget* parent = NewParent();
    int closed = 0;
    std::unique_ptr<typename V::Dialog> dlg{new typename V::Dialog(1)};

    void SetUp() override
    {
        dlg->Init();
        dlg->ShowModal(parent, G_CALLBACK(CountClose), &closed);
        keltest::Drain();
    }
    void TearDown() override
    {
        dlg.reset();
        gtk_widget_destroy(parent);
    }
    GtkWidget* Win() const { return dlg->GetWindow(); }
    void ClickAction() { keltest::Click(ActionButton(Win())); }
    void Start(const std::string& path = "/usr/share/applications", int students = 3)
    {
        ipc.studentCount = students;
        SetPath(Win(), path);
        ClickAction();
    }
    int Starts() const { return ipc.CountCalls(V::kStart); }
    int Cancels() const { return ipc.CountCalls("CancelOperation"); }
    /* One student's answer, delivered from the service's thread; returns the bar afterwards. */
    double Answer(const std::string& student)
    {
        int n = ipc.Delivered() + 1;
        ipc.DeliverStudentAnswer(student);
        EXPECT_TRUE(ipc.WaitDelivered(n));
        return Progress(Win());
    }
};

typedef ::testing::Types<Local, Remote> Variants;
TYPED_TEST_SUITE(SearchDialog, Variants, VariantNames);

typedef SearchDialog<Local> SearchLocal;
typedef SearchDialog<Remote> SearchRemote;

} // namespace

TYPED_TEST(SearchDialog, EmptyPathIsRefusedInRedUntilAPathIsGiven)
{
    keltest::LogCapture log;
    this->ClickAction();
    EXPECT_EQ(StatusText(this->Win()), "Please input search path first!");
    EXPECT_EQ(StatusColour(this->Win()), "red");
    EXPECT_EQ(ActionLabel(this->Win()), "Search");
    EXPECT_EQ(this->Starts(), 0);

    this->Start("/opt");
    EXPECT_EQ(StatusText(this->Win()), "");
    ASSERT_EQ(this->Starts(), 1);
    keltest::ScriptedIPC::Call call = this->ipc.LastCall(TypeParam::kStart);
    EXPECT_EQ(call.text, "/opt");
    EXPECT_EQ(call.clear, 1);
    EXPECT_EQ(ActionLabel(this->Win()), "Cancel");
    EXPECT_DOUBLE_EQ(Progress(this->Win()), 0.0);
    const std::string api = std::string(TypeParam::kClass) + "::OnSearchBtnClicked Call API ";
    int before = log.IndexOf(api + ">>Start");
    ASSERT_GE(before, 0);
    EXPECT_GT(log.IndexOf(api + "<<End"), before);
    EXPECT_EQ(log.Lines()[before].tag, TypeParam::kTag);
}

TYPED_TEST(SearchDialog, StartRefusedStaysIdleAndOnlyLogs)
{
    keltest::LogCapture log;
    this->ipc.searchResult = IPCAPI::IPC_ERR_BUSY;
    this->Start();
    EXPECT_EQ(ActionLabel(this->Win()), "Search");
    EXPECT_EQ(StatusText(this->Win()), "");
    EXPECT_TRUE(log.Has(TypeParam::kStartFailure));

    /* Still idle: the next click starts again instead of cancelling. */
    this->ipc.searchResult = 0;
    this->ClickAction();
    EXPECT_EQ(this->Starts(), 2);
    EXPECT_EQ(this->Cancels(), 0);
    EXPECT_EQ(ActionLabel(this->Win()), "Cancel");
}

TYPED_TEST(SearchDialog, RefusedCancelSetsTheButtonByTheErrorValue)
{
    keltest::LogCapture log;
    this->Start();
    const int op = this->ipc.LastCall(TypeParam::kStart).op;

    /* A request that failed: the search still runs, the button still cancels. */
    this->ipc.cancelResult = -1;
    this->ipc.cancelError = IPCAPI::IPC_ERR_NOT_CONNECTED;
    this->ClickAction();
    EXPECT_EQ(ActionLabel(this->Win()), "Cancel");
    EXPECT_EQ(this->ipc.LastCall("CancelOperation").op, op);
    EXPECT_TRUE(log.Has("CancelSearch Failure!"));

    /* Failed without an error value: the next click still cancels. */
    this->ipc.cancelError = 0;
    for (int i = 0; i < 2; ++i) {
        this->ClickAction();
        EXPECT_EQ(ActionLabel(this->Win()), TypeParam::kLabelAfterPlainRefusal);
    }
    EXPECT_EQ(this->Cancels(), 3);
    EXPECT_EQ(this->Starts(), 1);

    /* The service says the operation no longer runs: the dialog is idle again and the
     * next click starts a new search (it used to try to cancel forever). */
    this->ipc.cancelError = IPCAPI::IPC_ERR_NO_SUCH_OPERATION;
    this->ClickAction();
    EXPECT_EQ(ActionLabel(this->Win()), "Search");
    this->ClickAction();
    EXPECT_EQ(this->Cancels(), 4);
    EXPECT_EQ(this->Starts(), 2);
    EXPECT_EQ(ActionLabel(this->Win()), "Cancel");
}

TYPED_TEST(SearchDialog, ClosingWhileSearchingCancelsFirstAndLateAnswersTouchNothing)
{
    this->Start();
    const int op = this->ipc.LastCall(TypeParam::kStart).op;
    /* The cancel is refused, so the search is still considered running afterwards. */
    this->ipc.cancelResult = -1;
    this->ipc.cancelError = IPCAPI::IPC_ERR_NOT_CONNECTED;
    keltest::CloseFromFrame(this->Win());
    EXPECT_EQ(this->Cancels(), 1);
    EXPECT_EQ(this->ipc.LastCall("CancelOperation").op, op);
    EXPECT_EQ(this->closed, 1);
    EXPECT_EQ(this->Win(), nullptr);

    /* Answers keep arriving for a window that is gone, beyond the end of the search. */
    for (int n = 1; n <= 4; ++n) {
        TypeParam::Answer(this->ipc);
        ASSERT_TRUE(this->ipc.WaitDelivered(n));
    }
    EXPECT_EQ(this->ipc.Reached(), 4);

    /* Deleted after that: nothing more reaches it. */
    this->dlg.reset();
    TypeParam::Answer(this->ipc);
    ASSERT_TRUE(this->ipc.WaitDelivered(5));
    EXPECT_EQ(this->ipc.Reached(), 4);
    EXPECT_EQ(this->closed, 1);
}

TYPED_TEST(SearchDialog, DeletingTheDialogWhileAnAnswerWaitsForTheGdkLock)
{
    keltest::LogCapture log;
    this->Start();
    /* The test thread holds the GDK lock: the answer gets as far as waiting for it. */
    TypeParam::Answer(this->ipc);
    ASSERT_TRUE(this->ipc.WaitBegun(1));
    gint64 deadline = g_get_monotonic_time() + 5 * G_USEC_PER_SEC;
    while (!log.Has(TypeParam::kAnswerLog) && g_get_monotonic_time() < deadline)
        g_thread_yield();

    this->dlg.reset(); /* must neither deadlock nor let the answer in */
    EXPECT_EQ(this->Cancels(), 1) << "deleting a searching dialog stops its search";
    ASSERT_TRUE(this->ipc.WaitDelivered(1)) << "the waiting answer gave up once it got the lock";
    const int reached = this->ipc.Reached();
    TypeParam::Answer(this->ipc);
    ASSERT_TRUE(this->ipc.WaitDelivered(2));
    EXPECT_EQ(this->ipc.Reached(), reached) << "nothing reaches a deleted dialog";
}

TEST_F(SearchLocal, CompletionEndsTheSearchButNotAfterASuccessfulCancel)
{
    Start();
    ClickAction(); /* cancel, accepted */
    EXPECT_EQ(ActionLabel(Win()), "Search");
    ipc.DeliverLocalDone();
    ASSERT_TRUE(ipc.WaitDelivered(1));
    EXPECT_EQ(StatusText(Win()), "");
    EXPECT_DOUBLE_EQ(Progress(Win()), 0.0);

    Start("/srv");
    ipc.DeliverLocalDone("anything at all");
    ASSERT_TRUE(ipc.WaitDelivered(2));
    EXPECT_DOUBLE_EQ(Progress(Win()), 1.0);
    EXPECT_EQ(ActionLabel(Win()), "Search");
    EXPECT_EQ(StatusText(Win()), "Search program is done!");
    EXPECT_EQ(StatusColour(Win()), "black");
    ClickAction(); /* idle again: a click starts, it does not cancel */
    EXPECT_EQ(Starts(), 3);
    EXPECT_EQ(Cancels(), 1);
}

TEST_F(SearchLocal, BrowsePutsTheChosenFolderIntoTheEntryAndCancelChangesNothing)
{
    std::string folder = keltest::Root() + "/opt/programs", sub = folder + "/games";
    ASSERT_TRUE(keltest::MakeDirs(sub));
    GtkEntry* entry = GTK_ENTRY(keltest::FindByType(Win(), GTK_TYPE_ENTRY));
    gtk_entry_set_text(entry, "/before");
    /* A folder picked in the list is the one meant, not the folder the chooser shows. */
    struct Case {
        std::string select;
        int response;
        std::string expected;
    } const cases[] = {
        {"", GTK_RESPONSE_CANCEL, "/before"}, {"", GTK_RESPONSE_ACCEPT, folder}, {sub, GTK_RESPONSE_ACCEPT, sub}};
    for (const Case& c : cases) {
        ChooserAnswerer answer(folder, c.select, c.response);
        keltest::Click(keltest::FindButtonByLabel(Win(), "Browse..."));
        EXPECT_TRUE(answer.answered);
        EXPECT_EQ(gtk_entry_get_text(entry), c.expected);
    }
    EXPECT_TRUE(keltest::ToplevelsWithTitle("Browse").empty());
}

TEST_F(SearchRemote, NoStudentOnlineIsRefusedBeforeStarting)
{
    Start("/opt", 0);
    EXPECT_EQ(StatusText(Win()), "No student is online!");
    EXPECT_EQ(StatusColour(Win()), "red");
    EXPECT_EQ(ActionLabel(Win()), "Search");
    EXPECT_EQ(ipc.CountCalls("GetStudentList"), 1);
    EXPECT_EQ(Starts(), 0);
}

TEST_F(SearchRemote, FourStudentsAnsweringFillTheBarAndEndTheSearch)
{
    keltest::LogCapture log;
    Start("/opt", 4);
    for (double expected : {0.25, 0.5, 0.75}) {
        EXPECT_DOUBLE_EQ(Answer("s"), expected);
        EXPECT_EQ(StatusText(Win()), "");
        EXPECT_EQ(ActionLabel(Win()), "Cancel");
    }
    EXPECT_DOUBLE_EQ(Answer("s4"), 1.0);
    EXPECT_EQ(StatusText(Win()), "Search program is done!");
    EXPECT_EQ(StatusColour(Win()), "black");
    EXPECT_EQ(ActionLabel(Win()), "Search");
    EXPECT_EQ(log.Count(Remote::kAnswerLog), 4);
    EXPECT_TRUE(log.Has("All Students have been searched."));
    ClickAction(); /* idle again: the next click starts a search */
    EXPECT_EQ(Starts(), 2);
    EXPECT_EQ(Cancels(), 0);
}

TEST_F(SearchRemote, CancelAfterTwoOfFiveThenANewSearchCountsFromZeroAndAnEmptyStudentEndsIt)
{
    Start("/opt", 5);
    Answer("s1");
    EXPECT_DOUBLE_EQ(Answer("s2"), 0.4);
    ClickAction();
    EXPECT_EQ(Cancels(), 1);
    EXPECT_EQ(ActionLabel(Win()), "Search");
    EXPECT_DOUBLE_EQ(Progress(Win()), 0.0);

    ClickAction();
    ASSERT_EQ(Starts(), 2);
    EXPECT_DOUBLE_EQ(Answer("s1"), 0.2);
    EXPECT_DOUBLE_EQ(Answer("s2"), 0.4);
    EXPECT_DOUBLE_EQ(Answer(""), 1.0);
    EXPECT_EQ(StatusText(Win()), "Search program is done!");
    EXPECT_EQ(ActionLabel(Win()), "Search");
}

TEST_F(SearchRemote, AnswersOutsideASearchKeepTheBarWithinRange)
{
    /* No search has run: there is nothing to count against. */
    EXPECT_DOUBLE_EQ(Answer("s1"), 0.0);
    EXPECT_DOUBLE_EQ(Answer(""), 0.0);
    EXPECT_EQ(StatusText(Win()), "");

    /* More answers than students. */
    Start("/opt", 2);
    for (double expected : {0.5, 1.0, 1.0, 1.0})
        EXPECT_DOUBLE_EQ(Answer("s"), expected);
    EXPECT_EQ(StatusText(Win()), "Search program is done!");
    EXPECT_EQ(ActionLabel(Win()), "Search");
}
