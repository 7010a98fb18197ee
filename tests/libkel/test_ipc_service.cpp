/* The local service's policy saving: the three Save calls through the student API. */
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>

#include "IPCAPI.h"
#include "KELData.h"
#include "KelTest.h"

using namespace IPCAPI;
using namespace LibKELData;

namespace {

typedef int (IPCStudentAPI::*SaveCall)(const std::string&, int&);

std::string Xml(CKELDataProvider& record)
{
    std::string xml;
    EXPECT_EQ(0, record.Save2String(xml));
    return xml;
}

/* Refusals change nothing on disk; a good text replaces the file; an unwritable target is
 * reported as such. */
void CheckSaveCall(SaveCall call, const std::string& file, const std::string& oldXml, const std::string& newXml,
                   const std::string& otherRecordXml, const std::function<bool()>& fileHoldsNew)
{
    IPCStudentAPI* api = GetStudentAPI();
    ASSERT_NE(nullptr, api);
    std::string path = keltest::EtcKel() + file;
    ASSERT_TRUE(keltest::WriteFile(path, oldXml));

    const std::string refused[] = {"", "not xml at all", newXml.substr(0, newXml.size() / 2), otherRecordXml,
                                   "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY e SYSTEM \"file:///etc/passwd\">]>"
                                   "<x>&e;</x>"};
    for (const std::string& text : refused) {
        int err = 0;
        EXPECT_NE(0, (api->*call)(text, err)) << file << ": " << text;
        EXPECT_EQ(IPC_ERR_PARSE, err) << file << ": " << text;
        EXPECT_EQ(oldXml, keltest::ReadFile(path)) << file << ": " << text;
    }

    int err = -99;
    EXPECT_EQ(0, (api->*call)(newXml, err)) << file;
    EXPECT_EQ(IPC_OK, err);
    EXPECT_TRUE(fileHoldsNew()) << file;

    /* A folder where the file should be: the save fails and says so. */
    ASSERT_EQ(0, remove(path.c_str()));
    ASSERT_EQ(0, mkdir(path.c_str(), 0755));
    EXPECT_NE(0, (api->*call)(newXml, err)) << file;
    EXPECT_EQ(IPC_ERR_SAVE, err) << file;
    struct stat st;
    EXPECT_TRUE(stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

} // namespace

TEST(LocalService, SaveCallsRefuseMalformedPolicyAndLeaveTheFileWhole)
{
    CLockScheduleData oldSchedule, newSchedule;
    oldSchedule.SetAutoLock(0);
    oldSchedule.SetLockStatus(3);
    newSchedule.SetAutoLock(1);
    newSchedule.SetLockStatus(2);
    newSchedule.SetPAutomaticLockTimeList(new LockTimeSectionList{new CLockTimeSection(2, 22, 23)});

    CTabNavigationData oldTabs, newTabs;
    CCategory* category = new CCategory;
    category->SetName("Internet");
    category->AddApplication(new CApplicationInfo("Browser", "/usr/bin/browser", "", 1));
    newTabs.SetPCategoryInfoList(new CategoryInfoList{category});

    CKELSystemSettingData oldSettings, newSettings;
    oldSettings.SetUSBStorageenabled(1);
    newSettings.SetUSBStorageenabled(0);
    newSettings.SetNewStudentConnectDialogEnable(1);

    std::string scheduleFile = keltest::EtcKel() + "LockSchedule.xml";
    CheckSaveCall(&IPCStudentAPI::SaveLocalSchedulePolicy, "LockSchedule.xml", Xml(oldSchedule), Xml(newSchedule),
                  Xml(newTabs), [&] {
                      CLockScheduleData onDisk;
                      return onDisk.LoadFromFile(scheduleFile) == 0 && onDisk.IsEqual(newSchedule);
                  });
    std::string tabsFile = keltest::EtcKel() + "TabNavigation.xml";
    CheckSaveCall(&IPCStudentAPI::SaveLocalTabNavPolicy, "TabNavigation.xml", Xml(oldTabs), Xml(newTabs),
                  Xml(newSettings), [&] {
                      CTabNavigationData onDisk;
                      return onDisk.LoadFromFile(tabsFile) == 0 && onDisk.IsEqual(newTabs);
                  });
    std::string settingsFile = keltest::EtcKel() + "KELSystemSetting.xml";
    CheckSaveCall(&IPCStudentAPI::HardWareControl, "KELSystemSetting.xml", Xml(oldSettings), Xml(newSettings),
                  Xml(newSchedule), [&] {
                      CKELSystemSettingData onDisk;
                      return onDisk.LoadFromFile(settingsFile) == 0 && onDisk.IsEqual(newSettings);
                  });
}
