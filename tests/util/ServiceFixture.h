/* The real policy service for tests: a private dbus-daemon with the project's bus configuration
 * standing in for the system bus, kel-service on the test's KEL_ROOT, and (as root) python3-dbusmock's
 * polkitd template as the polkit authority. Everything started is stopped when the process ends. */
#ifndef KEL_SERVICE_FIXTURE_H
#define KEL_SERVICE_FIXTURE_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace keltest {

/* Starts what is not running yet (the bus once per process, the service again after a stop) and
 * sets DBUS_SYSTEM_BUS_ADDRESS; as root the authority allows every action of the service. The
 * service (program, default the built one) runs as the given user (default: the test's own,
 * the only one that may own its name), with env's NAME=VALUE settings over the test's own (a
 * notebook's KEL_ROOT). Waits for the name, bounded. */
bool StartPolicyService(uid_t user = static_cast<uid_t>(-1), const std::string& program = "",
                        const std::vector<std::string>& env = {});
/* Kills the service and waits until its name has left the bus. */
bool StopPolicyService();
/* What the service wrote to its standard error (G_MESSAGES_DEBUG=KEL). */
std::string PolicyServiceLog();

/* Root only: the actions the stand-in polkit authority allows from now on. */
bool SetPolkitAllowed(const std::vector<std::string>& actions);

/* Runs a program as another user (a caller of another user) and waits for it; its exit
 * status (-1 when it could not run), what it printed in *err. Needs the bus started. */
int RunAs(uid_t user, const std::vector<std::string>& argv, std::string* err = nullptr);

} // namespace keltest

#endif
