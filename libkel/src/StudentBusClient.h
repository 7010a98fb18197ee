/* The student-side API as a client of the policy service on the D-Bus system bus. */
#ifndef KEL_STUDENT_BUS_CLIENT_H
#define KEL_STUDENT_BUS_CLIENT_H

#include "IPCAPI.h"

namespace IPCAPI {

/* Process-wide, made on first use and never destroyed: its thread may still be delivering a
 * callback when the process ends, and the exit never waits for it. */
IPCStudentAPI* StudentBusClient();

/* Policy texts above this are refused by the client and by the service alike. */
const size_t MAX_POLICY_TEXT = 16 * 1024 * 1024;

} // namespace IPCAPI

#endif
