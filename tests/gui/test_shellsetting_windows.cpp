/* The two concrete Shell Settings windows: failed saves keep the window and its edits, the close
 * question only for real edits, a damaged policy told, another window's change not lost, and
 * adding programs through the Add Application window. */
#include <gtest/gtest.h>

#include <algorithm>

#include "CAddApplicationWindow.h"
#include "CShellSettingCtrlForShellController.h"
#include "CShellSettingForAdminTool.h"
#include "ScriptedIPC.h"
#include "shellsetting_fixture.h"

using namespace LibKELData;
using keltest::Hour;
typedef LibKELGUI::CShellSettingCtrlForShellController Teacher;
typedef LibKELGUI::CShellSettingForAdminTool Admin;

namespace {

std::string ScheduleFile()
{
    return keltest::EtcKel() + LOCK_SCHEDULE;
}

class ShellSettingWindows : public ::testing::Test {
protected:
    void SetUp() override { keltest::CopySampleRoot(); }
    template <class W> void Open(W& w)
    {
        w.Init();
        w.Show();
        keltest::Drain();
    }
    keltest::ScriptedIPC ipc; /* outlives the windows */
};

} // namespace

TEST_F(ShellSettingWindows, FailedApplyAndOkKeepTheWindowTheEditsAndTheFlagsWithOneBoxNamingFileAndReason)
{
    /* A folder where the schedule file should be: it can be neither read nor replaced. */
    ASSERT_EQ(0, unlink(ScheduleFile().c_str()));
    ASSERT_TRUE(keltest::MakeDirs(ScheduleFile()));
    Teacher w;
    keltest::MessageBoxAnswerer damaged(GTK_RESPONSE_OK);
    Open(w);
    EXPECT_NE(std::string::npos, damaged.Text().find(ScheduleFile() + " could not be read")) << damaged.Text();
    GtkWidget* hour = Hour(w.GetWindow(), "Wed 10:00-11:00");
    keltest::SetActive(hour, true);
    keltest::Click(keltest::FindButtonByLabel(w.GetWindow(), "+")); /* a new category: saved fine */
    const std::string expected = "The lock schedule could not be saved.\nThe file " + ScheduleFile() +
                                 " was not written because a folder or another non-file is in its place.";
    for (const char* button : {"Apply", "OK"}) {
        keltest::MessageBoxAnswerer error(GTK_RESPONSE_OK);
        error.AnswerAll(true);
        keltest::Click(keltest::FindButtonByLabel(w.GetWindow(), button));
        EXPECT_EQ(1, error.Count()) << button;
        EXPECT_EQ(expected, error.Text()) << button;
        ASSERT_TRUE(w.GetWindow()) << button << " closed the window over an unsaved edit";
        EXPECT_TRUE(keltest::Active(hour));
        EXPECT_TRUE(w.IsDataDirty());
    }
    /* The close question's Yes fails too: the window stays; No then closes. */
    {
        keltest::MessageBoxAnswerer yes(GTK_RESPONSE_YES); /* the question, then the error box */
        yes.AnswerAll(true);
        w.OnClose();
        keltest::Drain();
        EXPECT_EQ(2, yes.Count());
        EXPECT_TRUE(w.GetWindow());
    }
    keltest::MessageBoxAnswerer no(GTK_RESPONSE_NO);
    keltest::CloseFromFrame(w.GetWindow());
    EXPECT_TRUE(no.Answered());
    EXPECT_FALSE(w.GetWindow());
}

TEST_F(ShellSettingWindows, AdminToldWhyTheServiceRefusedAndKeepsTheEdit)
{
    ipc.saveResult = -1;
    ipc.saveError = IPCAPI::IPC_ERR_NOT_ALLOWED;
    Admin w;
    Open(w);
    GtkWidget* usb = keltest::FindButtonByLabel(w.GetWindow(), "Disable USB Storage");
    keltest::SetActive(usb, !keltest::Active(usb));
    keltest::MessageBoxAnswerer error(GTK_RESPONSE_OK);
    EXPECT_EQ(IPCAPI::IPC_ERR_NOT_ALLOWED, w.OnApply());
    EXPECT_EQ("The system settings could not be saved.\nThe file " + keltest::EtcKel() + KEL_SYSTEM_SETTING +
                  " was not written. You are not allowed to change the policy of this computer.",
              error.Text());
    EXPECT_TRUE(w.IsDataDirty());
    /* The service works again: OK sends and closes (this service writes no file, hence the question). */
    ipc.saveResult = 0;
    keltest::MessageBoxAnswerer no(GTK_RESPONSE_NO);
    keltest::Click(keltest::FindButtonByLabel(w.GetWindow(), "OK"));
    EXPECT_EQ(2, ipc.CountCalls("HardWareControl"));
    EXPECT_EQ(0, ipc.CountCalls("SaveLocalSchedulePolicy"));
    EXPECT_FALSE(w.GetWindow());
}

TEST_F(ShellSettingWindows, UntouchedWindowOverAManualLockClosesWithoutAQuestion)
{
    ASSERT_TRUE(keltest::WriteLockSchedule(1, 1, {{0, 8}}, 1));
    for (int admin = 0; admin <= 1; ++admin) {
        Teacher t;
        Admin a;
        LibKELGUI::CShellSettingCtrl& w = admin ? static_cast<LibKELGUI::CShellSettingCtrl&>(a) : t;
        Open(w);
        keltest::MessageBoxAnswerer question(GTK_RESPONSE_YES, 300);
        keltest::Click(keltest::FindButtonByLabel(w.GetWindow(), "Cancel"));
        EXPECT_FALSE(question.Answered()) << question.Text();
        EXPECT_FALSE(w.GetWindow());
    }
    /* An edit with automatic locking off sends the status the schedule had: the lock holds. */
    Admin w;
    Open(w);
    keltest::SetActive(keltest::FindByType(w.GetWindow(), GTK_TYPE_CHECK_BUTTON, 0), false);
    w.OnApply();
    CLockScheduleData sent;
    ASSERT_EQ(0, sent.LoadFromString(ipc.LastCall("SaveLocalSchedulePolicy").text));
    EXPECT_EQ(1, sent.GetLockStatus());
    EXPECT_EQ(1, sent.GetManualLock());
}

TEST_F(ShellSettingWindows, ChangeMadeByAnotherWindowIsReplacedOnlyOnYes)
{
    Teacher first;
    Teacher second;
    Open(first);
    Open(second);
    keltest::SetActive(Hour(second.GetWindow(), "Sat 09:00-10:00"), true);
    second.OnApply();
    keltest::SetActive(Hour(first.GetWindow(), "Sun 09:00-10:00"), true);
    {
        keltest::MessageBoxAnswerer no(GTK_RESPONSE_NO);
        keltest::Click(keltest::FindButtonByLabel(first.GetWindow(), "OK"));
        EXPECT_EQ("The policy was changed since you opened this window. Replace the other change with yours?",
                  no.Text());
        EXPECT_TRUE(first.GetWindow()) << "No keeps the window with its edits";
    }
    auto onDisk = keltest::LockedHoursOnDisk();
    EXPECT_TRUE(std::find(onDisk.begin(), onDisk.end(), std::make_pair(5, 9)) != onDisk.end());
    keltest::MessageBoxAnswerer yes(GTK_RESPONSE_YES);
    keltest::Click(keltest::FindButtonByLabel(first.GetWindow(), "OK"));
    EXPECT_FALSE(first.GetWindow());
    onDisk = keltest::LockedHoursOnDisk();
    EXPECT_TRUE(std::find(onDisk.begin(), onDisk.end(), std::make_pair(6, 9)) != onDisk.end());
}

TEST_F(ShellSettingWindows, AddingProgramsOpensTheRightSearchAndAddsOnlyNewPrograms)
{
    Admin w;
    Open(w);
    GtkTreeView* programs = keltest::List(w.GetWindow(), 1);
    size_t before = keltest::Names(programs, 2).size();
    ASSERT_GT(before, 0u);
    std::vector<GtkWidget*> plus = keltest::FindAll(w.GetWindow(), [](GtkWidget* b) {
        return GTK_IS_BUTTON(b) && g_strcmp0(gtk_button_get_label(GTK_BUTTON(b)), "+") == 0;
    });
    keltest::Click(plus[1]);
    std::vector<GtkWindow*> add = keltest::ToplevelsWithTitle("Add Application");
    ASSERT_EQ(1u, add.size());
    keltest::Click(keltest::FindButtonByLabel(GTK_WIDGET(add[0]), "Cancel"));
    EXPECT_EQ(before, keltest::Names(programs, 2).size());

    /* Opened again: this machine's search, with Browse; the teacher's has none. */
    keltest::Click(plus[1]);
    add = keltest::ToplevelsWithTitle("Add Application");
    ASSERT_EQ(1u, add.size());
    keltest::Click(keltest::FindButtonByLabel(GTK_WIDGET(add[0]), "Search"));
    std::vector<GtkWindow*> search = keltest::ToplevelsWithTitle("Search Program");
    ASSERT_EQ(1u, search.size());
    EXPECT_TRUE(keltest::FindButtonByLabel(GTK_WIDGET(search[0]), "Browse..."));
    Teacher t;
    Open(t);
    t.OnAddProgram();
    keltest::Click(keltest::FindButtonByLabel(GTK_WIDGET(keltest::ToplevelsWithTitle("Add Application")[1]), "Search"));
    /* Deleting the windows with their dialogs open reaches no dead object. */
}
