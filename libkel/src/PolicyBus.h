/* What the policy service and its client agree on: the bus names and the D-Bus error each IPCAPI
 * code travels as. */
#ifndef KEL_POLICY_BUS_H
#define KEL_POLICY_BUS_H

namespace IPCAPI {

extern const char* const POLICY_BUS_NAME;
extern const char* const POLICY_OBJECT_PATH;
extern const char* const POLICY_INTERFACE;

/* The service's D-Bus error for a failed call's code (a code it has no name for travels as a
 * failed save). */
const char* PolicyErrorName(int code);
/* The code of one of the service's errors; 0 for any other name. */
int PolicyErrorCode(const char* name);

} // namespace IPCAPI

#endif
