/* The Shell Lock Settings page: the grid to the schedule record and back, day clicks, the dirty
 * test against the file on disk, and what the grid tells screen readers. */
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "shellsetting_fixture.h"

using keltest::CTestShellSetting;
using keltest::SectionSpec;

namespace {

std::vector<SectionSpec> RecordSections(const LibKELData::CLockScheduleData& data)
{
    std::vector<SectionSpec> out;
    if (data.GetPAutomaticLockTimeList())
        for (LibKELData::CLockTimeSection* s : *data.GetPAutomaticLockTimeList())
            out.push_back({s->GetDayOfWeek(), s->GetStartTime(), s->GetEndTime()});
    return out;
}

std::set<std::pair<int, int>> PressedHours(CTestShellSetting& w)
{
    std::set<std::pair<int, int>> out;
    for (size_t d = 0; d < w.m_TimeGrid.size(); ++d)
        for (size_t h = 0; h < w.m_TimeGrid[d].size(); ++h)
            if (keltest::Active(w.m_TimeGrid[d][h]))
                out.insert({(int)d, (int)h});
    return out;
}

std::string Tooltip(GtkWidget* w)
{
    gchar* text = gtk_widget_get_tooltip_text(w);
    std::string out = text ? text : "";
    g_free(text);
    return out;
}

} // namespace

TEST(ShellSettingLock, GridBecomesOneHourSectionsAndComesBackFromTheFile)
{
    ASSERT_TRUE(keltest::WriteLockSchedule(1, 2, {{2, 4, 5}}));
    {
        CTestShellSetting w;
        w.Init();
        ASSERT_EQ(7u, w.m_TimeGrid.size());
        ASSERT_EQ(24u, w.m_TimeGrid[6].size());
        EXPECT_TRUE(keltest::Active(w.m_pAutoLockCheckBox));
        EXPECT_EQ((std::set<std::pair<int, int>>{{2, 4}}), PressedHours(w));

        /* An empty grid with automatic locking off. */
        keltest::SetActive(w.m_TimeGrid[2][4], false);
        keltest::SetActive(w.m_pAutoLockCheckBox, false);
        EXPECT_EQ(0, w.FetchScheuleData());
        EXPECT_TRUE(RecordSections(w.m_ScheduleData).empty());
        EXPECT_EQ(3, w.m_ScheduleData.GetLockStatus());
        EXPECT_EQ(0, w.m_ScheduleData.GetAutoLock());

        /* Monday 8 to 10 and Sunday 23; the hours are kept with automatic locking off too. */
        keltest::SetActive(w.m_TimeGrid[6][23], true);
        keltest::SetActive(w.m_TimeGrid[0][9], true);
        keltest::SetActive(w.m_TimeGrid[0][8], true);
        w.FetchScheuleData();
        std::vector<SectionSpec> want = {{0, 8, 9}, {0, 9, 10}, {6, 23, 24}};
        EXPECT_TRUE(RecordSections(w.m_ScheduleData) == want);
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
    EXPECT_EQ((std::set<std::pair<int, int>>{{0, 8}, {0, 9}, {6, 23}}), PressedHours(reopened));
}

TEST(ShellSettingLock, ClickingADayFollowsItsFirstHour)
{
    CTestShellSetting w;
    w.Init();
    w.Show();
    keltest::Drain();
    for (int h = 5; h <= 9; ++h)
        keltest::SetActive(w.m_TimeGrid[2][h], true);
    GtkWidget* wednesday = keltest::FindButtonByLabel(w.GetWindow(), "Wed");
    ASSERT_TRUE(wednesday);
    EXPECT_TRUE(GTK_IS_LINK_BUTTON(wednesday));
    EXPECT_STREQ("link-button", gtk_widget_get_name(wednesday));

    keltest::LogCapture log;
    keltest::Click(wednesday);
    for (int h = 0; h < 24; ++h)
        EXPECT_TRUE(keltest::Active(w.m_TimeGrid[2][h])) << h;
    EXPECT_TRUE(log.Has("CShellSettingCtrl::OnClickWeekLabel >>Start"));
    EXPECT_TRUE(log.Has("CShellSettingCtrl::ClickWeekLabel <<End"));
    EXPECT_TRUE(log.Has("CShellSettingCtrl::ComulateDay >>Start"));
    keltest::Click(wednesday);
    for (int h = 0; h < 24; ++h)
        EXPECT_FALSE(keltest::Active(w.m_TimeGrid[2][h])) << h;
    /* Other days untouched. */
    EXPECT_TRUE(PressedHours(w).empty());

    /* A text that names no day changes nothing. */
    log.Clear();
    EXPECT_EQ(-1, w.CalculateDay("Someday"));
    EXPECT_EQ(-1, w.CalculateDay(NULL));
    EXPECT_TRUE(log.Has("Can not find this specified day!"));
    GtkWidget* stray = gtk_button_new_with_label("Someday");
    g_object_ref_sink(stray);
    w.OnWeekLabelClicked(stray);
    g_object_unref(stray);
    EXPECT_TRUE(PressedHours(w).empty());
    EXPECT_EQ(6, w.CalculateDay("Sun"));
}

TEST(ShellSettingLock, LongerSectionsKeepEveryHourAndUnknownOnesAreSkipped)
{
    /* Written by another program: Tuesday 8 to 11 in one section. */
    ASSERT_TRUE(keltest::WriteLockSchedule(1, 2, {{1, 8, 11}}));
    CTestShellSetting w;
    w.Init();
    EXPECT_EQ((std::set<std::pair<int, int>>{{1, 8}, {1, 9}, {1, 10}}), PressedHours(w));
    w.FetchScheuleData();
    std::vector<SectionSpec> hourly = {{1, 8, 9}, {1, 9, 10}, {1, 10, 11}};
    EXPECT_TRUE(RecordSections(w.m_ScheduleData) == hourly);
    /* The same hours cut differently are no edit. */
    EXPECT_FALSE(w.m_bScheduleDirty);

    /* Sections no cell stands for are skipped; the others still show. */
    w.m_ScheduleData.SetPAutomaticLockTimeList(
        keltest::NewSectionList({{7, 5, 6}, {-1, 3, 4}, {2, 24, 25}, {3, -2, 1}, {4, 23, 40}, {5, 6, 6}}));
    w.ShowSchedulePolicy();
    EXPECT_EQ((std::set<std::pair<int, int>>{{4, 23}, {5, 6}}), PressedHours(w));

    /* No section list at all: no pressed hour, also over a grid that had some. */
    w.m_ScheduleData.SetPAutomaticLockTimeList(NULL);
    w.ShowSchedulePolicy();
    EXPECT_TRUE(PressedHours(w).empty());
}

TEST(ShellSettingLock, DirtyTestComparesWithTheFileAsItIsNow)
{
    ASSERT_TRUE(keltest::WriteLockSchedule(1, 2, {{0, 8, 9}}));
    CTestShellSetting w;
    w.Init();
    w.FetchScheuleData();
    EXPECT_FALSE(w.m_bScheduleDirty);
    EXPECT_FALSE(w.IsDataDirty());

    keltest::SetActive(w.m_TimeGrid[4][12], true);
    EXPECT_FALSE(w.m_bScheduleDirty); /* editing alone marks nothing */
    w.FetchScheuleData();
    EXPECT_TRUE(w.m_bScheduleDirty);
    EXPECT_TRUE(w.IsDataDirty());

    ASSERT_EQ(0, w.m_ScheduleData.Save2File(LibKELData::CONFIG_FILE_DIR + LibKELData::LOCK_SCHEDULE));
    w.FetchScheuleData();
    EXPECT_FALSE(w.m_bScheduleDirty);

    keltest::SetActive(w.m_pAutoLockCheckBox, false);
    w.FetchScheuleData();
    EXPECT_TRUE(w.m_bScheduleDirty);
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

    GtkWidget* monday = w.m_DayButtons[0];
    EXPECT_EQ("Click to lock every hour of this day", Tooltip(monday));
    keltest::SetActive(w.m_TimeGrid[0][0], true);
    EXPECT_EQ("Click to free every hour of this day", Tooltip(monday));

    /* None of it is data: the record changes only when fetched. */
    EXPECT_TRUE(RecordSections(w.m_ScheduleData).empty());
    EXPECT_FALSE(w.m_bScheduleDirty);
}
