/* The System Settings page: the USB and new-student check boxes, and pages or boxes that a host
 * took away. */
#include <gtest/gtest.h>

#include "shellsetting_fixture.h"

using keltest::CTestShellSetting;

TEST(ShellSettingSystem, UsbBoxShowsDisabledForEveryValueButOne)
{
    struct Case {
        int fileValue;
        bool shownActive, clickBox;
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
        GtkWidget* usb = keltest::FindButtonByLabel(w.GetWindow(), "Disable USB Storage");
        EXPECT_EQ(c.shownActive, keltest::Active(usb));
        if (c.clickBox)
            gtk_button_clicked(GTK_BUTTON(usb));
        w.FetchUSBData();
        EXPECT_EQ(c.fetched, w.System().GetUSBStorageenabled());
        EXPECT_EQ(c.dirty, w.IsDataDirty());
    }
}

TEST(ShellSettingSystem, NewStudentBoxIsAddedOnceAndBoxesOrPagesTakenAwayAreNeverTouched)
{
    ASSERT_TRUE(keltest::WriteSystemSetting(0, 1));
    CTestShellSetting w;
    w.Init();
    GtkWidget* win = w.GetWindow();
    w.FetchTeacherPolicy(); /* no box yet: the record keeps its value */
    EXPECT_FALSE(w.IsDataDirty());
    w.GTKShowDlgCheckBox();
    w.GTKShowDlgCheckBox();
    std::vector<GtkWidget*> boxes = keltest::FindAll(win, [](GtkWidget* b) { return GTK_IS_CHECK_BUTTON(b); });
    ASSERT_EQ(3u, boxes.size()) << "automatic locking, USB and one new-student box";
    GtkWidget* notice = keltest::FindButtonByLabel(win, "Show new student connect notify dialog");
    w.ShowTeacherPolicy();
    EXPECT_TRUE(keltest::Active(notice));
    keltest::SetActive(notice, false);
    w.FetchTeacherPolicy();
    EXPECT_EQ(0, w.System().GetNewStudentConnectDialogEnable());
    EXPECT_TRUE(w.IsDataDirty());
    EXPECT_TRUE(w.GTKHideUSBCheckBox());
    EXPECT_FALSE(w.GTKHideUSBCheckBox());
    w.FetchUSBData();
    EXPECT_EQ(0, w.System().GetUSBStorageenabled()) << "without its box the loaded value stays";

    /* A box destroyed by someone else is forgotten; then the teacher's window takes the page out. */
    gtk_widget_destroy(notice);
    w.FetchTeacherPolicy();
    gtk_notebook_remove_page(GTK_NOTEBOOK(w.m_pNotebook), -1);
    keltest::Drain();
    w.GTKShowDlgCheckBox();
    w.ShowUSBPolicy();
    w.ShowTeacherPolicy();
    EXPECT_FALSE(keltest::FindButtonByLabel(win, "Show new student connect notify dialog"));
    /* The other pages too: an absent grid is no empty week, and no list means no rows. */
    ASSERT_TRUE(keltest::WriteLockSchedule(1, 2, {{3, 3}}));
    w.LoadXMLData();
    gtk_notebook_remove_page(GTK_NOTEBOOK(w.m_pNotebook), 0);
    gtk_notebook_remove_page(GTK_NOTEBOOK(w.m_pNotebook), 0);
    keltest::Drain();
    w.ShowSchedulePolicy();
    w.FetchScheuleData();
    w.FetchTabNavData();
    w.IsSystemSettingDirty();
    EXPECT_FALSE(w.IsDataDirty());
    CTestShellSetting::AddCategory(NULL, &w);
    EXPECT_EQ(-1, w.AddPrograms({LibKELData::CApplicationInfo("Calc", "/usr/bin/calc", "", 1)}));
}
