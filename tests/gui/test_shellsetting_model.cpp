/* The Shell Settings window's display-free logic: the lock grid and new category names. */
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "CCategoryNaming.h"
#include "CLockGrid.h"
#include "shellsetting_fixture.h"

using LibKELGUI::CCategoryNaming;
using LibKELGUI::CLockGrid;

TEST(ShellSettingModel, GridKeepsEveryCoveredHourAndWritesThemBackHourByHour)
{
    LibKELData::LockTimeSectionList* sections =
        keltest::NewSectionList({{6, 23, 24}, {1, 8, 11}, {3, 22, 30}, {4, 6, 6}, {7, 5, 6}, {2, 24, 25}, {2, -1, 0}});
    CLockGrid grid;
    EXPECT_EQ(3, grid.MarkSections(sections));
    for (LibKELData::CLockTimeSection* s : *sections)
        delete s;
    delete sections;

    sections = grid.NewSectionList();
    std::vector<keltest::SectionSpec> hourly;
    for (LibKELData::CLockTimeSection* s : *sections) {
        hourly.push_back({s->GetDayOfWeek(), s->GetStartTime(), s->GetEndTime()});
        delete s;
    }
    delete sections;
    std::vector<keltest::SectionSpec> want = {{1, 8, 9},   {1, 9, 10},   {1, 10, 11}, {3, 22, 23},
                                              {3, 23, 24}, {4, 6, 7},    {6, 23, 24}};
    EXPECT_TRUE(hourly == want);
}

TEST(ShellSettingModel, NewCategoryNamingEndsEvenWhenEveryAnswerIsOdd)
{
    const std::string base = "New Category";
    std::set<std::string> taken = {base, "New Category(3)"};
    auto exists = [&taken](const std::string& n) { return taken.count(n) ? 1 : 0; };
    EXPECT_EQ("New Category(2)", CCategoryNaming::Build(base, exists, 3));

    /* An answer that is neither 0 nor 1 counts as taken; a faulty answerer cannot keep the
     * naming going for ever. */
    int asked = 0;
    auto odd = [&asked](const std::string&) {
        ++asked;
        return -1;
    };
    EXPECT_EQ("New Category(6)", CCategoryNaming::Build(base, odd, 5));
    EXPECT_EQ(5, asked);
}
