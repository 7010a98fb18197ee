/* The System Settings page: the USB and new-student check boxes, and boxes or pages that a host
 * took away. */
#include <gtest/gtest.h>

#include "shellsetting_fixture.h"

using keltest::CTestShellSetting;

TEST(ShellSettingSystem, UsbBoxShowsDisabledForEveryValueButOne)
{
    /* File value, shown active, clicked, fetched, dirty: cleared by the user allows USB again;
     * an odd value is written back as 0 and so differs. */
    const int cases[][5] = {{0, 1, 1, 1, 1}, {2, 1, 0, 0, 1}, {1, 0, 0, 1, 0}};
    for (const int* c : cases) {
        ASSERT_TRUE(keltest::WriteSystemSetting(c[0], 0));
        CTestShellSetting w;
        w.Init();
        GtkWidget* usb = keltest::FindButtonByLabel(w.GetWindow(), "Disable USB Storage");
        EXPECT_EQ(c[1], keltest::Active(usb)) << c[0];
        if (c[2])
            gtk_button_clicked(GTK_BUTTON(usb));
        w.FetchUSBData();
        EXPECT_TRUE(c[3] == w.System().GetUSBStorageenabled() && c[4] == w.IsDataDirty()) << c[0];
    }
}

TEST(ShellSettingSystem, NewStudentBoxIsAddedOnceAndBoxesOrPagesTakenAwayAreNeverTouched)
{
    ASSERT_TRUE(keltest::WriteSystemSetting(0, 1));
    CTestShellSetting w;
    w.Init();
    w.FetchTeacherPolicy(); /* no box yet: the record keeps its value */
    EXPECT_FALSE(w.IsDataDirty());
    w.GTKShowDlgCheckBox();
    w.GTKShowDlgCheckBox();
    EXPECT_EQ(3u, keltest::FindAll(w.GetWindow(), [](GtkWidget* b) { return GTK_IS_CHECK_BUTTON(b); }).size());
    GtkWidget* notice = keltest::FindButtonByLabel(w.GetWindow(), "Show new student connect notify dialog");
    w.ShowTeacherPolicy();
    keltest::SetActive(notice, !keltest::Active(notice));
    w.FetchTeacherPolicy();
    EXPECT_EQ(0, w.System().GetNewStudentConnectDialogEnable());
    EXPECT_TRUE(w.GTKHideUSBCheckBox());
    EXPECT_FALSE(w.GTKHideUSBCheckBox());
    w.FetchUSBData();
    EXPECT_EQ(0, w.System().GetUSBStorageenabled()) << "without its box the loaded value stays";
    /* A box destroyed by someone else is forgotten; then every page is taken out. */
    gtk_widget_destroy(notice);
    w.FetchTeacherPolicy();
    for (int page = 0; page < 3; ++page)
        gtk_notebook_remove_page(GTK_NOTEBOOK(keltest::FindByType(w.GetWindow(), GTK_TYPE_NOTEBOOK)), -1);
    keltest::Drain();
    w.GTKShowDlgCheckBox();
    w.ShowTeacherPolicy();
    w.ShowSchedulePolicy();
    w.FetchScheuleData();
    CTestShellSetting::AddCategory(NULL, &w);
    EXPECT_EQ(-1, w.AddPrograms({LibKELData::CApplicationInfo("Calc", "/usr/bin/calc", "", 1)}));
}
