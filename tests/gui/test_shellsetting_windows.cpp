/* The two concrete Shell Settings windows: what Apply writes or sends, the close question,
 * failed saves, and adding programs through the Add Application window. */
#include <gtest/gtest.h>

#include "CAddApplicationWindow.h"
#include "CShellSettingCtrlForShellController.h"
#include "CShellSettingForAdminTool.h"
#include "ScriptedIPC.h"
#include "shellsetting_fixture.h"

using namespace LibKELData;
using keltest::Active;
using keltest::SetActive;
typedef keltest::Exposed<LibKELGUI::CShellSettingCtrlForShellController> Teacher;
typedef keltest::Exposed<LibKELGUI::CShellSettingForAdminTool> Admin;

namespace {

std::string PolicyFile(const std::string& name)
{
    return keltest::EtcKel() + name;
}

/* The schedule as the service last received it. */
CLockScheduleData Sent(const keltest::ScriptedIPC& ipc)
{
    CLockScheduleData sent;
    EXPECT_EQ(0, sent.LoadFromString(ipc.LastCall("SaveLocalSchedulePolicy").text));
    return sent;
}

class ShellSettingWindows : public ::testing::Test {
protected:
    void SetUp() override { keltest::CopySampleRoot(); }
    /* A schedule whose automatic locking is on while a manual lock holds (status 1). */
    void WriteManualLock()
    {
        ASSERT_TRUE(keltest::WriteFile(PolicyFile(LOCK_SCHEDULE),
                                       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                       "<LockSchedule autoLock=\"1\" manualLock=\"1\" lockStatus=\"1\"/>\n"));
    }
    keltest::ScriptedIPC ipc; /* outlives the windows */
};

} // namespace

TEST_F(ShellSettingWindows, TeacherWindowHasTwoPagesWritesOnlyWhatChangedAndAsksOnlyWhenUnsaved)
{
    {
        Teacher w;
        w.Init();
        GtkNotebook* nb = GTK_NOTEBOOK(w.m_pNotebook);
        ASSERT_EQ(2, gtk_notebook_get_n_pages(nb));
        EXPECT_STREQ("Shell Lock Settings", gtk_notebook_get_tab_label_text(nb, gtk_notebook_get_nth_page(nb, 0)));
        EXPECT_STREQ("Program Registration", gtk_notebook_get_tab_label_text(nb, gtk_notebook_get_nth_page(nb, 1)));
        w.Show();
        keltest::MessageBoxAnswerer answer(GTK_RESPONSE_NO, 300);
        w.OnCancel();
        keltest::Drain();
        EXPECT_FALSE(answer.Answered()) << "nothing changed: " << answer.Text();
        EXPECT_FALSE(w.GetWindow());
    }
    WriteManualLock();
    std::string tabBefore = keltest::ReadFile(PolicyFile(TAB_NAVIGATION));
    Teacher w;
    w.Init();
    w.Show();
    SetActive(w.m_TimeGrid[0][8], true);
    SetActive(w.m_pAutoLockCheckBox, false);
    w.OnApply();
    EXPECT_EQ(tabBefore, keltest::ReadFile(PolicyFile(TAB_NAVIGATION))) << "an unchanged policy was rewritten";
    CLockScheduleData onDisk;
    ASSERT_EQ(0, onDisk.LoadFromFile(PolicyFile(LOCK_SCHEDULE)));
    EXPECT_EQ(1u, keltest::Sections(onDisk.GetPAutomaticLockTimeList()).size());
    EXPECT_EQ(3, onDisk.GetLockStatus()) << "automatic locking off";
    EXPECT_EQ(1, onDisk.GetManualLock()) << "the teacher's window leaves the manual lock alone";

    keltest::MessageBoxAnswerer answer(GTK_RESPONSE_NO, 300);
    w.OnClose();
    keltest::Drain();
    EXPECT_FALSE(answer.Answered()) << "everything was applied";
}

TEST_F(ShellSettingWindows, TeacherFailedSaveKeepsTheEditAndTellsTheUser)
{
    /* A directory where the schedule file should be: it can be neither read nor replaced. */
    std::string file = PolicyFile(LOCK_SCHEDULE);
    ASSERT_EQ(0, unlink(file.c_str()));
    ASSERT_TRUE(keltest::MakeDirs(file));
    Teacher w;
    w.Init();
    w.Show();
    SetActive(w.m_TimeGrid[2][10], true);
    {
        keltest::MessageBoxAnswerer error(GTK_RESPONSE_OK);
        w.OnApply();
        EXPECT_EQ(GTK_MESSAGE_ERROR, error.Type());
        EXPECT_EQ("The lock schedule could not be saved.", error.Text());
    }
    EXPECT_TRUE(w.m_bScheduleDirty);
    EXPECT_FALSE(w.m_bTabNavDirty);

    /* Closing asks again, and Yes tries again (and tells again). */
    keltest::MessageBoxAnswerer answers(GTK_RESPONSE_YES);
    answers.AnswerAll(true);
    w.OnClose();
    keltest::Drain();
    EXPECT_EQ(2, answers.Count());
    EXPECT_FALSE(w.GetWindow());
}

TEST_F(ShellSettingWindows, AdminSendsOnlyTheChangedPolicyWithTheLockStatusRules)
{
    WriteManualLock();
    Admin w;
    w.Init();
    w.Show();
    /* Automatic locking off, Apply: the status the record had before the Apply is sent. */
    SetActive(w.m_pAutoLockCheckBox, false);
    EXPECT_EQ(0, w.OnApply());
    ASSERT_EQ(1, ipc.CountCalls("SaveLocalSchedulePolicy"));
    EXPECT_EQ(0, ipc.CountCalls("SaveLocalTabNavPolicy"));
    EXPECT_EQ(0, ipc.CountCalls("HardWareControl"));
    EXPECT_EQ(1, Sent(ipc).GetLockStatus());
    EXPECT_EQ(1, Sent(ipc).GetManualLock());

    /* Automatic locking on: status 2 and the manual lock cleared. */
    SetActive(w.m_pAutoLockCheckBox, true);
    w.OnApply();
    EXPECT_EQ(2, Sent(ipc).GetLockStatus());
    EXPECT_EQ(0, Sent(ipc).GetManualLock());

    /* Off again and Apply from the close question: its fetch already set status 3. */
    SetActive(w.m_pAutoLockCheckBox, false);
    keltest::MessageBoxAnswerer yes(GTK_RESPONSE_YES);
    w.OnClose();
    keltest::Drain();
    EXPECT_EQ("Are you sure you want to save?", yes.Text());
    ASSERT_EQ(3, ipc.CountCalls("SaveLocalSchedulePolicy"));
    EXPECT_EQ(3, Sent(ipc).GetLockStatus());
    EXPECT_FALSE(w.GetWindow());
}

TEST_F(ShellSettingWindows, AdminRefusedSavesKeepTheirFlagsAndAreRetriedFromTheCloseQuestion)
{
    ipc.saveResult = -1;
    ipc.saveError = IPCAPI::IPC_ERR_SAVE;
    Admin w;
    w.Init();
    w.Show();
    SetActive(w.m_pUSBCheckBox, !Active(w.m_pUSBCheckBox));
    SetActive(w.m_TimeGrid[4][4], !Active(w.m_TimeGrid[4][4]));
    {
        keltest::MessageBoxAnswerer errors(GTK_RESPONSE_OK);
        errors.AnswerAll(true);
        EXPECT_EQ(IPCAPI::IPC_ERR_SAVE, w.OnApply());
        keltest::Drain();
        EXPECT_EQ(2, errors.Count()) << "one message per policy that could not be saved";
    }
    EXPECT_TRUE(w.m_bScheduleDirty);
    EXPECT_TRUE(w.m_bSystemSettingDirty);

    /* The service works again: the close question still comes, and Yes sends both again. */
    ipc.saveResult = 0;
    keltest::MessageBoxAnswerer yes(GTK_RESPONSE_YES);
    w.OnClose();
    keltest::Drain();
    EXPECT_TRUE(yes.Answered());
    EXPECT_EQ(2, ipc.CountCalls("SaveLocalSchedulePolicy"));
    EXPECT_EQ(2, ipc.CountCalls("HardWareControl"));
}

TEST_F(ShellSettingWindows, AddingProgramsOpensTheRightWindowAndAddsOnlyNewPrograms)
{
    Admin w;
    w.Init();
    w.Show();
    keltest::SetCursorRow(w.m_pCategoryView, 0);
    CCategory* first = keltest::CategoryAt(w.m_TabNavData, 0);
    size_t before = keltest::ProgramNames(first).size();
    ASSERT_GT(before, 0u);

    /* Cancelled: nothing added. */
    w.OnAddProgram();
    ASSERT_TRUE(w.m_pAddApplicationWindow && w.m_pAddApplicationWindow->GetWindow());
    keltest::Click(keltest::FindButtonByLabel(w.m_pAddApplicationWindow->GetWindow(), "Cancel"));
    EXPECT_EQ(before, keltest::ProgramNames(first).size());

    /* Opened again (the first object goes); its search is this machine's, with Browse. */
    w.OnAddProgram();
    LibKELGUI::CAddApplicationWindow* add = w.m_pAddApplicationWindow;
    keltest::Click(keltest::FindButtonByLabel(add->GetWindow(), "Search"));
    std::vector<GtkWindow*> search = keltest::ToplevelsWithTitle("Search Program");
    ASSERT_EQ(1u, search.size());
    EXPECT_TRUE(keltest::FindButtonByLabel(GTK_WIDGET(search[0]), "Browse..."));
    gtk_widget_destroy(GTK_WIDGET(search[0]));
    keltest::Drain();

    /* One program already in the category and one new: only the new one is added. */
    add->AddNewApplication(*first->GetPApplicationInfoList()->front());
    add->AddNewApplication(CApplicationInfo("Tux Typing", "/usr/games/tuxtype", ""));
    keltest::MessageBoxAnswerer filtered(GTK_RESPONSE_OK);
    add->Close();
    keltest::Drain();
    EXPECT_EQ("The same applications have been filtered!", filtered.Text());
    EXPECT_EQ(before + 1, keltest::ProgramNames(first).size());
    EXPECT_EQ(before + 1, keltest::ColumnTexts(w.m_pProgramStore, 2).size());
    EXPECT_EQ("Tux Typing", keltest::ProgramNames(first).back());

    /* The teacher's search names a folder on the students: no Browse. */
    Teacher t;
    t.Init();
    t.Show();
    keltest::SetCursorRow(t.m_pCategoryView, 0);
    t.OnAddProgram();
    keltest::Click(keltest::FindButtonByLabel(t.m_pAddApplicationWindow->GetWindow(), "Search"));
    search = keltest::ToplevelsWithTitle("Search Program");
    ASSERT_EQ(1u, search.size());
    EXPECT_FALSE(keltest::FindButtonByLabel(GTK_WIDGET(search[0]), "Browse..."));
    /* Deleting the Shell Settings window with both dialogs open reaches no dead object. */
}
