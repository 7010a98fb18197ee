/* Whether the notebook is locked now and why: the lock timetable, the teacher's lock or unlock
 * by hand, in the order that LockSchedule.xml's record sets (KELData.h). Lives on the service's
 * main loop: one timer to the timetable's next change, nothing between changes. */
#ifndef KEL_LOCK_STATE_H
#define KEL_LOCK_STATE_H

#include <glib.h>

#include <ctime>
#include <functional>

#include "KELData.h"

namespace KelService {

struct LockState {
    bool locked = false;
    bool byTimetable = false;
    gint64 until = 0; /* when a timetable lock ends (wall clock, seconds); 0 when not known */
    /* IPCAPI::STUDENT_LOCKED* bits. */
    int Bits() const;
    bool operator==(const LockState& o) const
    {
        return locked == o.locked && byTimetable == o.byTimetable && until == o.until;
    }
};

class CLockState {
public:
    typedef std::function<void(const LockState&)> Changed;

    /* changed: called on the main loop after each change of the state. */
    explicit CLockState(const Changed& changed);
    ~CLockState();
    CLockState(const CLockState&) = delete;
    CLockState& operator=(const CLockState&) = delete;

    /* The timetable from its file (unreadable: no timetable lock, logged), then the state. */
    void LoadSchedule();
    void SetSchedule(const LibKELData::CLockScheduleData& schedule);
    /* 0 the teacher's hand lifted, 1 locked, 2 unlocked by the teacher. */
    void TeacherLock(int mode);
    /* The tests' clock: seconds added to the wall clock. */
    void SetClockOffset(gint64 offset);
    const LockState& Current() const { return m_State; }

    /* The timetable at a wall-clock time, in local time. */
    bool TimetableLocked(time_t t) const;
    /* The first time after t at which the timetable's state changes; 0 when it never does. */
    time_t NextChange(time_t t) const;

private:
    void Evaluate();
    void Arm(time_t wallTime);
    static gboolean OnTimer(gint fd, GIOCondition cond, gpointer self);

    Changed m_Changed;
    bool m_Grid[7][24];
    bool m_AutoLock = false;
    bool m_HandOutlastsTimetable = false;
    int m_Teacher = 0;
    bool m_TeacherSpent = false;
    bool m_TimetableWhenTeacherActed = false;
    gint64 m_Offset = 0;
    int m_TimerFd = -1;
    guint m_TimerSource = 0;
    LockState m_State;
};

} // namespace KelService

#endif
