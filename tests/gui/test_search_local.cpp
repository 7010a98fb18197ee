/* The local program search dialog against a scripted service: start, refusals, cancel,
 * completion, close and delete while answers keep arriving, and the folder chooser. */
#include <gtest/gtest.h>

#include <memory>

#include "CSearchProgramForAdminTool.h"
#include "KelTest.h"
#include "ScriptedIPC.h"
#include "SearchTestHelpers.h"

using LibKELGUI::CSearchProgramForAdminTool;
using namespace searchtest;

namespace {

struct LocalSearch {
    keltest::ScriptedIPC ipc;
    GtkWidget* parent = NewParent();
    int closed = 0;
    std::unique_ptr<CSearchProgramForAdminTool> dlg;

    explicit LocalSearch(int clearResults = 0)
        : dlg(new CSearchProgramForAdminTool(clearResults))
    {
        dlg->Init();
        dlg->ShowModal(parent, G_CALLBACK(CountClose), &closed);
        keltest::Drain();
    }
    ~LocalSearch()
    {
        dlg.reset();
        gtk_widget_destroy(parent);
    }
    GtkWidget* Win() const { return dlg->GetWindow(); }
    void ClickAction() { keltest::Click(ActionButton(Win())); }
    void Start(const std::string& path = "/usr/share/applications")
    {
        SetPath(Win(), path);
        ClickAction();
    }
};

} // namespace

TEST(SearchLocal, EmptyPathIsRefusedInRedUntilAPathIsGiven)
{
    LocalSearch t(1);
    keltest::LogCapture log;

    t.ClickAction();
    EXPECT_EQ(StatusText(t.Win()), "Please input search path first!");
    EXPECT_EQ(StatusTooltip(t.Win()), "Please input search path first!");
    EXPECT_EQ(StatusColour(t.Win()), "red");
    EXPECT_EQ(ActionLabel(t.Win()), "Search");
    EXPECT_EQ(t.ipc.CountCalls("SearchLocalProgram"), 0);

    t.Start("/opt");
    EXPECT_EQ(StatusText(t.Win()), "");
    EXPECT_EQ(StatusTooltip(t.Win()), "");
    ASSERT_EQ(t.ipc.CountCalls("SearchLocalProgram"), 1);
    keltest::ScriptedIPC::Call call = t.ipc.LastCall("SearchLocalProgram");
    EXPECT_EQ(call.text, "/opt");
    EXPECT_EQ(call.clear, 1);
    EXPECT_EQ(ActionLabel(t.Win()), "Cancel");
    EXPECT_DOUBLE_EQ(Progress(t.Win()), 0.0);

    int before = log.IndexOf("CSearchProgramForAdminTool::OnSearchBtnClicked Call API >>Start");
    int after = log.IndexOf("CSearchProgramForAdminTool::OnSearchBtnClicked Call API <<End");
    ASSERT_GE(before, 0);
    EXPECT_GT(after, before);
    EXPECT_EQ(log.Lines()[before].tag, 1);
    EXPECT_TRUE(log.Has("CSearchProgramBase::GtkSearchBtnClicked >>Start"));
}

TEST(SearchLocal, StartRefusedStaysIdleAndOnlyLogs)
{
    LocalSearch t;
    keltest::LogCapture log;
    t.ipc.searchResult = IPCAPI::IPC_ERR_BUSY;

    t.Start();
    EXPECT_EQ(ActionLabel(t.Win()), "Search");
    EXPECT_EQ(StatusText(t.Win()), "");
    bool failureLogged = false;
    for (const keltest::LogCapture::Line& l : log.Lines())
        failureLogged |= l.text == "SearchLocalProgram Failure!" && l.level == 2;
    EXPECT_TRUE(failureLogged);

    /* Still idle: the next click starts again instead of cancelling. */
    t.ipc.searchResult = 0;
    t.ClickAction();
    EXPECT_EQ(t.ipc.CountCalls("SearchLocalProgram"), 2);
    EXPECT_EQ(t.ipc.CountCalls("CancelOperation"), 0);
    EXPECT_EQ(ActionLabel(t.Win()), "Cancel");
}

TEST(SearchLocal, RefusedCancelSetsTheButtonByTheErrorValue)
{
    LocalSearch t;
    keltest::LogCapture log;
    t.Start();
    const int op = t.ipc.LastCall("SearchLocalProgram").op;

    /* A request that failed: the search still runs, the button still cancels. */
    t.ipc.cancelResult = -1;
    t.ipc.cancelError = IPCAPI::IPC_ERR_NOT_CONNECTED;
    t.ClickAction();
    EXPECT_EQ(ActionLabel(t.Win()), "Cancel");
    EXPECT_EQ(t.ipc.LastCall("CancelOperation").op, op);
    EXPECT_TRUE(log.Has("CancelSearch Failure!"));
    EXPECT_TRUE(log.Has("CSearchProgramForAdminTool::CancelSearch Call API >>Start"));

    /* Failed without an error value: the label resets, the next click cancels again. */
    t.ipc.cancelError = 0;
    t.ClickAction();
    EXPECT_EQ(ActionLabel(t.Win()), "Search");
    t.ClickAction();
    EXPECT_EQ(t.ipc.CountCalls("CancelOperation"), 3);
    EXPECT_EQ(t.ipc.CountCalls("SearchLocalProgram"), 1);

    /* The service says the operation no longer runs: the dialog is idle again and the
     * next click starts a new search (it used to try to cancel forever). */
    t.ipc.cancelError = IPCAPI::IPC_ERR_NO_SUCH_OPERATION;
    t.ClickAction();
    EXPECT_EQ(ActionLabel(t.Win()), "Search");
    t.ClickAction();
    EXPECT_EQ(t.ipc.CountCalls("CancelOperation"), 4);
    EXPECT_EQ(t.ipc.CountCalls("SearchLocalProgram"), 2);
    EXPECT_EQ(ActionLabel(t.Win()), "Cancel");
}

TEST(SearchLocal, CompletionEndsTheSearchButNotAfterASuccessfulCancel)
{
    LocalSearch t;
    keltest::LogCapture log;

    t.Start();
    t.ClickAction(); /* cancel, accepted */
    EXPECT_EQ(ActionLabel(t.Win()), "Search");
    EXPECT_DOUBLE_EQ(Progress(t.Win()), 0.0);
    t.ipc.DeliverLocalDone();
    ASSERT_TRUE(t.ipc.WaitDelivered(1));
    EXPECT_TRUE(log.Has("CSearchProgramForAdminTool::SearchLocalProgramCallBack Local Search Return."));
    EXPECT_EQ(StatusText(t.Win()), "");
    EXPECT_DOUBLE_EQ(Progress(t.Win()), 0.0);

    t.Start("/srv");
    t.ipc.DeliverLocalDone("anything at all");
    ASSERT_TRUE(t.ipc.WaitDelivered(2));
    EXPECT_DOUBLE_EQ(Progress(t.Win()), 1.0);
    EXPECT_EQ(ActionLabel(t.Win()), "Search");
    EXPECT_EQ(StatusText(t.Win()), "Search program is done!");
    EXPECT_EQ(StatusTooltip(t.Win()), "Search program is done!");
    EXPECT_EQ(StatusColour(t.Win()), "black");

    /* Idle again: a click starts, it does not cancel. */
    t.ClickAction();
    EXPECT_EQ(t.ipc.CountCalls("SearchLocalProgram"), 3);
    EXPECT_EQ(t.ipc.CountCalls("CancelOperation"), 1);
}

TEST(SearchLocal, ClosingWhileSearchingCancelsFirstAndLateAnswersTouchNothing)
{
    LocalSearch t;
    t.Start();
    const int op = t.ipc.LastCall("SearchLocalProgram").op;
    /* The cancel is refused, so the search is still considered running afterwards. */
    t.ipc.cancelResult = -1;
    t.ipc.cancelError = IPCAPI::IPC_ERR_NOT_CONNECTED;

    CloseFromFrame(t.Win());
    EXPECT_EQ(t.ipc.CountCalls("CancelOperation"), 1);
    EXPECT_EQ(t.ipc.LastCall("CancelOperation").op, op);
    EXPECT_EQ(t.closed, 1);
    EXPECT_EQ(t.dlg->GetWindow(), nullptr);

    /* The completion arrives for a window that is gone. */
    t.ipc.DeliverLocalDone();
    ASSERT_TRUE(t.ipc.WaitDelivered(1));
    EXPECT_EQ(t.ipc.Reached(), 1);

    /* Deleted after that: nothing more reaches it. */
    t.dlg.reset();
    t.ipc.DeliverLocalDone();
    ASSERT_TRUE(t.ipc.WaitDelivered(2));
    EXPECT_EQ(t.ipc.Reached(), 1);
    EXPECT_EQ(t.closed, 1);
}

TEST(SearchLocal, DeletingTheDialogWhileAnAnswerWaitsForTheGdkLock)
{
    LocalSearch t;
    keltest::LogCapture log;
    t.Start();

    /* The test thread holds the GDK lock: the answer gets as far as waiting for it. */
    t.ipc.DeliverLocalDone();
    ASSERT_TRUE(t.ipc.WaitBegun(1));
    gint64 deadline = g_get_monotonic_time() + 5 * G_USEC_PER_SEC;
    while (!log.Has("CSearchProgramForAdminTool::SearchLocalProgramCallBack Local Search Return.") &&
           g_get_monotonic_time() < deadline)
        g_thread_yield();

    t.dlg.reset(); /* must neither deadlock nor let the answer in */
    EXPECT_EQ(t.ipc.CountCalls("CancelOperation"), 1) << "deleting a searching dialog stops its search";
    ASSERT_TRUE(t.ipc.WaitDelivered(1)) << "the waiting answer gave up once it got the lock";
    const int reached = t.ipc.Reached();
    t.ipc.DeliverLocalDone();
    ASSERT_TRUE(t.ipc.WaitDelivered(2));
    EXPECT_EQ(t.ipc.Reached(), reached) << "nothing reaches a deleted dialog";
}

namespace {
struct ChooserScript {
    std::string folder;
    int response;
    std::string select; /* a subfolder to select in the list, if any */
    bool seen = false;
};

/* Answers the folder chooser once it shows the folder it was told to go to. */
gboolean AnswerChooser(gpointer data)
{
    ChooserScript* s = static_cast<ChooserScript*>(data);
    for (GtkWindow* w : keltest::ToplevelsWithTitle("Browse")) {
        if (!GTK_IS_FILE_CHOOSER_DIALOG(w) || !GTK_WIDGET_VISIBLE(w))
            continue;
        if (!s->seen) {
            s->seen = true;
            gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(w), s->folder.c_str());
        }
        gchar* current = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(w));
        bool there = current && s->folder == current;
        g_free(current);
        if (there && !s->select.empty()) {
            /* Selecting works once the folder's contents are loaded; retry until it holds. */
            gtk_file_chooser_select_filename(GTK_FILE_CHOOSER(w), s->select.c_str());
            gchar* chosen = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(w));
            there = chosen && s->select == chosen;
            g_free(chosen);
        }
        if (there) {
            gtk_dialog_response(GTK_DIALOG(w), s->response);
            return FALSE;
        }
    }
    return TRUE;
}
} // namespace

TEST(SearchLocal, BrowsePutsTheChosenFolderIntoTheEntryAndCancelChangesNothing)
{
    LocalSearch t;
    std::string folder = keltest::Root() + "/opt/programs";
    ASSERT_TRUE(keltest::MakeDirs(folder));
    GtkWidget* browse = keltest::FindButtonByLabel(t.Win(), "Browse...");
    ASSERT_NE(browse, nullptr);
    GtkWidget* entry = keltest::FindByType(t.Win(), GTK_TYPE_ENTRY);
    gtk_entry_set_text(GTK_ENTRY(entry), "/before");

    ChooserScript cancel{folder, GTK_RESPONSE_CANCEL, ""};
    gdk_threads_add_timeout(20, AnswerChooser, &cancel);
    keltest::Click(browse);
    EXPECT_TRUE(cancel.seen);
    EXPECT_STREQ(gtk_entry_get_text(GTK_ENTRY(entry)), "/before");

    ChooserScript open{folder, GTK_RESPONSE_ACCEPT, ""};
    gdk_threads_add_timeout(20, AnswerChooser, &open);
    keltest::Click(browse);
    EXPECT_TRUE(open.seen);
    EXPECT_EQ(std::string(gtk_entry_get_text(GTK_ENTRY(entry))), folder);
    EXPECT_TRUE(keltest::ToplevelsWithTitle("Browse").empty());

    /* A folder picked in the list is the one meant, not the folder the chooser shows. */
    std::string sub = folder + "/games";
    ASSERT_TRUE(keltest::MakeDirs(sub));
    ChooserScript pick{folder, GTK_RESPONSE_ACCEPT, sub};
    gdk_threads_add_timeout(20, AnswerChooser, &pick);
    keltest::Click(browse);
    EXPECT_TRUE(pick.seen);
    EXPECT_EQ(std::string(gtk_entry_get_text(GTK_ENTRY(entry))), sub);
}
