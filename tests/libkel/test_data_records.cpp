/* Record semantics: owned lists, deep copies, lookups, removal, equality and merging. */
#include <gtest/gtest.h>

#include "KELData.h"
#include "KelTest.h"

using namespace LibKELData;

namespace {

CCategory* MakeCategory(const std::string& name, std::initializer_list<CApplicationInfo> apps)
{
    CCategory* category = new CCategory();
    category->SetName(name);
    category->SetCategoryIcon("/etc/KEL/icons/" + name + ".png");
    for (const CApplicationInfo& app : apps)
        category->AddApplication(new CApplicationInfo(app));
    return category;
}

CTabNavigationData MakePolicy()
{
    CTabNavigationData data;
    CategoryInfoList* list = new CategoryInfoList();
    list->push_back(MakeCategory("office", {CApplicationInfo("Writer", "/usr/bin/lowriter", ""),
                                            CApplicationInfo("Calc", "/usr/bin/localc", "")}));
    list->push_back(MakeCategory("graphics", {CApplicationInfo("GIMP", "/usr/bin/gimp", "")}));
    data.SetPCategoryInfoList(list);
    return data;
}

} // namespace

TEST(DataRecords, ListsAreOwnedAndCopiesAreDeep)
{
    CTabNavigationData data = MakePolicy();
    CategoryInfoList* list = data.GetPCategoryInfoList();
    /* Handing the record its own list again must not free it. */
    data.SetPCategoryInfoList(list);
    ASSERT_EQ(list, data.GetPCategoryInfoList());
    EXPECT_EQ("office", list->front()->GetName());
    CCategory* office = list->front();
    ApplicationInfoList* apps = office->GetPApplicationInfoList();
    office->SetPApplicationInfoList(apps);
    EXPECT_EQ("Writer", office->GetPApplicationInfoList()->front()->GetName());

    CTabNavigationData copy(data);
    ASSERT_NE(data.GetPCategoryInfoList(), copy.GetPCategoryInfoList());
    EXPECT_TRUE(copy.IsEqual(data));
    copy.GetPCategoryInfoList()->front()->GetPApplicationInfoList()->front()->SetName("Changed");
    EXPECT_EQ("Writer", office->GetPApplicationInfoList()->front()->GetName());
    EXPECT_FALSE(copy.IsEqual(data));

    copy = data;
    EXPECT_TRUE(copy.IsEqual(data));
    copy = copy; /* self-assignment keeps the lists */
    EXPECT_TRUE(copy.IsEqual(data));

    CCategory categoryCopy(*office);
    EXPECT_NE(office->GetPApplicationInfoList(), categoryCopy.GetPApplicationInfoList());
    EXPECT_TRUE(categoryCopy.IsEqual(*office));

    /* A new list replaces (and frees) the old one; null empties the record. */
    data.SetPCategoryInfoList(new CategoryInfoList(1, MakeCategory("games", {})));
    EXPECT_EQ(1u, data.GetPCategoryInfoList()->size());
    data.SetPCategoryInfoList(nullptr);
    EXPECT_EQ(nullptr, data.GetPCategoryInfoList());

    CLockScheduleData schedule;
    LockTimeSectionList* sections = new LockTimeSectionList(1, new CLockTimeSection(1, 2, 3));
    schedule.SetPAutomaticLockTimeList(sections);
    schedule.SetPAutomaticLockTimeList(sections);
    EXPECT_EQ(2, schedule.GetPAutomaticLockTimeList()->front()->GetStartTime());
    CLockScheduleData scheduleCopy(schedule);
    EXPECT_NE(schedule.GetPAutomaticLockTimeList(), scheduleCopy.GetPAutomaticLockTimeList());

    CSearchResultData results;
    ApplicationInfoList* found = new ApplicationInfoList(1, new CApplicationInfo("Vim", "/usr/bin/vim", ""));
    results.SetPApplicationInfoList(found);
    results.SetPApplicationInfoList(found);
    CSearchResultData resultsCopy(results);
    EXPECT_NE(results.GetPApplicationInfoList(), resultsCopy.GetPApplicationInfoList());
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
    EXPECT_EQ(0, office->IsApplicationExist("Unknown", "   "));
    EXPECT_EQ(0, office->IsApplicationExist("Unknown", ""));
    EXPECT_EQ(0, office->IsApplicationExist("Unknown", "\t"));
    EXPECT_EQ(0, CCategory().IsApplicationExist("Writer", "/usr/bin/lowriter"));

    EXPECT_EQ(1, data.IsCategoryExist("graphics"));
    EXPECT_EQ(0, data.IsCategoryExist("Graphics"));
    EXPECT_EQ(0, CTabNavigationData().IsCategoryExist("graphics"));

    /* Removal frees only what the record owns. */
    CCategory stranger;
    CApplicationInfo* strangerApp = new CApplicationInfo("Writer", "/usr/bin/lowriter", "");
    EXPECT_EQ(-1, data.RemoveCategory(&stranger));
    EXPECT_EQ(-1, data.RemoveProgram(&stranger, strangerApp));
    EXPECT_EQ(-1, data.RemoveProgram(office, strangerApp));
    delete strangerApp;
    CApplicationInfo* calc = *std::next(office->GetPApplicationInfoList()->begin());
    EXPECT_EQ(0, data.RemoveProgram(office, calc));
    EXPECT_EQ(0, office->IsApplicationExist("Calc", "/usr/bin/localc"));
    EXPECT_EQ(3u, office->GetPApplicationInfoList()->size());
    EXPECT_EQ(0, data.RemoveCategory(office));
    EXPECT_EQ(0, data.IsCategoryExist("office"));
    EXPECT_EQ(1u, data.GetPCategoryInfoList()->size());
}

TEST(DataRecords, EqualityIsThePolicyContent)
{
    const CTabNavigationData policy = MakePolicy();

    CTabNavigationData swappedCategories = MakePolicy();
    swappedCategories.GetPCategoryInfoList()->reverse();
    EXPECT_FALSE(swappedCategories.IsEqual(policy));

    CTabNavigationData swappedPrograms = MakePolicy();
    swappedPrograms.GetPCategoryInfoList()->front()->GetPApplicationInfoList()->reverse();
    EXPECT_FALSE(swappedPrograms.IsEqual(policy));

    CTabNavigationData hidden = MakePolicy();
    hidden.GetPCategoryInfoList()->back()->GetPApplicationInfoList()->front()->SetEnable(0);
    EXPECT_FALSE(hidden.IsEqual(policy));

    CTabNavigationData icon = MakePolicy();
    icon.GetPCategoryInfoList()->back()->SetCategoryIcon("/etc/KEL/icons/paint.png");
    EXPECT_FALSE(icon.IsEqual(policy));

    CTabNavigationData extra = MakePolicy();
    extra.GetPCategoryInfoList()->push_back(new CCategory());
    EXPECT_FALSE(extra.IsEqual(policy));
    EXPECT_FALSE(policy.IsEqual(extra));

    /* No list and an empty list are both "no category", as they are once stored. */
    CTabNavigationData none;
    CTabNavigationData empty;
    empty.SetPCategoryInfoList(new CategoryInfoList());
    EXPECT_TRUE(none.IsEqual(empty));
    EXPECT_TRUE(empty.IsEqual(none));
    CCategory withoutList;
    CCategory withEmptyList;
    withEmptyList.SetPApplicationInfoList(new ApplicationInfoList());
    EXPECT_TRUE(withoutList.IsEqual(withEmptyList));

    /* A schedule is its locked hours: one three-hour section equals three one-hour ones,
     * in any order; the flags count. */
    CLockScheduleData wide;
    wide.SetAutoLock(1);
    wide.SetLockStatus(2);
    wide.SetPAutomaticLockTimeList(new LockTimeSectionList(1, new CLockTimeSection(4, 21, 24)));
    CLockScheduleData hourly;
    hourly.SetAutoLock(1);
    hourly.SetLockStatus(2);
    LockTimeSectionList* hours = new LockTimeSectionList();
    for (int h : {23, 21, 22})
        hours->push_back(new CLockTimeSection(4, h, h + 1));
    hourly.SetPAutomaticLockTimeList(hours);
    EXPECT_TRUE(wide.IsEqual(hourly));
    delete hours->back();
    hours->pop_back();
    EXPECT_FALSE(wide.IsEqual(hourly));
    CLockScheduleData status(wide);
    status.SetLockStatus(3);
    EXPECT_FALSE(status.IsEqual(wide));
    CLockScheduleData manual(wide);
    manual.SetManualLock(1);
    EXPECT_FALSE(manual.IsEqual(wide));
    /* A missing file and an untouched page with the box cleared agree. */
    CLockScheduleData fresh;
    CLockScheduleData untouched;
    untouched.SetPAutomaticLockTimeList(new LockTimeSectionList());
    untouched.SetLockStatus(3);
    untouched.SetAutoLock(0);
    EXPECT_TRUE(fresh.IsEqual(untouched));

    CKELSystemSettingData a;
    CKELSystemSettingData b;
    EXPECT_TRUE(a.IsEqual(b));
    b.SetUSBStorageenabled(2);
    EXPECT_FALSE(a.IsEqual(b));
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
    CategoryInfoList* clone = defaults.CloneCategoryInfoList();
    ASSERT_NE(nullptr, clone);
    ASSERT_NE(defaults.GetPCategoryInfoList(), clone);
    ASSERT_EQ(1u, clone->size());
    EXPECT_NE(defaults.GetPCategoryInfoList()->front(), clone->front());
    EXPECT_EQ(1, clone->front()->GetPApplicationInfoList()->front()->GetEnable()); /* absent enable: shown */
    CTabNavigationData target;
    target.SetPCategoryInfoList(clone);
    defaults.Clear();
    EXPECT_EQ("x", target.GetPCategoryInfoList()->front()->GetPApplicationInfoList()->front()->GetName());

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
    EXPECT_EQ(3u, results.GetPApplicationInfoList()->size());

    ApplicationInfoList incoming;
    incoming.push_back(new CApplicationInfo("GIMP again", "/usr/bin/gimp", ""));
    incoming.push_back(new CApplicationInfo("Inkscape", "/usr/bin/inkscape", ""));
    incoming.push_back(new CApplicationInfo("Inkscape twice", "/usr/bin/inkscape", ""));
    incoming.push_back(new CApplicationInfo("Script", "", ""));
    incoming.push_back(new CApplicationInfo("Other script", "", ""));
    EXPECT_EQ(2, results.MergeUnique(incoming));
    for (CApplicationInfo* app : incoming)
        delete app;
    ASSERT_EQ(5u, results.GetPApplicationInfoList()->size());
    EXPECT_EQ("Inkscape", (*std::next(results.GetPApplicationInfoList()->begin(), 3))->GetName());
    EXPECT_EQ("Other script", results.GetPApplicationInfoList()->back()->GetName());
}
