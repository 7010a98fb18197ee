/* The private bus, the stand-in polkit authority and kel-service of the service tests. */
#include "ServiceFixture.h"

#include <gio/gio.h>
#include <glib/gstdio.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <grp.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "KelTest.h"

namespace KelTest {

namespace {

const char* const POLKIT_NAME = "org.freedesktop.PolicyKit1";
const char* const SERVICE_NAME = "org.kelproject.Policy1";
const int START_TIMEOUT_MS = 20000;

struct Fixture {
    std::string busDir;
    pid_t bus = 0, polkit = 0, service = 0;
    GDBusConnection* conn = nullptr;
};

Fixture& State()
{
    static Fixture* f = new Fixture;
    return *f;
}

void Reap(pid_t& pid, int sig)
{
    if (pid <= 0)
        return;
    kill(pid, sig);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid = 0;
}

void StopAll()
{
    Fixture& f = State();
    Reap(f.service, SIGTERM);
    Reap(f.polkit, SIGTERM);
    Reap(f.bus, SIGTERM);
    if (!f.busDir.empty()) {
        g_unlink((f.busDir + "/socket").c_str());
        g_rmdir(f.busDir.c_str());
    }
}

/* fork and exec; the child dies with the test, runs as user when given, its stdout to outFd
 * and its stderr to errPath when given; the service logs what it does. */
pid_t Spawn(const std::vector<std::string>& argv, uid_t user, int outFd, const std::string& errPath)
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    gchar** env = g_environ_setenv(g_get_environ(), "G_MESSAGES_DEBUG", "KEL", TRUE);
    struct passwd* pw = user != static_cast<uid_t>(-1) ? getpwuid(user) : nullptr;
    gid_t gid = pw ? pw->pw_gid : static_cast<gid_t>(user);
    pid_t pid = fork();
    if (pid != 0) {
        g_strfreev(env);
        return pid;
    }
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (outFd >= 0)
        dup2(outFd, STDOUT_FILENO);
    if (!errPath.empty()) {
        int fd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            dup2(fd, STDERR_FILENO);
            /* GLib writes its informational lines to stdout. */
            if (outFd < 0)
                dup2(fd, STDOUT_FILENO);
        }
    }
    if (user != static_cast<uid_t>(-1) && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(user) != 0))
        _exit(126);
    execve(args[0], args.data(), env);
    _exit(127);
}

gboolean Timeout(gpointer flag)
{
    *static_cast<bool*>(flag) = true;
    return G_SOURCE_REMOVE;
}

void Appeared(GDBusConnection*, const gchar*, const gchar*, gpointer present)
{
    *static_cast<int*>(present) = 1;
}

void Vanished(GDBusConnection*, const gchar*, gpointer present)
{
    *static_cast<int*>(present) = 0;
}

/* Waits on a context of its own until the name has (or has no) owner. */
bool WaitForName(const char* name, bool wanted)
{
    GMainContext* ctx = g_main_context_new();
    g_main_context_push_thread_default(ctx);
    int present = -1;
    bool timedOut = false;
    guint watch = g_bus_watch_name_on_connection(State().conn, name, G_BUS_NAME_WATCHER_FLAGS_NONE, Appeared,
                                                 Vanished, &present, nullptr);
    GSource* timer = g_timeout_source_new(START_TIMEOUT_MS);
    g_source_set_callback(timer, Timeout, &timedOut, nullptr);
    g_source_attach(timer, ctx);
    while (!timedOut && present != (wanted ? 1 : 0))
        g_main_context_iteration(ctx, TRUE);
    g_source_destroy(timer);
    g_source_unref(timer);
    g_bus_unwatch_name(watch);
    while (g_main_context_iteration(ctx, FALSE)) {
    }
    g_main_context_pop_thread_default(ctx);
    g_main_context_unref(ctx);
    return present == (wanted ? 1 : 0);
}

bool StartBus()
{
    Fixture& f = State();
    char dir[] = "/tmp/kel-bus-XXXXXX";
    if (!mkdtemp(dir))
        return false;
    /* Callers of other users reach the socket too. */
    chmod(dir, 0755);
    f.busDir = dir;
    const std::string address = "unix:path=" + f.busDir + "/socket";
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return false;
    f.bus = Spawn({"/usr/bin/dbus-daemon", "--config-file=" KEL_SOURCE_DIR "/data/kel-private-bus.conf", "--nofork",
                   "--address=" + address, "--print-address=1"},
                  static_cast<uid_t>(-1), pipeFds[1], "");
    close(pipeFds[1]);
    atexit(StopAll);
    /* The daemon prints its address once it listens. */
    struct pollfd p = {pipeFds[0], POLLIN, 0};
    char buf[512];
    bool ready = poll(&p, 1, START_TIMEOUT_MS) == 1 && read(pipeFds[0], buf, sizeof(buf)) > 0;
    close(pipeFds[0]);
    if (!ready)
        return false;
    setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
    f.conn = g_dbus_connection_new_for_address_sync(
        address.c_str(),
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    if (!f.conn)
        return false;
    g_dbus_connection_set_exit_on_close(f.conn, FALSE);
    if (geteuid() != 0)
        return true;
    f.polkit = Spawn({"/usr/bin/python3", "-m", "dbusmock", "--template", "polkitd", "-l", f.busDir + "/polkit.log"},
                     static_cast<uid_t>(-1), -1, f.busDir + "/polkit.err");
    return WaitForName(POLKIT_NAME, true) &&
           SetPolkitAllowed({"org.kelproject.policy.save", "org.kelproject.policy.hardware",
                             "org.kelproject.policy.search"});
}

} // namespace

bool StartPolicyService(uid_t user)
{
    Fixture& f = State();
    if (!f.conn && !StartBus())
        return false;
    if (f.service > 0 && waitpid(f.service, nullptr, WNOHANG) == 0)
        return true;
    f.service = Spawn({KEL_BINARY_DIR "/service/kel-service"}, user, -1, keltest::Root() + "/../kel-service.log");
    return WaitForName(SERVICE_NAME, true);
}

bool StopPolicyService()
{
    Fixture& f = State();
    Reap(f.service, SIGKILL);
    return !f.conn || WaitForName(SERVICE_NAME, false);
}

pid_t PolicyServicePid()
{
    return State().service;
}

std::string PolicyServiceLog()
{
    return keltest::ReadFile(keltest::Root() + "/../kel-service.log");
}

bool SetPolkitAllowed(const std::vector<std::string>& actions)
{
    GVariantBuilder list;
    g_variant_builder_init(&list, G_VARIANT_TYPE("as"));
    for (const std::string& a : actions)
        g_variant_builder_add(&list, "s", a.c_str());
    GVariant* reply = g_dbus_connection_call_sync(State().conn, POLKIT_NAME, "/org/freedesktop/PolicyKit1/Authority",
                                                  "org.freedesktop.DBus.Mock", "SetAllowed",
                                                  g_variant_new("(as)", &list), nullptr, G_DBUS_CALL_FLAGS_NONE,
                                                  START_TIMEOUT_MS, nullptr, nullptr);
    if (reply)
        g_variant_unref(reply);
    return reply != nullptr;
}

std::string PolkitLog()
{
    return keltest::ReadFile(State().busDir + "/polkit.log");
}

int RunAs(uid_t user, const std::vector<std::string>& argv, std::string* err)
{
    char errPath[] = "/tmp/kel-runas-XXXXXX";
    int fd = mkstemp(errPath);
    if (fd < 0)
        return -1;
    close(fd);
    pid_t pid = Spawn(argv, user, -1, errPath);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (err)
        *err = keltest::ReadFile(errPath);
    g_unlink(errPath);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace KelTest
