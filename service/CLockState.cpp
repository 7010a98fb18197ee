/* The notebook's lock state and the timer to its next change. */
#include "CLockState.h"

#include "IPCAPI.h"
#include "KELLog.h"
#include "KELPaths.h"

#include <glib-unix.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

using LibKELData::CKELLog;
using LibKELData::CLockScheduleData;

namespace KelService {

namespace {
/* Every zone's offset is a whole number of quarter hours, so every local hour starts on one. */
const time_t QUARTER = 15 * 60;
const time_t WEEK_AND_A_DAY = 8 * 24 * 3600;
} // namespace

int LockState::Bits() const
{
    return (locked ? IPCAPI::STUDENT_LOCKED : 0) | (locked && byTimetable ? IPCAPI::STUDENT_LOCKED_BY_TIMETABLE : 0);
}

CLockState::CLockState(const Changed& changed)
    : m_Changed(changed)
{
    memset(m_Grid, 0, sizeof(m_Grid));
    m_TimerFd = timerfd_create(CLOCK_REALTIME, TFD_CLOEXEC | TFD_NONBLOCK);
    if (m_TimerFd < 0)
        CKELLog::WriteLine(std::string("Lock state: no timer: ") + strerror(errno), 2, "", false);
    else
        m_TimerSource = g_unix_fd_add(m_TimerFd, G_IO_IN, OnTimer, this);
}

CLockState::~CLockState()
{
    if (m_TimerSource)
        g_source_remove(m_TimerSource);
    if (m_TimerFd >= 0)
        close(m_TimerFd);
}

void CLockState::LoadSchedule()
{
    CLockScheduleData schedule;
    const std::string file = LibKELData::CONFIG_FILE_DIR + LibKELData::LOCK_SCHEDULE;
    if (schedule.LoadFromFile(file) != 0) {
        CKELLog::WriteLine("Lock state: cannot read " + file + ": the timetable locks nothing", 2, "", false);
        schedule.Clear();
    }
    SetSchedule(schedule);
}

void CLockState::SetSchedule(const CLockScheduleData& schedule)
{
    memset(m_Grid, 0, sizeof(m_Grid));
    if (const LibKELData::LockTimeSectionList* sections = schedule.GetPAutomaticLockTimeList()) {
        for (const LibKELData::CLockTimeSection* s : *sections) {
            if (!s || s->GetDayOfWeek() < 0 || s->GetDayOfWeek() > 6)
                continue;
            for (int h = std::max(0, s->GetStartTime()); h < std::min(24, s->GetEndTime()); ++h)
                m_Grid[s->GetDayOfWeek()][h] = true;
        }
    }
    m_AutoLock = schedule.IsAutoLockEnable();
    m_HandOutlastsTimetable = schedule.GetManualLock() != 0;
    /* A new timetable is no change of the timetable's state: the teacher's hand still stands. */
    m_TimetableWhenTeacherActed = TimetableLocked(time(nullptr) + m_Offset);
    Evaluate();
}

void CLockState::TeacherLock(int mode)
{
    if (mode < 0 || mode > 2 || mode == m_Teacher)
        return; /* the broker hands the teacher's standing state again after every reconnection */
    m_Teacher = mode;
    m_TeacherSpent = false;
    m_TimetableWhenTeacherActed = TimetableLocked(time(nullptr) + m_Offset);
    CKELLog::WriteLine(std::string("Lock state: the teacher ") +
                           (mode == 1 ? "locked" : mode == 2 ? "unlocked" : "lifted the lock by hand"),
                       1, "", false);
    Evaluate();
}

void CLockState::SetClockOffset(gint64 offset)
{
    m_Offset = offset;
    Evaluate();
}

bool CLockState::TimetableLocked(time_t t) const
{
    if (!m_AutoLock)
        return false;
    struct tm local;
    if (!localtime_r(&t, &local))
        return false;
    return m_Grid[(local.tm_wday + 6) % 7][local.tm_hour];
}

time_t CLockState::NextChange(time_t t) const
{
    if (!m_AutoLock)
        return 0;
    const bool now = TimetableLocked(t);
    /* Walking the wall clock, not the local one: a day of 23 or 25 hours needs no case of its own. */
    for (time_t c = (t / QUARTER + 1) * QUARTER; c <= t + WEEK_AND_A_DAY; c += QUARTER)
        if (TimetableLocked(c) != now)
            return c;
    return 0;
}

void CLockState::Evaluate()
{
    tzset(); /* a zone changed since the last change is followed too */
    const time_t now = time(nullptr) + m_Offset;
    const bool timetable = TimetableLocked(now);
    /* A hand that does not outlast the timetable yields at the timetable's next change. */
    if (m_Teacher != 0 && !m_TeacherSpent && !m_HandOutlastsTimetable && timetable != m_TimetableWhenTeacherActed)
        m_TeacherSpent = true;
    const bool teacher = m_Teacher != 0 && !m_TeacherSpent;
    LockState next;
    const time_t change = NextChange(now);
    if (teacher) {
        next.locked = m_Teacher == 1;
    } else {
        next.locked = timetable;
        next.byTimetable = timetable;
        next.until = timetable ? change : 0;
    }
    /* Nothing to wait for when the timetable cannot change anything. */
    Arm(teacher && m_HandOutlastsTimetable ? 0 : change);
    if (next == m_State)
        return;
    m_State = next;
    CKELLog::WriteLine(std::string("Lock state: ") +
                           (next.locked ? (next.byTimetable ? "locked by the timetable" : "locked by the teacher")
                                        : "unlocked"),
                       1, "", false);
    m_Changed(m_State);
}

void CLockState::Arm(time_t wallTime)
{
    if (m_TimerFd < 0)
        return;
    struct itimerspec spec;
    memset(&spec, 0, sizeof(spec));
    /* Zero disarms. Setting the clock by hand cancels an armed timer: it wakes and is armed anew. */
    spec.it_value.tv_sec = wallTime ? std::max<time_t>(1, wallTime - m_Offset) : 0;
    if (timerfd_settime(m_TimerFd, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &spec, nullptr) != 0)
        CKELLog::WriteLine(std::string("Lock state: cannot arm the timer: ") + strerror(errno), 2, "", false);
}

gboolean CLockState::OnTimer(gint fd, GIOCondition, gpointer data)
{
    uint64_t expirations = 0;
    /* ECANCELED: the clock was set; EAGAIN: nothing after all. Either way look at the clock. */
    if (read(fd, &expirations, sizeof(expirations)) < 0 && errno == EAGAIN)
        return G_SOURCE_CONTINUE;
    static_cast<CLockState*>(data)->Evaluate();
    return G_SOURCE_CONTINUE;
}

} // namespace KelService
