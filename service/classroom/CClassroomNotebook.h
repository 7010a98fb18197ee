/* What the notebook does with the teacher's lock, unlock, notices and presence (topics in
 * libkel's Classroom.h), through the hooks into the notebook's own service; and the lock
 * state it tells the class. */
#ifndef KEL_CCLASSROOM_NOTEBOOK_H
#define KEL_CCLASSROOM_NOTEBOOK_H

#include "Classroom.h"

#include <functional>
#include <mutex>
#include <set>
#include <string>

struct mosquitto;

namespace KelService {

class CClassroomNotebook {
public:
    typedef std::function<void(const std::string& topic, const std::string& payload, bool retain)> PublishFn;

    CClassroomNotebook(const IPCAPI::ClassroomSettings& settings, PublishFn publish);
    ~CClassroomNotebook();
    /* Before the session goes: ClassroomLockStatusChanged no longer reaches this notebook. */
    void Detach();

    /* From the session's connect callback: subscribes, and tells the lock state. */
    void Connected(mosquitto* session);
    /* A message of the class, parsed against the topic table; true when it was the notebook's
     * (the teacher's lock, notices and presence). */
    bool Received(const IPCAPI::topic::Parsed& t, const IPCAPI::ClassroomMessage& message);
    /* Tells the class the lock state when it differs from what it was last told. */
    void LockStatusChanged(bool always = false);

private:
    void Lock(const IPCAPI::ClassroomMessage& message);
    void Notice(const IPCAPI::ClassroomMessage& message);

    IPCAPI::ClassroomSettings m_Settings;
    PublishFn m_Publish;
    std::mutex m_Mutex;
    long long m_LastLock;          /* id of the teacher's lock message acted on last */
    std::set<std::string> m_Shown; /* ids of notices shown */
    int m_Told;                    /* lock bits last told, -1 before the first */
    int m_Teacher;                 /* teacher online 1, offline 0, unknown -1 */

    CClassroomNotebook(const CClassroomNotebook&);
    CClassroomNotebook& operator=(const CClassroomNotebook&);
};

/* Call when the notebook's lock state changed (a timetable's edge): the teacher's console hears
 * of it at once. Does nothing without a classroom. */
void ClassroomLockStatusChanged();

} // namespace KelService

#endif
