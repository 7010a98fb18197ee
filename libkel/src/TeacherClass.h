/* The teacher console's view of its class: who is on the roster, who is online and locked, who
 * is new today; and the teacher's lock, unlock and notices, kept by the broker for notebooks
 * that are off. Fed by the teacher's broker session, which parses each message against the
 * topic table (Classroom.h: LOCK, NOTICE, TEACHER, STATE, LOCK_ANSWER, ...) and hands it here. */
#ifndef KEL_TEACHER_CLASS_H
#define KEL_TEACHER_CLASS_H

#include "Classroom.h"
#include "IPCAPI.h"

#include <condition_variable>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

struct mosquitto;

namespace IPCAPI {

/* Notices older than this are not shown to a notebook that comes online later. */
const long long NOTICE_LIFETIME_S = 2 * 3600;
/* A notice's text is at most this long (bytes, UTF-8). */
const size_t NOTICE_MAX = 4096;

class CTeacherClass {
public:
    typedef std::function<void(const std::shared_ptr<CCallbackLink>&)> LinkFn;
    /* Calls its argument for every registered callback link, as the broker session delivers. */
    typedef std::function<void(const LinkFn&)> EachLink;

    explicit CTeacherClass(EachLink each);

    /* Before the session first connects: its last will, the roster and its watch. */
    void Prepare(mosquitto* session, const ClassroomSettings& settings);
    /* The session's connect and disconnect callbacks (on its thread). */
    void Connected(int rc);
    void Disconnected(int rc);
    /* A message of the class; true when it was this class's alone (a presence is the
     * session's too). */
    bool Received(const topic::Parsed& t, const std::string& payload);

    /* With the session connected. */
    int Lock(const std::list<std::string>& machines, bool lock, int& err);
    int Notice(const std::list<std::string>& machines, const std::string& text, int& err);
    /* Need no connection: the roster is known without one. */
    int ClassState(std::list<tagStudentState_t>& students, int& err);
    int ConnectionState(std::string& reason, int& err);
    /* Why the session is not set up (no or unusable settings); called instead of Prepare. */
    void NotConfigured(const std::string& reason, int err);

    /* Re-reads the roster and tells what changed (also called by the roster's watch). */
    void RosterChanged(bool tell = true);

private:
    /* Under m_Mutex: the id of the next lock or notice. */
    long long NextId();
    struct Student {
        int status = 0;       /* STUDENT_* bits */
        bool online = false;
        int lockBits = 0;     /* of its state message, shown while online */
        bool toldNew = false; /* NewStudentCallBack given in this run */
        std::string answered; /* id of the last lock answer delivered */
    };

    void Deliver(const std::string& what, const std::string& student, const std::string& result, int status);
    /* Under m_Mutex: the new status, and whether it changed. */
    static bool Restate(Student& s);
    void Publish(const std::string& topic, const std::string& payload);
    /* Under m_Mutex. */
    bool FirstSeenToday(const std::string& machine);
    /* Until the broker echoed a message sent after what was published before (bounded):
     * then it holds what was published. With m_Mutex held by lock. */
    bool Flush(std::unique_lock<std::mutex>& lock);
    void StartRosterWatch();

    EachLink m_Each;
    std::mutex m_Mutex;
    mosquitto* m_Session;
    ClassroomSettings m_Settings;
    bool m_Prepared;
    int m_State;             /* IPC_OK when connected, else why not */
    std::string m_Reason;
    std::vector<std::pair<std::string, std::string> > m_Roster; /* machine, name; file order */
    std::map<std::string, Student> m_Students;                   /* every machine seen or listed */
    std::map<std::string, std::string> m_Retained;               /* topic -> what this console published */
    long long m_LastId;
    const std::string m_SyncToken; /* its echo topic: a random token, not the client id */
    long long m_Flushed; /* the last echo heard */
    std::condition_variable m_Echo;
    bool m_Asked; /* someone asked for the connection state: every change is news */
    std::string m_SeenFile;
    std::map<std::string, std::string> m_Seen; /* machine -> day last seen */
};

} // namespace IPCAPI

#endif
