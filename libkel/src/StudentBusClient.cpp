/* The student-side API over D-Bus: calls go to org.kelproject.Policy1 with bounded timeouts;
 * its signals are received on a thread of this library, which delivers the callbacks. */
#include "StudentBusClient.h"

#include "PolicyBus.h"

#include "KELLog.h"
#include "LocalService.h"
#include "kel-policy-glue.h"

#include <gio/gio.h>

#include <unistd.h>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <utility>

using LibKELData::CKELLog;

namespace IPCAPI {

namespace {


/* Calls that may wait for an administrator to authenticate, and those that never do. */
const int AUTHORISED_CALL_TIMEOUT_MS = 120000;
const int QUICK_CALL_TIMEOUT_MS = 10000;
/* How long a caller waits for the library's thread to connect to the bus. */
const auto CONNECT_WAIT = std::chrono::seconds(5);
/* Long enough for a window opened with the client to be drawn first. */
const guint JOIN_DELAY_MS = 250;
/* Completions of searches this process has not yet learnt the number of. */
const size_t MAX_EARLY_RESULTS = 32;

/* The IPCAPI code of a failed call; fallback for errors the service does not name. */
int ErrorCode(const GError* error, int fallback)
{
    if (error->domain == PolicyErrorQuark())
        return error->code;
    if (error->domain == G_DBUS_ERROR) {
        switch (error->code) {
        case G_DBUS_ERROR_ACCESS_DENIED: /* the bus's refusal (its policy) is a refusal too */
            return IPC_ERR_NOT_ALLOWED;
        case G_DBUS_ERROR_SERVICE_UNKNOWN:
        case G_DBUS_ERROR_NAME_HAS_NO_OWNER:
        case G_DBUS_ERROR_NO_REPLY:
        case G_DBUS_ERROR_DISCONNECTED:
        case G_DBUS_ERROR_UNKNOWN_METHOD:
        case G_DBUS_ERROR_UNKNOWN_OBJECT:
        case G_DBUS_ERROR_SPAWN_CHILD_EXITED: return IPC_ERR_NOT_RUNNING;
        default: break;
        }
    }
    /* Timed out, connection closed: nobody answers. Another remote error is the fallback. */
    if (g_dbus_error_is_remote_error(error))
        return fallback;
    return error->domain == G_IO_ERROR || error->domain == G_DBUS_ERROR ? IPC_ERR_NOT_RUNNING : fallback;
}

/* One call of the generated proxy's, given the call's flags and timeout. */
typedef std::function<bool(KelPolicy1* proxy, GDBusCallFlags flags, int timeoutMs, GError** error)> ProxyCall;
/* The three saves share the interface's signature. */
typedef gboolean (*SaveCall)(KelPolicy1*, const gchar*, GDBusCallFlags, gint, GCancellable*, GError**);

class CStudentBusClient : public IPCStudentAPI {
public:
    CStudentBusClient();

    int RegisterCallBack(CStudentAPICallbackBase* callback, int& err) override;
    int SearchLocalProgram(const std::string& path, int& op, int clear) override;
    int CancelOperation(int op, int& err) override;
    int SaveLocalSchedulePolicy(const std::string& xml, int& err) override
    {
        return Save("SaveSchedulePolicy", kel_policy1_call_save_schedule_policy_sync, xml, err);
    }
    int SaveLocalTabNavPolicy(const std::string& xml, int& err) override
    {
        return Save("SaveTabNavPolicy", kel_policy1_call_save_tab_nav_policy_sync, xml, err);
    }
    int HardWareControl(const std::string& xml, int& err) override
    {
        return Save("HardwareControl", kel_policy1_call_hardware_control_sync, xml, err);
    }

private:
    struct Completion {
        CStudentBusClient* self;
        std::string result;
    };

    int Save(const char* method, SaveCall call, const std::string& xml, int& err);
    /* The call made to the checked owner of the name; an IPCAPI code. method names it in the log. */
    int Call(const char* method, int timeoutMs, int fallback, const ProxyCall& call);
    /* A referenced connection to the bus, or null; connecting happens on the library's thread. */
    GDBusConnection* Connection();
    /* The unique name of the service's owner once the bus vouched that root (or this process's
     * user, whose own service can do nothing this user could not) runs it; "" otherwise. */
    std::string Owner(GDBusConnection* conn);

    /* On the library's thread. */
    static gpointer ThreadMain(gpointer self);
    static gboolean StartConnect(gpointer self);
    static gboolean JoinUnlessJoining(gpointer self);
    static void OnConnected(GObject* source, GAsyncResult* result, gpointer self);
    static void OnClosed(GDBusConnection* conn, gboolean remote, GError* error, gpointer self);
    /* The service's signals, heard through a proxy of the name on the library's thread. */
    bool FromOwner(KelPolicy1* proxy);
    static void OnSearchFinished(KelPolicy1* proxy, gint op, const gchar* result, gpointer self);
    static void OnPolicyChanged(KelPolicy1* proxy, const gchar* which, const gchar* xml, gpointer self);
    static void OnLockStatusChanged(KelPolicy1* proxy, gint status, gint64 until, gpointer self);
    static void OnNotice(KelPolicy1* proxy, const gchar* text, gpointer self);
    static void OnTeacherStatus(KelPolicy1* proxy, const gchar* teacher, gboolean online, gpointer self);
    static gboolean DeliverLate(gpointer completion);
    static void OnServiceVanished(GDBusConnection* conn, const gchar* name, gpointer self);
    void DeliverSearch(const std::string& result);
    void DeliverPolicy(const std::string& which, const std::string& xml);
    /* LockStatusChanged, Notice and TeacherStatus to the registered windows. */
    enum LockSignal { LOCK, NOTICE, TEACHER };
    void DeliverLockSignal(LockSignal kind, int status, const std::string& text);
    void ConnectionReady(GDBusConnection* conn);

    CCallbackRegistry m_Callbacks;
    GMainContext* m_pContext;
    std::mutex m_Mutex;
    std::condition_variable m_Changed;
    GDBusConnection* m_pConnection;
    KelPolicy1* m_pSignals; /* the library thread's proxy of the name, for its signals */
    bool m_Connecting;
    std::string m_Owner;                             /* see Owner(); cleared when the name leaves */
    std::set<int> m_Mine;                            /* searches started here, not yet finished */
    std::deque<std::pair<int, std::string> > m_Early; /* finished before their start returned */
};

CStudentBusClient::CStudentBusClient()
    : m_pContext(g_main_context_new())
    , m_pConnection(nullptr)
    , m_pSignals(nullptr)
    , m_Connecting(false)
{
    /* Before any reply can arrive: the service's errors then come in their own domain. */
    PolicyErrorQuark();
    /* Never joined: a thread held in a callback must not keep the process from ending. */
    g_thread_unref(g_thread_new("kel-bus-client", ThreadMain, this));
    /* The bus is joined by the first call, or a moment after the client is made for a host
     * that only listens: a window being opened would share the processor with the
     * handshake. Either way no callback can hold the thread up yet: there are none before
     * the bus is joined. */
    GSource* later = g_timeout_source_new(JOIN_DELAY_MS);
    g_source_set_callback(later, JoinUnlessJoining, this, nullptr);
    g_source_attach(later, m_pContext);
    g_source_unref(later);
}

gboolean CStudentBusClient::JoinUnlessJoining(gpointer data)
{
    CStudentBusClient* self = static_cast<CStudentBusClient*>(data);
    {
        std::lock_guard<std::mutex> lock(self->m_Mutex);
        if (self->m_pConnection || self->m_Connecting)
            return G_SOURCE_REMOVE;
        self->m_Connecting = true;
    }
    return StartConnect(data);
}

gpointer CStudentBusClient::ThreadMain(gpointer data)
{
    CStudentBusClient* self = static_cast<CStudentBusClient*>(data);
    g_main_context_push_thread_default(self->m_pContext);
    GMainLoop* loop = g_main_loop_new(self->m_pContext, FALSE);
    g_main_loop_run(loop);
    return nullptr;
}

GDBusConnection* CStudentBusClient::Connection()
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    if (m_pConnection && g_dbus_connection_is_closed(m_pConnection)) {
        g_object_unref(m_pConnection);
        m_pConnection = nullptr;
    }
    if (!m_pConnection) {
        if (!m_Connecting) {
            m_Connecting = true;
            g_main_context_invoke(m_pContext, StartConnect, this);
        }
        m_Changed.wait_for(lock, CONNECT_WAIT, [this] { return !m_Connecting; });
    }
    return m_pConnection ? G_DBUS_CONNECTION(g_object_ref(m_pConnection)) : nullptr;
}

gboolean CStudentBusClient::StartConnect(gpointer data)
{
    CStudentBusClient* self = static_cast<CStudentBusClient*>(data);
    GError* error = nullptr;
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
    if (!address) {
        CKELLog::WriteLine(std::string("Policy service client: no system bus: ") + error->message, 2, "", false);
        g_error_free(error);
        self->ConnectionReady(nullptr);
        return G_SOURCE_REMOVE;
    }
    g_dbus_connection_new_for_address(address,
                                      GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                           G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                                      nullptr, nullptr, OnConnected, self);
    g_free(address);
    return G_SOURCE_REMOVE;
}

void CStudentBusClient::OnConnected(GObject*, GAsyncResult* result, gpointer data)
{
    CStudentBusClient* self = static_cast<CStudentBusClient*>(data);
    GError* error = nullptr;
    GDBusConnection* conn = g_dbus_connection_new_for_address_finish(result, &error);
    if (!conn) {
        CKELLog::WriteLine(std::string("Policy service client: cannot connect to the system bus: ") + error->message,
                           2, "", false);
        g_error_free(error);
        self->ConnectionReady(nullptr);
        return;
    }
    g_dbus_connection_set_exit_on_close(conn, FALSE);
    g_signal_connect(conn, "closed", G_CALLBACK(OnClosed), self);
    /* Only the name's owner (root, by the bus policy) is heard; this thread receives. The
     * service is not started for it, and PropertiesChanged, which repeats LockStatusChanged,
     * is not listened to. */
    KelPolicy1* signals =
        kel_policy1_proxy_new_sync(conn,
                                   GDBusProxyFlags(G_DBUS_PROXY_FLAGS_DO_NOT_LOAD_PROPERTIES |
                                                   G_DBUS_PROXY_FLAGS_DO_NOT_AUTO_START_AT_CONSTRUCTION),
                                   POLICY_BUS_NAME, POLICY_OBJECT_PATH, nullptr, &error);
    if (!signals) {
        CKELLog::WriteLine(std::string("Policy service client: cannot listen to the service: ") + error->message, 2, "",
                           false);
        g_clear_error(&error);
    } else {
        g_signal_connect(signals, "search-finished", G_CALLBACK(OnSearchFinished), self);
        g_signal_connect(signals, "policy-changed", G_CALLBACK(OnPolicyChanged), self);
        g_signal_connect(signals, "lock-status-changed", G_CALLBACK(OnLockStatusChanged), self);
        g_signal_connect(signals, "notice", G_CALLBACK(OnNotice), self);
        g_signal_connect(signals, "teacher-status", G_CALLBACK(OnTeacherStatus), self);
        if (self->m_pSignals)
            g_object_unref(self->m_pSignals);
        self->m_pSignals = signals;
    }
    g_bus_watch_name_on_connection(conn, POLICY_BUS_NAME, G_BUS_NAME_WATCHER_FLAGS_NONE, nullptr, OnServiceVanished, self,
                                   nullptr);
    self->ConnectionReady(conn);
    g_object_unref(conn);
}

void CStudentBusClient::ConnectionReady(GDBusConnection* conn)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (conn)
        m_pConnection = G_DBUS_CONNECTION(g_object_ref(conn));
    m_Connecting = false;
    m_Changed.notify_all();
}

void CStudentBusClient::OnClosed(GDBusConnection* conn, gboolean, GError*, gpointer data)
{
    CStudentBusClient* self = static_cast<CStudentBusClient*>(data);
    std::lock_guard<std::mutex> lock(self->m_Mutex);
    if (self->m_pConnection == conn) {
        g_object_unref(self->m_pConnection);
        self->m_pConnection = nullptr;
    }
}

bool CStudentBusClient::FromOwner(KelPolicy1* proxy)
{
    /* The proxy hears the name's current owner only, and learns of a new one on this thread
     * before that one's signals: the sender of the signal being handled. */
    gchar* sender = g_dbus_proxy_get_name_owner(G_DBUS_PROXY(proxy));
    bool checked = sender && Owner(g_dbus_proxy_get_connection(G_DBUS_PROXY(proxy))) == sender;
    g_free(sender);
    return checked;
}

void CStudentBusClient::OnSearchFinished(KelPolicy1* proxy, gint op, const gchar* result, gpointer data)
{
    CStudentBusClient* self = static_cast<CStudentBusClient*>(data);
    if (!self->FromOwner(proxy))
        return;
    {
        std::lock_guard<std::mutex> lock(self->m_Mutex);
        if (self->m_Mine.erase(op) == 0) {
            /* Another process's search, or ours before its start returned. */
            self->m_Early.push_back(std::make_pair(op, std::string(result)));
            if (self->m_Early.size() > MAX_EARLY_RESULTS)
                self->m_Early.pop_front();
            return;
        }
    }
    self->DeliverSearch(result);
}

void CStudentBusClient::OnPolicyChanged(KelPolicy1* proxy, const gchar* which, const gchar* xml, gpointer data)
{
    CStudentBusClient* self = static_cast<CStudentBusClient*>(data);
    if (self->FromOwner(proxy))
        self->DeliverPolicy(which, xml);
}

void CStudentBusClient::OnLockStatusChanged(KelPolicy1* proxy, gint status, gint64, gpointer data)
{
    CStudentBusClient* self = static_cast<CStudentBusClient*>(data);
    if (self->FromOwner(proxy))
        self->DeliverLockSignal(LOCK, status, "");
}

void CStudentBusClient::OnNotice(KelPolicy1* proxy, const gchar* text, gpointer data)
{
    CStudentBusClient* self = static_cast<CStudentBusClient*>(data);
    if (self->FromOwner(proxy))
        self->DeliverLockSignal(NOTICE, 0, text);
}

void CStudentBusClient::OnTeacherStatus(KelPolicy1* proxy, const gchar* teacher, gboolean online, gpointer data)
{
    CStudentBusClient* self = static_cast<CStudentBusClient*>(data);
    if (self->FromOwner(proxy))
        self->DeliverLockSignal(TEACHER, online ? 1 : 0, teacher);
}

void CStudentBusClient::DeliverLockSignal(LockSignal kind, int status, const std::string& text)
{
    for (const auto& link : m_Callbacks.Live()) {
        if (link->GetSide() != CCallbackLink::SIDE_STUDENT || !link->BeginCall())
            continue;
        if (CStudentAPICallbackBase* target = static_cast<CStudentAPICallbackBase*>(link->Target())) {
            if (kind == LOCK)
                target->NotifyLockStatusChanged(status);
            else if (kind == NOTICE)
                target->PopNotifyCallback(text);
            else
                target->NotifyTeacherStatusChanged(text, status);
        }
        link->EndCall();
    }
}

void CStudentBusClient::OnServiceVanished(GDBusConnection*, const gchar*, gpointer data)
{
    /* A search under way when the service stopped would never end in its window otherwise; and
     * a restarted service numbers its searches afresh, so nothing heard before may match. */
    CStudentBusClient* self = static_cast<CStudentBusClient*>(data);
    std::set<int> running;
    {
        std::lock_guard<std::mutex> lock(self->m_Mutex);
        running.swap(self->m_Mine);
        self->m_Early.clear();
        self->m_Owner.clear();
    }
    for (size_t i = 0; i < running.size(); ++i)
        self->DeliverSearch("error: the policy service stopped");
}

gboolean CStudentBusClient::DeliverLate(gpointer data)
{
    Completion* c = static_cast<Completion*>(data);
    c->self->DeliverSearch(c->result);
    delete c;
    return G_SOURCE_REMOVE;
}

void CStudentBusClient::DeliverSearch(const std::string& result)
{
    for (const auto& link : m_Callbacks.Live())
        DeliverSearchLocalProgram(link, result);
}

void CStudentBusClient::DeliverPolicy(const std::string& which, const std::string& xml)
{
    for (const auto& link : m_Callbacks.Live()) {
        if (link->GetSide() != CCallbackLink::SIDE_STUDENT || !link->BeginCall())
            continue;
        CStudentAPICallbackBase* target = static_cast<CStudentAPICallbackBase*>(link->Target());
        if (target && which == "TabNavigation")
            target->NotifyTabNavPolicyChanged(xml);
        else if (target && which == "LockSchedule")
            target->NotifySchedulePolicyChanged(xml);
        link->EndCall();
    }
}

std::string CStudentBusClient::Owner(GDBusConnection* conn)
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (!m_Owner.empty())
            return m_Owner;
    }
    auto ask = [conn](const char* method, GVariant* args, const GVariantType* type) {
        return g_dbus_connection_call_sync(conn, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                           method, args, type, G_DBUS_CALL_FLAGS_NONE, QUICK_CALL_TIMEOUT_MS, nullptr,
                                           nullptr);
    };
    GVariant* owner = ask("GetNameOwner", g_variant_new("(s)", POLICY_BUS_NAME), G_VARIANT_TYPE("(s)"));
    if (!owner) {
        /* Not running yet: started by the bus (activation), then asked again. */
        GVariant* started = ask("StartServiceByName", g_variant_new("(su)", POLICY_BUS_NAME, 0u), G_VARIANT_TYPE("(u)"));
        if (started)
            g_variant_unref(started);
        owner = started ? ask("GetNameOwner", g_variant_new("(s)", POLICY_BUS_NAME), G_VARIANT_TYPE("(s)")) : nullptr;
    }
    if (!owner)
        return "";
    const gchar* unique = nullptr;
    g_variant_get(owner, "(&s)", &unique);
    const std::string name = unique;
    g_variant_unref(owner);
    GVariant* user = ask("GetConnectionUnixUser", g_variant_new("(s)", name.c_str()), G_VARIANT_TYPE("(u)"));
    guint32 uid = static_cast<guint32>(-1);
    if (user) {
        g_variant_get(user, "(u)", &uid);
        g_variant_unref(user);
    }
    if (uid != 0 && uid != getuid()) {
        CKELLog::WriteLine(std::string("Policy service client: ") + POLICY_BUS_NAME + " is held by user " +
                               std::to_string(uid) + ", not by root: it is not used",
                           2, "", false);
        return "";
    }
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Owner = name;
    return name;
}

int CStudentBusClient::Call(const char* method, int timeoutMs, int fallback, const ProxyCall& call)
{
    GDBusConnection* conn = Connection();
    if (!conn)
        return IPC_ERR_NOT_RUNNING;
    /* Sent to the owner that was checked, not to whoever holds the name by then. An owner that
     * left before this thread heard of it is forgotten, and the name asked for once more. */
    int code = IPC_ERR_NOT_RUNNING;
    for (int attempt = 0; attempt < 2 && code == IPC_ERR_NOT_RUNNING; ++attempt) {
        const std::string owner = Owner(conn);
        if (owner.empty())
            break;
        GError* error = nullptr;
        /* A proxy of a unique name costs no round trip; made here, it is this caller's alone. */
        KelPolicy1* proxy = kel_policy1_proxy_new_sync(conn,
                                                       GDBusProxyFlags(G_DBUS_PROXY_FLAGS_DO_NOT_LOAD_PROPERTIES |
                                                                       G_DBUS_PROXY_FLAGS_DO_NOT_CONNECT_SIGNALS |
                                                                       G_DBUS_PROXY_FLAGS_DO_NOT_AUTO_START),
                                                       owner.c_str(), POLICY_OBJECT_PATH, nullptr, &error);
        bool done = proxy && call(proxy, G_DBUS_CALL_FLAGS_ALLOW_INTERACTIVE_AUTHORIZATION, timeoutMs, &error);
        if (proxy)
            g_object_unref(proxy);
        if (done) {
            code = IPC_OK;
            break;
        }
        code = ErrorCode(error, fallback);
        /* Only a call that reached no one is sent again. */
        bool gone = g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
            g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER);
        g_dbus_error_strip_remote_error(error);
        CKELLog::WriteLine(std::string("Policy service client: ") + method + " failed: " + error->message,
                           code == IPC_ERR_NO_SUCH_OPERATION ? 0 : 2, "", false);
        g_error_free(error);
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (gone && m_Owner == owner)
            m_Owner.clear();
        else
            break;
    }
    g_object_unref(conn);
    return code;
}

int CStudentBusClient::RegisterCallBack(CStudentAPICallbackBase* callback, int& err)
{
    err = callback ? IPC_OK : IPC_ERR_INVALID_ARGUMENT;
    if (callback)
        m_Callbacks.Add(callback->GetCallbackLink());
    return err;
}

int CStudentBusClient::SearchLocalProgram(const std::string& path, int& op, int clear)
{
    op = 0;
    /* The bus carries UTF-8 text only; no path is longer than PATH_MAX. */
    if (path.empty() || path[0] != '/' || path.size() >= PATH_MAX || !g_utf8_validate(path.data(), path.size(), nullptr))
        return IPC_ERR_INVALID_ARGUMENT;
    gint started = 0;
    int code = Call("SearchLocalProgram", AUTHORISED_CALL_TIMEOUT_MS, IPC_ERR_BUSY,
                    [&](KelPolicy1* proxy, GDBusCallFlags flags, int timeoutMs, GError** error) {
                        return kel_policy1_call_search_local_program_sync(proxy, path.c_str(), clear ? TRUE : FALSE,
                                                                          flags, timeoutMs, &started, nullptr, error);
                    });
    if (code != IPC_OK)
        return code;
    std::lock_guard<std::mutex> lock(m_Mutex);
    for (auto it = m_Early.begin(); it != m_Early.end(); ++it) {
        if (it->first == started) {
            /* Already over: delivered from the library's thread all the same. */
            g_main_context_invoke(m_pContext, DeliverLate, new Completion{this, it->second});
            m_Early.erase(it);
            op = started;
            return IPC_OK;
        }
    }
    m_Mine.insert(started);
    op = started;
    return IPC_OK;
}

int CStudentBusClient::CancelOperation(int op, int& err)
{
    err = Call("CancelOperation", QUICK_CALL_TIMEOUT_MS, IPC_ERR_NO_SUCH_OPERATION,
               [op](KelPolicy1* proxy, GDBusCallFlags flags, int timeoutMs, GError** error) {
                   return kel_policy1_call_cancel_operation_sync(proxy, op, flags, timeoutMs, nullptr, error);
               });
    if (err == IPC_OK) {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Mine.erase(op);
    }
    return err;
}

int CStudentBusClient::Save(const char* method, SaveCall call, const std::string& xml, int& err)
{
    if (xml.size() > MAX_POLICY_TEXT) {
        err = IPC_ERR_TOO_LARGE;
        return err;
    }
    /* Not text the bus can carry, nor a policy any loader would take. */
    if (!g_utf8_validate(xml.data(), xml.size(), nullptr)) {
        err = IPC_ERR_PARSE;
        return err;
    }
    err = Call(method, AUTHORISED_CALL_TIMEOUT_MS, IPC_ERR_SAVE,
               [call, &xml](KelPolicy1* proxy, GDBusCallFlags flags, int timeoutMs, GError** error) {
                   return call(proxy, xml.c_str(), flags, timeoutMs, nullptr, error) != FALSE;
               });
    return err;
}

} // namespace

IPCStudentAPI* StudentBusClient()
{
    static IPCStudentAPI* client = new CStudentBusClient;
    return client;
}

} // namespace IPCAPI
