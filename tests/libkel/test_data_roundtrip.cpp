/* Every record through its file and its XML text and back, with names that XML and UTF-8 make hard. */
#include <gtest/gtest.h>

#include "KELData.h"
#include "KelTest.h"

using namespace LibKELData;

namespace {

const std::string kTricky = "Bücher & \"Hefte\" <neu> 'ö' \xE2\x82\xAC \xF0\x9F\x93\x9A";

CTabNavigationData MakeTabNav()
{
    CTabNavigationData data;
    CategoryInfoList* cats = new CategoryInfoList();
    CCategory* internet = new CCategory();
    internet->SetName("Internet");
    internet->SetCategoryIcon("/etc/KEL/icons/internet.png");
    internet->AddApplication(new CApplicationInfo("Firefox ESR", "/usr/bin/firefox-esr", "/etc/KEL/icons/browser.png", 1));
    internet->AddApplication(new CApplicationInfo(kTricky, "/opt/a b/c&d", "", 0));
    cats->push_back(internet);
    CCategory* empty = new CCategory();
    empty->SetName("Leer\tTab\nZeile");
    cats->push_back(empty);
    data.SetPCategoryInfoList(cats);
    return data;
}

} // namespace

TEST(DataRoundTrip, TabNavigationThroughFileAndString)
{
    CTabNavigationData original = MakeTabNav();
    const std::string path = keltest::EtcKel() + "TabNavigation.xml";
    ASSERT_EQ(KEL_OK, original.Save2File(path));
    CTabNavigationData fromFile;
    ASSERT_EQ(KEL_OK, fromFile.LoadFromFile(path));
    EXPECT_TRUE(fromFile.IsEqual(original));
    ASSERT_NE(nullptr, fromFile.GetPCategoryInfoList());
    EXPECT_EQ(kTricky, fromFile.GetPCategoryInfoList()->front()->GetPApplicationInfoList()->back()->GetName());

    std::string xml;
    ASSERT_EQ(KEL_OK, original.Save2String(xml));
    CTabNavigationData fromString;
    ASSERT_EQ(KEL_OK, fromString.LoadFromString(xml));
    EXPECT_TRUE(fromString.IsEqual(original));
    EXPECT_EQ(xml, keltest::ReadFile(path));
}

namespace {
/* Saves to file and to text, loads both into fresh records, and hands them to check. */
template <class Record, class Check>
void RoundTrip(Record& original, const std::string& file, Check check)
{
    const std::string path = keltest::EtcKel() + file;
    ASSERT_EQ(KEL_OK, original.Save2File(path)) << file;
    Record fromFile;
    ASSERT_EQ(KEL_OK, fromFile.LoadFromFile(path)) << file;
    check(fromFile);
    std::string xml;
    ASSERT_EQ(KEL_OK, original.Save2String(xml)) << file;
    Record fromString;
    ASSERT_EQ(KEL_OK, fromString.LoadFromString(xml)) << file;
    check(fromString);
}
} // namespace

TEST(DataRoundTrip, EveryOtherRecord)
{
    CLockScheduleData schedule;
    schedule.SetAutoLock(1);
    schedule.SetManualLock(1);
    schedule.SetLockStatus(2);
    LockTimeSectionList* sections = new LockTimeSectionList();
    sections->push_back(new CLockTimeSection(0, 8, 9));
    sections->push_back(new CLockTimeSection(6, 23, 24));
    sections->push_back(new CLockTimeSection(2, 0, 6));
    schedule.SetPAutomaticLockTimeList(sections);
    RoundTrip(schedule, "LockSchedule.xml", [&](const CLockScheduleData& loaded) {
        EXPECT_TRUE(loaded.IsEqual(schedule));
        ASSERT_NE(nullptr, loaded.GetPAutomaticLockTimeList());
        ASSERT_EQ(3u, loaded.GetPAutomaticLockTimeList()->size());
        const CLockTimeSection* last = loaded.GetPAutomaticLockTimeList()->back();
        EXPECT_EQ(2, last->GetDayOfWeek());
        EXPECT_EQ(0, last->GetStartTime());
        EXPECT_EQ(6, last->GetEndTime());
        EXPECT_EQ(1, loaded.GetManualLock());
    });

    CKELSystemSettingData settings;
    settings.SetUSBStorageenabled(2); /* kept as stored, not folded to 0/1 */
    settings.SetNewStudentConnectDialogEnable(1);
    RoundTrip(settings, "KELSystemSetting.xml", [&](const CKELSystemSettingData& loaded) {
        EXPECT_TRUE(loaded.IsEqual(settings));
        EXPECT_EQ(2, loaded.GetUSBStorageenabled());
    });

    CSearchResultData results;
    results.AddUnique(CApplicationInfo("GIMP", "/usr/bin/gimp", "/usr/share/icons/gimp.png"));
    results.AddUnique(CApplicationInfo(kTricky, "", "", 0));
    RoundTrip(results, "SearchResult.xml", [&](const CSearchResultData& loaded) {
        ASSERT_NE(nullptr, loaded.GetPApplicationInfoList());
        ASSERT_EQ(2u, loaded.GetPApplicationInfoList()->size());
        EXPECT_TRUE(loaded.GetPApplicationInfoList()->front()->IsEqual(*results.GetPApplicationInfoList()->front()));
        EXPECT_TRUE(loaded.GetPApplicationInfoList()->back()->IsEqual(*results.GetPApplicationInfoList()->back()));
    });

    CStudentInfoData roster;
    roster.AddStudent("Zoë Ångström", "192.168.10.21");
    roster.AddStudent(kTricky, "pc-02");
    RoundTrip(roster, "StudentInfo.xml", [&](const CStudentInfoData& loaded) {
        ASSERT_EQ(2u, loaded.GetStudents().size());
        EXPECT_EQ("Zoë Ångström", loaded.GetStudents().front().name);
        EXPECT_EQ(kTricky, loaded.GetStudents().back().name);
        EXPECT_EQ("pc-02", loaded.GetStudents().back().address);
    });

    CKELThemeData theme;
    theme.SetThemeName("Blue");
    theme.SetFont("DejaVu Sans 10");
    theme.SetBackground("/etc/KEL/image/Hintergrund – Wiese.png");
    RoundTrip(theme, "KELTheme.xml", [&](const CKELThemeData& loaded) {
        EXPECT_EQ("Blue", loaded.GetThemeName());
        EXPECT_EQ("DejaVu Sans 10", loaded.GetFont());
        EXPECT_EQ(theme.GetBackground(), loaded.GetBackground());
    });

    const CTabNavigationData source = MakeTabNav();
    CDefaultConfigData defaults;
    CategoryInfoList* copy = new CategoryInfoList();
    for (const CCategory* category : *source.GetPCategoryInfoList())
        copy->push_back(new CCategory(*category));
    defaults.SetPCategoryInfoList(copy);
    RoundTrip(defaults, "DefaultConfig.xml", [&](const CDefaultConfigData& loaded) {
        CTabNavigationData restored;
        restored.SetPCategoryInfoList(loaded.CloneCategoryInfoList());
        EXPECT_TRUE(restored.IsEqual(source));
    });
}
