/* The two concrete Shell Settings windows: failed saves keep the window and its edits, the close
 * question only for real edits, a damaged policy told, another window's change not lost, adding
 * programs. */
#include <gtest/gtest.h>

#include <gdk/gdkkeysyms.h>

#include <algorithm>

#include "CShellSettingCtrlForShellController.h"
#include "CShellSettingForAdminTool.h"
#include "ScriptedIPC.h"
#include "shellsetting_fixture.h"

using keltest::Hour;
using keltest::Open;
typedef LibKELGUI::CShellSettingCtrlForShellController Teacher;
typedef LibKELGUI::CShellSettingForAdminTool Admin;

namespace {

std::string ScheduleFile() { return keltest::EtcKel() + LibKELData::LOCK_SCHEDULE; }

class ShellSettingWindows : public ::testing::Test {
protected:
    void SetUp() override { keltest::CopySampleRoot(); }
    keltest::ScriptedIPC ipc; /* outlives the windows */
};

} // namespace

TEST_F(ShellSettingWindows, FailedApplyAndOkKeepTheWindowTheEditsAndTheFlagsWithOneBoxNamingFileAndReason)
{
    /* A folder where the schedule file should be: it can be neither read nor replaced. */
    ASSERT_EQ(0, unlink(ScheduleFile().c_str()));
    ASSERT_TRUE(keltest::MakeDirs(ScheduleFile()));
    keltest::LogCapture log;
    Teacher w;
    keltest::MessageBoxAnswerer damaged(GTK_RESPONSE_OK);
    Open(w);
    EXPECT_EQ(0u, damaged.Text().find(ScheduleFile() + " could not be read and was not loaded")) << damaged.Text();
    GtkWidget* hour = Hour(w.GetWindow(), "Wed 10:00-11:00");
    keltest::SetActive(hour, true);
    keltest::Click(keltest::FindButtonByLabel(w.GetWindow(), "+")); /* a new category: saved fine */
    for (const char* button : {"Apply", "OK"}) {
        keltest::MessageBoxAnswerer error(GTK_RESPONSE_OK);
        error.AnswerAll(true);
        keltest::Click(keltest::FindButtonByLabel(w.GetWindow(), button));
        EXPECT_EQ(1, error.Count()) << button;
        EXPECT_EQ("The lock schedule could not be saved.\nThe file " + ScheduleFile() +
                      " was not written because a folder or another non-file is in its place.",
                  error.Text());
        ASSERT_TRUE(w.GetWindow()) << button << " closed the window over an unsaved edit";
        EXPECT_TRUE(keltest::Active(hour) && w.IsDataDirty());
    }
    {
        keltest::MessageBoxAnswerer yes(GTK_RESPONSE_YES); /* the close question, then the error box */
        yes.AnswerAll(true);
        w.OnClose();
        keltest::Drain();
        EXPECT_EQ(2, yes.Count());
        EXPECT_TRUE(w.GetWindow());
    }
    keltest::MessageBoxAnswerer no(GTK_RESPONSE_NO);
    keltest::CloseFromFrame(w.GetWindow());
    EXPECT_TRUE(no.Answered() && !w.GetWindow()) << "asked first; No discards the edits and closes";
    const auto lines = log.Lines();
    EXPECT_EQ(1, std::count_if(lines.begin(), lines.end(), [](const keltest::LogCapture::Line& l) {
                  return l.text.find("Cannot load " + ScheduleFile()) == 0;
              })) << "the damaged file is read, and its failure logged, once";
}

TEST_F(ShellSettingWindows, EscapeOnTheCloseQuestionGoesBackToTheWindowWithTheEditUnsaved)
{
    ASSERT_TRUE(keltest::WriteLockSchedule(1, 2, {}));
    const std::string before = keltest::ReadFile(ScheduleFile());
    Teacher w;
    Open(w);
    GtkWidget* hour = Hour(w.GetWindow(), "Wed 10:00-11:00");
    keltest::SetActive(hour, true);
    keltest::MessageBoxAnswerer escape(GTK_RESPONSE_DELETE_EVENT); /* what Escape or its close box answers */
    keltest::PressKey(w.GetWindow(), GDK_Escape);
    EXPECT_EQ("The shell settings have been changed. Do you want to save?", escape.Text());
    EXPECT_TRUE(w.GetWindow() && keltest::Active(hour) && w.IsDataDirty());
    EXPECT_EQ(before, keltest::ReadFile(ScheduleFile()));
}

TEST_F(ShellSettingWindows, UntouchedWindowOverAManualLockClosesWithoutAQuestion)
{
    ASSERT_TRUE(keltest::WriteLockSchedule(1, 1, {{0, 8}}, 1));
    for (int admin = 0; admin <= 1; ++admin) {
        Teacher t;
        Admin a;
        LibKELGUI::CShellSettingCtrl& w = admin ? static_cast<LibKELGUI::CShellSettingCtrl&>(a) : t;
        Open(w);
        keltest::MessageBoxAnswerer question(GTK_RESPONSE_YES);
        keltest::Click(keltest::FindButtonByLabel(w.GetWindow(), "Cancel"));
        EXPECT_FALSE(question.Answered()) << question.Text();
        EXPECT_FALSE(w.GetWindow());
    }
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
        EXPECT_TRUE(first.GetWindow() && keltest::LockedOnDisk(5, 9)) << "No keeps the window and the other change";
    }
    keltest::MessageBoxAnswerer yes(GTK_RESPONSE_YES);
    keltest::Click(keltest::FindButtonByLabel(first.GetWindow(), "OK"));
    EXPECT_TRUE(!first.GetWindow() && keltest::LockedOnDisk(6, 9));
}

TEST_F(ShellSettingWindows, ApplyIsGreyUntilAnEditAndASaveSaysSavedUntilTheNextOne)
{
    Teacher w;
    Open(w);
    GtkWidget* apply = keltest::FindButtonByLabel(w.GetWindow(), "Apply");
    GtkWidget* saved = keltest::FindWidget(w.GetWindow(), [](GtkWidget* l) {
        return GTK_IS_LABEL(l) && std::string(gtk_label_get_text(GTK_LABEL(l))) == "Saved";
    });
    ASSERT_TRUE(apply && saved);
    auto state = [&] { return std::string(GTK_WIDGET_SENSITIVE(apply) ? "apply" : "grey") +
                              (GTK_WIDGET_VISIBLE(saved) ? " saved" : ""); };
    EXPECT_EQ("grey", state());
    keltest::SetActive(Hour(w.GetWindow(), "Sat 09:00-10:00"), true);
    EXPECT_EQ("apply", state());
    keltest::Click(apply);
    EXPECT_TRUE(keltest::LockedOnDisk(5, 9));
    EXPECT_EQ("grey saved", state());
    keltest::Click(keltest::FindButtonByLabel(w.GetWindow(), "+"));
    EXPECT_EQ("apply", state());
}

TEST_F(ShellSettingWindows, AddingProgramsOpensTheRightSearchAndDiesWithItsDialogsOpen)
{
    Admin w;
    Open(w);
    w.OnAddProgram();
    keltest::Click(keltest::FindButtonByLabel(GTK_WIDGET(keltest::ToplevelsWithTitle("Add Application")[0]), "Cancel"));
    /* Opened again, and the teacher's: this machine's search has Browse, the students' has none. */
    Teacher t;
    Open(t);
    for (LibKELGUI::CShellSettingCtrl* window : {static_cast<LibKELGUI::CShellSettingCtrl*>(&w),
                                                 static_cast<LibKELGUI::CShellSettingCtrl*>(&t)}) {
        window->OnAddProgram();
        keltest::Click(keltest::FindButtonByLabel(GTK_WIDGET(keltest::ToplevelsWithTitle("Add Application").back()), "Search"));
    }
    std::vector<GtkWindow*> search = keltest::ToplevelsWithTitle("Search Program");
    ASSERT_EQ(2u, search.size());
    EXPECT_NE(!keltest::FindButtonByLabel(GTK_WIDGET(search[0]), "Browse..."),
              !keltest::FindButtonByLabel(GTK_WIDGET(search[1]), "Browse..."));
    /* Deleting the windows with their dialogs open reaches no dead object. */
}
