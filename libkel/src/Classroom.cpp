/* The classroom's settings file, topics, message format and broker sessions. */
#include "Classroom.h"

#include "BrokerClient.h"
#include "KELLog.h"
#include "KELPaths.h"
#include "KELUtf8.h"

#include <glib.h>

#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <system_error>

namespace IPCAPI {

std::string ClassroomSettings::DefaultFile()
{
    return LibKELData::CONFIG_FILE_DIR + "classroom.conf";
}

namespace {

std::string KeyString(GKeyFile* keys, const char* key)
{
    gchar* value = g_key_file_get_string(keys, "classroom", key, NULL);
    std::string text = value ? value : "";
    g_free(value);
    return text;
}

int KeySeconds(GKeyFile* keys, const char* key, int fallbackMs)
{
    GError* error = NULL;
    double seconds = g_key_file_get_double(keys, "classroom", key, &error);
    if (error) {
        g_error_free(error);
        return fallbackMs;
    }
    /* A day at most: a deadline is there to end a search. */
    if (!(seconds > 0) || seconds > 86400)
        return fallbackMs;
    return static_cast<int>(seconds * 1000);
}

std::string Beside(const std::string& file, const std::string& name)
{
    if (name.empty() || name[0] == '/')
        return name;
    gchar* dir = g_path_get_dirname(file.c_str());
    std::string path = std::string(dir) + "/" + name;
    g_free(dir);
    return path;
}

/* Topic levels must not carry MQTT wildcards or separators. */
bool IsTopicWord(const std::string& word)
{
    return !word.empty() && word.find_first_of("/+#") == std::string::npos;
}

/* A file that holds a password: its owner's alone. */
bool PrivateFile(const std::string& file, std::string& reason)
{
    struct stat st;
    if (stat(file.c_str(), &st) != 0)
        return true; /* told by its reader */
    if ((st.st_mode & 0077) == 0)
        return true;
    reason = file + " holds this machine's classroom password but other users can read or change it: not used "
                    "(make it the owner's alone: chmod 600 " + file + ")";
    return false;
}

/* "a.lan,b.lan:8884": each broker with its own port or the settings' one. */
std::vector<BrokerAddress> ParseBrokers(const std::string& list, int port)
{
    std::vector<BrokerAddress> brokers;
    gchar** parts = g_strsplit(list.c_str(), ",", -1);
    for (gchar** p = parts; *p; ++p) {
        std::string word = g_strstrip(*p);
        BrokerAddress b;
        b.port = port;
        size_t colon = word.rfind(':');
        if (colon != std::string::npos && word.find(':') == colon) {
            b.port = atoi(word.c_str() + colon + 1);
            word.resize(colon);
        }
        b.host = word;
        if (!word.empty())
            brokers.push_back(b);
    }
    g_strfreev(parts);
    return brokers;
}

} // namespace

bool ClassroomSettings::Load(const std::string& file, ClassroomSettings& settings, std::string& reason)
{
    if (!PrivateFile(file, reason))
        return false;
    GKeyFile* keys = g_key_file_new();
    GError* error = NULL;
    if (!g_key_file_load_from_file(keys, file.c_str(), G_KEY_FILE_NONE, &error)) {
        reason = "the classroom settings " + file + " cannot be read: " + error->message;
        g_error_free(error);
        g_key_file_free(keys);
        return false;
    }
    ClassroomSettings s;
    s.file = file;
    std::string host = KeyString(keys, "host");
    GError* portError = NULL;
    int port = g_key_file_get_integer(keys, "classroom", "port", &portError);
    if (portError)
        g_error_free(portError);
    else
        s.port = port;
    s.brokers = ParseBrokers(host.empty() ? s.host : host, s.port);
    s.className = KeyString(keys, "class");
    s.caFile = Beside(file, KeyString(keys, "ca"));
    s.user = KeyString(keys, "user");
    s.password = KeyString(keys, "password");
    std::string passwordFile = KeyString(keys, "password-file");
    s.answerTimeoutMs = KeySeconds(keys, "answer-timeout", s.answerTimeoutMs);
    s.connectTimeoutMs = KeySeconds(keys, "connect-timeout", s.connectTimeoutMs);
    g_key_file_free(keys);

    if (s.password.empty() && !passwordFile.empty()) {
        passwordFile = Beside(file, passwordFile);
        if (!PrivateFile(passwordFile, reason))
            return false;
        gchar* text = NULL;
        if (g_file_get_contents(passwordFile.c_str(), &text, NULL, NULL)) {
            std::string all = text;
            s.password = all.substr(0, all.find_first_of("\r\n"));
        }
        g_free(text);
    }
    bool portsUsable = !s.brokers.empty();
    for (const BrokerAddress& b : s.brokers)
        portsUsable = portsUsable && b.port > 0 && b.port <= 65535;
    if (portsUsable) {
        s.host = s.brokers[0].host;
        s.port = s.brokers[0].port;
    }
    if (!IsTopicWord(s.className) || !IsTopicWord(s.user))
        reason = "the classroom settings " + file + " name no usable class and user";
    else if (!portsUsable)
        reason = "the classroom settings " + file + " name no usable broker and port";
    else if (s.caFile.empty())
        reason = "the classroom settings " + file + " name no CA certificate (the broker takes TLS only)";
    else if (access(s.caFile.c_str(), R_OK) != 0)
        reason = "the CA certificate " + s.caFile + " named in " + file + " cannot be read: " + g_strerror(errno);
    else if (s.password.empty())
        reason = "the classroom settings " + file + " hold no password";
    else {
        settings = s;
        return true;
    }
    return false;
}

namespace topic {

namespace {
const char* const PATTERNS[KIND_COUNT] = {
    "presence/+", "request/search", "request/cancel", "request/rollcall",
    "policy/+",   "answer/+/search", "answer/+/deploy", "sync/+",
    "lock",       "lock/+",          "notice",          "notice/+",
    "teacher",    "state/+",         "answer/+/lock",
};
} // namespace

const char* Pattern(Kind kind)
{
    return kind < KIND_COUNT ? PATTERNS[kind] : "";
}

std::string Base(const std::string& cls)
{
    return "kel/" + cls + "/";
}

std::string Make(const std::string& cls, Kind kind, const std::string& word, const std::string& word2)
{
    std::string out = Base(cls);
    int filled = 0;
    for (const char* p = Pattern(kind); *p; ++p) {
        if (*p == '+')
            out += filled++ == 0 ? word : word2;
        else
            out += *p;
    }
    return out;
}

std::string Filter(const std::string& cls, Kind kind)
{
    return Base(cls) + Pattern(kind);
}

bool Parse(const std::string& cls, const std::string& name, Parsed& parsed)
{
    std::string base = Base(cls);
    if (name.compare(0, base.size(), base) != 0)
        return false;
    gchar** levels = g_strsplit(name.c_str() + base.size(), "/", -1);
    bool found = false;
    for (int k = 0; k < KIND_COUNT && !found; ++k) {
        gchar** want = g_strsplit(PATTERNS[k], "/", -1);
        found = g_strv_length(want) == g_strv_length(levels);
        std::string word;
        for (guint i = 0; found && want[i]; ++i) {
            if (strcmp(want[i], "+") == 0 && IsTopicWord(levels[i]) && word.empty())
                word = levels[i];
            else if (strcmp(want[i], levels[i]) != 0)
                found = false;
        }
        g_strfreev(want);
        if (found) {
            parsed.kind = static_cast<Kind>(k);
            parsed.word = word;
        }
    }
    g_strfreev(levels);
    return found;
}

} // namespace topic

std::string ClassroomMessage::Encode() const
{
    std::string out;
    for (const auto& field : fields)
        out += field.first + "=" + field.second + "\n";
    return out + "\n" + body;
}

bool ClassroomMessage::Decode(const std::string& payload, ClassroomMessage& message)
{
    message = ClassroomMessage();
    size_t pos = 0;
    while (pos < payload.size()) {
        size_t end = payload.find('\n', pos);
        if (end == std::string::npos)
            return false;
        if (end == pos) {
            message.body = payload.substr(end + 1);
            return true;
        }
        std::string line = payload.substr(pos, end - pos);
        size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0)
            return false;
        message.fields[line.substr(0, eq)] = line.substr(eq + 1);
        pos = end + 1;
    }
    return false;
}

std::string ClassroomMessage::Get(const std::string& key) const
{
    auto it = fields.find(key);
    return it == fields.end() ? std::string() : it->second;
}

std::string PrintableText(const std::string& text, size_t max)
{
    std::string out;
    size_t pos = 0;
    while (pos < text.size() && out.size() < max) {
        size_t at = pos;
        uint32_t cp = 0;
        if (!LibKELData::utf8::Next(text, pos, cp)) {
            out += '?';
            pos = at + 1;
            continue;
        }
        /* Bidirectional embeddings, overrides and isolates turn what follows around. */
        bool bidi = (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) || cp == 0x200E || cp == 0x200F;
        if (LibKELData::utf8::IsControl(cp) || bidi)
            out += '?';
        else
            out.append(text, at, pos - at);
    }
    return out;
}

void ClassroomFail(const std::string& text)
{
    LibKELData::CKELLog::WriteLine("Classroom: " + text, 2, "", false);
}

std::string RandomToken()
{
    unsigned char bytes[16];
    size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n > 0)
            got += static_cast<size_t>(n);
        else if (errno != EINTR)
            break;
    }
    /* Never without one: the clock and the process stand in where the kernel gives none. */
    for (size_t i = got; i < sizeof bytes; ++i)
        bytes[i] = static_cast<unsigned char>(g_get_monotonic_time() >> (i % 8) ^ getpid() ^ g_random_int());
    static const char hex[] = "0123456789abcdef";
    std::string token;
    for (unsigned char b : bytes)
        token += std::string(1, hex[b >> 4]) + hex[b & 15];
    return token;
}

mosquitto* NewClassroomSession(const ClassroomSettings& settings, const std::string& clientId, void* owner,
                               std::string& reason)
{
    const BrokerClient* broker = LoadBrokerClient(reason);
    if (!broker)
        return nullptr;
    mosquitto* session = broker->create(clientId.c_str(), true, owner);
    if (!session) {
        reason = "cannot make a broker session";
        return nullptr;
    }
    int rc = broker->username_pw_set(session, settings.user.c_str(), settings.password.c_str());
    if (rc == MOSQ_ERR_SUCCESS) {
        rc = broker->tls_set(session, settings.caFile.c_str(), NULL, NULL, NULL, NULL);
        if (rc != MOSQ_ERR_SUCCESS) {
            reason = "the CA certificate " + settings.caFile + " named in " + settings.file + " cannot be used";
            broker->destroy(session);
            return nullptr;
        }
    }
    /* The broker's certificate must name the host we asked for. */
    if (rc == MOSQ_ERR_SUCCESS)
        rc = broker->tls_opts_set(session, 1, "tlsv1.2", NULL);
    /* Published from other threads than the session's own. */
    if (rc == MOSQ_ERR_SUCCESS)
        rc = broker->threaded_set(session, true);
    if (rc != MOSQ_ERR_SUCCESS) {
        reason = std::string("cannot set up the broker session: ") + broker->strerror(rc);
        broker->destroy(session);
        return nullptr;
    }
    return session;
}

CSessionLoop::CSessionLoop()
    : m_Session(nullptr)
    , m_Delay(FIRST_DELAY_MS)
    , m_Established(false)
    , m_Current(0)
    , m_Stop(false)
{
}

CSessionLoop::~CSessionLoop()
{
    Stop();
}

bool CSessionLoop::Start(mosquitto* session, const ClassroomSettings& settings, FailureFn failed, std::string& reason)
{
    m_Session = session;
    m_Settings = settings;
    m_Failed = failed;
    try {
        m_Thread = std::thread([this] { Run(); });
    } catch (const std::system_error& e) {
        reason = std::string("cannot start the broker client: ") + e.what();
        return false;
    }
    return true;
}

BrokerAddress CSessionLoop::Current() const
{
    size_t i = m_Current;
    return i < m_Settings.brokers.size() ? m_Settings.brokers[i] : BrokerAddress();
}

bool CSessionLoop::Stopping()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Stop;
}

void CSessionLoop::Run()
{
    bool connected = false;
    int afterStop = 0;
    size_t next = 0;
    for (;;) {
        bool stopping = Stopping();
        int rc = MOSQ_ERR_SUCCESS;
        if (!connected && stopping)
            return;
        if (!connected) {
            m_Current = next;
            const BrokerAddress broker = Current();
            rc = Broker().connect(m_Session, broker.host.c_str(), broker.port, 10);
            int err = errno;
            if (rc != MOSQ_ERR_SUCCESS && m_Failed)
                m_Failed(ConnectionFailure(m_Settings, broker, rc, err));
        }
        /* This thread writes what other threads publish, the goodbye included. */
        if (rc == MOSQ_ERR_SUCCESS) {
            rc = Broker().loop(m_Session, 100, 1);
            int err = errno;
            /* The TLS handshake fails here, not in connect; a refusal was told by the connect
             * callback. */
            if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_CONN_REFUSED && !m_Established && m_Failed)
                m_Failed(ConnectionFailure(m_Settings, Current(), rc, err));
        }
        connected = rc == MOSQ_ERR_SUCCESS;
        if (stopping && (!connected || ++afterStop > 20))
            return;
        if (connected)
            continue;
        /* Refused or unreachable: the next one at once, and after a round of them a pause.
         * Lost: the first one again after a pause, so that two clients the broker takes for
         * one (client ids tied to the user name) do not take the connection from each other
         * without end. */
        if (!m_Established.exchange(false) && ++next < m_Settings.brokers.size())
            continue;
        next = 0;
        std::unique_lock<std::mutex> lock(m_Mutex);
        int delay = m_Delay;
        m_Wake.wait_for(lock, std::chrono::milliseconds(delay), [this] { return m_Stop; });
        m_Delay = delay * 2 > MAX_DELAY_MS ? MAX_DELAY_MS : delay * 2;
    }
}

void CSessionLoop::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_Stop || !m_Thread.joinable())
            return;
        m_Stop = true;
    }
    m_Wake.notify_all();
    Broker().disconnect(m_Session);
    m_Thread.join();
}

void CJobQueue::Post(std::function<void()> job)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_Stop)
        return;
    m_Jobs.push_back(std::move(job));
    if (!m_Thread.joinable())
        m_Thread = std::thread([this] { Run(); });
    m_Wake.notify_one();
}

void CJobQueue::Run()
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    for (;;) {
        m_Wake.wait(lock, [this] { return m_Stop || !m_Jobs.empty(); });
        if (m_Stop)
            return;
        std::function<void()> job = std::move(m_Jobs.front());
        m_Jobs.pop_front();
        lock.unlock();
        job();
        lock.lock();
    }
}

void CJobQueue::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Stop = true;
        m_Jobs.clear();
    }
    m_Wake.notify_all();
    if (m_Thread.joinable() && m_Thread.get_id() != std::this_thread::get_id())
        m_Thread.join();
}

std::string ConnectionFailure(const ClassroomSettings& settings, const BrokerAddress& broker, int rc, int err)
{
    const std::string at = "the classroom broker " + broker.Name();
    if (rc == MOSQ_ERR_ERRNO)
        return at + " cannot be reached: " + g_strerror(err);
    if (rc == MOSQ_ERR_EAI)
        return "the classroom broker's host name " + broker.host + " (in " + settings.file + ") cannot be resolved";
    if (rc == MOSQ_ERR_TLS) {
        std::string why = ProbeCertificate(broker.host, broker.port, settings.caFile);
        if (why.empty())
            return at + " cannot be reached: its TLS handshake failed";
        return at + " is not trusted: its certificate cannot be verified with the CA certificate " + settings.caFile +
               " (" + why + ")";
    }
    return at + " cannot be reached: " + Broker().strerror(rc);
}

std::string RefusalText(const ClassroomSettings& settings, const BrokerAddress& broker, int connackCode)
{
    const std::string at = "the classroom broker " + broker.Name();
    if (IsCredentialRefusal(connackCode))
        return at + " refused the user " + settings.user + " and its password from " + settings.file +
               " (wrong password, a machine removed from the class, or a teacher's settings from before the broker "
               "gave the teachers a port of their own: copy its folder from the broker again)";
    return at + " refused the connection: " + Broker().connack_string(connackCode);
}

bool IsCredentialRefusal(int connackCode)
{
    /* MQTT 3.1.1: 4 bad user name or password, 5 not authorised. */
    return connackCode == 4 || connackCode == 5;
}

} // namespace IPCAPI
