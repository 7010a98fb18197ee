/* The policy service for benchmarks that need it. */
#ifndef KELBENCH_SERVICE_H
#define KELBENCH_SERVICE_H

#include <string>

namespace kelbench {

/* A private dbus-daemon with our bus configuration (its socket in root), and kel-service on
 * it for this user; sets DBUS_SYSTEM_BUS_ADDRESS. Waits (bounded) until the service owns its
 * name; false when it does not. */
bool StartService(const std::string& root);
void StopService();

} // namespace kelbench

#endif
