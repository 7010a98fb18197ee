/* The private bus, the stand-in polkit authority and kel-service of the service tests. */
#include "ServiceFixture.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <glib/gstdio.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "KelFault.h"
#include "KelTest.h"

namespace keltest {

namespace {

const char* const POLKIT_NAME = "org.freedesktop.PolicyKit1";
const char* const SERVICE_NAME = "org.kelproject.Policy1";
const int START_TIMEOUT_MS = 60000;

/* Never destroyed: the exit handler uses it. */
struct Fixture {
    std::string busDir;
    pid_t bus = 0, polkit = 0, service = 0;
    GDBusConnection* conn = nullptr;
} * g_State = new Fixture;

void Reap(pid_t& pid, int sig)
{
    if (pid > 0 && kill(pid, sig) == 0)
        waitpid(pid, nullptr, 0);
    pid = 0;
}

void StopAll()
{
    Reap(g_State->service, SIGTERM);
    Reap(g_State->polkit, SIGTERM);
    Reap(g_State->bus, SIGTERM);
    for (const char* name : {"/socket", "/polkit.log", "/runas.err", "/bus.conf", ""})
        g_remove((g_State->busDir + name).c_str());
}

/* fork and exec; the child dies with the test, runs as user when given, writes its output to
 * logPath when given; the service logs what it does. */
pid_t Spawn(const std::vector<std::string>& argv, uid_t user, const std::string& logPath,
            const std::vector<std::string>& extraEnv = {})
{
    std::vector<char*> args = ExecArgv(argv);
    /* Our code in the service runs on one thread; what ThreadSanitizer reports there is GLib's
     * futex locks, which it cannot see (the test process routes them through pthread). */
    std::vector<std::string> changes = {"G_MESSAGES_DEBUG=KEL", "TSAN_OPTIONS=report_bugs=0"};
    changes.insert(changes.end(), extraEnv.begin(), extraEnv.end());
    gchar** env = ExecEnviron(changes);
    struct passwd* pw = user != static_cast<uid_t>(-1) ? getpwuid(user) : nullptr;
    gid_t gid = pw ? pw->pw_gid : static_cast<gid_t>(user);
    pid_t pid = fork();
    if (pid != 0) {
        g_strfreev(env);
        return pid;
    }
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    int log = logPath.empty() ? -1 : open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (log >= 0 && (dup2(log, STDOUT_FILENO) < 0 || dup2(log, STDERR_FILENO) < 0))
        _exit(125);
    if (user != static_cast<uid_t>(-1) && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(user) != 0))
        _exit(126);
    execve(args[0], args.data(), env);
    _exit(127);
}

/* Asks the bus, call after call (each waits for the bus's answer), until the name has (or has no) owner. */
bool WaitForName(const char* name, bool wanted)
{
    return keltest::WaitUntil(
        [name, wanted] {
            GVariant* reply = g_dbus_connection_call_sync(
                g_State->conn, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
                g_variant_new("(s)", name), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
            gboolean owned = FALSE;
            if (reply) {
                g_variant_get(reply, "(b)", &owned);
                g_variant_unref(reply);
            }
            return reply && (owned != FALSE) == wanted;
        },
        START_TIMEOUT_MS);
}

bool StartBus()
{
    char dir[] = "/tmp/kel-bus-XXXXXX";
    if (!mkdtemp(dir) || chmod(dir, 0755) != 0) /* callers of other users reach the socket too */
        return false;
    g_State->busDir = dir;
    const std::string address = "unix:path=" + g_State->busDir + "/socket";
    atexit(StopAll);
    /* The test's user alone may own the service's name, as root alone on the system bus. */
    std::string conf = keltest::ReadFile(KEL_SOURCE_DIR "/data/kel-private-bus.conf");
    conf.replace(conf.find("@OWNER@"), 7, std::to_string(geteuid()));
    const std::string confPath = g_State->busDir + "/bus.conf";
    if (!keltest::WriteFile(confPath, conf))
        return false;
    g_State->bus = Spawn({"/usr/bin/dbus-daemon", "--config-file=" + confPath, "--nofork", "--address=" + address},
                         static_cast<uid_t>(-1), "");
    setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
    /* Connecting fails fast until the daemon listens. */
    keltest::WaitUntil([] { return (g_State->conn = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr)) != nullptr; },
                       START_TIMEOUT_MS);
    if (g_State->conn)
        g_dbus_connection_set_exit_on_close(g_State->conn, FALSE);
    if (!g_State->conn || geteuid() != 0)
        return g_State->conn != nullptr;
    g_State->polkit = Spawn({"/usr/bin/python3", "-m", "dbusmock", "--template", "polkitd"}, static_cast<uid_t>(-1),
                            g_State->busDir + "/polkit.log");
    return WaitForName(POLKIT_NAME, true) &&
           SetPolkitAllowed({"org.kelproject.policy.save", "org.kelproject.policy.hardware",
                             "org.kelproject.policy.search"});
}

} // namespace

bool StartPolicyService(uid_t user, const std::string& program, const std::vector<std::string>& env)
{
    if (!g_State->conn && !StartBus())
        return false;
    if (g_State->service > 0 && waitpid(g_State->service, nullptr, WNOHANG) == 0)
        return true;
    g_State->service = Spawn({program.empty() ? KEL_BINARY_DIR "/service/kel-service" : program}, user,
                             keltest::Root() + "/../kel-service.log", env);
    return WaitForName(SERVICE_NAME, true);
}

bool StopPolicyService()
{
    Reap(g_State->service, SIGKILL);
    return !g_State->conn || WaitForName(SERVICE_NAME, false);
}

std::string PolicyServiceLog()
{
    return keltest::ReadFile(keltest::Root() + "/../kel-service.log");
}

bool SetPolkitAllowed(const std::vector<std::string>& actions)
{
    std::string list = "@as [";
    for (const std::string& a : actions)
        list += (list.size() > 5 ? ",'" : "'") + a + "'";
    return RunAs(static_cast<uid_t>(-1), {"/usr/bin/gdbus", "call", "--system", "-d", POLKIT_NAME, "-o",
                                          "/org/freedesktop/PolicyKit1/Authority", "-m",
                                          "org.freedesktop.DBus.Mock.SetAllowed", list + "]"}) == 0;
}

int RunAs(uid_t user, const std::vector<std::string>& argv, std::string* err)
{
    const std::string errPath = g_State->busDir + "/runas.err";
    g_remove(errPath.c_str());
    pid_t pid = Spawn(argv, user, errPath);
    int status = 0;
    waitpid(pid, &status, 0);
    if (err)
        *err = keltest::ReadFile(errPath);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace keltest
