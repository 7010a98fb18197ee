/* The administrator tool's window over the real policy service: its saves are the service's, a
 * stopped service is told in words with the edits kept, and a restarted one takes them. */
#include <gtest/gtest.h>

#include "CShellSettingForAdminTool.h"
#include "ServiceFixture.h"
#include "shellsetting_fixture.h"

using keltest::LockedOnDisk;

TEST(AdminOverService, SavesGoThroughTheServiceAndAStoppedServiceKeepsTheEditsForLater)
{
    keltest::CopySampleRoot();
    ASSERT_TRUE(keltest::StartPolicyService());
    LibKELGUI::CShellSettingForAdminTool w;
    keltest::Open(w);
    GtkWidget* apply = keltest::FindButtonByLabel(w.GetWindow(), "Apply");
    keltest::SetActive(keltest::Hour(w.GetWindow(), "Wed 10:00-11:00"), true);
    keltest::Click(apply);
    EXPECT_TRUE(LockedOnDisk(2, 10));
    EXPECT_NE(std::string::npos, keltest::PolicyServiceLog().find("Policy service: saved "));

    ASSERT_TRUE(keltest::StopPolicyService());
    GtkWidget* thursday = keltest::Hour(w.GetWindow(), "Thu 10:00-11:00");
    keltest::SetActive(thursday, true);
    {
        keltest::MessageBoxAnswerer error(GTK_RESPONSE_OK);
        error.AnswerAll(true);
        keltest::Click(apply);
        EXPECT_EQ(1, error.Count());
        EXPECT_NE(std::string::npos, error.Text().find("The policy service is not running.")) << error.Text();
    }
    ASSERT_TRUE(w.GetWindow());
    EXPECT_TRUE(keltest::Active(thursday) && w.IsDataDirty());
    EXPECT_FALSE(LockedOnDisk(3, 10));

    ASSERT_TRUE(keltest::StartPolicyService());
    keltest::Click(apply);
    EXPECT_TRUE(LockedOnDisk(3, 10));
    EXPECT_FALSE(w.IsDataDirty());
}
