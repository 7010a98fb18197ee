/* The local service's policy saving: the three Save calls through the student API. */
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "IPCAPI.h"
#include "KELData.h"
#include "KelTest.h"

using namespace IPCAPI;
using namespace LibKELData;

namespace {
std::string Xml(CKELDataProvider&& record)
{
    std::string xml;
    EXPECT_EQ(0, record.Save2String(xml));
    return xml;
}
} // namespace

/* Refusals change nothing on disk; a good text replaces the file (as we write it, so byte for
 * byte); a folder where the file should be is reported as a failed save. */
TEST(LocalService, SaveCallsRefuseMalformedPolicyAndLeaveTheFileWhole)
{
    CLockScheduleData schedule;
    schedule.SetAutoLock(1);
    schedule.SetLockStatus(2);
    schedule.SetPAutomaticLockTimeList(new LockTimeSectionList{new CLockTimeSection(2, 22, 23)});
    CCategory* category = new CCategory;
    category->SetName("Internet");
    category->AddApplication(new CApplicationInfo("Browser", "/usr/bin/browser", "", 1));
    CTabNavigationData tabs;
    tabs.SetPCategoryInfoList(new CategoryInfoList{category});
    CKELSystemSettingData settings, usbOn;
    settings.SetUSBStorageenabled(0);
    settings.SetNewStudentConnectDialogEnable(1);
    usbOn.SetUSBStorageenabled(1);

    typedef int (IPCStudentAPI::*SaveCall)(const std::string&, int&);
    const struct {
        SaveCall call;
        std::string file, oldXml, newXml, otherRecordXml;
    } cases[] = {
        {&IPCStudentAPI::SaveLocalSchedulePolicy, "LockSchedule.xml", Xml(CLockScheduleData()), Xml(std::move(schedule)),
         Xml(CTabNavigationData(tabs))},
        {&IPCStudentAPI::SaveLocalTabNavPolicy, "TabNavigation.xml", Xml(CTabNavigationData()), Xml(CTabNavigationData(tabs)),
         Xml(CKELSystemSettingData(settings))},
        {&IPCStudentAPI::HardWareControl, "KELSystemSetting.xml", Xml(std::move(usbOn)), Xml(std::move(settings)),
         Xml(CLockScheduleData())},
    };
    IPCStudentAPI* api = GetStudentAPI();
    ASSERT_NE(nullptr, api);
    for (const auto& c : cases) {
        const std::string path = keltest::EtcKel() + c.file;
        ASSERT_TRUE(keltest::WriteFile(path, c.oldXml));
        const std::string refused[] = {"", "not xml at all", c.newXml.substr(0, c.newXml.size() / 2), c.otherRecordXml,
                                       "<!DOCTYPE x [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><x>&e;</x>"};
        for (const std::string& text : refused) {
            int err = 0;
            EXPECT_NE(0, (api->*c.call)(text, err)) << c.file << ": " << text;
            EXPECT_EQ(IPC_ERR_PARSE, err) << c.file << ": " << text;
            EXPECT_EQ(c.oldXml, keltest::ReadFile(path)) << c.file << ": " << text;
        }
        int err = -99;
        EXPECT_EQ(0, (api->*c.call)(c.newXml, err)) << c.file;
        EXPECT_EQ(IPC_OK, err);
        EXPECT_EQ(c.newXml, keltest::ReadFile(path)) << c.file;

        ASSERT_EQ(0, remove(path.c_str()));
        ASSERT_EQ(0, mkdir(path.c_str(), 0755));
        EXPECT_NE(0, (api->*c.call)(c.newXml, err)) << c.file;
        EXPECT_EQ(IPC_ERR_SAVE, err) << c.file;
    }
}
