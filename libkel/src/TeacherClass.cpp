/* The teacher console's class: roster, presence, lock state, new students, and the teacher's
 * lock, unlock and notices. */
#include "TeacherClass.h"

#include "BrokerClient.h"
#include "KELData.h"
#include "KELLog.h"
#include "KELPaths.h"

#include <gio/gio.h>
#include <glib.h>
#include <sys/stat.h>

#include <thread>

namespace IPCAPI {

bool DeliverStudentEvent(const std::shared_ptr<CCallbackLink>& link, const std::string& what,
                         const std::string& student, const std::string& result, int status)
{
    std::shared_ptr<CCallbackLink> held = link;
    if (!held || held->GetSide() != CCallbackLink::SIDE_TEACHER || !held->BeginCall())
        return false;
    CTeacherAPICallbackBase* target = static_cast<CTeacherAPICallbackBase*>(held->Target());
    if (target && what == "lock")
        target->ManualLockRemotStudentCallBack(student, result);
    else if (target && what == "unlock")
        target->ManualUnLockRemotStudentCallBack(student, result);
    else if (target && what == "status")
        target->NotifyStudentStatusChanged(student, status);
    else if (target && what == "new")
        target->NewStudentCallBack(student);
    else if (target && what == "info")
        target->NotifyStudentInfoChanged(student);
    held->EndCall();
    return target != nullptr;
}

namespace {

bool IsMachineWord(const std::string& word)
{
    return !word.empty() && word.size() <= 256 && word.find_first_of("/+#\n") == std::string::npos;
}

std::string Today()
{
    GDateTime* now = g_date_time_new_now_local();
    gchar* text = g_date_time_format(now, "%Y-%m-%d");
    std::string day = text ? text : "";
    g_free(text);
    g_date_time_unref(now);
    return day;
}

/* The roster as (machine, name): the address is the machine, else the name is. */
bool LoadRoster(std::vector<std::pair<std::string, std::string> >& roster)
{
    roster.clear();
    std::string file = LibKELData::CONFIG_FILE_DIR + LibKELData::STUDENT_INFO;
    struct stat st;
    if (stat(file.c_str(), &st) != 0)
        return true; /* no roster: nobody on it */
    LibKELData::CStudentInfoData data;
    if (data.LoadFromFile(file) != 0)
        return false;
    std::set<std::string> seen;
    for (const auto& s : data.GetStudents()) {
        std::string machine = s.address.empty() ? s.name : s.address;
        if (IsMachineWord(machine) && seen.insert(machine).second)
            roster.emplace_back(machine, s.name.empty() ? machine : s.name);
    }
    return true;
}

void OnRosterFile(GFileMonitor*, GFile*, GFile*, GFileMonitorEvent event, gpointer self)
{
    if (event != G_FILE_MONITOR_EVENT_ATTRIBUTE_CHANGED && event != G_FILE_MONITOR_EVENT_PRE_UNMOUNT)
        static_cast<CTeacherClass*>(self)->RosterChanged();
}

} // namespace

CTeacherClass::CTeacherClass(EachLink each)
    : m_Each(each)
    , m_Session(nullptr)
    , m_Prepared(false)
    , m_State(IPC_ERR_NOT_CONNECTED)
    , m_Reason("the classroom is not set up")
    , m_LastId(0)
    , m_SyncToken(RandomToken())
    , m_Flushed(0)
    , m_Asked(false)
{
}

void CTeacherClass::Deliver(const std::string& what, const std::string& student, const std::string& result, int status)
{
    m_Each([&](const std::shared_ptr<CCallbackLink>& link) { DeliverStudentEvent(link, what, student, result, status); });
}

void CTeacherClass::Prepare(mosquitto* session, const ClassroomSettings& settings)
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Session = session;
        m_Settings = settings;
        m_State = IPC_ERR_NOT_RUNNING;
        m_Reason = "connecting to the classroom broker at " + settings.host + ":" + std::to_string(settings.port);
        std::string offline = "state=offline\nname=" + settings.user + "\n\n";
        /* The broker tells the notebooks when this console vanishes. */
        std::string will = topic::Make(settings.className, topic::TEACHER);
        Broker().will_set(session, will.c_str(), static_cast<int>(offline.size()), offline.data(), 1, true);
        /* Who was seen today, kept across the console's restarts. */
        gchar* file = g_build_filename(g_get_user_cache_dir(), "kel", "classroom-seen", NULL);
        m_SeenFile = file;
        g_free(file);
        GKeyFile* keys = g_key_file_new();
        if (g_key_file_load_from_file(keys, m_SeenFile.c_str(), G_KEY_FILE_NONE, NULL)) {
            gchar** machines = g_key_file_get_keys(keys, settings.className.c_str(), NULL, NULL);
            for (gchar** m = machines; m && *m; ++m) {
                gchar* day = g_key_file_get_string(keys, settings.className.c_str(), *m, NULL);
                m_Seen[*m] = day ? day : "";
                g_free(day);
            }
            g_strfreev(machines);
        }
        g_key_file_free(keys);
        if (m_Prepared)
            return;
        m_Prepared = true;
    }
    RosterChanged(false);
    StartRosterWatch();
}

void CTeacherClass::NotConfigured(const std::string& reason, int err)
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_Session)
            return;
        m_State = err;
        m_Reason = reason;
        if (m_Prepared)
            return;
        m_Prepared = true;
    }
    RosterChanged(false);
    StartRosterWatch();
}

void CTeacherClass::StartRosterWatch()
{
    /* A thread with a context of its own: the console's main loop may be busy or absent. It
     * lives as long as the process, as the teacher's service does. */
    std::string path = LibKELData::CONFIG_FILE_DIR + LibKELData::STUDENT_INFO;
    std::thread([this, path] {
        GMainContext* context = g_main_context_new();
        g_main_context_push_thread_default(context);
        GFile* file = g_file_new_for_path(path.c_str());
        GError* error = NULL;
        GFileMonitor* monitor = g_file_monitor_file(file, G_FILE_MONITOR_WATCH_MOVES, NULL, &error);
        g_object_unref(file);
        if (!monitor) {
            ClassroomFail(std::string("the roster is not watched: ") + (error ? error->message : "unknown error"));
            if (error)
                g_error_free(error);
            return;
        }
        g_signal_connect(monitor, "changed", G_CALLBACK(OnRosterFile), this);
        GMainLoop* loop = g_main_loop_new(context, FALSE);
        g_main_loop_run(loop);
    }).detach();
}

void CTeacherClass::RosterChanged(bool tell)
{
    std::vector<std::pair<std::string, std::string> > roster;
    if (!LoadRoster(roster)) {
        /* Being rewritten, or broken: what was known stands until it reads again. */
        ClassroomFail("the roster cannot be read; the class keeps the names it knew");
        return;
    }
    std::vector<std::string> changed;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        std::map<std::string, std::string> before(m_Roster.begin(), m_Roster.end());
        std::map<std::string, std::string> after(roster.begin(), roster.end());
        for (const auto& s : after)
            if (before.count(s.first) == 0 || before[s.first] != s.second)
                changed.push_back(s.first);
        for (const auto& s : before)
            if (after.count(s.first) == 0)
                changed.push_back(s.first);
        m_Roster = roster;
        if (!tell)
            return;
    }
    for (const std::string& machine : changed)
        Deliver("info", machine, "", 0);
}

bool CTeacherClass::FirstSeenToday(const std::string& machine)
{
    std::string today = Today();
    if (m_Seen[machine] == today)
        return false;
    m_Seen[machine] = today;
    /* Rewritten whole; only today's entries are worth keeping. */
    GKeyFile* keys = g_key_file_new();
    for (const auto& seen : m_Seen)
        if (seen.second == today)
            g_key_file_set_string(keys, m_Settings.className.c_str(), seen.first.c_str(), today.c_str());
    gsize size = 0;
    gchar* text = g_key_file_to_data(keys, &size, NULL);
    gchar* dir = g_path_get_dirname(m_SeenFile.c_str());
    GError* error = NULL;
    if (g_mkdir_with_parents(dir, 0700) != 0 || !g_file_set_contents(m_SeenFile.c_str(), text, size, &error)) {
        ClassroomFail("cannot note who was seen today in " + m_SeenFile +
                      (error ? std::string(": ") + error->message : ""));
        if (error)
            g_error_free(error);
    }
    g_free(dir);
    g_free(text);
    g_key_file_free(keys);
    return true;
}

bool CTeacherClass::Restate(Student& s)
{
    int status = s.online ? (STUDENT_ONLINE | (s.lockBits & (STUDENT_LOCKED | STUDENT_LOCKED_BY_TIMETABLE))) : 0;
    if (status == s.status)
        return false;
    s.status = status;
    return true;
}

void CTeacherClass::Publish(const std::string& name, const std::string& payload)
{
    if (!m_Session)
        return;
    int rc = Broker().publish(m_Session, NULL, name.c_str(), static_cast<int>(payload.size()), payload.data(), 1, true);
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN)
        ClassroomFail("cannot publish to " + name + ": " + Broker().strerror(rc));
}

void CTeacherClass::Connected(int rc)
{
    std::string told;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        int state = rc == 0 ? IPC_OK : IsCredentialRefusal(rc) ? IPC_ERR_NOT_ALLOWED : IPC_ERR_NOT_RUNNING;
        std::string reason = rc == 0 ? "" : "the classroom broker refused the connection (" + std::to_string(rc) + ")";
        /* The broker session itself tells the callers of its connection's changes. */
        bool news = false;
        if (news && (state != m_State || reason != m_Reason))
            told = rc == 0 ? "Connected to the classroom broker at " + m_Settings.host + ":" +
                                 std::to_string(m_Settings.port) + "."
                           : "Not connected: " + reason + "; trying again.";
        m_State = state;
        m_Reason = reason;
        if (rc == 0) {
            const std::string& cls = m_Settings.className;
            for (topic::Kind kind : {topic::STATE, topic::LOCK_ANSWER})
                Broker().subscribe(m_Session, NULL, topic::Filter(cls, kind).c_str(), 1);
            /* The echo that tells a lock or notice reached the broker. */
            Broker().subscribe(m_Session, NULL, topic::Make(cls, topic::SYNC, m_SyncToken).c_str(), 1);
            std::string online = "state=online\nname=" + m_Settings.user + "\n\n";
            Publish(topic::Make(cls, topic::TEACHER), online);
            /* The broker keeps nothing across its restart: the teacher's lock and notices go
             * out again (the notebooks skip what they already acted on). */
            for (const auto& kept : m_Retained)
                Publish(kept.first, kept.second);
        }
    }
    if (!told.empty())
        m_Each([&](const std::shared_ptr<CCallbackLink>& link) { DeliverTeacherMessage(link, told); });
}

void CTeacherClass::Disconnected(int rc)
{
    /* The broker session tells the callers; this keeps the lock calls from waiting in vain. */
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (rc == 0 || m_State != IPC_OK)
        return;
    m_State = IPC_ERR_NOT_RUNNING;
    m_Reason = "lost the connection to the classroom broker";
}

bool CTeacherClass::Received(const topic::Parsed& t, const std::string& payload)
{
    const std::string& b = t.word;
    if (t.kind == topic::PRESENCE && IsMachineWord(b)) {
        ClassroomMessage said;
        /* A notebook says "state=online" (with the policies it holds); older ones said "online". */
        bool online = payload.compare(0, 6, "online") == 0 ||
                      (ClassroomMessage::Decode(payload, said) && said.Get("state") == "online");
        bool changed = false, isNew = false;
        int status = 0;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            bool listed = false;
            for (const auto& r : m_Roster)
                listed = listed || r.first == b;
            Student& s = m_Students[b];
            if (online && !s.online) {
                bool today = FirstSeenToday(b);
                isNew = today || (!listed && !s.toldNew);
                s.toldNew = s.toldNew || isNew;
            }
            s.online = online;
            changed = Restate(s);
            status = s.status;
        }
        if (changed)
            Deliver("status", b, "", status);
        if (isNew)
            Deliver("new", b, "", 0);
        return false; /* the broker session follows the presence too */
    }
    if (t.kind == topic::SYNC && b == m_SyncToken && payload.compare(0, 6, "flush ") == 0) {
        std::lock_guard<std::mutex> lock(m_Mutex);
        long long echo = atoll(payload.c_str() + 6);
        m_Flushed = echo > m_Flushed ? echo : m_Flushed;
        m_Echo.notify_all();
        return true;
    }
    ClassroomMessage message;
    if (t.kind == topic::STATE && IsMachineWord(b) && ClassroomMessage::Decode(payload, message)) {
        bool changed = false;
        int status = 0;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            Student& s = m_Students[b];
            s.lockBits = atoi(message.Get("lock").c_str());
            changed = Restate(s);
            status = s.status;
        }
        if (changed)
            Deliver("status", b, "", status);
        return true;
    }
    if (t.kind == topic::LOCK_ANSWER && IsMachineWord(b) && ClassroomMessage::Decode(payload, message)) {
        std::string id = message.Get("id"), mode = message.Get("mode");
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            Student& s = m_Students[b];
            /* A notebook restarted acts on the kept message again: told once. */
            if (id.empty() || s.answered == id)
                return true;
            s.answered = id;
        }
        std::string result = message.Get("result");
        if (result != "ok")
            ClassroomFail("student " + b + " did not " + mode + ": " + result);
        Deliver(mode == "lock" ? "lock" : "unlock", b, result.empty() ? "error: no result" : result, 0);
        return true;
    }
    return false;
}

bool CTeacherClass::Flush(std::unique_lock<std::mutex>& lock)
{
    long long token = ++m_LastId;
    std::string echo = "flush " + std::to_string(token);
    std::string name = topic::Make(m_Settings.className, topic::SYNC, m_SyncToken);
    if (Broker().publish(m_Session, NULL, name.c_str(), static_cast<int>(echo.size()), echo.data(), 1, false) !=
        MOSQ_ERR_SUCCESS)
        return false;
    return m_Echo.wait_for(lock, std::chrono::milliseconds(m_Settings.connectTimeoutMs),
                           [&] { return m_Flushed >= token; });
}

long long CTeacherClass::NextId()
{
    /* Rising ids, even when the clock steps back: the newest message wins on the notebook. */
    long long id = g_get_real_time();
    m_LastId = id > m_LastId ? id : m_LastId + 1;
    return m_LastId;
}

int CTeacherClass::Lock(const std::list<std::string>& machines, bool lock, int& err)
{
    for (const std::string& m : machines)
        if (!IsMachineWord(m))
            return err = IPC_ERR_INVALID_ARGUMENT;
    std::unique_lock<std::mutex> guard(m_Mutex);
    if (!m_Session)
        return err = IPC_ERR_NOT_CONNECTED;
    ClassroomMessage message;
    message.fields["id"] = std::to_string(NextId());
    message.fields["mode"] = lock ? "lock" : "unlock";
    message.fields["teacher"] = m_Settings.user;
    std::string payload = message.Encode();
    const std::string& cls = m_Settings.className;
    if (machines.empty()) {
        /* The class's message supersedes every machine's: those kept are cleared. */
        for (auto it = m_Retained.begin(); it != m_Retained.end();) {
            topic::Parsed kept;
            if (topic::Parse(cls, it->first, kept) && kept.kind == topic::LOCK) {
                Publish(it->first, "");
                it = m_Retained.erase(it);
            } else {
                ++it;
            }
        }
        m_Retained[topic::Lock(cls, "")] = payload;
        Publish(topic::Lock(cls, ""), payload);
    }
    for (const std::string& m : std::set<std::string>(machines.begin(), machines.end())) {
        m_Retained[topic::Lock(cls, m)] = payload;
        Publish(topic::Lock(cls, m), payload);
    }
    /* Kept here and sent again on reconnecting, whatever the broker took now. */
    return err = Flush(guard) ? IPC_OK : IPC_ERR_NOT_RUNNING;
}

int CTeacherClass::Notice(const std::list<std::string>& machines, const std::string& text, int& err)
{
    for (const std::string& m : machines)
        if (!IsMachineWord(m))
            return err = IPC_ERR_INVALID_ARGUMENT;
    if (text.empty() || text.size() > NOTICE_MAX || !g_utf8_validate(text.data(), static_cast<gssize>(text.size()), NULL))
        return err = text.size() > NOTICE_MAX ? IPC_ERR_TOO_LARGE : IPC_ERR_INVALID_ARGUMENT;
    std::unique_lock<std::mutex> guard(m_Mutex);
    if (!m_Session)
        return err = IPC_ERR_NOT_CONNECTED;
    ClassroomMessage message;
    message.fields["id"] = std::to_string(NextId());
    message.fields["time"] = std::to_string(g_get_real_time() / G_USEC_PER_SEC);
    message.fields["teacher"] = m_Settings.user;
    message.body = text;
    std::string payload = message.Encode();
    std::list<std::string> targets(machines.begin(), machines.end());
    if (targets.empty())
        targets.push_back("");
    for (const std::string& m : std::set<std::string>(targets.begin(), targets.end())) {
        m_Retained[topic::Notice(m_Settings.className, m)] = payload;
        Publish(topic::Notice(m_Settings.className, m), payload);
    }
    return err = Flush(guard) ? IPC_OK : IPC_ERR_NOT_RUNNING;
}

int CTeacherClass::ClassState(std::list<tagStudentState_t>& students, int& err)
{
    students.clear();
    std::lock_guard<std::mutex> lock(m_Mutex);
    std::set<std::string> listed;
    for (const auto& r : m_Roster) {
        tagStudentState_t s;
        s.name = r.second;
        s.machine = r.first;
        s.onRoster = true;
        auto known = m_Students.find(r.first);
        s.status = known == m_Students.end() ? 0 : known->second.status;
        /* Whether it holds the last policy is the deploy's bookkeeping, not kept here yet. */
        s.deploy = tagStudentState_t::DEPLOY_NONE;
        students.push_back(s);
        listed.insert(r.first);
    }
    for (const auto& known : m_Students) {
        if (listed.count(known.first) || !known.second.toldNew)
            continue;
        tagStudentState_t s;
        s.name = s.machine = known.first;
        s.status = known.second.status;
        students.push_back(s);
    }
    return err = IPC_OK;
}

int CTeacherClass::ConnectionState(std::string& reason, int& err)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Asked = true;
    reason = m_Reason;
    return err = m_State;
}

} // namespace IPCAPI
