/* The local and the remote program search dialogs against a scripted service: refusals before
 * anything starts, refused starts, completions told with their counts or as failures, students
 * answering, the keyboard, close and delete while answers keep arriving, and the folder chooser. */
#include <gtest/gtest.h>
#include <gdk/gdkkeysyms.h>

#include <memory>
#include <type_traits>

#include "CSearchProgramForAdminTool.h"
#include "CSearchProgramForShellController.h"
#include "ScriptedIPC.h"
#include "SearchTestHelpers.h"

using namespace searchtest;

namespace {

struct Local {
    typedef LibKELGUI::CSearchProgramForAdminTool Dialog;
    static constexpr const char* kStart = "SearchLocalProgram";
};
struct Remote {
    typedef LibKELGUI::CSearchProgramForShellController Dialog;
    static constexpr const char* kStart = "SearchProgram";
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

    void SetUp() override { dlg->Init(), dlg->ShowModal(parent, G_CALLBACK(CountClose), &closed), keltest::Drain(); }
    void TearDown() override { dlg.reset(), gtk_widget_destroy(parent); }
    GtkWidget* Win() const { return dlg->GetWindow(); }
    void ClickAction() { keltest::Click(ActionButton(Win())); }
    void Start(const std::string& path = keltest::Root(), int n = 3) { ipc.studentCount = n, SetPath(Win(), path), ClickAction(); }
    int Starts() const { return ipc.CountCalls(V::kStart); }
    int Cancels() const { return ipc.CountCalls("CancelOperation"); }
    /* The status as the user reads it: text and its colour, button, whether the bar is full. */
    std::string Shown() const
    {
        const std::string text = StatusText(Win()), colour = text.empty() ? "" : " | " + StatusColour(Win());
        return text + colour + " | " + ActionLabel(Win()) + (Progress(Win()) == 1.0 ? " | full" : "");
    }
    /* One answer from the service's thread; waited for unless the test holds it back. */
    void Deliver(const std::string& student = "s1", const std::string& result = "ok", bool wait = true)
    {
        int n = ipc.Delivered() + 1;
        std::is_same<V, Local>::value ? ipc.DeliverLocalDone(result) : ipc.DeliverStudentAnswer(student, result);
        EXPECT_TRUE(!wait || ipc.WaitDelivered(n));
    }
};

typedef ::testing::Types<Local, Remote> Variants;
TYPED_TEST_SUITE(SearchDialog, Variants, VariantNames);
typedef SearchDialog<Local> SearchLocal;
typedef SearchDialog<Remote> SearchRemote;

const char* const kRelativeHint =
    "Please give the whole path of the folder, beginning with \"/\", for example /usr/share/applications.";

} // namespace

TYPED_TEST(SearchDialog, EmptyAndRelativePathsAreRefusedBeforeAnythingStartsAndEnterStarts)
{
    this->Start(keltest::Root(), 1);
    this->Deliver("s1", "found 2, new 2");
    ASSERT_EQ(this->Shown(), "Search program is done! | black | Search | full");
    /* Regression: a relative path showed nothing, the bar still full from the last search. */
    for (const char* path : {"", "usr/share/applications", "~/apps"}) {
        SetPath(this->Win(), path);
        this->ClickAction();
        EXPECT_EQ(this->Shown() + BarText(this->Win()), std::string(*path ? kRelativeHint : "Please input search path first!") + " | red | Search");
    }
    EXPECT_EQ(this->Starts(), 1);

    SetPath(this->Win(), "/");
    GtkWidget* entry = keltest::FindByType(this->Win(), GTK_TYPE_ENTRY);
    gtk_widget_grab_focus(entry), gtk_widget_activate(entry); /* Enter in the path */
    /* A button activated from the keyboard clicks after its press is shown. */
    ASSERT_TRUE(keltest::PumpUntil([this] { return this->Starts() == 2; }));
    EXPECT_TRUE(this->ipc.LastCall(TypeParam::kStart).text == "/" && this->ipc.LastCall(TypeParam::kStart).clear == 1);
    EXPECT_EQ(this->Shown(), " | Cancel");
}

TYPED_TEST(SearchDialog, EscapeWhileSearchingCancelsFirstAndLateAnswersTouchNothing)
{
    this->Start();
    this->ipc.cancelResult = -1; /* refused: the search is still considered running */
    this->ipc.cancelError = IPCAPI::IPC_ERR_NOT_CONNECTED;
    keltest::PressKey(this->Win(), GDK_Escape);
    EXPECT_TRUE(this->Cancels() == 1 && this->closed == 1 && this->Win() == nullptr);
    for (int n = 1; n <= 4; ++n) /* answers for a window that is gone, beyond the search's end */
        this->Deliver();
    EXPECT_EQ(this->ipc.Reached(), 4);
}

TYPED_TEST(SearchDialog, DeletingTheDialogWhileAnAnswerWaitsForTheGdkLock)
{
    this->Start();
    this->Deliver("s1", "ok", false); /* the test thread holds the GDK lock: the answer waits for it */
    ASSERT_TRUE(this->ipc.WaitBegun(1));
    this->dlg.reset(); /* must neither deadlock nor let the answer in */
    EXPECT_EQ(this->Cancels(), 1) << "deleting a searching dialog stops its search";
    ASSERT_TRUE(this->ipc.WaitDelivered(1));
    const int reached = this->ipc.Reached();
    this->Deliver();
    EXPECT_EQ(this->ipc.Reached(), reached) << "nothing reaches a deleted dialog";
}

TEST_F(SearchLocal, MissingFolderAndFailedSearchEndInAFailureNotDone)
{
    ASSERT_TRUE(keltest::WriteFile(keltest::Root() + "/file", "x"));
    Start(keltest::Root() + "/no/such/folder");
    EXPECT_EQ(Shown(), "The folder " + keltest::Root() + "/no/such/folder does not exist. | red | Search");
    Start(keltest::Root() + "/file");
    EXPECT_EQ(Shown(), keltest::Root() + "/file is not a folder. | red | Search");
    EXPECT_EQ(Starts(), 0);
    ipc.searchResult = IPCAPI::IPC_ERR_NOT_RUNNING; /* refused by the service: told, and still idle */
    Start();
    EXPECT_EQ(Shown(), "The policy service is not running. | red | Search");
    ipc.searchResult = 0;
    Start();
    Deliver("", "error: the folder cannot be opened");
    EXPECT_EQ(Shown(), "The search failed: the folder cannot be opened | red | Search");
    Start();
    Deliver("", "found 12, new 3");
    EXPECT_EQ(Shown(), "Search program is done! | black | Search | full");
    EXPECT_EQ(BarText(Win()), "12 programs found, 3 new");
    /* Entries found and all skipped: not a plain "0 programs found". */
    Start();
    Deliver("", "found 0, new 0, skipped 8 not-installed 8");
    EXPECT_EQ(Shown(), "Search program is done!\n8 entries skipped: their program is not installed | red | Search | full");
    Start();
    ClickAction(); /* cancelled: a completion arriving now changes nothing */
    Deliver("", "found 1, new 1");
    EXPECT_EQ(Shown(), " | Search");
    EXPECT_EQ(Starts(), 5);
}

TEST_F(SearchLocal, BrowseOpensInTheTypedFolderAndPutsTheChosenOneIntoTheEntry)
{
    std::string folder = keltest::Root() + "/opt/programs", sub = folder + "/games";
    ASSERT_TRUE(keltest::MakeDirs(sub));
    SetPath(Win(), sub + "/missing"); /* the nearest folder that exists */
    ChooserAnswerer answer(folder, "", GTK_RESPONSE_ACCEPT);
    keltest::Click(keltest::FindButtonByLabel(Win(), "Browse..."));
    EXPECT_TRUE(answer.answered && answer.openedIn == sub) << answer.openedIn;
    EXPECT_EQ(gtk_entry_get_text(GTK_ENTRY(keltest::FindByType(Win(), GTK_TYPE_ENTRY))), folder);
}

TEST_F(SearchRemote, StudentsAnsweringAreCountedAndTheEndNamesWhoIsMissing)
{
    Start("/opt", 0);
    EXPECT_EQ(Shown(), "No student is online! | red | Search");
    Start("/opt", 4);
    const char* answers[][2] = {{"s1", "found 5, new 1"}, {"s2", "error: folder-unreadable /opt"}, {"s3", "found 0, new 0, skipped 3 hidden 2"}};
    for (const auto& a : answers)
        Deliver(a[0], a[1]);
    EXPECT_EQ(BarText(Win()), "3 of 4 students answered, 1 new program, 1 failed");
    WriteResults({Program(1), Program(2), Program(3)}); /* what the two lists merged to */
    Deliver("", ""); /* the end of the whole search, one student short */
    EXPECT_EQ(Shown(), "The search is done, but not every student searched: s4 did not answer; s2: the folder /opt "
                       "cannot be opened.\ns3: 3 entries skipped, most often: they are hidden from menus | red | Search | full");
    EXPECT_EQ(BarText(Win()), "3 of 4 students answered, 3 programs in the list, 1 new, 1 failed");

    /* Every student failed, or none answered: a failure, not "done". */
    Start("/nowhere", 2);
    Deliver("s1", "error: no such folder");
    Deliver("s2", "error: no such folder");
    EXPECT_EQ(Shown(), "The search failed: s1: no such folder; s2: no such folder | red | Search");
    EXPECT_EQ(BarText(Win()), "2 of 2 students answered, 2 failed");
}
