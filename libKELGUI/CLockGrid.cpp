/* Conversion between the lock page's grid of hours and the schedule's time sections. */
#include "CLockGrid.h"

#include <cstdio>

using LibKELData::CLockTimeSection;
using LibKELData::LockTimeSectionList;

namespace LibKELGUI {

CLockGrid::CLockGrid()
{
    Clear();
}

bool CLockGrid::IsLocked(int day, int hour) const
{
    if (day < 0 || day >= DAYS || hour < 0 || hour >= HOURS)
        return false;
    return m_Locked[day][hour];
}

void CLockGrid::SetLocked(int day, int hour, bool locked)
{
    if (day < 0 || day >= DAYS || hour < 0 || hour >= HOURS)
        return;
    m_Locked[day][hour] = locked;
}

void CLockGrid::Clear()
{
    for (int d = 0; d < DAYS; ++d)
        for (int h = 0; h < HOURS; ++h)
            m_Locked[d][h] = false;
}

int CLockGrid::MarkSections(const LockTimeSectionList* sections)
{
    if (!sections)
        return 0;
    int skipped = 0;
    for (LockTimeSectionList::const_iterator it = sections->begin(); it != sections->end(); ++it) {
        const CLockTimeSection* section = *it;
        if (!section) {
            ++skipped;
            continue;
        }
        int day = section->GetDayOfWeek();
        int start = section->GetStartTime();
        if (day < 0 || day >= DAYS || start < 0 || start >= HOURS) {
            ++skipped;
            continue;
        }
        /* Other programs may write sections longer than an hour; every hour they cover is
         * kept, so that saving the grid again loses none of them. */
        int end = section->GetEndTime();
        if (end <= start)
            end = start + 1;
        if (end > HOURS)
            end = HOURS;
        for (int h = start; h < end; ++h)
            m_Locked[day][h] = true;
    }
    return skipped;
}

LockTimeSectionList* CLockGrid::NewSectionList() const
{
    LockTimeSectionList* list = new LockTimeSectionList;
    for (int d = 0; d < DAYS; ++d)
        for (int h = 0; h < HOURS; ++h)
            if (m_Locked[d][h])
                list->push_back(new CLockTimeSection(d, h, h + 1));
    return list;
}

bool CLockGrid::operator==(const CLockGrid& other) const
{
    for (int d = 0; d < DAYS; ++d)
        for (int h = 0; h < HOURS; ++h)
            if (m_Locked[d][h] != other.m_Locked[d][h])
                return false;
    return true;
}

std::string CLockGrid::HourRange(int hour)
{
    char text[32];
    snprintf(text, sizeof(text), "%02d:00-%02d:00", hour, hour + 1);
    return text;
}

} // namespace LibKELGUI
