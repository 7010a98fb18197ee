/* What the teacher's console and the student services share over the classroom broker: the
 * settings file, the topic layout, the message format and the MQTT session set-up. */
#ifndef KEL_CLASSROOM_H
#define KEL_CLASSROOM_H

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

struct mosquitto;

namespace IPCAPI {

/* CONFIG_FILE_DIR + "classroom.conf", a key file:
 *   [classroom]
 *   host=teacher.school.lan   port=8883   class=5b
 *   ca=ca.crt                 (relative names are taken from the folder of the settings file)
 *   user=pc01                 password=...   (or password-file=NAME, its first line)
 *   answer-timeout=10         seconds a search waits for a silent student
 *   connect-timeout=3         seconds a call of the teacher's console waits for the broker */
struct ClassroomSettings {
    std::string host = "localhost";
    int port = 8883;
    std::string className;
    std::string caFile;
    std::string user;
    std::string password;
    int answerTimeoutMs = 10000;
    int connectTimeoutMs = 3000;

    static std::string DefaultFile();
    /* False with a reason when the file is missing or unusable. */
    static bool Load(const std::string& file, ClassroomSettings& settings, std::string& reason);
};

/* Topics, all below "kel/CLASS/":
 *   presence/STUDENT        student, retained: "online"; its last will "offline"
 *   request/search          teacher: id, folder (body); one request to the whole class
 *   request/cancel          teacher: id
 *   policy/tabnav           teacher, retained: id, policy XML (body)
 *   policy/schedule         teacher, retained: the same for the lock schedule
 *   answer/STUDENT/search   student: id, result; the programs found as search-result XML (body)
 *   answer/STUDENT/deploy   student: kind, id, result
 *   sync/CLIENT             teacher: echoed to itself to learn that the retained messages arrived
 * The broker's ACL lets a student write only its own presence and answers. */
namespace topic {
std::string Base(const std::string& cls);
std::string Presence(const std::string& cls, const std::string& student);
std::string SearchRequest(const std::string& cls);
std::string CancelRequest(const std::string& cls);
std::string Policy(const std::string& cls, const std::string& kind);
std::string Answer(const std::string& cls, const std::string& student, const std::string& what);
/* "kel/CLASS/A/B/C" split after the class: false when it is not below base. */
bool Split(const std::string& topic, const std::string& cls, std::string& a, std::string& b, std::string& c);
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

/* A session with TLS and the settings' credentials, and the library's reconnect pacing; the
 * caller sets its callbacks and connects. Null with a reason when it cannot be made. */
mosquitto* NewClassroomSession(const ClassroomSettings& settings, const std::string& clientId, void* owner,
                               std::string& reason);
/* Runs a session on a thread of its own, where its callbacks arrive: connects, and connects
 * again after every failure or loss (waiting 0.5 s, doubling up to 5 s, back to 0.5 s after a
 * successful connection), until Stop. */
class CSessionLoop {
public:
    CSessionLoop();
    ~CSessionLoop();
    bool Start(mosquitto* session, const std::string& host, int port, std::string& reason);
    /* From the connect callback: the broker took us. */
    void Connected() { m_Delay = FIRST_DELAY_MS; }
    /* Disconnects (what was published before goes out first) and waits for the thread. */
    void Stop();

private:
    enum { FIRST_DELAY_MS = 500, MAX_DELAY_MS = 5000 };
    void Run();

    mosquitto* m_Session;
    std::string m_Host;
    int m_Port;
    std::atomic<int> m_Delay;
    std::mutex m_Mutex;
    std::condition_variable m_Wake;
    bool m_Stop;
    std::thread m_Thread;

    CSessionLoop(const CSessionLoop&);
    CSessionLoop& operator=(const CSessionLoop&);
};

/* A text for a refused or failed connection. */
std::string ConnectFailure(int connackCode);
/* True when the broker refused the credentials (not a network fault). */
bool IsCredentialRefusal(int connackCode);

} // namespace IPCAPI

#endif
