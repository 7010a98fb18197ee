/* Records: owned lists and deep copies, lookups, equality, merging, every record through its file and text,
 * and the sample policies we ship. */
#include <gtest/gtest.h>

#include <clocale>
#include <functional>
#include <set>

#include "KELConstants.h"
#include "KELData.h"
#include "KELDataTools.h"
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

/* Loads the file without a complaint; written again, to text and to a file, the record gives back
 * the very same bytes, so nothing is lost, altered or escaped wrongly on the way (and the first
 * Apply does not rewrite a file that nobody changed). */
template <class Record>
void ExpectCanonical(Record& record, const std::string& path)
{
    const std::string xml = keltest::ReadFile(path);
    keltest::LogCapture log;
    ASSERT_EQ(KEL_OK, record.LoadFromFile(path)) << path;
    for (const keltest::LogCapture::Line& line : log.Lines())
        EXPECT_NE(2, line.level) << line.text;
    std::string again;
    ASSERT_EQ(KEL_OK, record.Save2String(again)) << path;
    EXPECT_EQ(xml, again) << path;
    Record fromText;
    ASSERT_EQ(KEL_OK, fromText.LoadFromString(xml)) << path;
    ASSERT_EQ(KEL_OK, fromText.Save2File(path + ".again")) << path;
    EXPECT_EQ(xml, keltest::ReadFile(path + ".again")) << path;
}

/* The sandbox copy of the samples names its own icon folder instead of the installed one. */
void ExpectShippedIcon(const std::string& path)
{
    EXPECT_EQ(0u, path.compare(0, ICON_PATH.size(), ICON_PATH)) << path;
    EXPECT_EQ(1, CKELDataTools::FileExist(path)) << path;
}

void ExpectUsableCategories(const CategoryInfoList* list)
{
    EXPECT_GE(list->size(), 5u);
    std::set<std::string> names;
    std::string message;
    for (const CCategory* category : *list) {
        EXPECT_EQ(0, CKELDataTools::IsInputValid(category->GetName(), message)) << category->GetName();
        EXPECT_TRUE(names.insert(category->GetName()).second) << "twice: " << category->GetName();
        ExpectShippedIcon(category->GetCategoryIcon());
        ASSERT_FALSE(category->GetPApplicationInfoList()->empty()) << category->GetName();
        for (const CApplicationInfo* app : *category->GetPApplicationInfoList()) {
            EXPECT_EQ(0, CKELDataTools::IsInputValid(app->GetName(), message)) << app->GetName();
            EXPECT_EQ('/', app->GetPath()[0]) << app->GetName();
            ExpectShippedIcon(app->GetCustomIcon());
        }
    }
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
    /* Under a decimal-comma locale where there is one: numbers in the files must not follow it. */
    setlocale(LC_ALL, "de_DE.UTF-8");
    const std::string dir = keltest::EtcKel(), head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    ASSERT_TRUE(keltest::WriteFile(dir + "TabNavigation.xml", head + R"(<TabNavigation version="1">
  <Category name="office" icon="/etc/KEL/icons/office.png">
    <Application name="Writer" path="/usr/bin/lowriter" icon="" enable="1"/>
    <Application name="Calc" path="/usr/bin/localc" icon="/etc/KEL/icons/calc.png" enable="1"/>
  </Category>
  <Category name="graphics" icon="/etc/KEL/icons/graphics.png">
    <Application name="Bücher &amp; &quot;Hefte&quot; &lt;neu&gt; 'ö' € 📚" path="/opt/a b/c&amp;d" icon="" enable="0"/>
  </Category>
  <Category name="Leer&#9;Tab&#10;Zeile" icon="/etc/KEL/icons/Leer&#9;Tab&#10;Zeile.png"/>
</TabNavigation>
)"));
    CTabNavigationData tabs;
    ExpectCanonical(tabs, dir + "TabNavigation.xml");
    EXPECT_TRUE(tabs.IsEqual(MakePolicy())) << "the text holds the policy made through the API";

    ASSERT_TRUE(keltest::WriteFile(dir + "LockSchedule.xml", head + R"(<LockSchedule version="1" autoLock="1" manualLock="1" lockStatus="2">
  <Section day="0" start="8" end="9"/>
  <Section day="6" start="23" end="24"/>
  <Section day="2" start="0" end="6"/>
</LockSchedule>
)"));
    CLockScheduleData schedule;
    ExpectCanonical(schedule, dir + "LockSchedule.xml");
    /* Values other than 0 and 1 are kept as stored, not folded. */
    ASSERT_TRUE(keltest::WriteFile(dir + "KELSystemSetting.xml",
                                   head + "<KELSystemSetting version=\"1\" usbStorageEnabled=\"2\" newStudentConnectDialog=\"1\"/>\n"));
    CKELSystemSettingData settings;
    ExpectCanonical(settings, dir + "KELSystemSetting.xml");

    ASSERT_TRUE(keltest::WriteFile(dir + "SearchResult.xml", head + R"(<SearchResult version="1">
  <Application name="GIMP" path="/usr/bin/gimp" icon="/usr/share/icons/gimp.png" enable="1"/>
  <Application name="Bücher &amp; &quot;Hefte&quot; &lt;neu&gt; 'ö' € 📚" path="" icon="" enable="0"/>
</SearchResult>
)"));
    CSearchResultData results;
    ExpectCanonical(results, dir + "SearchResult.xml");
    ASSERT_TRUE(keltest::WriteFile(dir + "StudentInfo.xml", head + R"(<StudentInfo version="1">
  <Student name="Zoë Ångström" address="192.168.10.21"/>
  <Student name="Bücher &amp; &quot;Hefte&quot; &lt;neu&gt; 'ö' € 📚" address="pc-02"/>
</StudentInfo>
)"));
    CStudentInfoData roster;
    ExpectCanonical(roster, dir + "StudentInfo.xml");
    EXPECT_EQ(kTricky, roster.GetStudents().back().name);
    ASSERT_TRUE(keltest::WriteFile(dir + "KELTheme.xml", head + "<KELTheme version=\"1\" theme=\"Blue\" font=\"DejaVu Sans 10\" "
                                                                "background=\"/etc/KEL/image/Hintergrund – Wiese.png\"/>\n"));
    CKELThemeData theme;
    ExpectCanonical(theme, dir + "KELTheme.xml");
    ASSERT_TRUE(keltest::WriteFile(dir + "DefaultConfig.xml", head + R"(<DefaultConfig version="1">
  <Category name="office" icon="/etc/KEL/icons/office.png">
    <Application name="Writer" path="/usr/bin/lowriter" icon="" enable="0"/>
  </Category>
</DefaultConfig>
)"));
    CDefaultConfigData defaults;
    ExpectCanonical(defaults, dir + "DefaultConfig.xml");
}

TEST(SamplePolicies, LoadCleanlyAndHangTogether)
{
    keltest::CopySampleRoot();
    const std::string dir = keltest::EtcKel();
    CDefaultConfigData defaults;
    ExpectCanonical(defaults, dir + "DefaultConfig.xml");
    ExpectUsableCategories(defaults.GetPCategoryInfoList());
    CTabNavigationData navigation;
    ExpectCanonical(navigation, dir + "TabNavigation.xml");
    ExpectUsableCategories(navigation.GetPCategoryInfoList());
    CTabNavigationData restored;
    restored.SetPCategoryInfoList(defaults.CloneCategoryInfoList());
    EXPECT_FALSE(restored.IsEqual(navigation)) << "the teacher's version differs from the defaults";

    /* The page writes one section per hour, auto lock on means status 2: an untouched page
     * must find the file equal to what it would write. */
    CLockScheduleData schedule;
    ExpectCanonical(schedule, dir + "LockSchedule.xml");
    ASSERT_FALSE(schedule.GetPAutomaticLockTimeList()->empty());
    for (const CLockTimeSection* section : *schedule.GetPAutomaticLockTimeList())
        EXPECT_EQ(section->GetStartTime() + 1, section->GetEndTime());
    EXPECT_EQ(schedule.IsAutoLockEnable() ? 2 : 3, schedule.GetLockStatus());
    EXPECT_EQ(0, schedule.GetManualLock());

    CKELSystemSettingData settings;
    ExpectCanonical(settings, dir + "KELSystemSetting.xml");
    CSearchResultData results;
    ExpectCanonical(results, dir + "SearchResult.xml");
    EXPECT_GE(results.GetPApplicationInfoList()->size(), 3u);
    for (const CApplicationInfo* app : *results.GetPApplicationInfoList())
        ExpectShippedIcon(app->GetCustomIcon());
    CStudentInfoData roster;
    ExpectCanonical(roster, dir + "StudentInfo.xml");
    EXPECT_EQ(4u, roster.GetStudents().size());
    CKELThemeData themeData;
    ExpectCanonical(themeData, dir + "KELTheme.xml");
    std::string theme, font, background;
    ASSERT_EQ(0, CKELDataTools::GetCurrentThemeName(theme, font, background));
    EXPECT_EQ("Blue|Sans 10", theme + "|" + font);
}
