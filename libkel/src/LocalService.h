/* The in-process local service: the default student-side and teacher-side IPC APIs. */
#ifndef KEL_LOCAL_SERVICE_H
#define KEL_LOCAL_SERVICE_H

#include "IPCAPI.h"

namespace IPCAPI {

/* Process-wide services, made on first use and kept until the process ends. */
IPCStudentAPI* LocalStudentService();
IPCTeacherAPI* LocalTeacherService();

} // namespace IPCAPI

#endif
