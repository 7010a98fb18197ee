/* What the teacher's console and the student services share over the classroom broker: the
 * settings file, the topic table, the message format and the MQTT session set-up. */
#ifndef KEL_CLASSROOM_H
#define KEL_CLASSROOM_H

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct mosquitto;

namespace IPCAPI {

struct BrokerAddress {
    std::string host;
    int port = 8883;
    std::string Name() const { return host + ":" + std::to_string(port); }
};

/* CONFIG_FILE_DIR + "classroom.conf", a key file readable by its owner only (it holds the
 * machine's password):
 *   [classroom]
 *   host=a.school.lan,b.school.lan:8884   brokers tried in this order on every (re)connect;
 *   port=8883                             the port of those that name none
 *   class=5b
 *   ca=ca.crt                 (relative names are taken from the folder of the settings file)
 *   user=pc01                 password=...   (or password-file=NAME, its first line)
 *   answer-timeout=10         seconds a search waits for a silent student
 *   connect-timeout=3         seconds a call of the teacher's console waits for the broker */
struct ClassroomSettings {
    std::string file;
    std::vector<BrokerAddress> brokers;
    std::string host = "localhost"; /* the first broker */
    int port = 8883;
    std::string className;
    std::string caFile;
    std::string user;
    std::string password;
    int answerTimeoutMs = 10000;
    int connectTimeoutMs = 3000;

    static std::string DefaultFile();
    /* False with a reason naming the file and what to do when it is missing or unusable. */
    static bool Load(const std::string& file, ClassroomSettings& settings, std::string& reason);
};

/* The topics, all below "kel/CLASS/", in one table both sides build, parse and dispatch by.
 * "+" stands for a word the sender fills in (a student, a policy kind, a token). A new message
 * is a new row here and in PATTERNS.
 *   PRESENCE       presence/STUDENT   student, retained: "online" message (state, held policy
 *                                     ids); its last will "offline"
 *   SEARCH_REQUEST request/search     teacher: id, folder (body); to the whole class
 *   CANCEL_REQUEST request/cancel     teacher: id
 *   ROLL_CALL      request/rollcall   teacher: every student online says its presence again
 *   POLICY         policy/KIND        teacher, retained (kept across broker restarts): id, XML
 *   SEARCH_ANSWER  answer/STUDENT/search  student: id, result; programs as search-result XML
 *   DEPLOY_ANSWER  answer/STUDENT/deploy  student: kind, id, result
 *   SYNC           sync/TOKEN         teacher: echoed to itself, after the retained messages
 *   CLASS_LOCK     lock               teacher, retained: id (rising), mode=lock|unlock, teacher
 *   LOCK           lock/STUDENT       the same for one notebook; the newest id of both stands
 *   CLASS_NOTICE   notice             teacher, retained: id, time (seconds since 1970), teacher;
 *                                     the text (body)
 *   NOTICE         notice/STUDENT     the same for one notebook
 *   TEACHER        teacher            teacher, retained: state=online|offline, name; its last will
 *                                     offline
 *   STATE          state/STUDENT      student, retained: lock=STUDENT_LOCKED* bits of it now
 *   LOCK_ANSWER    answer/STUDENT/lock    student: id, mode, result ("ok" or "error: REASON")
 * The broker's ACL lets a student write only its own presence, state and answers. */
namespace topic {
enum Kind {
    PRESENCE, SEARCH_REQUEST, CANCEL_REQUEST, ROLL_CALL, POLICY, SEARCH_ANSWER, DEPLOY_ANSWER, SYNC,
    CLASS_LOCK, LOCK, CLASS_NOTICE, NOTICE, TEACHER, STATE, LOCK_ANSWER, KIND_COUNT
};

const char* Pattern(Kind kind);
std::string Base(const std::string& cls);
/* The topic with its "+" levels filled by word (and word2) in order. */
std::string Make(const std::string& cls, Kind kind, const std::string& word = "", const std::string& word2 = "");
/* The subscription for every topic of the kind. */
std::string Filter(const std::string& cls, Kind kind);
/* Which table entry a received topic is, with the words in its "+" levels. */
struct Parsed {
    Kind kind = KIND_COUNT;
    std::string word;
};
bool Parse(const std::string& cls, const std::string& topic, Parsed& parsed);

inline std::string Presence(const std::string& cls, const std::string& student) { return Make(cls, PRESENCE, student); }
/* what: "search", "deploy" or "lock". */
inline std::string Answer(const std::string& cls, const std::string& student, const std::string& what)
{
    return Make(cls, what == "deploy" ? DEPLOY_ANSWER : what == "lock" ? LOCK_ANSWER : SEARCH_ANSWER, student);
}
/* The teacher's lock and notices: to the whole class when student is empty. */
inline std::string Lock(const std::string& cls, const std::string& student)
{
    return student.empty() ? Make(cls, CLASS_LOCK) : Make(cls, LOCK, student);
}
inline std::string Notice(const std::string& cls, const std::string& student)
{
    return student.empty() ? Make(cls, CLASS_NOTICE) : Make(cls, NOTICE, student);
}
} // namespace topic

const char* const POLICY_TABNAV = "tabnav";
const char* const POLICY_SCHEDULE = "schedule";

/* A message: "key=value" lines, an empty line, then the body. Values hold no line breaks. */
struct ClassroomMessage {
    std::map<std::string, std::string> fields;
    std::string body;

    std::string Encode() const;
    static bool Decode(const std::string& payload, ClassroomMessage& message);
    std::string Get(const std::string& key) const;
};

/* Text from another machine made fit for a terminal, a log line and a label: controls,
 * direction overrides and broken UTF-8 become "?", and it is cut at max bytes. */
std::string PrintableText(const std::string& text, size_t max = 1024);

/* A random token (hex) no other machine can guess: the teacher's request and deploy ids. */
std::string RandomToken();

/* A failure on either side of the classroom, logged as an error. */
void ClassroomFail(const std::string& text);

/* A session with TLS and the settings' credentials; the caller sets its callbacks and
 * connects. Null with a reason when it cannot be made. */
mosquitto* NewClassroomSession(const ClassroomSettings& settings, const std::string& clientId, void* owner,
                               std::string& reason);

/* Runs a session on a thread of its own, where its callbacks arrive: connects to the first
 * broker that takes it, in the settings' order, and again after every failure or loss from the
 * first one on (a round of failures waits 0.5 s, doubling up to 5 s, back to 0.5 s after a
 * successful connection), until Stop. */
class CSessionLoop {
public:
    /* A broker that could not be reached, with why, from the session's thread. */
    typedef std::function<void(const std::string& reason)> FailureFn;

    CSessionLoop();
    ~CSessionLoop();
    bool Start(mosquitto* session, const ClassroomSettings& settings, FailureFn failed, std::string& reason);
    /* From the connect callback: the broker took us. */
    void Connected() { m_Delay = FIRST_DELAY_MS; m_Established = true; }
    /* The broker tried or used last. */
    BrokerAddress Current() const;
    /* Disconnects (what was published before goes out first) and waits for the thread. */
    void Stop();

private:
    enum { FIRST_DELAY_MS = 500, MAX_DELAY_MS = 5000 };
    void Run();
    bool Stopping();

    mosquitto* m_Session;
    ClassroomSettings m_Settings;
    FailureFn m_Failed;
    std::atomic<int> m_Delay;
    std::atomic<bool> m_Established;
    std::atomic<size_t> m_Current;
    mutable std::mutex m_Mutex;
    std::condition_variable m_Wake;
    bool m_Stop;
    std::thread m_Thread;

    CSessionLoop(const CSessionLoop&);
    CSessionLoop& operator=(const CSessionLoop&);
};

/* Work handed off by a session's callbacks, which must not block the session's thread: run in
 * order on a thread of its own, started on the first job. */
class CJobQueue {
public:
    CJobQueue() {}
    ~CJobQueue() { Stop(); }
    void Post(std::function<void()> job);
    /* Drops what has not started and waits for the running job. */
    void Stop();

private:
    void Run();
    std::mutex m_Mutex;
    std::condition_variable m_Wake;
    std::deque<std::function<void()> > m_Jobs;
    bool m_Stop = false;
    std::thread m_Thread;

    CJobQueue(const CJobQueue&);
    CJobQueue& operator=(const CJobQueue&);
};

/* Why a connection failed, naming the broker (and the settings or CA file where they are the
 * cause). rc is the client library's code, err the errno it left. */
std::string ConnectionFailure(const ClassroomSettings& settings, const BrokerAddress& broker, int rc, int err);
/* The broker's refusal (CONNACK code) in plain words. */
std::string RefusalText(const ClassroomSettings& settings, const BrokerAddress& broker, int connackCode);
/* True when the broker refused the credentials (not a network fault). */
bool IsCredentialRefusal(int connackCode);

} // namespace IPCAPI

#endif
