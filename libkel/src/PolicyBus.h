/* What the policy service and its client agree on beyond the interface file: the bus names and
 * the error domain each IPCAPI code travels in. */
#ifndef KEL_POLICY_BUS_H
#define KEL_POLICY_BUS_H

#include <glib.h>

namespace IPCAPI {

extern const char* const POLICY_BUS_NAME;
extern const char* const POLICY_OBJECT_PATH;

/* The service's errors: an IPCAPI code in this domain travels as a D-Bus error named
 * org.kelproject.Policy1.Error.*, its message saying why. Registered with GIO by the first call,
 * which both sides make before they send or receive. */
GQuark PolicyErrorQuark();
/* The code as the service sends it: a code the domain has no name for goes as a failed save. */
int PolicyErrorSent(int code);

} // namespace IPCAPI

#endif
