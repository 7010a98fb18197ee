/* The Shell Settings window's display-free logic: the lock grid and new category names. */
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "CCategoryNaming.h"
#include "CLockGrid.h"
#include "shellsetting_fixture.h"

using LibKELGUI::CCategoryNaming;
using LibKELGUI::CLockGrid;
using LibKELData::CLockScheduleData;
using LibKELData::LockTimeSectionList;

namespace {

std::vector<keltest::SectionSpec> Sections(const LockTimeSectionList* list)
{
    std::vector<keltest::SectionSpec> out;
    for (LibKELData::CLockTimeSection* s : *list)
        out.push_back({s->GetDayOfWeek(), s->GetStartTime(), s->GetEndTime()});
    return out;
}

void DeleteSections(LockTimeSectionList* list)
{
    for (LibKELData::CLockTimeSection* s : *list)
        delete s;
    delete list;
}

} // namespace

TEST(ShellSettingModel, GridCutsLockedHoursIntoOneHourSectionsByDayThenHour)
{
    CLockGrid grid;
    grid.SetLocked(6, 23, true);
    grid.SetLocked(0, 9, true);
    grid.SetLocked(0, 8, true);
    grid.SetLocked(7, 0, true);  /* no such day */
    grid.SetLocked(0, 24, true); /* no such hour */
    LockTimeSectionList* list = grid.NewSectionList();
    std::vector<keltest::SectionSpec> want = {{0, 8, 9}, {0, 9, 10}, {6, 23, 24}};
    EXPECT_TRUE(Sections(list) == want);
    DeleteSections(list);

    CLockGrid empty;
    list = empty.NewSectionList();
    EXPECT_TRUE(list->empty());
    DeleteSections(list);
}

TEST(ShellSettingModel, SectionsMarkEveryHourTheyCoverAndOutOfRangeOnesAreSkipped)
{
    LockTimeSectionList* sections = keltest::NewSectionList({
        {1, 8, 11},  /* three hours */
        {3, 22, 30}, /* runs past midnight: cut at 24 */
        {4, 6, 6},   /* ends at its start: its start hour */
        {7, 5, 6},   /* no such day */
        {-1, 3, 4},
        {2, 24, 25}, /* no such hour */
        {2, -1, 0},
        {5, 0, 1},
    });
    CLockGrid grid;
    EXPECT_EQ(4, grid.MarkSections(sections));
    std::set<std::pair<int, int>> locked;
    for (int d = 0; d < CLockGrid::DAYS; ++d)
        for (int h = 0; h < CLockGrid::HOURS; ++h)
            if (grid.IsLocked(d, h))
                locked.insert({d, h});
    std::set<std::pair<int, int>> want = {{1, 8}, {1, 9}, {1, 10}, {3, 22}, {3, 23}, {4, 6}, {5, 0}};
    EXPECT_EQ(want, locked);
    DeleteSections(sections);

    CLockGrid none;
    EXPECT_EQ(0, none.MarkSections(NULL));
    EXPECT_TRUE(none == CLockGrid());
}

TEST(ShellSettingModel, SameScheduleComparesHoursNotTheWaySectionsAreCut)
{
    CLockScheduleData longSection;
    longSection.SetAutoLock(1);
    longSection.SetLockStatus(2);
    longSection.SetPAutomaticLockTimeList(keltest::NewSectionList({{0, 8, 10}}));
    CLockScheduleData hourly(longSection);
    hourly.SetPAutomaticLockTimeList(keltest::NewSectionList({{0, 9, 10}, {0, 8, 9}}));
    EXPECT_TRUE(CLockGrid::SameSchedule(longSection, hourly));

    CLockScheduleData otherHours(longSection);
    otherHours.SetPAutomaticLockTimeList(keltest::NewSectionList({{0, 8, 9}}));
    EXPECT_FALSE(CLockGrid::SameSchedule(longSection, otherHours));

    CLockScheduleData otherStatus(hourly);
    otherStatus.SetLockStatus(3);
    EXPECT_FALSE(CLockGrid::SameSchedule(longSection, otherStatus));

    EXPECT_EQ("08:00-09:00", CLockGrid::HourRange(8));
    EXPECT_EQ("23:00-24:00", CLockGrid::HourRange(23));
}

TEST(ShellSettingModel, NewCategoryNameFillsGapsAndAlwaysEnds)
{
    auto existing = [](std::set<std::string> names) {
        return [names](const std::string& n) { return names.count(n) ? 1 : 0; };
    };
    const std::string base = "New Category";
    EXPECT_EQ("New Category", CCategoryNaming::Build(base, existing({"Games"}), 2));
    EXPECT_EQ("New Category(3)", CCategoryNaming::Build(base, existing({base, "New Category(2)"}), 3));
    EXPECT_EQ("New Category", CCategoryNaming::Build(base, existing({"New Category(2)"}), 2));
    EXPECT_EQ("New Category(2)", CCategoryNaming::Build(base, existing({base, "New Category(3)"}), 3));

    /* An answer that is neither 0 nor 1 counts as taken, and a faulty answerer cannot make
     * the naming run for ever. */
    int asked = 0;
    std::string name = CCategoryNaming::Build(
        base,
        [&asked](const std::string&) {
            ++asked;
            return -1;
        },
        5);
    EXPECT_EQ(5, asked);
    EXPECT_EQ("New Category(6)", name);
}
