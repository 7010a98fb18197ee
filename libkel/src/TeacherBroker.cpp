/* The teacher side of the classroom: the students' presence, class searches and policy deployment
 * through the classroom broker. */
#include "BrokerClient.h"
#include "Classroom.h"
#include "LocalService.h"
#include "TeacherClass.h"

#include "KELPaths.h"
#include "KELData.h"
#include "KELLog.h"

#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <thread>

using LibKELData::CApplicationInfo;
using LibKELData::CKELLog;
using LibKELData::CSearchResultData;

namespace IPCAPI {

namespace {

typedef std::chrono::steady_clock Clock;

/* Larger answers are dropped: a class of notebooks finds a few thousand programs at most. */
const size_t MAX_PAYLOAD = 8 * 1024 * 1024;

void Fail(const std::string& text)
{
    CKELLog::WriteLine("Classroom: " + text, 2, "", false);
}

/* Roster names by student id (the roster's address, or its name when that is the id). */
std::map<std::string, std::string> RosterNames()
{
    std::map<std::string, std::string> names;
    std::string file = LibKELData::CONFIG_FILE_DIR + LibKELData::STUDENT_INFO;
    struct stat st;
    LibKELData::CStudentInfoData roster;
    if (stat(file.c_str(), &st) != 0 || roster.LoadFromFile(file) != 0)
        return names;
    for (const auto& s : roster.GetStudents()) {
        if (!s.address.empty() && !s.name.empty())
            names[s.address] = s.name;
        if (!s.name.empty())
            names.emplace(s.name, s.name);
    }
    return names;
}

std::string DisplayName(const std::map<std::string, std::string>& names, const std::string& id)
{
    auto it = names.find(id);
    return it == names.end() ? id : it->second;
}

/* One class search. Its fields are guarded by the service's mutex; m_Deliver is held by the thread
 * that merges and delivers, so that a cancel never succeeds while an answer is on its way. */
struct RemoteSearch {
    enum Phase { RUNNING, CANCELLED, DONE };
    int op = 0;
    std::string id;
    int clear = 0;
    Phase phase = RUNNING;
    std::set<std::string> waiting;
    std::vector<std::string> givenUp;
    std::map<std::string, std::string> names;
    int answered = 0;
    int listed = -1; /* students the caller was last told were online */
    std::set<std::string> mergedPaths; /* in the result file since this search began */
    std::map<std::string, size_t> mergedAnswers; /* checksum of an answer's programs -> their number */
    bool merged = false; /* something was merged: later answers no longer clear */
    Clock::time_point deadline;
    std::mutex deliver;
};

/* With s.deliver held. False with an "error: " result when the answer could not be merged. */
bool MergeAnswer(RemoteSearch& s, const std::string& body, std::string& result)
{
    /* Clearing is the first merge's business, later ones add to it. */
    const bool first = !s.merged;
    /* Like notebooks send the same list: one already merged is neither parsed nor merged again. */
    gchar* sum = g_compute_checksum_for_string(G_CHECKSUM_SHA256, body.c_str(), static_cast<gssize>(body.size()));
    std::string checksum = sum;
    g_free(sum);
    auto known = s.mergedAnswers.find(checksum);
    if (!first && known != s.mergedAnswers.end()) {
        result = "found " + std::to_string(known->second) + ", new 0";
        return true;
    }
    CSearchResultData programs;
    std::vector<FoundProgram> found;
    if (programs.LoadFromString(body) == 0 && programs.GetPApplicationInfoList())
        for (const CApplicationInfo* app : *programs.GetPApplicationInfoList())
            found.push_back(FoundProgram{app->GetName(), app->GetPath(), app->GetCustomIcon()});
    /* A class of like notebooks mostly finds what the others found: only the rest goes to
     * the file, which is then neither read nor written for an answer that brings nothing. */
    std::vector<FoundProgram> unseen;
    for (const FoundProgram& program : found)
        if (s.mergedPaths.insert(program.command.empty() ? "\n" + program.name : program.command).second)
            unseen.push_back(program);
    int added = 0;
    if (!body.empty() && !programs.GetPApplicationInfoList())
        result = std::string("error: ") + SEARCH_ERR_ANSWER;
    else if ((first || !unseen.empty()) &&
             MergeSearchResults(unseen, first ? s.clear : 0, LibKELData::SearchResultFile(), &added) != IPC_OK) {
        result = std::string("error: ") + SEARCH_ERR_SAVE;
        /* The next answer that brings them tries again. */
        for (const FoundProgram& program : unseen)
            s.mergedPaths.erase(program.command.empty() ? "\n" + program.name : program.command);
    } else {
        result = "found " + std::to_string(found.size()) + ", new " + std::to_string(added);
    }
    if (result.compare(0, 6, "error:") == 0)
        return false;
    s.mergedAnswers[checksum] = found.size();
    s.merged = true;
    return true;
}

class CBrokerTeacherService : public IPCTeacherAPI {
public:
    CBrokerTeacherService();

    int RegisterCallBack(CTeacherAPICallbackBase* callback, int& err) override;
    int GetStudentList(std::list<tagStudent_t>& students, int& err) override;
    int SearchProgram(const std::string& path, int& op, int clear) override;
    int CancelOperation(int op, int& err) override;
    int DeployTabNavPolicy(const std::string& xml, int& err) override;
    int DeploySchedulePolicy(const std::string& xml, int& err) override;
    /* The class's lock, notices and state live in m_Class. */
    int LockStudents(const std::list<std::string>& m, int& err) override { return Ready(err) ? m_Class.Lock(m, true, err) : err; }
    int UnlockStudents(const std::list<std::string>& m, int& err) override { return Ready(err) ? m_Class.Lock(m, false, err) : err; }
    int SendNotice(const std::list<std::string>& m, const std::string& text, int& err) override
    {
        return Ready(err) ? m_Class.Notice(m, text, err) : err;
    }
    int GetClassState(std::list<tagStudentState_t>& students, int& err) override
    {
        EnsureSession(err);
        return m_Class.ClassState(students, err);
    }
    int GetConnectionState(std::string& reason, int& err) override
    {
        EnsureSession(err);
        return m_Class.ConnectionState(reason, err);
    }

private:
    /* Once started, without the start's lock: windows ask while holding the GDK lock, which
     * the broker client's thread takes for callbacks inside its own locks. */
    void EnsureSession(int& err)
    {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            if (m_Session)
                return;
        }
        StartSession(err);
    }
    bool Ready(int& err)
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        return (err = WaitReady(lock)) == IPC_OK;
    }

    static void OnConnect(mosquitto*, void* self, int rc) { static_cast<CBrokerTeacherService*>(self)->Connected(rc); }
    static void OnDisconnect(mosquitto*, void* self, int rc) { static_cast<CBrokerTeacherService*>(self)->Disconnected(rc); }
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* m) { static_cast<CBrokerTeacherService*>(self)->Received(m); }

    /* Starts the session once; false when no classroom is configured. Under m_Mutex. */
    bool StartSession(int& err);
    /* Waits (bounded) until the session has the class's presence; IPC_OK or why not. */
    int WaitReady(std::unique_lock<std::mutex>& lock);
    void Connected(int rc);
    void Disconnected(int rc);
    void Received(const mosquitto_message* message);
    void SearchAnswered(const std::string& student, const ClassroomMessage& message);
    void StudentLeft(const std::string& student);
    void DeployAnswered(const std::string& student, const ClassroomMessage& message);
    int Deploy(LibKELData::CKELDataProvider& record, const char* kind, const std::string& xml, int& err);
    void DeadlineLoop();
    /* With s->deliver held: ends the search, tells who was given up, sends the end marker. */
    void EndSearch(const std::shared_ptr<RemoteSearch>& s, bool lastAnswerDelivered);
    void Tell(const std::string& text);

    template <typename F> void ForEachLink(F deliver);

    CCallbackRegistry m_Callbacks;
    CSessionLoop m_Loop;
    std::mutex m_StartMutex; /* taken before m_Mutex, never inside it */
    std::mutex m_Mutex;
    std::condition_variable m_Changed;
    ClassroomSettings m_Settings;
    mosquitto* m_Session;
    std::string m_ClientId;
    bool m_Synced;
    int m_Refusal; /* the broker's last refusal of our connection, 0 when none */
    std::string m_SyncToken;
    std::map<std::string, bool> m_Online;
    std::map<std::string, std::string> m_Deployed; /* topic -> payload, deployed by this console */
    int m_LastListed;
    std::shared_ptr<RemoteSearch> m_Search;
    CTeacherClass m_Class;
};

CBrokerTeacherService::CBrokerTeacherService()
    : m_Session(nullptr)
    , m_Synced(false)
    , m_Refusal(0)
    , m_LastListed(-1)
    , m_Class([this](const CTeacherClass::LinkFn& f) { ForEachLink(f); })
{
}

bool CBrokerTeacherService::StartSession(int& err)
{
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
    if (!ClassroomSettings::Load(ClassroomSettings::DefaultFile(), settings, reason)) {
        /* Asked again on the next call: the classroom may be set up meanwhile. */
        Fail(reason);
        err = IPC_ERR_NOT_CONNECTED;
        m_Class.NotConfigured(reason, err);
        return false;
    }
    std::string clientId = "kel-teacher-" + settings.user + "-" + std::to_string(getpid());
    mosquitto* session = NewClassroomSession(settings, clientId, this, reason);
    if (!session) {
        Fail(reason);
        err = IPC_ERR_NOT_RUNNING;
        return false;
    }
    Broker().connect_callback_set(session, OnConnect);
    Broker().disconnect_callback_set(session, OnDisconnect);
    Broker().message_callback_set(session, OnMessage);
    m_Class.Prepare(session, settings, clientId);
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Settings = settings;
        m_ClientId = clientId;
        m_Session = session;
    }
    /* Its thread connects again by itself, now or after a failure; never stopped, as the
     * service lives as long as the process. */
    if (!m_Loop.Start(session, settings.host, settings.port, reason)) {
        Fail(reason);
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
    auto until = Clock::now() + std::chrono::milliseconds(m_Settings.connectTimeoutMs);
    m_Changed.wait_until(lock, until, [this] { return m_Synced || m_Refusal != 0; });
    if (m_Synced)
        return IPC_OK;
    if (IsCredentialRefusal(m_Refusal)) {
        Fail(ConnectFailure(m_Refusal));
        return IPC_ERR_NOT_ALLOWED;
    }
    Fail(m_Refusal ? ConnectFailure(m_Refusal)
                   : "the classroom broker at " + m_Settings.host + ":" + std::to_string(m_Settings.port) +
                         " cannot be reached");
    return IPC_ERR_NOT_RUNNING;
}

void CBrokerTeacherService::Connected(int rc)
{
    m_Class.Connected(rc);
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (rc != 0) {
        m_Refusal = rc;
        m_Changed.notify_all();
        return;
    }
    m_Refusal = 0;
    m_Loop.Connected();
    m_Synced = false;
    /* The broker sends the retained presence again; what we knew may have changed meanwhile. */
    m_Online.clear();
    const std::string& cls = m_Settings.className;
    std::string sync = topic::Base(cls) + "sync/" + m_ClientId;
    Broker().subscribe(m_Session, NULL, (topic::Base(cls) + "presence/+").c_str(), 1);
    Broker().subscribe(m_Session, NULL, (topic::Base(cls) + "answer/+/+").c_str(), 1);
    Broker().subscribe(m_Session, NULL, sync.c_str(), 1);
    /* Handled after the subscriptions: its echo comes after the retained presence. */
    m_SyncToken = std::to_string(Clock::now().time_since_epoch().count());
    Broker().publish(m_Session, NULL, sync.c_str(), static_cast<int>(m_SyncToken.size()), m_SyncToken.data(), 1,
                      false);
    /* The broker keeps nothing across a restart: the policy goes out again (students skip one
     * they already saved). */
    for (const auto& policy : m_Deployed)
        Broker().publish(m_Session, NULL, policy.first.c_str(), static_cast<int>(policy.second.size()),
                          policy.second.data(), 1, true);
}

void CBrokerTeacherService::Disconnected(int rc)
{
    m_Class.Disconnected(rc);
    bool searching = false;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Synced = false;
        searching = m_Search && m_Search->phase == RemoteSearch::RUNNING;
    }
    if (rc != 0) {
        Fail("lost the connection to the classroom broker");
        /* Students that cannot answer now are given up at the search's deadline. */
        if (searching)
            Tell("The connection to the classroom was lost; students that do not answer in time are given up.");
    }
}

void CBrokerTeacherService::Received(const mosquitto_message* message)
{
    if (!message->topic || message->payloadlen < 0 || static_cast<size_t>(message->payloadlen) > MAX_PAYLOAD)
        return;
    std::string payload(static_cast<const char*>(message->payload), static_cast<size_t>(message->payloadlen));
    std::string a, b, c;
    if (!topic::Split(message->topic, m_Settings.className, a, b, c))
        return;
    if (m_Class.Received(a, b, c, payload))
        return;
    if (a == "sync") {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (payload == m_SyncToken) {
            m_Synced = true;
            m_Changed.notify_all();
        }
    } else if (a == "presence" && !b.empty() && c.empty()) {
        bool online = payload.compare(0, 6, "online") == 0;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            if (online)
                m_Online[b] = true;
            else
                m_Online.erase(b);
        }
        if (!online)
            StudentLeft(b);
    } else if (a == "answer" && !b.empty()) {
        ClassroomMessage decoded;
        if (!ClassroomMessage::Decode(payload, decoded))
            Fail("an unreadable answer from " + b);
        else if (c == "search")
            SearchAnswered(b, decoded);
        else if (c == "deploy")
            DeployAnswered(b, decoded);
    }
}

template <typename F> void CBrokerTeacherService::ForEachLink(F deliver)
{
    CSearchWorkers& workers = CSearchWorkers::Instance();
    for (const auto& link : m_Callbacks.Live()) {
        if (!workers.BeginDelivery())
            return;
        deliver(link);
        workers.EndDelivery();
    }
}

void CBrokerTeacherService::Tell(const std::string& text)
{
    ForEachLink([&](const std::shared_ptr<CCallbackLink>& link) { DeliverTeacherMessage(link, text); });
}

void CBrokerTeacherService::SearchAnswered(const std::string& student, const ClassroomMessage& message)
{
    std::shared_ptr<RemoteSearch> s;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        s = m_Search;
    }
    if (!s || s->id != message.Get("id"))
        return;
    std::lock_guard<std::mutex> deliver(s->deliver);
    bool last = false;
    std::string name;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (s->phase != RemoteSearch::RUNNING || s->waiting.erase(student) == 0)
            return;
        ++s->answered;
        last = s->waiting.empty();
        if (last)
            s->phase = RemoteSearch::DONE;
        name = DisplayName(s->names, student);
    }
    std::string result = message.Get("result");
    if (result.compare(0, 6, "error:") == 0) {
        Fail("student " + name + " could not search: " + result.substr(6));
    } else if (!MergeAnswer(*s, message.body, result)) {
        Fail("student " + name + ": " + result.substr(7));
    }
    ForEachLink([&](const std::shared_ptr<CCallbackLink>& link) { DeliverSearchProgram(link, name, result); });
    if (last)
        EndSearch(s, true);
}

void CBrokerTeacherService::StudentLeft(const std::string& student)
{
    std::shared_ptr<RemoteSearch> s;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        s = m_Search;
    }
    if (!s)
        return;
    std::lock_guard<std::mutex> deliver(s->deliver);
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (s->phase != RemoteSearch::RUNNING || s->waiting.erase(student) == 0)
            return;
        s->givenUp.push_back(DisplayName(s->names, student) + " (went offline)");
        if (!s->waiting.empty())
            return;
        s->phase = RemoteSearch::DONE;
    }
    EndSearch(s, false);
}

void CBrokerTeacherService::EndSearch(const std::shared_ptr<RemoteSearch>& s, bool lastAnswerDelivered)
{
    std::string summary;
    bool marker = true, givenUp = false;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        s->phase = RemoteSearch::DONE;
        /* The caller counted the students it was told of: its last answer ends the search there,
         * and a marker arriving later could end its next search. */
        marker = !(lastAnswerDelivered && s->givenUp.empty() && s->answered == s->listed);
        givenUp = !s->givenUp.empty();
        summary = std::to_string(s->answered) + " of " + std::to_string(s->answered + s->givenUp.size()) +
                  " students answered";
        for (size_t i = 0; i < s->givenUp.size(); ++i)
            summary += (i == 0 ? "; no answer from " : ", ") + s->givenUp[i];
    }
    if (givenUp) {
        Fail("class search: " + summary);
        Tell("Search program: " + summary + ".");
    }
    if (marker)
        ForEachLink([&](const std::shared_ptr<CCallbackLink>& link) { DeliverSearchProgram(link, "", summary); });
}

void CBrokerTeacherService::DeadlineLoop()
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    for (;;) {
        std::shared_ptr<RemoteSearch> s = m_Search;
        if (!s || s->phase != RemoteSearch::RUNNING) {
            m_Changed.wait(lock);
            continue;
        }
        if (Clock::now() < s->deadline) {
            m_Changed.wait_until(lock, s->deadline);
            continue;
        }
        lock.unlock();
        {
            std::lock_guard<std::mutex> deliver(s->deliver);
            bool end = false;
            {
                std::lock_guard<std::mutex> state(m_Mutex);
                if (s->phase == RemoteSearch::RUNNING) {
                    for (const std::string& id : s->waiting)
                        s->givenUp.push_back(DisplayName(s->names, id) + " (no answer in time)");
                    s->waiting.clear();
                    end = true;
                }
            }
            if (end)
                EndSearch(s, false);
        }
        lock.lock();
    }
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

int CBrokerTeacherService::SearchProgram(const std::string& path, int& op, int clear)
{
    op = 0;
    if (path.empty() || path[0] != '/' || path.find('\n') != std::string::npos)
        return IPC_ERR_INVALID_ARGUMENT;
    std::map<std::string, std::string> names = RosterNames();
    std::unique_lock<std::mutex> lock(m_Mutex);
    if (m_Search && m_Search->phase == RemoteSearch::RUNNING)
        return IPC_ERR_BUSY;
    int err = WaitReady(lock);
    if (err != IPC_OK)
        return err;
    auto s = std::make_shared<RemoteSearch>();
    s->op = CSearchWorkers::Instance().NextOperation();
    s->id = m_ClientId + "-" + std::to_string(s->op);
    s->clear = clear ? 1 : 0;
    s->names = names;
    s->listed = m_LastListed;
    for (const auto& student : m_Online)
        s->waiting.insert(student.first);
    /* With nobody online the deadline thread ends the search at once with the marker. */
    s->deadline = Clock::now() + (s->waiting.empty() ? std::chrono::milliseconds(0)
                                                     : std::chrono::milliseconds(m_Settings.answerTimeoutMs));
    ClassroomMessage request;
    request.fields["id"] = s->id;
    request.body = path;
    std::string payload = request.Encode();
    int rc = Broker().publish(m_Session, NULL, topic::SearchRequest(m_Settings.className).c_str(),
                               static_cast<int>(payload.size()), payload.data(), 1, false);
    if (rc != MOSQ_ERR_SUCCESS) {
        Fail(std::string("cannot send the search request: ") + Broker().strerror(rc));
        return IPC_ERR_NOT_RUNNING;
    }
    m_Search = s;
    op = s->op;
    m_Changed.notify_all();
    return IPC_OK;
}

int CBrokerTeacherService::CancelOperation(int op, int& err)
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    std::shared_ptr<RemoteSearch> s = m_Search;
    if (!s || s->op != op) {
        err = IPC_ERR_NO_SUCH_OPERATION;
        return err;
    }
    lock.unlock();
    /* An answer being merged or delivered (it may wait for the GDK lock that our caller holds):
     * the caller tries again. */
    std::unique_lock<std::mutex> deliver(s->deliver, std::try_to_lock);
    if (!deliver.owns_lock()) {
        err = IPC_ERR_BUSY;
        return err;
    }
    lock.lock();
    if (s->phase != RemoteSearch::RUNNING) {
        err = IPC_ERR_NO_SUCH_OPERATION;
        return err;
    }
    s->phase = RemoteSearch::CANCELLED;
    /* The students stop their walks; answers that still come are not merged. */
    ClassroomMessage cancel;
    cancel.fields["id"] = s->id;
    std::string payload = cancel.Encode();
    if (m_Session)
        Broker().publish(m_Session, NULL, topic::CancelRequest(m_Settings.className).c_str(),
                          static_cast<int>(payload.size()), payload.data(), 1, false);
    err = IPC_OK;
    return err;
}

void CBrokerTeacherService::DeployAnswered(const std::string& student, const ClassroomMessage& message)
{
    std::string kind = message.Get("kind");
    if (kind != POLICY_TABNAV && kind != POLICY_SCHEDULE)
        return;
    std::string result = message.Get("result");
    std::string name = DisplayName(RosterNames(), student);
    if (result != "ok")
        Fail("student " + name + " did not take the " + kind + " policy: " + result);
    ForEachLink([&](const std::shared_ptr<CCallbackLink>& link) { DeliverDeployPolicy(link, kind, name, result); });
}

int CBrokerTeacherService::Deploy(LibKELData::CKELDataProvider& record, const char* kind, const std::string& xml,
                                  int& err)
{
    /* Only a policy the students can read leaves this machine. */
    if (xml.size() > MAX_PAYLOAD / 2)
        err = IPC_ERR_TOO_LARGE;
    else if (record.LoadFromString(xml) != 0)
        err = IPC_ERR_PARSE;
    else {
        std::unique_lock<std::mutex> lock(m_Mutex);
        err = WaitReady(lock);
        if (err == IPC_OK) {
            ClassroomMessage policy;
            policy.fields["id"] = m_ClientId + "-" + std::to_string(Clock::now().time_since_epoch().count());
            policy.body = xml;
            std::string payload = policy.Encode();
            /* Retained: a notebook that is off now gets it when it connects. */
            std::string name = topic::Policy(m_Settings.className, kind);
            m_Deployed[name] = payload;
            int rc = Broker().publish(m_Session, NULL, name.c_str(), static_cast<int>(payload.size()),
                                       payload.data(), 1, true);
            if (rc != MOSQ_ERR_SUCCESS) {
                Fail(std::string("cannot deploy the ") + kind + " policy: " + Broker().strerror(rc));
                err = IPC_ERR_NOT_RUNNING;
            }
        }
    }
    return err;
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

} // namespace

IPCTeacherAPI* LocalTeacherService()
{
    static IPCTeacherAPI* service = new CBrokerTeacherService;
    return service;
}

} // namespace IPCAPI
