/* The sample policies we ship: they load cleanly, are written as we write them, and hang together. */
#include <gtest/gtest.h>

#include <set>

#include "KELConstants.h"
#include "KELData.h"
#include "KELDataTools.h"
#include "KelTest.h"

using namespace LibKELData;

namespace {

const std::set<std::string> kIcons = {
    "internet.png", "office.png",  "education.png",   "graphics.png",  "accessories.png", "games.png",
    "science.png",  "music.png",   "video.png",       "programming.png", "math.png",      "language.png",
    "browser.png",  "writer.png",  "calc.png",        "impress.png",   "paint.png",       "calculator.png",
    "texteditor.png", "terminal.png", "files.png",    "atlas.png",     "chemistry.png",   "typing.png"};

void ExpectShippedIcon(const std::string& path)
{
    /* The sandbox copy names its own icon folder instead of the installed one. */
    const std::string prefix = ICON_PATH;
    ASSERT_EQ(0u, path.compare(0, prefix.size(), prefix)) << path;
    EXPECT_EQ(1u, kIcons.count(path.substr(prefix.size()))) << path;
}

/* Loads without a complaint, and saving gives back the very same bytes, so the first
 * Apply does not rewrite a file that nobody changed. */
template <class Record>
void LoadCanonical(Record& record, const std::string& file)
{
    const std::string path = keltest::EtcKel() + file;
    keltest::LogCapture log;
    ASSERT_EQ(KEL_OK, record.LoadFromFile(path)) << file;
    for (const keltest::LogCapture::Line& line : log.Lines())
        EXPECT_NE(2, line.level) << line.text;
    std::string xml;
    ASSERT_EQ(KEL_OK, record.Save2String(xml));
    EXPECT_EQ(keltest::ReadFile(path), xml) << file;
}

void ExpectUsableCategories(const CategoryInfoList* list)
{
    ASSERT_NE(nullptr, list);
    EXPECT_GE(list->size(), 5u);
    CTabNavigationData names;
    for (const CCategory* category : *list) {
        std::string message;
        EXPECT_EQ(0, CKELDataTools::IsInputValid(category->GetName(), message)) << category->GetName();
        EXPECT_EQ(0, names.IsCategoryExist(category->GetName())) << "twice: " << category->GetName();
        if (!names.GetPCategoryInfoList())
            names.SetPCategoryInfoList(new CategoryInfoList());
        names.GetPCategoryInfoList()->push_back(new CCategory(*category));
        ExpectShippedIcon(category->GetCategoryIcon());
        ASSERT_NE(nullptr, category->GetPApplicationInfoList()) << category->GetName();
        EXPECT_FALSE(category->GetPApplicationInfoList()->empty()) << category->GetName();
        for (const CApplicationInfo* app : *category->GetPApplicationInfoList()) {
            EXPECT_EQ(0, CKELDataTools::IsInputValid(app->GetName(), message)) << app->GetName();
            EXPECT_EQ('/', app->GetPath()[0]) << app->GetName();
            ExpectShippedIcon(app->GetCustomIcon());
        }
    }
}

} // namespace

TEST(SamplePolicies, LoadCleanlyAndHangTogether)
{
    keltest::CopySampleRoot();

    CDefaultConfigData defaults;
    LoadCanonical(defaults, "DefaultConfig.xml");
    ExpectUsableCategories(defaults.GetPCategoryInfoList());

    CTabNavigationData navigation;
    LoadCanonical(navigation, "TabNavigation.xml");
    ExpectUsableCategories(navigation.GetPCategoryInfoList());
    CTabNavigationData restored;
    restored.SetPCategoryInfoList(defaults.CloneCategoryInfoList());
    EXPECT_FALSE(restored.IsEqual(navigation)) << "the teacher's version differs from the defaults";

    /* The page writes one section per hour, auto lock on means status 2: an untouched page
     * must find the file equal to what it would write. */
    CLockScheduleData schedule;
    LoadCanonical(schedule, "LockSchedule.xml");
    ASSERT_NE(nullptr, schedule.GetPAutomaticLockTimeList());
    EXPECT_FALSE(schedule.GetPAutomaticLockTimeList()->empty());
    for (const CLockTimeSection* section : *schedule.GetPAutomaticLockTimeList())
        EXPECT_EQ(section->GetStartTime() + 1, section->GetEndTime());
    EXPECT_EQ(schedule.IsAutoLockEnable() ? 2 : 3, schedule.GetLockStatus());
    EXPECT_EQ(0, schedule.GetManualLock());

    CKELSystemSettingData settings;
    LoadCanonical(settings, "KELSystemSetting.xml");

    CSearchResultData results;
    LoadCanonical(results, "SearchResult.xml");
    ASSERT_NE(nullptr, results.GetPApplicationInfoList());
    EXPECT_GE(results.GetPApplicationInfoList()->size(), 3u);
    for (const CApplicationInfo* app : *results.GetPApplicationInfoList())
        ExpectShippedIcon(app->GetCustomIcon());

    CStudentInfoData roster;
    LoadCanonical(roster, "StudentInfo.xml");
    EXPECT_EQ(4u, roster.GetStudents().size());

    CKELThemeData themeData;
    LoadCanonical(themeData, "KELTheme.xml");
    std::string theme, font, background;
    ASSERT_EQ(0, CKELDataTools::GetCurrentThemeName(theme, font, background));
    EXPECT_EQ("Blue", theme);
    EXPECT_EQ("Sans 10", font);
}
