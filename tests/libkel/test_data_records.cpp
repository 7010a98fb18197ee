/* Records: owned lists and deep copies, lookups, equality, merging, and every record through its file and text. */
#include <gtest/gtest.h>

#include <functional>

#include "KELData.h"
#include "KelTest.h"

using namespace LibKELData;

namespace {

/* A name that XML and UTF-8 make hard. */
const std::string kTricky = "Bücher & \"Hefte\" <neu> 'ö' \xE2\x82\xAC \xF0\x9F\x93\x9A";

CCategory* MakeCategory(const std::string& name, std::initializer_list<CApplicationInfo> apps)
{
    CCategory* category = new CCategory();
    category->SetName(name);
    category->SetCategoryIcon("/etc/KEL/icons/" + name + ".png");
    for (const CApplicationInfo& app : apps)
        category->AddApplication(new CApplicationInfo(app));
    return category;
}

/* The last category has no programs, and a name whose breaks an attribute would flatten. */
CTabNavigationData MakePolicy()
{
    CTabNavigationData data;
    data.SetPCategoryInfoList(new CategoryInfoList{
        MakeCategory("office", {CApplicationInfo("Writer", "/usr/bin/lowriter", ""),
                                CApplicationInfo("Calc", "/usr/bin/localc", "/etc/KEL/icons/calc.png")}),
        MakeCategory("graphics", {CApplicationInfo(kTricky, "/opt/a b/c&d", "", 0)}),
        MakeCategory("Leer\tTab\nZeile", {})});
    return data;
}

/* Saves to file and to text, loads both into fresh records, and hands them to check. */
template <class Record>
void RoundTrip(Record& original, const std::string& file, const std::function<void(const Record&)>& check)
{
    const std::string path = keltest::EtcKel() + file;
    ASSERT_EQ(KEL_OK, original.Save2File(path)) << file;
    Record fromFile;
    ASSERT_EQ(KEL_OK, fromFile.LoadFromFile(path)) << file;
    check(fromFile);
    std::string xml;
    ASSERT_EQ(KEL_OK, original.Save2String(xml)) << file;
    EXPECT_EQ(keltest::ReadFile(path), xml) << file;
    Record fromString;
    ASSERT_EQ(KEL_OK, fromString.LoadFromString(xml)) << file;
    check(fromString);
}

} // namespace

TEST(DataRecords, ListsAreOwnedAndCopiesAreDeep)
{
    CTabNavigationData data = MakePolicy();
    CategoryInfoList* list = data.GetPCategoryInfoList();
    CCategory* office = list->front();
    /* Handing a record its own list again must not free it. */
    data.SetPCategoryInfoList(list);
    office->SetPApplicationInfoList(office->GetPApplicationInfoList());
    ASSERT_EQ(list, data.GetPCategoryInfoList());
    EXPECT_EQ("Writer", office->GetPApplicationInfoList()->front()->GetName());

    CTabNavigationData copy(data);
    ASSERT_NE(list, copy.GetPCategoryInfoList());
    copy.GetPCategoryInfoList()->front()->GetPApplicationInfoList()->front()->SetName("Changed");
    EXPECT_EQ("Writer", office->GetPApplicationInfoList()->front()->GetName());
    EXPECT_FALSE(copy.IsEqual(data));
    copy = data;
    copy = copy; /* self-assignment keeps the lists */
    EXPECT_TRUE(copy.IsEqual(data));

    CLockScheduleData schedule;
    LockTimeSectionList* sections = new LockTimeSectionList(1, new CLockTimeSection(1, 2, 3));
    schedule.SetPAutomaticLockTimeList(sections);
    schedule.SetPAutomaticLockTimeList(sections);
    CLockScheduleData scheduleCopy(schedule);
    EXPECT_NE(sections, scheduleCopy.GetPAutomaticLockTimeList());
    EXPECT_EQ(2, scheduleCopy.GetPAutomaticLockTimeList()->front()->GetStartTime());
    CSearchResultData results;
    ApplicationInfoList* found = new ApplicationInfoList(1, new CApplicationInfo("Vim", "/usr/bin/vim", ""));
    results.SetPApplicationInfoList(found);
    results.SetPApplicationInfoList(found);
    CSearchResultData resultsCopy(results);
    EXPECT_NE(found, resultsCopy.GetPApplicationInfoList());
    EXPECT_EQ("Vim", resultsCopy.GetPApplicationInfoList()->front()->GetName());
}

TEST(DataRecords, LookupsAndRemoval)
{
    CTabNavigationData data = MakePolicy();
    CCategory* office = data.GetPCategoryInfoList()->front();
    office->AddApplication(new CApplicationInfo("No path", "", ""));
    office->AddApplication(new CApplicationInfo("Blank path", "   ", ""));
    EXPECT_EQ(1, office->IsApplicationExist("Writer", ""));
    EXPECT_EQ(1, office->IsApplicationExist("Other name", "/usr/bin/localc"));
    EXPECT_EQ(0, office->IsApplicationExist("writer", "/usr/bin/LOWRITER")); /* exact comparison */
    /* Blank paths, the callers' way of asking about the name alone, never match a path. */
    for (const char* blank : {"", "   ", "\t"})
        EXPECT_EQ(0, office->IsApplicationExist("Unknown", blank)) << "'" << blank << "'";
    EXPECT_EQ(0, CCategory().IsApplicationExist("Writer", "/usr/bin/lowriter"));
    EXPECT_EQ(1, data.IsCategoryExist("graphics"));
    EXPECT_EQ(0, data.IsCategoryExist("Graphics"));
    EXPECT_EQ(0, CTabNavigationData().IsCategoryExist("graphics"));

    /* Removal frees only what the record owns. */
    CCategory stranger;
    CApplicationInfo strangerApp("Writer", "/usr/bin/lowriter", "");
    EXPECT_EQ(-1, data.RemoveCategory(&stranger));
    EXPECT_EQ(-1, data.RemoveProgram(&stranger, &strangerApp));
    EXPECT_EQ(-1, data.RemoveProgram(office, &strangerApp));
    EXPECT_EQ(0, data.RemoveProgram(office, *std::next(office->GetPApplicationInfoList()->begin())));
    EXPECT_EQ(0, office->IsApplicationExist("Calc", "/usr/bin/localc"));
    EXPECT_EQ(3u, office->GetPApplicationInfoList()->size());
    EXPECT_EQ(0, data.RemoveCategory(office));
    EXPECT_EQ(0, data.IsCategoryExist("office"));
    EXPECT_EQ(2u, data.GetPCategoryInfoList()->size());
}

TEST(DataRecords, EqualityIsThePolicyContent)
{
    const CTabNavigationData policy = MakePolicy();
    const std::function<void(CategoryInfoList&)> changes[] = {
        [](CategoryInfoList& l) { l.reverse(); },
        [](CategoryInfoList& l) { l.front()->GetPApplicationInfoList()->reverse(); },
        [](CategoryInfoList& l) { l.front()->GetPApplicationInfoList()->back()->SetEnable(0); },
        [](CategoryInfoList& l) { l.front()->GetPApplicationInfoList()->back()->SetCustomIcon(""); },
        [](CategoryInfoList& l) { l.front()->GetPApplicationInfoList()->front()->SetPath("/usr/bin/x"); },
        [](CategoryInfoList& l) { l.front()->SetCategoryIcon("/etc/KEL/icons/paint.png"); },
        [](CategoryInfoList& l) { l.push_back(new CCategory()); },
    };
    for (size_t i = 0; i < sizeof changes / sizeof changes[0]; ++i) {
        CTabNavigationData changed = MakePolicy();
        changes[i](*changed.GetPCategoryInfoList());
        EXPECT_FALSE(changed.IsEqual(policy)) << "change " << i;
        EXPECT_FALSE(policy.IsEqual(changed)) << "change " << i;
    }
    /* No list and an empty list are both "none", as they are once stored. */
    CTabNavigationData empty;
    empty.SetPCategoryInfoList(new CategoryInfoList());
    EXPECT_TRUE(CTabNavigationData().IsEqual(empty));
    EXPECT_TRUE(empty.IsEqual(CTabNavigationData()));
    CCategory withEmptyList;
    withEmptyList.SetPApplicationInfoList(new ApplicationInfoList());
    EXPECT_TRUE(CCategory().IsEqual(withEmptyList));

    /* A schedule is its locked hours: one three-hour section equals three one-hour ones, in any
     * order; the flags count. */
    CLockScheduleData wide, hourly;
    for (CLockScheduleData* s : {&wide, &hourly}) {
        s->SetAutoLock(1);
        s->SetLockStatus(2);
    }
    wide.SetPAutomaticLockTimeList(new LockTimeSectionList(1, new CLockTimeSection(4, 21, 24)));
    LockTimeSectionList* hours = new LockTimeSectionList();
    for (int h : {23, 21, 22})
        hours->push_back(new CLockTimeSection(4, h, h + 1));
    hourly.SetPAutomaticLockTimeList(hours);
    EXPECT_TRUE(wide.IsEqual(hourly));
    delete hours->back();
    hours->pop_back();
    EXPECT_FALSE(wide.IsEqual(hourly));
    CLockScheduleData status(wide), manual(wide);
    status.SetLockStatus(3);
    manual.SetManualLock(1);
    EXPECT_FALSE(status.IsEqual(wide));
    EXPECT_FALSE(manual.IsEqual(wide));
    /* A missing file and an untouched page with the box cleared agree. */
    CLockScheduleData untouched;
    untouched.SetPAutomaticLockTimeList(new LockTimeSectionList());
    untouched.SetLockStatus(3);
    untouched.SetAutoLock(0);
    EXPECT_TRUE(CLockScheduleData().IsEqual(untouched));

    CKELSystemSettingData usb;
    usb.SetUSBStorageenabled(2);
    EXPECT_TRUE(CKELSystemSettingData().IsEqual(CKELSystemSettingData()));
    EXPECT_FALSE(CKELSystemSettingData().IsEqual(usb));
}

TEST(DataRecords, DefaultsAreClonedOnlyWhenLoaded)
{
    CDefaultConfigData defaults;
    EXPECT_EQ(nullptr, defaults.CloneCategoryInfoList());
    /* A failed load must not offer an empty policy to restore over the teacher's. */
    EXPECT_NE(KEL_OK, defaults.LoadFromFile(keltest::EtcKel() + "DefaultConfig.xml"));
    EXPECT_EQ(nullptr, defaults.CloneCategoryInfoList());

    ASSERT_EQ(KEL_OK, defaults.LoadFromString("<DefaultConfig><Category name=\"A\"><Application name=\"x\" path=\"/x\"/>"
                                              "</Category></DefaultConfig>"));
    CTabNavigationData target;
    target.SetPCategoryInfoList(defaults.CloneCategoryInfoList());
    ASSERT_NE(defaults.GetPCategoryInfoList()->front(), target.GetPCategoryInfoList()->front());
    defaults.Clear();
    const CApplicationInfo* app = target.GetPCategoryInfoList()->front()->GetPApplicationInfoList()->front();
    EXPECT_EQ("x", app->GetName());
    EXPECT_EQ(1, app->GetEnable()); /* absent enable: shown */

    ASSERT_EQ(KEL_OK, defaults.LoadFromString("<DefaultConfig/>"));
    CategoryInfoList* none = defaults.CloneCategoryInfoList();
    ASSERT_NE(nullptr, none);
    EXPECT_TRUE(none->empty());
    delete none;
}

TEST(DataRecords, SearchResultsMergeWithoutDuplicates)
{
    CSearchResultData results;
    EXPECT_EQ(1, results.AddUnique(CApplicationInfo("GIMP", "/usr/bin/gimp", "")));
    EXPECT_EQ(0, results.AddUnique(CApplicationInfo("GNU Image Manipulation Program", "/usr/bin/gimp", "")));
    EXPECT_EQ(1, results.AddUnique(CApplicationInfo("GIMP", "/usr/bin/gimp-2.10", "")));
    EXPECT_EQ(1, results.AddUnique(CApplicationInfo("Script", "", "")));
    EXPECT_EQ(0, results.AddUnique(CApplicationInfo("Script", "  ", "")));

    ApplicationInfoList incoming{new CApplicationInfo("GIMP again", "/usr/bin/gimp", ""),
                                 new CApplicationInfo("Inkscape", "/usr/bin/inkscape", ""),
                                 new CApplicationInfo("Inkscape twice", "/usr/bin/inkscape", ""),
                                 new CApplicationInfo("Script", "", ""), new CApplicationInfo("Other script", "", "")};
    EXPECT_EQ(2, results.MergeUnique(incoming));
    for (CApplicationInfo* app : incoming)
        delete app;
    ASSERT_EQ(5u, results.GetPApplicationInfoList()->size());
    EXPECT_EQ("Inkscape", (*std::next(results.GetPApplicationInfoList()->begin(), 3))->GetName());
    EXPECT_EQ("Other script", results.GetPApplicationInfoList()->back()->GetName());
}

TEST(DataRecords, EveryRecordRoundTripsThroughFileAndText)
{
    CTabNavigationData policy = MakePolicy();
    RoundTrip<CTabNavigationData>(policy, "TabNavigation.xml", [&](const CTabNavigationData& loaded) {
        EXPECT_TRUE(loaded.IsEqual(policy));
        EXPECT_EQ(kTricky, (*std::next(loaded.GetPCategoryInfoList()->begin()))->GetPApplicationInfoList()->front()->GetName());
        EXPECT_EQ("Leer\tTab\nZeile", loaded.GetPCategoryInfoList()->back()->GetName());
    });

    CLockScheduleData schedule;
    schedule.SetAutoLock(1);
    schedule.SetManualLock(1);
    schedule.SetLockStatus(2);
    schedule.SetPAutomaticLockTimeList(new LockTimeSectionList{new CLockTimeSection(0, 8, 9), new CLockTimeSection(6, 23, 24),
                                                               new CLockTimeSection(2, 0, 6)});
    RoundTrip<CLockScheduleData>(schedule, "LockSchedule.xml", [&](const CLockScheduleData& loaded) {
        EXPECT_TRUE(loaded.IsEqual(schedule));
        const CLockTimeSection* last = loaded.GetPAutomaticLockTimeList()->back();
        EXPECT_EQ("2 0 6", std::to_string(last->GetDayOfWeek()) + " " + std::to_string(last->GetStartTime()) + " " +
                               std::to_string(last->GetEndTime()));
    });

    CKELSystemSettingData settings;
    settings.SetUSBStorageenabled(2); /* kept as stored, not folded to 0/1 */
    settings.SetNewStudentConnectDialogEnable(1);
    RoundTrip<CKELSystemSettingData>(settings, "KELSystemSetting.xml", [&](const CKELSystemSettingData& loaded) {
        EXPECT_TRUE(loaded.IsEqual(settings));
        EXPECT_EQ(2, loaded.GetUSBStorageenabled());
    });

    CSearchResultData results;
    results.AddUnique(CApplicationInfo("GIMP", "/usr/bin/gimp", "/usr/share/icons/gimp.png"));
    results.AddUnique(CApplicationInfo(kTricky, "", "", 0));
    RoundTrip<CSearchResultData>(results, "SearchResult.xml", [&](const CSearchResultData& loaded) {
        ASSERT_EQ(2u, loaded.GetPApplicationInfoList()->size());
        EXPECT_TRUE(loaded.GetPApplicationInfoList()->front()->IsEqual(*results.GetPApplicationInfoList()->front()));
        EXPECT_TRUE(loaded.GetPApplicationInfoList()->back()->IsEqual(*results.GetPApplicationInfoList()->back()));
    });

    CStudentInfoData roster;
    roster.AddStudent("Zoë Ångström", "192.168.10.21");
    roster.AddStudent(kTricky, "pc-02");
    RoundTrip<CStudentInfoData>(roster, "StudentInfo.xml", [&](const CStudentInfoData& loaded) {
        std::string students;
        for (const CStudentInfoData::Student& s : loaded.GetStudents())
            students += s.name + "@" + s.address + ";";
        EXPECT_EQ("Zoë Ångström@192.168.10.21;" + kTricky + "@pc-02;", students);
    });

    CKELThemeData theme;
    theme.SetThemeName("Blue");
    theme.SetFont("DejaVu Sans 10");
    theme.SetBackground("/etc/KEL/image/Hintergrund – Wiese.png");
    RoundTrip<CKELThemeData>(theme, "KELTheme.xml", [&](const CKELThemeData& loaded) {
        EXPECT_EQ("Blue|DejaVu Sans 10|" + theme.GetBackground(),
                  loaded.GetThemeName() + "|" + loaded.GetFont() + "|" + loaded.GetBackground());
    });

    CDefaultConfigData defaults;
    CategoryInfoList* categories = new CategoryInfoList();
    for (const CCategory* category : *policy.GetPCategoryInfoList())
        categories->push_back(new CCategory(*category));
    defaults.SetPCategoryInfoList(categories);
    RoundTrip<CDefaultConfigData>(defaults, "DefaultConfig.xml", [&](const CDefaultConfigData& loaded) {
        CTabNavigationData restored;
        restored.SetPCategoryInfoList(loaded.CloneCategoryInfoList());
        EXPECT_TRUE(restored.IsEqual(policy));
    });
}
