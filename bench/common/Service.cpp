/* The policy service for benchmarks that need it: a private bus and kel-service, as in the demo. */
#include "Service.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

namespace kelbench {

namespace {
pid_t g_Bus = -1;
pid_t g_Service = -1;
} // namespace

void StopService()
{
    if (g_Service > 0) {
        kill(g_Service, SIGTERM);
        waitpid(g_Service, nullptr, 0);
    }
    if (g_Bus > 0) {
        kill(g_Bus, SIGTERM);
        waitpid(g_Bus, nullptr, 0);
    }
}

bool StartService(const std::string& root)
{
#ifndef KEL_SERVICE
    (void)root;
    return false;
#else
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    std::string socket = "unix:path=" + root + "/bus-socket";
    /* The bus configuration is a template: this user owns the service's name there. */
    std::ifstream in(KEL_SOURCE_DIR "/data/kel-private-bus.conf");
    std::string conf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t at = conf.find("@OWNER@");
    if (at != std::string::npos)
        conf.replace(at, 7, std::to_string(geteuid()));
    const std::string confPath = root + "/bus.conf";
    std::ofstream(confPath) << conf;
    g_Bus = fork();
    if (g_Bus == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        execlp("dbus-daemon", "dbus-daemon", ("--config-file=" + confPath).c_str(),
               "--nofork", ("--address=" + socket).c_str(), "--print-address=1", (char*)nullptr);
        _exit(127);
    }
    close(fds[1]);
    std::string address;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n')
        address += c;
    close(fds[0]);
    if (address.empty())
        return false;
    setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
    g_Service = fork();
    if (g_Service == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        execl(KEL_SERVICE, KEL_SERVICE, "--own-user-only", (char*)nullptr);
        _exit(127);
    }
    for (int i = 0; i < 200; ++i) {
        if (system("gdbus call --system -d org.freedesktop.DBus -o /org/freedesktop/DBus -m "
                   "org.freedesktop.DBus.NameHasOwner org.kelproject.Policy1 2>/dev/null | grep -q true") == 0)
            return true;
        usleep(50000);
    }
    return false;
#endif
}

} // namespace kelbench
