/* The Shell Lock Settings page: the grid to the schedule record and back, day clicks, the dirty
 * test against the file on disk, and what the grid tells screen readers. */
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "CLockGrid.h"
#include "shellsetting_fixture.h"

using keltest::CTestShellSetting;
using keltest::SectionSpec;
typedef std::set<std::pair<int, int>> Hours;

namespace {

Hours PressedHours(CTestShellSetting& w)
{
    Hours out;
    for (size_t d = 0; d < w.m_TimeGrid.size(); ++d)
        for (size_t h = 0; h < w.m_TimeGrid[d].size(); ++h)
            if (keltest::Active(w.m_TimeGrid[d][h]))
                out.insert({(int)d, (int)h});
    return out;
}

std::vector<SectionSpec> Fetched(CTestShellSetting& w)
{
    EXPECT_EQ(0, w.FetchScheuleData());
    return keltest::Sections(w.m_ScheduleData.GetPAutomaticLockTimeList());
}

void Free(LibKELData::LockTimeSectionList* sections)
{
    for (LibKELData::CLockTimeSection* s : *sections)
        delete s;
    delete sections;
}

std::string Tooltip(GtkWidget* w)
{
    gchar* text = gtk_widget_get_tooltip_text(w);
    std::string out = text ? text : "";
    g_free(text);
    return out;
}

} // namespace

TEST(ShellSettingLock, GridModelKeepsEveryCoveredHourSkipsOutOfRangeAndWritesBackHourByHour)
{
    /* Several hours, past midnight, empty, and days or hours outside the grid. */
    LibKELData::LockTimeSectionList* sections =
        keltest::NewSectionList({{6, 23, 24}, {1, 8, 11}, {3, 22, 30}, {4, 6, 6}, {7, 5, 6}, {2, 24, 25}, {2, -1, 0}});
    LibKELGUI::CLockGrid grid;
    EXPECT_EQ(3, grid.MarkSections(sections));
    Free(sections);
    sections = grid.NewSectionList();
    std::vector<SectionSpec> want = {{1, 8, 9},   {1, 9, 10}, {1, 10, 11}, {3, 22, 23},
                                     {3, 23, 24}, {4, 6, 7},  {6, 23, 24}};
    EXPECT_TRUE(keltest::Sections(sections) == want);
    Free(sections);
    EXPECT_EQ(0, grid.MarkSections(NULL));
}

TEST(ShellSettingLock, GridBecomesOneHourSectionsAndComesBackFromTheFile)
{
    ASSERT_TRUE(keltest::WriteLockSchedule(1, 2, {{2, 4, 5}}));
    {
        CTestShellSetting w;
        w.Init();
        EXPECT_TRUE(keltest::Active(w.m_pAutoLockCheckBox));
        EXPECT_EQ((Hours{{2, 4}}), PressedHours(w));

        /* An empty grid with automatic locking off. */
        keltest::SetActive(w.m_TimeGrid[2][4], false);
        keltest::SetActive(w.m_pAutoLockCheckBox, false);
        EXPECT_TRUE(Fetched(w).empty());
        EXPECT_EQ(3, w.m_ScheduleData.GetLockStatus());
        EXPECT_EQ(0, w.m_ScheduleData.GetAutoLock());

        /* Monday 8 to 10 and Sunday 23; the hours are kept with automatic locking off too. */
        for (auto dh : {std::make_pair(6, 23), std::make_pair(0, 9), std::make_pair(0, 8)})
            keltest::SetActive(w.m_TimeGrid[dh.first][dh.second], true);
        EXPECT_TRUE(Fetched(w) == (std::vector<SectionSpec>{{0, 8, 9}, {0, 9, 10}, {6, 23, 24}}));
        EXPECT_EQ(3, w.m_ScheduleData.GetLockStatus());

        keltest::SetActive(w.m_pAutoLockCheckBox, true);
        w.FetchScheuleData();
        EXPECT_EQ(2, w.m_ScheduleData.GetLockStatus());
        EXPECT_EQ(1, w.m_ScheduleData.GetAutoLock());
        ASSERT_EQ(0, w.m_ScheduleData.Save2File(LibKELData::CONFIG_FILE_DIR + LibKELData::LOCK_SCHEDULE));
    }
    CTestShellSetting reopened;
    reopened.Init();
    EXPECT_TRUE(keltest::Active(reopened.m_pAutoLockCheckBox));
    EXPECT_EQ((Hours{{0, 8}, {0, 9}, {6, 23}}), PressedHours(reopened));
}

TEST(ShellSettingLock, LongerSectionsKeepEveryHourAndDirtyTestComparesWithTheFileAsItIsNow)
{
    /* Written by another program: Tuesday 8 to 11 in one section, and a day past Sunday. */
    ASSERT_TRUE(keltest::WriteLockSchedule(1, 2, {{1, 8, 11}, {7, 5, 6}}));
    CTestShellSetting w;
    w.Init();
    EXPECT_EQ((Hours{{1, 8}, {1, 9}, {1, 10}}), PressedHours(w));
    EXPECT_TRUE(Fetched(w) == (std::vector<SectionSpec>{{1, 8, 9}, {1, 9, 10}, {1, 10, 11}}));
    EXPECT_FALSE(w.IsDataDirty()) << "the same hours cut differently are no edit";

    keltest::SetActive(w.m_TimeGrid[4][12], true);
    EXPECT_FALSE(w.m_bScheduleDirty) << "editing alone marks nothing";
    w.FetchScheuleData();
    EXPECT_TRUE(w.m_bScheduleDirty);
    ASSERT_EQ(0, w.m_ScheduleData.Save2File(LibKELData::CONFIG_FILE_DIR + LibKELData::LOCK_SCHEDULE));
    w.FetchScheuleData();
    EXPECT_FALSE(w.m_bScheduleDirty);
    keltest::SetActive(w.m_pAutoLockCheckBox, false);
    w.FetchScheuleData();
    EXPECT_TRUE(w.m_bScheduleDirty);

    /* No section list at all: no pressed hour, also over a grid that had some. */
    w.m_ScheduleData.SetPAutomaticLockTimeList(NULL);
    w.ShowSchedulePolicy();
    EXPECT_TRUE(PressedHours(w).empty());
}

TEST(ShellSettingLock, ClickingADayFollowsItsFirstHourAndAnUnknownDayChangesNothing)
{
    CTestShellSetting w;
    w.Init();
    w.Show();
    keltest::Drain();
    for (int h = 5; h <= 9; ++h)
        keltest::SetActive(w.m_TimeGrid[2][h], true);
    GtkWidget* wednesday = keltest::FindButtonByLabel(w.GetWindow(), "Wed");
    ASSERT_TRUE(wednesday);
    keltest::Click(wednesday);
    for (int h = 0; h < 24; ++h)
        EXPECT_TRUE(keltest::Active(w.m_TimeGrid[2][h])) << h;
    keltest::Click(wednesday);
    EXPECT_TRUE(PressedHours(w).empty()) << "the day is freed, the other days untouched";

    EXPECT_EQ(6, w.CalculateDay("Sun"));
    EXPECT_EQ(-1, w.CalculateDay("Someday"));
    EXPECT_EQ(-1, w.CalculateDay(NULL));
    GtkWidget* stray = gtk_button_new_with_label("Someday");
    g_object_ref_sink(stray);
    w.OnWeekLabelClicked(stray);
    g_object_unref(stray);
    EXPECT_TRUE(PressedHours(w).empty());
}

TEST(ShellSettingLock, HoursTellWhatTheyAreAndDaysTellWhatAClickDoes)
{
    CTestShellSetting w;
    w.Init();
    GtkWidget* monday8 = w.m_TimeGrid[0][8];
    AtkObject* accessible = gtk_widget_get_accessible(monday8);
    EXPECT_STREQ("Mon 08:00-09:00", atk_object_get_name(accessible));
    EXPECT_EQ("Mon 08:00-09:00: free", Tooltip(monday8));
    EXPECT_STREQ("Free", atk_object_get_description(accessible));
    keltest::SetActive(monday8, true);
    EXPECT_EQ("Mon 08:00-09:00: locked", Tooltip(monday8));
    EXPECT_STREQ("Locked", atk_object_get_description(accessible));
    EXPECT_STREQ("Sun 23:00-24:00", atk_object_get_name(gtk_widget_get_accessible(w.m_TimeGrid[6][23])));

    EXPECT_EQ("Click to lock every hour of this day", Tooltip(w.m_DayButtons[0]));
    keltest::SetActive(w.m_TimeGrid[0][0], true);
    EXPECT_EQ("Click to free every hour of this day", Tooltip(w.m_DayButtons[0]));
    EXPECT_FALSE(w.m_bScheduleDirty) << "none of it is data until fetched";
}
