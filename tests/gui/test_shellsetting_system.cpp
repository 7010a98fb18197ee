/* The System Settings page: the USB and new-student check boxes, and pages or boxes that a host
 * took away. */
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shellsetting_fixture.h"

using keltest::CTestShellSetting;
typedef std::vector<std::string> Texts;

namespace {
Texts RowLabels(GtkWidget* row)
{
    Texts out;
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
        bool shownActive, clickBox;
        int fetched;
        bool dirty;
    } const cases[] = {
        {0, true, true, 1, true}, /* cleared by the user: USB allowed again */
        {2, true, false, 0, true}, /* an odd value is written back as 0 and so differs */
        {1, false, false, 1, false}, /* unchanged */
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fileValue);
        ASSERT_TRUE(keltest::WriteSystemSetting(c.fileValue, 0));
        CTestShellSetting w;
        w.Init();
        EXPECT_EQ(c.shownActive, keltest::Active(w.m_pUSBCheckBox));
        if (c.clickBox)
            gtk_button_clicked(GTK_BUTTON(w.m_pUSBCheckBox));
        EXPECT_EQ(0, w.FetchUSBData());
        EXPECT_EQ(c.fetched, w.m_SystemSettingData.GetUSBStorageenabled());
        EXPECT_EQ(c.dirty, w.m_bSystemSettingDirty);
    }
}

TEST(ShellSettingSystem, NewStudentBoxIsAddedOnceAndUsbBoxRemoved)
{
    ASSERT_TRUE(keltest::WriteSystemSetting(0, 1));
    CTestShellSetting w;
    w.Init();
    EXPECT_EQ(0, w.FetchTeacherPolicy()); /* no box yet: the record keeps its value */
    EXPECT_EQ(1, w.m_SystemSettingData.GetNewStudentConnectDialogEnable());
    EXPECT_FALSE(w.m_bSystemSettingDirty);

    w.GTKShowDlgCheckBox();
    w.GTKShowDlgCheckBox();
    EXPECT_EQ((Texts{"Disable USB Storage", "Show new student connect notify dialog"}), RowLabels(w.m_pSettingsRow));
    w.ShowTeacherPolicy();
    EXPECT_TRUE(keltest::Active(w.m_pNewStudentCheckBox));
    keltest::SetActive(w.m_pNewStudentCheckBox, false);
    w.FetchTeacherPolicy();
    EXPECT_EQ(0, w.m_SystemSettingData.GetNewStudentConnectDialogEnable());
    EXPECT_TRUE(w.m_bSystemSettingDirty);

    EXPECT_TRUE(w.GTKHideUSBCheckBox());
    EXPECT_FALSE(w.GTKHideUSBCheckBox());
    EXPECT_EQ(Texts{"Show new student connect notify dialog"}, RowLabels(w.m_pSettingsRow));
    w.m_SystemSettingData.SetUSBStorageenabled(0);
    w.FetchUSBData();
    EXPECT_EQ(0, w.m_SystemSettingData.GetUSBStorageenabled());

    /* Boxes destroyed by someone else are forgotten; the row can take a new one. */
    gtk_widget_destroy(w.m_pNewStudentCheckBox);
    EXPECT_EQ(NULL, w.m_pNewStudentCheckBox);
    w.FetchTeacherPolicy();
    EXPECT_EQ(0, w.m_SystemSettingData.GetNewStudentConnectDialogEnable());
    w.GTKShowDlgCheckBox();
    EXPECT_TRUE(w.m_pNewStudentCheckBox);
}

TEST(ShellSettingSystem, PagesTakenOutOfTheNotebookAreNeverTouchedAgain)
{
    ASSERT_TRUE(keltest::WriteSystemSetting(1, 0));
    ASSERT_TRUE(keltest::WriteLockSchedule(1, 2, {{3, 3, 4}}));
    CTestShellSetting w;
    w.Init();
    w.m_SystemSettingData.SetUSBStorageenabled(0);
    w.m_SystemSettingData.SetNewStudentConnectDialogEnable(1);

    /* What the teacher's window does right after building. */
    gtk_notebook_remove_page(GTK_NOTEBOOK(w.m_pNotebook), -1);
    keltest::Drain();
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
    gtk_notebook_remove_page(GTK_NOTEBOOK(w.m_pNotebook), 0);
    gtk_notebook_remove_page(GTK_NOTEBOOK(w.m_pNotebook), 0);
    keltest::Drain();
    EXPECT_TRUE(w.m_TimeGrid.empty());
    w.ShowSchedulePolicy();
    w.FetchScheuleData();
    EXPECT_EQ(1u, keltest::Sections(w.m_ScheduleData.GetPAutomaticLockTimeList()).size());
    EXPECT_FALSE(w.m_bScheduleDirty);
    EXPECT_EQ(NULL, w.m_pCategoryStore);
    w.ShowTabNavPolicy();
    w.UpdateBtnStatus();
    CTestShellSetting::AddCategory(NULL, &w);
    EXPECT_EQ(1u, keltest::CategoryNames(w.m_TabNavData).size());
    EXPECT_EQ(-1, w.AddPrograms({LibKELData::CApplicationInfo("Calc", "/usr/bin/calc", "", 1)}));
}
