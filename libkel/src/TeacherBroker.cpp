/* The teacher side of the classroom: the students' presence, class searches and policy deployment
 * through the classroom broker. */
#include "TeacherBroker.h"

#include "BrokerClient.h"

#include "KELData.h"
#include "KELLog.h"

#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <thread>

namespace IPCAPI {

namespace {

/* Larger answers are dropped: a class of notebooks finds a few thousand programs at most. */
const size_t MAX_PAYLOAD = 8 * 1024 * 1024;

bool IsPolicyKind(const std::string& kind)
{
    return kind == POLICY_TABNAV || kind == POLICY_SCHEDULE;
}

} // namespace

CBrokerTeacherService::CBrokerTeacherService()
    : m_Session(nullptr)
    , m_Token(RandomToken())
    , m_Connected(false)
    , m_Synced(false)
    , m_State(IPC_ERR_NOT_CONNECTED)
    , m_StateReason("not connected to the classroom broker yet")
    , m_FailuresInRow(0)
    , m_RollCalling(false)
    , m_LastListed(-1)
    , m_Counter(0)
    , m_Asked(false)
    , m_Class([this](const CTeacherClass::LinkFn& f) { ForEachLink(f); })
{
}

bool CBrokerTeacherService::StartSession(int& err)
{
    /* Once the session runs (it is never taken down), without the start's lock: windows ask
     * while holding the GDK lock, which the session's thread takes for callbacks while it holds
     * the library's own lock, which setting a session up takes under the start's lock. */
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_Session)
            return true;
    }
    /* Without m_Mutex: the library's callbacks take it while holding a lock of the library that
     * setting them up takes too. */
    std::lock_guard<std::mutex> start(m_StartMutex);
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_Session)
            return true;
    }
    std::string reason;
    ClassroomSettings settings;
    /* Asked again on the next call: the classroom may be set up meanwhile. */
    err = IPC_ERR_NOT_CONNECTED;
    mosquitto* session = nullptr;
    const bool configured = ClassroomSettings::Load(ClassroomSettings::DefaultFile(), settings, reason);
    /* The teachers' programs share the login and enter by a port of their own, where the broker
     * keeps their ids as given: the console and every command need one of their own (the host
     * too, for a teacher's settings on two machines). */
    const std::string clientId =
        "kel-teacher-" + settings.user + "-" + g_get_host_name() + "-" + std::to_string(getpid());
    if (configured) {
        session = NewClassroomSession(settings, clientId, this, reason);
        err = IPC_ERR_NOT_RUNNING;
    }
    if (!session) {
        if (!configured)
            m_Class.NotConfigured(reason, err);
        std::lock_guard<std::mutex> lock(m_Mutex);
        SetState(err, reason);
        return false;
    }
    m_Class.Prepare(session, settings);
    Broker().connect_callback_set(session, OnConnect);
    Broker().disconnect_callback_set(session, OnDisconnect);
    Broker().message_callback_set(session, OnMessage);
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Settings = settings;
        m_Session = session;
    }
    /* Its thread connects again by itself, now or after a failure; never stopped, as the
     * service lives as long as the process. */
    if (!m_Loop.Start(session, settings, [this](const std::string& why) { Failed(why); }, reason)) {
        ClassroomFail(reason);
        err = IPC_ERR_NOT_RUNNING;
        return false;
    }
    std::thread([this] { DeadlineLoop(); }).detach();
    return true;
}

int CBrokerTeacherService::WaitReady(std::unique_lock<std::mutex>& lock)
{
    int err = IPC_OK;
    lock.unlock();
    bool started = StartSession(err);
    lock.lock();
    if (!started)
        return err;
    /* Until connected and every kept "online" answered the roll call or was dropped, or
     * every broker failed once. */
    size_t brokers = m_Settings.brokers.size();
    auto until = Clock::now() + std::chrono::milliseconds(m_Settings.connectTimeoutMs);
    auto confirmed = [this] {
        for (const auto& student : m_Online)
            if (!student.second)
                return false;
        return true;
    };
    m_Changed.wait_until(lock, until, [&] { return (m_Synced && confirmed()) || m_FailuresInRow >= brokers; });
    /* A roll call ends by itself, a bounded time after the connection. */
    if (m_Synced && m_RollCalling)
        m_Changed.wait_until(lock, m_RollCallEnd + std::chrono::milliseconds(100),
                             [&] { return confirmed() || !m_RollCalling; });
    if (m_Synced)
        return IPC_OK;
    if (m_State == IPC_OK || m_State == IPC_ERR_NOT_CONNECTED)
        SetState(IPC_ERR_NOT_RUNNING, "the classroom broker " + m_Loop.Current().Name() + " did not answer in time");
    return m_State;
}

void CBrokerTeacherService::SetState(int err, const std::string& reason)
{
    if (err == m_State && reason == m_StateReason)
        return;
    /* The first connection is news only to a caller that follows the state (a console). */
    bool told = err != m_State && (m_Asked || !(m_State == IPC_ERR_NOT_CONNECTED && err == IPC_OK));
    m_State = err;
    m_StateReason = reason;
    m_Changed.notify_all();
    ClassroomFail(reason);
    /* Callers learn of a change through OnMessage, never on the session's thread; a failure
     * that only moves from one broker to the next is logged, not told again. */
    if (told)
        m_Work.Post([this, reason] { Tell(reason); });
}

void CBrokerTeacherService::Failed(const std::string& reason)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    ++m_FailuresInRow;
    SetState(IPC_ERR_NOT_RUNNING, reason);
}

void CBrokerTeacherService::Connected(int rc)
{
    m_Class.Connected(rc);
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (rc != 0) {
        ++m_FailuresInRow;
        SetState(IsCredentialRefusal(rc) ? IPC_ERR_NOT_ALLOWED : IPC_ERR_NOT_RUNNING,
                 RefusalText(m_Settings, m_Loop.Current(), rc));
        return;
    }
    m_Loop.Connected();
    m_Connected = true;
    m_FailuresInRow = 0;
    m_Synced = false;
    SetState(IPC_OK, "connected to the classroom broker " + m_Loop.Current().Name());
    /* The broker sends what it keeps again: the presence, the policies in force. */
    m_Online.clear();
    const std::string& cls = m_Settings.className;
    for (topic::Kind kind : {topic::PRESENCE, topic::POLICY, topic::SEARCH_ANSWER, topic::DEPLOY_ANSWER})
        Broker().subscribe(m_Session, NULL, topic::Filter(cls, kind).c_str(), 1);
    std::string sync = topic::Make(cls, topic::SYNC, m_Token);
    Broker().subscribe(m_Session, NULL, sync.c_str(), 1);
    /* Its echo comes after the retained messages of the subscriptions above. */
    m_SyncToken = std::to_string(++m_Counter);
    Publish(sync, m_SyncToken, false);
    /* A kept "online" may be of a notebook that vanished while the broker was down (its last
     * will then never came): whoever is there says so again, the rest are dropped. */
    ClassroomMessage call;
    call.fields["id"] = m_Token;
    Publish(topic::Make(cls, topic::ROLL_CALL), call.Encode(), false);
    m_RollCallEnd = Clock::now() + std::chrono::milliseconds(m_Settings.connectTimeoutMs);
    m_RollCalling = true;
    m_Changed.notify_all();
}

void CBrokerTeacherService::Disconnected(int rc)
{
    m_Class.Disconnected(rc);
    bool searching = false;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Synced = false;
        m_Connected = false;
        searching = m_Search && m_Search->phase == RemoteSearch::RUNNING;
        if (rc != 0 && m_State == IPC_OK)
            SetState(IPC_ERR_NOT_RUNNING, "lost the connection to the classroom broker " + m_Loop.Current().Name());
    }
    /* Students that cannot answer now are given up at the search's deadline. */
    if (rc != 0 && searching)
        m_Work.Post([this] {
            Tell("The connection to the classroom was lost; students that do not answer in time are given up.");
        });
}

void CBrokerTeacherService::Received(const mosquitto_message* message)
{
    if (!message->topic || message->payloadlen < 0 || static_cast<size_t>(message->payloadlen) > MAX_PAYLOAD)
        return;
    std::string payload(static_cast<const char*>(message->payload), static_cast<size_t>(message->payloadlen));
    std::lock_guard<std::mutex> order(m_PresenceOrder);
    topic::Parsed t;
    if (!topic::Parse(m_Settings.className, message->topic, t) || m_Class.Received(t, payload))
        return;
    ClassroomMessage decoded;
    bool readable = ClassroomMessage::Decode(payload, decoded);
    switch (t.kind) {
    case topic::SYNC: {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (t.word == m_Token && payload == m_SyncToken) {
            m_Synced = true;
            m_Changed.notify_all();
        }
        break;
    }
    case topic::PRESENCE:
        PresenceSaid(t.word, payload, message->retain);
        break;
    case topic::POLICY: {
        /* Ours are noted when sent: their echo may come after a newer one of ours. */
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (readable && IsPolicyKind(t.word) && !m_OwnDeploys.count(decoded.Get("id")))
            m_Deploys.Deployed(t.word, decoded.Get("id"));
        break;
    }
    case topic::SEARCH_ANSWER:
    case topic::DEPLOY_ANSWER: {
        std::string student = t.word;
        if (!readable)
            ClassroomFail("an unreadable answer from " + student);
        else if (t.kind == topic::SEARCH_ANSWER)
            m_Work.Post([this, student, decoded] { SearchAnswered(student, decoded); });
        else
            m_Work.Post([this, student, decoded] { DeployAnswered(student, decoded); });
        break;
    }
    default:
        break;
    }
}

void CBrokerTeacherService::PresenceSaid(const std::string& student, const std::string& payload, bool retained)
{
    ClassroomMessage said;
    std::string state = ClassroomMessage::Decode(payload, said) ? said.Get("state") : payload;
    bool online = state == "online";
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (online)
            m_Online[student] = m_Online[student] || !retained;
        else
            m_Online.erase(student);
        m_Changed.notify_all();
    }
    for (const char* kind : {POLICY_TABNAV, POLICY_SCHEDULE})
        if (online && !said.Get(kind).empty())
            m_Deploys.Holds(student, kind, said.Get(kind));
    if (!online)
        m_Work.Post([this, student] { StudentLeft(student); });
}

void CBrokerTeacherService::EndRollCall()
{
    m_RollCalling = false;
    m_Changed.notify_all();
    for (auto it = m_Online.begin(); it != m_Online.end();) {
        if (it->second) {
            ++it;
            continue;
        }
        std::string student = it->first;
        ClassroomFail("student " + student + " was kept as online but did not answer: offline");
        m_Work.Post([this, student] { Dropped(student); });
        it = m_Online.erase(it);
    }
}

void CBrokerTeacherService::Dropped(const std::string& student)
{
    {
        std::lock_guard<std::mutex> order(m_PresenceOrder);
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            if (m_Online.count(student))
                return;
        }
        /* As its last will would have said: the kept "online" is all the class heard of it. */
        topic::Parsed presence;
        presence.kind = topic::PRESENCE;
        presence.word = student;
        m_Class.Received(presence, "offline");
    }
    StudentLeft(student);
}

void CBrokerTeacherService::Tell(const std::string& text)
{
    ForEachLink([&](const std::shared_ptr<CCallbackLink>& link) { DeliverTeacherMessage(link, text); });
}

int CBrokerTeacherService::Publish(const std::string& name, const std::string& payload, bool retain)
{
    return Broker().publish(m_Session, NULL, name.c_str(), static_cast<int>(payload.size()), payload.data(), 1, retain);
}

int CBrokerTeacherService::RegisterCallBack(CTeacherAPICallbackBase* callback, int& err)
{
    err = callback ? IPC_OK : IPC_ERR_INVALID_ARGUMENT;
    if (!callback)
        return err;
    m_Callbacks.Add(callback->GetCallbackLink());
    /* Connects in the background, so that the class's presence is known when asked for. */
    int ignored = IPC_OK;
    struct stat st;
    if (stat(ClassroomSettings::DefaultFile().c_str(), &st) == 0)
        StartSession(ignored);
    return err;
}

int CBrokerTeacherService::GetStudentList(std::list<tagStudent_t>& students, int& err)
{
    students.clear();
    std::unique_lock<std::mutex> lock(m_Mutex);
    err = WaitReady(lock);
    if (err != IPC_OK)
        return err;
    std::map<std::string, bool> online = m_Online;
    lock.unlock();
    std::map<std::string, std::string> names = RosterNames();
    for (const auto& s : online)
        students.push_back(tagStudent_t{DisplayName(names, s.first), s.first});
    lock.lock();
    m_LastListed = static_cast<int>(students.size());
    return err;
}

void CBrokerTeacherService::DeployAnswered(const std::string& student, const ClassroomMessage& message)
{
    std::string kind = message.Get("kind");
    std::string result = PrintableText(message.Get("result"));
    if (result != "ok" && result.compare(0, 7, "error: ") != 0)
        result = "error: " + result;
    /* Only the first answer of a student to a deployment in force counts. */
    if (!IsPolicyKind(kind) || !m_Deploys.Answered(student, kind, message.Get("id"), result))
        return;
    std::string name = DisplayName(RosterNames(), student);
    if (result != "ok")
        ClassroomFail("student " + name + " did not take the " + kind + " policy: " + result);
    ForEachLink([&](const std::shared_ptr<CCallbackLink>& link) { DeliverDeployPolicy(link, kind, name, result); });
}

int CBrokerTeacherService::Deploy(LibKELData::CKELDataProvider& record, const char* kind, const std::string& xml,
                                  int& err)
{
    /* Only a policy the students can read leaves this machine. */
    if (xml.size() > MAX_PAYLOAD / 2)
        return err = IPC_ERR_TOO_LARGE;
    if (record.LoadFromString(xml) != 0)
        return err = IPC_ERR_PARSE;
    /* Never waits for the broker: a window calls this. */
    int started = IPC_OK;
    StartSession(started);
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (!m_Connected) {
        err = m_State != IPC_OK ? m_State : IPC_ERR_NOT_CONNECTED;
        ClassroomFail(std::string("the ") + kind + " policy was not deployed: " + m_StateReason);
        return err;
    }
    ClassroomMessage policy;
    policy.fields["id"] = m_Token + "-d" + std::to_string(++m_Counter);
    policy.body = xml;
    /* Retained, and kept by the broker across restarts: a notebook that is off now gets it
     * when it connects, whether this console still runs or not. */
    m_OwnDeploys.insert(policy.Get("id"));
    m_Deploys.Deployed(kind, policy.Get("id"));
    int rc = Publish(topic::Make(m_Settings.className, topic::POLICY, kind), policy.Encode(), true);
    if (rc != MOSQ_ERR_SUCCESS) {
        ClassroomFail(std::string("cannot deploy the ") + kind + " policy: " + Broker().strerror(rc));
        return err = IPC_ERR_NOT_RUNNING;
    }
    return err = IPC_OK;
}

int CBrokerTeacherService::DeployTabNavPolicy(const std::string& xml, int& err)
{
    LibKELData::CTabNavigationData record;
    return Deploy(record, POLICY_TABNAV, xml, err);
}

int CBrokerTeacherService::DeploySchedulePolicy(const std::string& xml, int& err)
{
    LibKELData::CLockScheduleData record;
    return Deploy(record, POLICY_SCHEDULE, xml, err);
}

int CBrokerTeacherService::GetConnectionState(std::string& reason, int& err)
{
    int started = IPC_OK;
    StartSession(started);
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Asked = true;
    reason = m_StateReason;
    return err = m_Connected ? IPC_OK : (m_State != IPC_OK ? m_State : IPC_ERR_NOT_CONNECTED);
}

int CBrokerTeacherService::GetClassState(std::list<tagStudentState_t>& students, int& err)
{
    int started = IPC_OK;
    StartSession(started);
    if (m_Class.ClassState(students, err) != IPC_OK)
        return err;
    for (tagStudentState_t& s : students)
        s.deploy = m_Deploys.State(s.machine, s.deployReason);
    return err;
}

namespace {
CBrokerTeacherService* g_Service = nullptr;
} // namespace

IPCTeacherAPI* LocalTeacherService()
{
    static IPCTeacherAPI* service = [] {
        g_Service = new CBrokerTeacherService;
        /* Registered after libkel's globals were made, so it runs before they are destroyed: a
         * merge or delivery still queued must not read them while the process exits. */
        std::atexit([] { g_Service->StopWork(); });
        return g_Service;
    }();
    return service;
}

} // namespace IPCAPI
