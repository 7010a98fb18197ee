/* Classroom IPC: the student-side and teacher-side APIs, their callback bases, and the
 * local service that answers them on this machine. */
#ifndef KEL_IPCAPI_H
#define KEL_IPCAPI_H

#include <list>
#include <memory>
#include <string>

#include "KELExport.h"

namespace IPCAPI {

/* Error codes left in the int& out-parameters (0 = no error). Positive: the operation is
 * no longer running or never was; negative: the request itself failed. */
enum {
    IPC_OK = 0,
    IPC_ERR_NO_SUCH_OPERATION = 1, /* cancel of an operation that is not running */
    IPC_ERR_INVALID_ARGUMENT = -1, /* empty or unusable path, null callback */
    IPC_ERR_BUSY = -2,             /* another search is running; or, from a cancel, the search is
                                      writing or delivering an answer right now: try again */
    IPC_ERR_PARSE = -3,            /* policy text is not a valid policy */
    IPC_ERR_SAVE = -4,             /* the policy file could not be written */
    IPC_ERR_NOT_CONNECTED = -5,
    IPC_ERR_NOT_RUNNING = -6,      /* the policy service (or the classroom broker) cannot be reached */
    IPC_ERR_NOT_ALLOWED = -7,      /* the service or broker refused the caller (rights, credentials) */
    IPC_ERR_TOO_LARGE = -8,        /* the policy text is larger than a policy file may be */
    IPC_ERR_AUTH_NEEDED = -9       /* the caller must authenticate first, and did not allow the
                                      service to ask for it (or no agent could) */
};

/* The result text of SearchLocalProgramCallBack and of SearchProgramCallBack for one student:
 *   "found N, new M"  the search ended; N programs found, M of them new in the result file;
 *   "error: REASON"   the search failed; nothing changed. REASON is one of the codes below,
 *                     followed by a blank and its parameter where it has one (a folder); the
 *                     windows translate it. Older peers sent plain words, shown as they came. */
static const char* const SEARCH_ERR_FOLDER = "folder-unreadable";     /* [folder] cannot be opened */
static const char* const SEARCH_ERR_FAILED = "search-failed";         /* the walk broke off */
static const char* const SEARCH_ERR_TIMEOUT = "search-too-long";      /* the walk passed its time limit */
static const char* const SEARCH_ERR_SAVE = "results-unsaved";         /* the result file cannot be written */
static const char* const SEARCH_ERR_ANSWER = "answer-unreadable";     /* a student's list cannot be read */
static const char* const SEARCH_ERR_SEND = "results-unsent";          /* a student cannot send its list */

/* "found N, new M" may go on with ", skipped K CODE L": K desktop entries offered no program,
 * L of them for CODE, the most frequent reason (older peers send no such part). */
static const char* const SEARCH_SKIP_NOT_INSTALLED = "not-installed";   /* the program is missing */
static const char* const SEARCH_SKIP_OTHER_DESKTOP = "other-desktop";   /* OnlyShowIn, NotShowIn */
static const char* const SEARCH_SKIP_HIDDEN = "hidden";                 /* Hidden, NoDisplay */
static const char* const SEARCH_SKIP_TERMINAL = "terminal";             /* Terminal=true */
static const char* const SEARCH_SKIP_NOT_APPLICATION = "not-application"; /* a link or a folder */
static const char* const SEARCH_SKIP_UNREADABLE = "unreadable";         /* damaged or unstorable */

/* An empty student name in SearchProgramCallBack ends the whole remote search; the local
 * service never sends it as a student's answer. */

struct tagStudent_t {
    std::string name;
    std::string address;
};

/* NotifyStudentStatusChanged's status: bits of what the student's notebook tells now. */
enum {
    STUDENT_ONLINE = 1,
    STUDENT_LOCKED = 2,               /* the notebook's screen is locked now */
    STUDENT_LOCKED_BY_TIMETABLE = 4   /* ... by its lock timetable (else by the teacher) */
};

/* What the teacher's side knows of one student: every roster entry, and every notebook that
 * connected without being on the roster. */
struct tagStudentState_t {
    enum Deploy { DEPLOY_NONE = 0, DEPLOY_CURRENT = 1, DEPLOY_OUTDATED = 2, DEPLOY_FAILED = 3 };
    std::string name;    /* the roster's name, else the machine */
    std::string machine; /* the machine's classroom id */
    bool onRoster = false;
    int status = 0;      /* STUDENT_* bits */
    int deploy = DEPLOY_NONE; /* whether it holds the policy last deployed */
    std::string deployReason; /* why, when DEPLOY_FAILED */
};

class CCallbackLink;
class CStudentAPICallbackBase;
class CTeacherAPICallbackBase;

/* Student side: the local administrator tool talking to this machine's service. */
class KEL_EXPORT IPCStudentAPI {
public:
    virtual ~IPCStudentAPI() {}
    virtual int RegisterCallBack(CStudentAPICallbackBase* callback, int& err) = 0;
    /* Starts a search of the folder and returns at once; op receives the operation number. */
    virtual int SearchLocalProgram(const std::string& path, int& op, int clear) = 0;
    virtual int CancelOperation(int op, int& err) = 0;
    virtual int SaveLocalSchedulePolicy(const std::string& xml, int& err) = 0;
    virtual int SaveLocalTabNavPolicy(const std::string& xml, int& err) = 0;
    virtual int HardWareControl(const std::string& xml, int& err) = 0;
};

/* Teacher side: the teacher's console talking to the students of its class through the
 * classroom broker (settings in CONFIG_FILE_DIR + "classroom.conf"; without them no student
 * is online and the calls fail with IPC_ERR_NOT_CONNECTED). */
class KEL_EXPORT IPCTeacherAPI {
public:
    virtual ~IPCTeacherAPI() {}
    virtual int RegisterCallBack(CTeacherAPICallbackBase* callback, int& err) = 0;
    /* The students online now: name is the roster's name where it knows the student (else
     * the student's id), address the student's id. */
    virtual int GetStudentList(std::list<tagStudent_t>& students, int& err) = 0;
    /* One SearchProgramCallBack per answering student ("found N, new M" or "error: REASON"),
     * after its programs were merged into the search-result file. When some student did not
     * answer (offline, or silent past the deadline), an end marker (empty student) follows. */
    virtual int SearchProgram(const std::string& path, int& op, int clear) = 0;
    virtual int CancelOperation(int op, int& err) = 0;
    /* Hands a policy to the whole class, kept by the broker for students that connect later;
     * each student answers through DeployTabNavPolicyCallBack / DeploySchedulePolicyCallBack
     * with "ok" or "error: REASON". */
    virtual int DeployTabNavPolicy(const std::string& /*xml*/, int& err)
    {
        err = IPC_ERR_NOT_CONNECTED;
        return err;
    }
    virtual int DeploySchedulePolicy(const std::string& /*xml*/, int& err)
    {
        err = IPC_ERR_NOT_CONNECTED;
        return err;
    }
    /* Locks or unlocks the named students (machines), or the whole class when the list is
     * empty; kept by the broker for notebooks that are offline. Each notebook answers through
     * ManualLockRemotStudentCallBack / ManualUnLockRemotStudentCallBack ("ok" or
     * "error: REASON"), once per call, when it acted (an offline one when it comes online).
     * An unlock lifts the teacher's lock; over a lock of the timetable it unlocks by hand.
     * The student of these callbacks, of NotifyStudentStatusChanged, NewStudentCallBack and
     * NotifyStudentInfoChanged is the machine's classroom id. */
    virtual int LockStudents(const std::list<std::string>& /*machines*/, int& err)
    {
        err = IPC_ERR_NOT_CONNECTED;
        return err;
    }
    virtual int UnlockStudents(const std::list<std::string>& /*machines*/, int& err)
    {
        err = IPC_ERR_NOT_CONNECTED;
        return err;
    }
    /* A notice shown on the named notebooks (the whole class when the list is empty). */
    virtual int SendNotice(const std::list<std::string>& /*machines*/, const std::string& /*text*/, int& err)
    {
        err = IPC_ERR_NOT_CONNECTED;
        return err;
    }
    /* Every student of the roster and every unknown notebook seen, with their state. */
    virtual int GetClassState(std::list<tagStudentState_t>& /*students*/, int& err)
    {
        err = IPC_ERR_NOT_CONNECTED;
        return err;
    }
    /* The teacher's own link to the broker: 0 when connected, else an IPC error code, with
     * the reason in plain words. A change is told through OnMessage. */
    virtual int GetConnectionState(std::string& reason, int& err)
    {
        reason = "not connected";
        err = IPC_ERR_NOT_CONNECTED;
        return err;
    }
};

/* The API objects that newly constructed callback objects get. By default the student side
 * is a client of the policy service on the D-Bus system bus (kel-service; IPC_ERR_NOT_RUNNING
 * when it cannot be reached, IPC_ERR_NOT_ALLOWED when it refuses the caller) and the teacher
 * side a client of the classroom broker; tests may put a scripted service in their place (null restores
 * the default). The caller keeps ownership of what it installs. */
KEL_EXPORT IPCStudentAPI* GetStudentAPI();
KEL_EXPORT IPCTeacherAPI* GetTeacherAPI();
KEL_EXPORT void SetStudentAPI(IPCStudentAPI* api);
KEL_EXPORT void SetTeacherAPI(IPCTeacherAPI* api);

/* Shared between a callback object and the services that call it, so that no callback
 * reaches an object that is being destroyed. Services deliver through Deliver*. */
class KEL_EXPORT CCallbackLink {
public:
    /* Which callback base the target is, so that a delivery never calls the wrong table. */
    enum Side { SIDE_NONE = 0, SIDE_STUDENT = 1, SIDE_TEACHER = 2 };

    CCallbackLink();
    ~CCallbackLink();

    /* Counts a call in flight while it runs; false (and no call) once detached. */
    bool BeginCall();
    void EndCall();
    void* Target() const;
    void SetTarget(void* target);
    void SetTarget(void* target, Side side);
    Side GetSide() const;

    /* Stops new calls and waits for those in flight, except those that wait for the GDK
     * lock in EnterGdk (they give up when they get it). */
    void Detach();
    bool IsDetached() const;

    /* Wait for the GDK lock from a callback; false when the object was detached while
     * waiting (the lock is then not held). Callbacks take the lock only this way: a plain
     * gdk_threads_enter inside a counted call can deadlock against a destructor that runs
     * on the main thread with the lock held. */
    bool EnterGdk();

private:
    struct Impl;
    Impl* m_pImpl;
    CCallbackLink(const CCallbackLink&);
    CCallbackLink& operator=(const CCallbackLink&);
};

/* Callback slots in the order of the student-side protocol. */
class KEL_EXPORT CStudentAPICallbackBase {
public:
    CStudentAPICallbackBase();

    virtual void ConnectTeacherCallBack(std::string /*teacher*/, std::string /*result*/) {}
    virtual void SearchTeacherCallBack(std::string /*teacher*/, std::string /*result*/) {}
    /* The notebook's lock changed: STUDENT_LOCKED* bits (0 unlocked). */
    virtual void NotifyLockStatusChanged(int /*status*/) {}
    virtual void NotifyTabNavPolicyChanged(std::string /*xml*/) {}
    virtual void NotifySchedulePolicyChanged(std::string /*xml*/) {}
    /* status 1: the teacher's console connected; 0: it left. */
    virtual void NotifyTeacherStatusChanged(std::string /*teacher*/, int /*status*/) {}
    virtual void SearchLocalProgramCallBack(std::string /*result*/) {}
    virtual void OnMessage(std::string /*message*/) {}
    virtual void NotifyTeacherNameChanged(std::string /*name*/) {}
    virtual void PopNotifyCallback(std::string /*text*/) {}

    /* Unregisters (DetachCallBacks) and waits for a callback already running. */
    virtual ~CStudentAPICallbackBase();

    /* The API this object calls; never deleted by the caller. Null when none is available. */
    IPCStudentAPI* GetStudentAPIObject() const { return m_pStudentAPI; }
    const std::shared_ptr<CCallbackLink>& GetCallbackLink() const { return m_Link; }

protected:
    /* The most-derived destructor calls this first, before its members die. */
    void DetachCallBacks();
    /* gdk_threads_enter for a callback: false when the object is being destroyed meanwhile;
     * then the lock is not held and the callback must return without touching the object. */
    bool EnterGdkForCallBack();

    IPCStudentAPI* m_pStudentAPI;

private:
    std::shared_ptr<CCallbackLink> m_Link;
    CStudentAPICallbackBase(const CStudentAPICallbackBase&);
    CStudentAPICallbackBase& operator=(const CStudentAPICallbackBase&);
};

/* Callback slots in the order of the teacher-side protocol. */
class KEL_EXPORT CTeacherAPICallbackBase {
public:
    CTeacherAPICallbackBase();

    /* One call per answering student; an empty student ends the whole search. */
    virtual void SearchProgramCallBack(std::string /*student*/, std::string /*result*/) {}
    virtual void ManualLockRemotStudentCallBack(std::string /*student*/, std::string /*result*/) {}
    virtual void ManualUnLockRemotStudentCallBack(std::string /*student*/, std::string /*result*/) {}
    virtual void KickOffStudentCallBack(std::string /*student*/, std::string /*result*/) {}
    virtual void NotifyStudentStatusChanged(std::string /*student*/, int /*status*/) {}
    virtual void DeployTabNavPolicyCallBack(std::string /*student*/, std::string /*result*/) {}
    virtual void DeploySchedulePolicyCallBack(std::string /*student*/, std::string /*result*/) {}
    virtual void NewStudentCallBack(std::string /*student*/) {}
    virtual void OnMessage(std::string /*message*/) {}
    virtual void NotifyStudentInfoChanged(std::string /*student*/) {}

    virtual ~CTeacherAPICallbackBase();

    IPCTeacherAPI* GetTeacherAPIObject() const { return m_pTeacherAPI; }
    const std::shared_ptr<CCallbackLink>& GetCallbackLink() const { return m_Link; }

protected:
    void DetachCallBacks();
    bool EnterGdkForCallBack();

    IPCTeacherAPI* m_pTeacherAPI;

private:
    std::shared_ptr<CCallbackLink> m_Link;
    CTeacherAPICallbackBase(const CTeacherAPICallbackBase&);
    CTeacherAPICallbackBase& operator=(const CTeacherAPICallbackBase&);
};

/* Delivery helpers for services (also scripted test services): call from a thread other
 * than the GTK main thread (a callback takes the GDK lock, which is not recursive).
 * Return false, calling nothing, when the object is gone or the link is of the other side. */
KEL_EXPORT bool DeliverSearchLocalProgram(const std::shared_ptr<CCallbackLink>& link, const std::string& result);
KEL_EXPORT bool DeliverSearchProgram(const std::shared_ptr<CCallbackLink>& link, const std::string& student,
                          const std::string& result);
/* kind: "tabnav" or "schedule". */
KEL_EXPORT bool DeliverDeployPolicy(const std::shared_ptr<CCallbackLink>& link, const std::string& kind,
                         const std::string& student, const std::string& result);
KEL_EXPORT bool DeliverTeacherMessage(const std::shared_ptr<CCallbackLink>& link, const std::string& message);
/* The class's own events, by what: "lock" / "unlock" (a notebook's answer, result), "status"
 * (NotifyStudentStatusChanged with status), "new" (NewStudentCallBack), "info"
 * (NotifyStudentInfoChanged). student is the machine's classroom id. */
KEL_EXPORT bool DeliverStudentEvent(const std::shared_ptr<CCallbackLink>& link, const std::string& what,
                                    const std::string& student, const std::string& result, int status);

} // namespace IPCAPI

#endif
