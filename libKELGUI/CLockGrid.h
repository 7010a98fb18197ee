/* The weekly lock grid (7 days by 24 hours) and its conversion to and from time sections. */
#ifndef CLOCK_GRID_H
#define CLOCK_GRID_H

#include <string>

#include "KELData.h"
#include "KELGuiCommon.h"

namespace LibKELGUI {

class KELGUI_EXPORT CLockGrid {
public:
    enum { DAYS = 7, HOURS = 24 };

    CLockGrid();

    /* Out-of-range cells read as free and ignore writes. */
    bool IsLocked(int day, int hour) const;
    void SetLocked(int day, int hour, bool locked);
    void Clear();

    /* Locks every hour each section covers. A section whose day or start hour has no cell is
     * skipped; one that ends at or before its start locks its start hour only. Returns the
     * number of sections skipped. */
    int MarkSections(const LibKELData::LockTimeSectionList* sections);
    /* One one-hour section per locked hour, ordered by day and then hour; the caller owns the
     * list and its sections. */
    LibKELData::LockTimeSectionList* NewSectionList() const;

    bool operator==(const CLockGrid& other) const;

    /* "08:00-09:00" for hour 8. */
    static std::string HourRange(int hour);

private:
    bool m_Locked[DAYS][HOURS];
};

} // namespace LibKELGUI

#endif
