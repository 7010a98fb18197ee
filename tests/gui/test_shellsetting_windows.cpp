/* The two concrete Shell Settings windows: what they load, what Apply writes or sends,
 * the close question, failed saves, and adding programs through the Add Application window. */
#include <gtest/gtest.h>

#include "CAddApplicationWindow.h"
#include "CShellSettingCtrlForShellController.h"
#include "CShellSettingForAdminTool.h"
#include "KELConstants.h"
#include "KELData.h"
#include "KelTest.h"
#include "ScriptedIPC.h"

using namespace LibKELGUI;
using namespace LibKELData;

namespace {

/* Opens the protected grid and records to the tests. */
template <class Base> class Open : public Base {
public:
    GtkWidget* Hour(int day, int hour) { return this->m_TimeGrid[day][hour]; }
    GtkWidget* AutoLock() { return this->m_pAutoLockCheckBox; }
    GtkWidget* USB() { return this->m_pUSBCheckBox; }
    GtkWidget* Notebook() { return this->m_pNotebook; }
    GtkWidget* CategoryView() { return this->m_pCategoryView; }
    GtkWidget* ProgramView() { return this->m_pProgramView; }
    CLockScheduleData& Schedule() { return this->m_ScheduleData; }
    CTabNavigationData& TabNav() { return this->m_TabNavData; }
    CAddApplicationWindow* AddWindow() { return this->m_pAddApplicationWindow; }
    bool ScheduleDirty() { return this->m_bScheduleDirty; }
    bool TabNavDirty() { return this->m_bTabNavDirty; }
    bool SystemDirty() { return this->m_bSystemSettingDirty; }
};
typedef Open<CShellSettingCtrlForShellController> Teacher;
typedef Open<CShellSettingForAdminTool> Admin;

const char* kSchedule =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<LockSchedule autoLock=\"1\" manualLock=\"1\" lockStatus=\"1\"/>\n";

std::string PolicyFile(const std::string& name)
{
    return keltest::EtcKel() + name;
}

void SetToggle(GtkWidget* w, bool on)
{
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), on);
}

GtkWidget* Button(GtkWidget* window, const char* label)
{
    return keltest::FindButtonByLabel(window, label);
}

/* Selects the first category row of the Program Registration page. */
void SelectFirstCategory(GtkWidget* view)
{
    GtkTreePath* path = gtk_tree_path_new_first();
    gtk_tree_view_set_cursor(GTK_TREE_VIEW(view), path, NULL, FALSE);
    gtk_tree_path_free(path);
    keltest::Drain();
}

int ProgramRows(GtkWidget* view)
{
    return gtk_tree_model_iter_n_children(gtk_tree_view_get_model(GTK_TREE_VIEW(view)), NULL);
}

} // namespace

class ShellSettingWindows : public ::testing::Test {
protected:
    void SetUp() override { keltest::CopySampleRoot(); }
};

TEST_F(ShellSettingWindows, TeacherWindowHasTwoPagesAndClosesQuietlyWhenNothingChanged)
{
    Teacher w;
    w.Init();
    ASSERT_TRUE(w.GetWindow());
    GtkNotebook* nb = GTK_NOTEBOOK(w.Notebook());
    ASSERT_EQ(2, gtk_notebook_get_n_pages(nb));
    EXPECT_STREQ("Shell Lock Settings",
                 gtk_label_get_text(GTK_LABEL(gtk_notebook_get_tab_label(nb, gtk_notebook_get_nth_page(nb, 0)))));
    EXPECT_STREQ("Program Registration",
                 gtk_label_get_text(GTK_LABEL(gtk_notebook_get_tab_label(nb, gtk_notebook_get_nth_page(nb, 1)))));
    w.Show();
    keltest::Drain();

    keltest::MessageBoxAnswerer answer(GTK_RESPONSE_NO, 300);
    w.OnCancel();
    keltest::Drain();
    EXPECT_FALSE(answer.Answered()) << answer.Text();
    EXPECT_FALSE(w.GetWindow());
}

TEST_F(ShellSettingWindows, TeacherApplyWritesOnlyWhatChangedAndThenClosesWithoutAsking)
{
    std::string tabBefore = keltest::ReadFile(PolicyFile(TAB_NAVIGATION));
    Teacher w;
    w.Init();
    w.Show();
    SetToggle(w.Hour(0, 8), !gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w.Hour(0, 8))));
    w.OnApply();
    EXPECT_EQ(tabBefore, keltest::ReadFile(PolicyFile(TAB_NAVIGATION))) << "an unchanged policy was rewritten";
    CLockScheduleData onDisk;
    ASSERT_EQ(0, onDisk.LoadFromFile(PolicyFile(LOCK_SCHEDULE)));
    EXPECT_NE(0, onDisk.IsEqual(w.Schedule()));

    keltest::MessageBoxAnswerer answer(GTK_RESPONSE_NO, 300);
    w.OnClose();
    keltest::Drain();
    EXPECT_FALSE(answer.Answered());
}

TEST_F(ShellSettingWindows, TeacherAutomaticLockingOffStoresStatusThree)
{
    keltest::WriteFile(PolicyFile(LOCK_SCHEDULE), kSchedule);
    Teacher w;
    w.Init();
    SetToggle(w.AutoLock(), false);
    w.OnApply();
    CLockScheduleData onDisk;
    ASSERT_EQ(0, onDisk.LoadFromFile(PolicyFile(LOCK_SCHEDULE)));
    EXPECT_EQ(3, onDisk.GetLockStatus());
    EXPECT_FALSE(onDisk.IsAutoLockEnable());
    EXPECT_EQ(1, onDisk.GetManualLock()) << "the teacher's window leaves the manual lock alone";
}

TEST_F(ShellSettingWindows, TeacherFailedSaveKeepsTheEditAndTellsTheUser)
{
    /* A directory where the schedule file should be: it can be neither read nor replaced. */
    std::string file = PolicyFile(LOCK_SCHEDULE);
    ASSERT_EQ(0, system(("rm -f '" + file + "' && mkdir '" + file + "'").c_str()));
    Teacher w;
    w.Init();
    w.Show();
    SetToggle(w.Hour(2, 10), true);
    {
        keltest::MessageBoxAnswerer error(GTK_RESPONSE_OK);
        w.OnApply();
        EXPECT_TRUE(error.Answered());
        EXPECT_EQ(GTK_MESSAGE_ERROR, error.Type());
        EXPECT_EQ("The lock schedule could not be saved.", error.Text());
    }
    EXPECT_TRUE(w.ScheduleDirty());
    EXPECT_FALSE(w.TabNavDirty());

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
    keltest::WriteFile(PolicyFile(LOCK_SCHEDULE), kSchedule);
    keltest::ScriptedIPC ipc;
    Admin w;
    w.Init();
    w.Show();

    /* Automatic locking off, Apply: the status the record had before the Apply is sent. */
    SetToggle(w.AutoLock(), false);
    EXPECT_EQ(0, w.OnApply());
    ASSERT_EQ(1, ipc.CountCalls("SaveLocalSchedulePolicy"));
    EXPECT_EQ(0, ipc.CountCalls("SaveLocalTabNavPolicy"));
    EXPECT_EQ(0, ipc.CountCalls("HardWareControl"));
    CLockScheduleData sent;
    ASSERT_EQ(0, sent.LoadFromString(ipc.LastCall("SaveLocalSchedulePolicy").text));
    EXPECT_EQ(1, sent.GetLockStatus());
    EXPECT_EQ(1, sent.GetManualLock());

    /* Automatic locking on: status 2 and the manual lock cleared. */
    SetToggle(w.AutoLock(), true);
    w.OnApply();
    ASSERT_EQ(2, ipc.CountCalls("SaveLocalSchedulePolicy"));
    ASSERT_EQ(0, sent.LoadFromString(ipc.LastCall("SaveLocalSchedulePolicy").text));
    EXPECT_EQ(2, sent.GetLockStatus());
    EXPECT_EQ(0, sent.GetManualLock());
}

TEST_F(ShellSettingWindows, AdminApplyFromTheCloseQuestionSendsStatusThree)
{
    keltest::WriteFile(PolicyFile(LOCK_SCHEDULE), kSchedule);
    keltest::ScriptedIPC ipc;
    Admin w;
    w.Init();
    w.Show();
    SetToggle(w.AutoLock(), false);
    SetToggle(w.Hour(0, 8), true);
    keltest::MessageBoxAnswerer yes(GTK_RESPONSE_YES);
    w.OnClose();
    keltest::Drain();
    ASSERT_TRUE(yes.Answered());
    EXPECT_EQ("Are you sure you want to save?", yes.Text());
    ASSERT_EQ(1, ipc.CountCalls("SaveLocalSchedulePolicy"));
    CLockScheduleData sent;
    ASSERT_EQ(0, sent.LoadFromString(ipc.LastCall("SaveLocalSchedulePolicy").text));
    EXPECT_EQ(3, sent.GetLockStatus()) << "the close question's fetch already set status 3";
    EXPECT_FALSE(w.GetWindow());
}

TEST_F(ShellSettingWindows, AdminRefusedSavesKeepTheirFlagsAndAreRetriedFromTheCloseQuestion)
{
    keltest::ScriptedIPC ipc;
    ipc.saveResult = -1;
    ipc.saveError = IPCAPI::IPC_ERR_SAVE;
    Admin w;
    w.Init();
    w.Show();
    SetToggle(w.USB(), !gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w.USB())));
    SetToggle(w.Hour(4, 4), !gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w.Hour(4, 4))));
    keltest::LogCapture log;
    {
        keltest::MessageBoxAnswerer errors(GTK_RESPONSE_OK);
        errors.AnswerAll(true);
        EXPECT_EQ(IPCAPI::IPC_ERR_SAVE, w.OnApply());
        keltest::Drain();
        EXPECT_EQ(2, errors.Count()) << "one message per policy that could not be saved";
    }
    EXPECT_TRUE(w.ScheduleDirty());
    EXPECT_TRUE(w.SystemDirty());
    EXPECT_TRUE(log.Has("Save USB Policy Failure!"));

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
    keltest::ScriptedIPC ipc;
    Admin w;
    w.Init();
    w.Show();
    SelectFirstCategory(w.CategoryView());
    LibKELData::CCategory* first = w.TabNav().GetPCategoryInfoList()->front();
    int before = ProgramRows(w.ProgramView());
    ASSERT_GT(before, 0);

    /* Cancelled: nothing added. */
    w.OnAddProgram();
    CAddApplicationWindow* firstWindow = w.AddWindow();
    ASSERT_TRUE(firstWindow && firstWindow->GetWindow());
    keltest::Click(Button(firstWindow->GetWindow(), "Cancel"));
    EXPECT_FALSE(firstWindow->GetWindow());
    EXPECT_EQ(before, ProgramRows(w.ProgramView()));

    /* The local window's search dialog has a Browse button (this machine's folders). */
    w.OnAddProgram();
    CAddApplicationWindow* second = w.AddWindow();
    ASSERT_TRUE(second->GetWindow());
    keltest::Click(Button(second->GetWindow(), "Search"));
    std::vector<GtkWindow*> search = keltest::ToplevelsWithTitle("Search Program");
    ASSERT_EQ(1u, search.size());
    EXPECT_TRUE(Button(GTK_WIDGET(search[0]), "Browse..."));
    gtk_widget_destroy(GTK_WIDGET(search[0]));
    keltest::Drain();

    /* One program already in the category and one new: only the new one is added. */
    CApplicationInfo existing = *first->GetPApplicationInfoList()->front();
    second->AddNewApplication(existing);
    second->AddNewApplication(CApplicationInfo("Tux Typing", "/usr/games/tuxtype", ""));
    keltest::MessageBoxAnswerer filtered(GTK_RESPONSE_OK);
    second->Close();
    keltest::Drain();
    EXPECT_TRUE(filtered.Answered());
    EXPECT_EQ("The same applications have been filtered!", filtered.Text());
    EXPECT_EQ(before + 1, ProgramRows(w.ProgramView()));
    EXPECT_EQ("Tux Typing", first->GetPApplicationInfoList()->back()->GetName());
}

TEST_F(ShellSettingWindows, TeacherAddApplicationWindowSearchesTheStudents)
{
    keltest::ScriptedIPC ipc;
    Teacher w;
    w.Init();
    w.Show();
    SelectFirstCategory(w.CategoryView());
    w.OnAddProgram();
    ASSERT_TRUE(w.AddWindow() && w.AddWindow()->GetWindow());
    keltest::Click(Button(w.AddWindow()->GetWindow(), "Search"));
    std::vector<GtkWindow*> search = keltest::ToplevelsWithTitle("Search Program");
    ASSERT_EQ(1u, search.size());
    EXPECT_FALSE(Button(GTK_WIDGET(search[0]), "Browse...")) << "the remote search names a folder on the students";
    /* Deleting the Shell Settings window with both dialogs open reaches no dead object. */
}
