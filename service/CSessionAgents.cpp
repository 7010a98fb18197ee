/* Watching the sessions' lock agents and starting a killed one again. */
#include "CSessionAgents.h"

#include "KELLog.h"

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

using LibKELData::CKELLog;

namespace KelService {

namespace {

/* A killed agent is back at once; one that keeps ending waits this long, still within two seconds. */
const gint64 QUICK_RESTART_US = G_USEC_PER_SEC;
const guint SLOW_RESTART_MS = 1000;
const size_t MAX_TEXT = 256;

bool Printable(const std::string& s, bool mayBeEmpty)
{
    if (s.size() > MAX_TEXT || (s.empty() && !mayBeEmpty))
        return false;
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7f)
            return false;
    return true;
}

struct Identity {
    bool drop;
    uid_t uid;
    gid_t gid;
    std::vector<gid_t> groups;
};

/* In the child between fork and exec: system calls only. */
void TakeIdentity(gpointer data)
{
    const Identity* id = static_cast<const Identity*>(data);
    if (id->drop && (setgroups(id->groups.size(), id->groups.data()) != 0 || setgid(id->gid) != 0 ||
                     setuid(id->uid) != 0))
        _exit(126);
}

std::string Who(uid_t uid, const std::string& display)
{
    return "the lock agent of user " + std::to_string(uid) + " on " + display;
}

} // namespace

CSessionAgents::CSessionAgents(GDBusConnection* bus, const std::string& agent)
    : m_pBus(G_DBUS_CONNECTION(g_object_ref(bus)))
    , m_Agent(agent)
{
}

CSessionAgents::~CSessionAgents()
{
    while (!m_Sessions.empty())
        Forget(m_Sessions.begin()->second);
    g_object_unref(m_pBus);
}

std::string CSessionAgents::Register(const std::string& sender, const Caller& caller, const std::string& display,
                                     const std::string& xauthority, const std::string& language)
{
    if (!Printable(display, false) || display[0] == '-' || !Printable(xauthority, true) ||
        (!xauthority.empty() && xauthority[0] != '/') || !Printable(language, true))
        return "unusable session";
    /* Only its own user is started again; a service that is not root can start no other. */
    if (!caller.known || (geteuid() != 0 && caller.uid != geteuid()))
        return "not allowed";
    const Key key(caller.uid, display);
    auto it = m_Sessions.find(key);
    size_t mine = 0;
    for (const auto& entry : m_Sessions)
        mine += entry.first.first == caller.uid;
    /* One user cannot crowd out the others. */
    if (it == m_Sessions.end() && (m_Sessions.size() >= MAX_SESSIONS || mine >= MAX_SESSIONS_OF_A_USER))
        return "too many sessions";
    Session* s = it != m_Sessions.end() ? it->second : new Session{this, caller, display, "", "", 0, 0, 0};
    m_Sessions[key] = s;
    s->xauthority = xauthority;
    s->language = language;
    if (s->watch)
        g_bus_unwatch_name(s->watch);
    s->watch = g_bus_watch_name_on_connection(m_pBus, sender.c_str(), G_BUS_NAME_WATCHER_FLAGS_NONE, nullptr,
                                              OnVanished, s, nullptr);
    CKELLog::WriteLine("Session agents: watching " + Who(caller.uid, display), 1, "", false);
    return "";
}

void CSessionAgents::OnVanished(GDBusConnection*, const gchar*, gpointer data)
{
    Session* s = static_cast<Session*>(data);
    g_bus_unwatch_name(s->watch);
    s->watch = 0;
    CKELLog::WriteLine(Who(s->caller.uid, s->display) + " ended (killed?): starting it again", 2, "", false);
    s->self->Restart(s);
}

void CSessionAgents::Restart(Session* s)
{
    if (s->pending)
        return;
    if (g_get_monotonic_time() - s->lastStart < QUICK_RESTART_US)
        s->pending = g_timeout_add(SLOW_RESTART_MS, StartLater, s);
    else
        Start(s);
}

gboolean CSessionAgents::StartLater(gpointer data)
{
    Session* s = static_cast<Session*>(data);
    s->pending = 0;
    s->self->Start(s);
    return G_SOURCE_REMOVE;
}

void CSessionAgents::Start(Session* s)
{
    s->lastStart = g_get_monotonic_time();
    struct passwd* pw = getpwuid(s->caller.uid);
    Identity id{geteuid() == 0 && s->caller.uid != 0, s->caller.uid, s->caller.gid, s->caller.groups};
    gchar** env = nullptr;
    env = g_environ_setenv(env, "DISPLAY", s->display.c_str(), TRUE);
    if (!s->xauthority.empty())
        env = g_environ_setenv(env, "XAUTHORITY", s->xauthority.c_str(), TRUE);
    if (!s->language.empty())
        env = g_environ_setenv(env, "LANG", s->language.c_str(), TRUE);
    env = g_environ_setenv(env, "PATH", "/usr/bin:/bin", TRUE);
    if (pw) {
        env = g_environ_setenv(env, "HOME", pw->pw_dir, TRUE);
        env = g_environ_setenv(env, "USER", pw->pw_name, TRUE);
        env = g_environ_setenv(env, "LOGNAME", pw->pw_name, TRUE);
    }
    /* The service's own bus and root: the tests' private bus and sandbox, where they are set. */
    for (const char* name : {"DBUS_SYSTEM_BUS_ADDRESS", "KEL_ROOT", "G_DEBUG"})
        if (const char* value = g_getenv(name))
            env = g_environ_setenv(env, name, value, TRUE);
    const gchar* argv[] = {m_Agent.c_str(), nullptr};
    GPid pid = 0;
    GError* error = nullptr;
    if (!g_spawn_async("/", const_cast<gchar**>(argv), env, G_SPAWN_DO_NOT_REAP_CHILD, TakeIdentity, &id, &pid,
                       &error)) {
        CKELLog::WriteLine("Session agents: cannot start " + m_Agent + ": " + error->message, 2, "", false);
        g_error_free(error);
        g_strfreev(env);
        Forget(s);
        return;
    }
    g_strfreev(env);
    s->child = pid;
    /* The service outlives its main loop, which alone runs this watch. */
    g_child_watch_add_full(G_PRIORITY_DEFAULT, pid, OnChildExit, new Child{this, Key(s->caller.uid, s->display)},
                           [](gpointer c) { delete static_cast<Child*>(c); });
}

void CSessionAgents::OnChildExit(GPid pid, gint status, gpointer data)
{
    Child* c = static_cast<Child*>(data);
    g_spawn_close_pid(pid);
    auto it = c->self->m_Sessions.find(c->key);
    /* An agent that announced itself is watched on the bus; one that did not is watched here. */
    if (it == c->self->m_Sessions.end() || it->second->child != pid || it->second->watch || it->second->pending)
        return;
    Session* s = it->second;
    s->child = 0;
    if (WIFEXITED(status) && WEXITSTATUS(status) == EXIT_NO_DISPLAY) {
        CKELLog::WriteLine(Who(s->caller.uid, s->display) + ": the session is gone", 1, "", false);
        c->self->Forget(s);
        return;
    }
    CKELLog::WriteLine(Who(s->caller.uid, s->display) + " ended before it announced itself: starting it again", 2,
                       "", false);
    c->self->Restart(s);
}

void CSessionAgents::Forget(Session* s)
{
    if (s->watch)
        g_bus_unwatch_name(s->watch);
    if (s->pending)
        g_source_remove(s->pending);
    m_Sessions.erase(Key(s->caller.uid, s->display));
    delete s;
}

} // namespace KelService
