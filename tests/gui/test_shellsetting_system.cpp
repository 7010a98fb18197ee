/* The System Settings page: the USB and new-student check boxes, and pages that a host took
 * out of the notebook. */
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shellsetting_fixture.h"

using keltest::CTestShellSetting;

namespace {

std::vector<std::string> RowLabels(GtkWidget* row)
{
    std::vector<std::string> out;
    GList* children = gtk_container_get_children(GTK_CONTAINER(row));
    for (GList* l = children; l; l = l->next)
        out.push_back(gtk_button_get_label(GTK_BUTTON(l->data)));
    g_list_free(children);
    return out;
}

} // namespace

TEST(ShellSettingSystem, UsbBoxShowsDisabledForEveryValueButOne)
{
    struct Case {
        int fileValue;
        bool shownActive;
        bool clickBox;
        int fetched;
        bool dirty;
    } const cases[] = {
        {0, true, true, 1, true},    /* cleared by the user: USB allowed again */
        {2, true, false, 0, true},   /* an odd value is written back as 0 and so differs */
        {1, false, false, 1, false}, /* unchanged */
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fileValue);
        ASSERT_TRUE(keltest::WriteSystemSetting(c.fileValue, 0));
        CTestShellSetting w;
        w.Init();
        ASSERT_TRUE(w.m_pUSBCheckBox);
        EXPECT_EQ(c.shownActive, keltest::Active(w.m_pUSBCheckBox));
        if (c.clickBox)
            gtk_button_clicked(GTK_BUTTON(w.m_pUSBCheckBox));
        EXPECT_EQ(0, w.FetchUSBData());
        EXPECT_EQ(c.fetched, w.m_SystemSettingData.GetUSBStorageenabled());
        EXPECT_EQ(c.dirty, w.m_bSystemSettingDirty);
    }
}

TEST(ShellSettingSystem, NewStudentBoxIsAddedOnRequestAndUsbBoxRemoved)
{
    ASSERT_TRUE(keltest::WriteSystemSetting(0, 1));
    CTestShellSetting w;
    w.Init();
    keltest::LogCapture log;
    EXPECT_EQ(0, w.FetchTeacherPolicy()); /* no box yet */
    EXPECT_EQ(1, w.m_SystemSettingData.GetNewStudentConnectDialogEnable());
    EXPECT_FALSE(w.m_bSystemSettingDirty);
    EXPECT_TRUE(log.Has(" CShellSettingCtrl::FetchTeacherPolicy >>Start"));

    w.GTKShowDlgCheckBox();
    w.GTKShowDlgCheckBox(); /* one box is enough */
    std::vector<std::string> row = {"Disable USB Storage", "Show new student connect notify dialog"};
    EXPECT_EQ(row, RowLabels(w.m_pSettingsRow));
    w.ShowTeacherPolicy();
    EXPECT_TRUE(keltest::Active(w.m_pNewStudentCheckBox));
    keltest::SetActive(w.m_pNewStudentCheckBox, false);
    w.FetchTeacherPolicy();
    EXPECT_EQ(0, w.m_SystemSettingData.GetNewStudentConnectDialogEnable());
    EXPECT_TRUE(w.m_bSystemSettingDirty);

    EXPECT_TRUE(w.GTKHideUSBCheckBox());
    EXPECT_FALSE(w.GTKHideUSBCheckBox());
    EXPECT_EQ(std::vector<std::string>{"Show new student connect notify dialog"}, RowLabels(w.m_pSettingsRow));
    w.m_SystemSettingData.SetUSBStorageenabled(0);
    w.FetchUSBData();
    w.ShowUSBPolicy();
    EXPECT_EQ(0, w.m_SystemSettingData.GetUSBStorageenabled());
}

TEST(ShellSettingSystem, PageTakenOutOfTheNotebookIsNeverTouchedAgain)
{
    ASSERT_TRUE(keltest::WriteSystemSetting(1, 0));
    CTestShellSetting w;
    w.Init();
    w.m_SystemSettingData.SetUSBStorageenabled(0);
    w.m_SystemSettingData.SetNewStudentConnectDialogEnable(1);

    /* What the teacher's window does right after building. */
    gtk_notebook_remove_page(GTK_NOTEBOOK(w.m_pNotebook), -1);
    keltest::Drain();
    EXPECT_EQ(2, gtk_notebook_get_n_pages(GTK_NOTEBOOK(w.m_pNotebook)));
    EXPECT_EQ(NULL, w.m_pUSBCheckBox);
    EXPECT_EQ(NULL, w.m_pSettingsRow);

    w.GTKShowDlgCheckBox();
    EXPECT_EQ(NULL, w.m_pNewStudentCheckBox);
    EXPECT_FALSE(w.GTKHideUSBCheckBox());
    EXPECT_EQ(0, w.ShowUSBPolicy());
    EXPECT_EQ(0, w.FetchUSBData());
    EXPECT_EQ(0, w.ShowTeacherPolicy());
    EXPECT_EQ(0, w.FetchTeacherPolicy());
    EXPECT_EQ(0, w.m_SystemSettingData.GetUSBStorageenabled());
    EXPECT_EQ(1, w.m_SystemSettingData.GetNewStudentConnectDialogEnable());
    EXPECT_FALSE(w.m_bSystemSettingDirty);

    /* The other pages too: an absent grid is no empty week, and no list means no rows. */
    ASSERT_TRUE(keltest::WriteLockSchedule(1, 2, {{3, 3, 4}}));
    w.m_ScheduleData.LoadFromFile(LibKELData::CONFIG_FILE_DIR + LibKELData::LOCK_SCHEDULE);
    gtk_notebook_remove_page(GTK_NOTEBOOK(w.m_pNotebook), 0);
    gtk_notebook_remove_page(GTK_NOTEBOOK(w.m_pNotebook), 0);
    keltest::Drain();
    EXPECT_TRUE(w.m_TimeGrid.empty());
    w.ShowSchedulePolicy();
    w.FetchScheuleData();
    ASSERT_TRUE(w.m_ScheduleData.GetPAutomaticLockTimeList());
    EXPECT_EQ(1u, w.m_ScheduleData.GetPAutomaticLockTimeList()->size());
    EXPECT_FALSE(w.m_bScheduleDirty);
    EXPECT_EQ(NULL, w.m_pCategoryStore);
    w.ShowTabNavPolicy();
    w.UpdateBtnStatus();
    CTestShellSetting::AddCategory(NULL, &w);
    EXPECT_EQ(1u, keltest::CategoryNames(w.m_TabNavData).size());
    EXPECT_EQ(-1, w.AddPrograms({LibKELData::CApplicationInfo("Calc", "/usr/bin/calc", "", 1)}));
}

TEST(ShellSettingSystem, CheckBoxDestroyedByItselfIsForgotten)
{
    ASSERT_TRUE(keltest::WriteSystemSetting(0, 1));
    CTestShellSetting w;
    w.Init();
    w.GTKShowDlgCheckBox();
    gtk_widget_destroy(w.m_pUSBCheckBox);
    gtk_widget_destroy(w.m_pNewStudentCheckBox);
    EXPECT_EQ(NULL, w.m_pUSBCheckBox);
    EXPECT_EQ(NULL, w.m_pNewStudentCheckBox);
    w.FetchUSBData();
    w.FetchTeacherPolicy();
    EXPECT_EQ(0, w.m_SystemSettingData.GetUSBStorageenabled());
    EXPECT_FALSE(w.GTKHideUSBCheckBox());
    /* The row is still there, so the box can come back. */
    w.GTKShowDlgCheckBox();
    EXPECT_TRUE(w.m_pNewStudentCheckBox);
}
