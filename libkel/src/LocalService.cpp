/* The in-process local service (not available yet: callers get no API object). */
#include "LocalService.h"

namespace IPCAPI {

IPCStudentAPI* LocalStudentService()
{
    return nullptr;
}

IPCTeacherAPI* LocalTeacherService()
{
    return nullptr;
}

} // namespace IPCAPI
