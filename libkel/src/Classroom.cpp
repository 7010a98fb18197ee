/* The classroom's settings file, topics, message format and broker sessions. */
#include "Classroom.h"

#include "BrokerClient.h"
#include "KELPaths.h"

#include <glib.h>

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

} // namespace

bool ClassroomSettings::Load(const std::string& file, ClassroomSettings& settings, std::string& reason)
{
    GKeyFile* keys = g_key_file_new();
    GError* error = NULL;
    if (!g_key_file_load_from_file(keys, file.c_str(), G_KEY_FILE_NONE, &error)) {
        reason = "the classroom settings " + file + " cannot be read: " + error->message;
        g_error_free(error);
        g_key_file_free(keys);
        return false;
    }
    ClassroomSettings s;
    std::string host = KeyString(keys, "host");
    if (!host.empty())
        s.host = host;
    GError* portError = NULL;
    int port = g_key_file_get_integer(keys, "classroom", "port", &portError);
    if (portError)
        g_error_free(portError);
    else
        s.port = port;
    s.className = KeyString(keys, "class");
    s.caFile = Beside(file, KeyString(keys, "ca"));
    s.user = KeyString(keys, "user");
    s.password = KeyString(keys, "password");
    std::string passwordFile = KeyString(keys, "password-file");
    s.answerTimeoutMs = KeySeconds(keys, "answer-timeout", s.answerTimeoutMs);
    s.connectTimeoutMs = KeySeconds(keys, "connect-timeout", s.connectTimeoutMs);
    g_key_file_free(keys);

    if (s.password.empty() && !passwordFile.empty()) {
        gchar* text = NULL;
        if (g_file_get_contents(Beside(file, passwordFile).c_str(), &text, NULL, NULL)) {
            std::string all = text;
            s.password = all.substr(0, all.find_first_of("\r\n"));
        }
        g_free(text);
    }
    if (!IsTopicWord(s.className) || !IsTopicWord(s.user))
        reason = "the classroom settings name no usable class and user";
    else if (s.port <= 0 || s.port > 65535)
        reason = "the classroom settings name no usable port";
    else if (s.caFile.empty())
        reason = "the classroom settings name no CA certificate (the broker takes TLS only)";
    else if (s.password.empty())
        reason = "the classroom settings hold no password";
    else {
        settings = s;
        return true;
    }
    return false;
}

namespace topic {

std::string Base(const std::string& cls)
{
    return "kel/" + cls + "/";
}

std::string Presence(const std::string& cls, const std::string& student)
{
    return Base(cls) + "presence/" + student;
}

std::string SearchRequest(const std::string& cls)
{
    return Base(cls) + "request/search";
}

std::string CancelRequest(const std::string& cls)
{
    return Base(cls) + "request/cancel";
}

std::string Policy(const std::string& cls, const std::string& kind)
{
    return Base(cls) + "policy/" + kind;
}

std::string Answer(const std::string& cls, const std::string& student, const std::string& what)
{
    return Base(cls) + "answer/" + student + "/" + what;
}

bool Split(const std::string& topic, const std::string& cls, std::string& a, std::string& b, std::string& c)
{
    std::string base = Base(cls);
    if (topic.compare(0, base.size(), base) != 0)
        return false;
    gchar** parts = g_strsplit(topic.c_str() + base.size(), "/", 4);
    guint n = g_strv_length(parts);
    a = n > 0 ? parts[0] : "";
    b = n > 1 ? parts[1] : "";
    c = n > 2 ? parts[2] : "";
    bool ok = n <= 3;
    g_strfreev(parts);
    return ok;
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
    if (rc == MOSQ_ERR_SUCCESS)
        rc = broker->tls_set(session, settings.caFile.c_str(), NULL, NULL, NULL, NULL);
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
    , m_Port(0)
    , m_Delay(FIRST_DELAY_MS)
    , m_Stop(false)
{
}

CSessionLoop::~CSessionLoop()
{
    Stop();
}

bool CSessionLoop::Start(mosquitto* session, const std::string& host, int port, std::string& reason)
{
    m_Session = session;
    m_Host = host;
    m_Port = port;
    try {
        m_Thread = std::thread([this] { Run(); });
    } catch (const std::system_error& e) {
        reason = std::string("cannot start the broker client: ") + e.what();
        return false;
    }
    return true;
}

void CSessionLoop::Run()
{
    bool connected = false;
    int afterStop = 0;
    for (;;) {
        bool stopping;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            stopping = m_Stop;
        }
        int rc = MOSQ_ERR_SUCCESS;
        if (!connected && stopping)
            return;
        if (!connected)
            rc = Broker().connect(m_Session, m_Host.c_str(), m_Port, 10);
        /* This thread writes what other threads publish, the goodbye included. */
        if (rc == MOSQ_ERR_SUCCESS)
            rc = Broker().loop(m_Session, 100, 1);
        connected = rc == MOSQ_ERR_SUCCESS;
        if (stopping && (!connected || ++afterStop > 20))
            return;
        if (connected)
            continue;
        /* Refused, lost or unreachable: try again later. */
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

std::string ConnectFailure(int connackCode)
{
    if (IsCredentialRefusal(connackCode))
        return "the classroom broker refused our credentials";
    std::string unused;
    const BrokerClient* broker = LoadBrokerClient(unused);
    return std::string("the classroom broker cannot be reached (") +
           (broker ? broker->connack_string(connackCode) : "code " + std::to_string(connackCode)) + ")";
}

bool IsCredentialRefusal(int connackCode)
{
    /* MQTT 3.1.1: 4 bad user name or password, 5 not authorised. */
    return connackCode == 4 || connackCode == 5;
}

} // namespace IPCAPI
