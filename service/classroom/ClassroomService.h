/* How kel-service runs its classroom side: started when the machine has classroom settings,
 * alone (kel-service --classroom) or beside the policy service on the bus. */
#ifndef KEL_CLASSROOM_SERVICE_H
#define KEL_CLASSROOM_SERVICE_H

#include "CClassroomStudent.h"

#include <glib.h>

#include <functional>
#include <memory>
#include <string>

namespace KelService {

/* What the classroom side asks of the notebook's own service; any of them may be empty. */
struct NotebookHooks {
    std::function<void(int mode)> teacherLock; /* 0 lifted, 1 locked, 2 unlocked by the teacher */
    std::function<void(const std::string& text)> notice;
    std::function<void(bool online, const std::string& teacher)> teacherStatus;
    std::function<int()> lockStatus; /* IPCAPI::STUDENT_LOCKED* bits of the notebook now */
};
void SetNotebookHooks(const NotebookHooks& hooks);
/* A copy of the hooks set last (empty ones when none were). */
NotebookHooks GetNotebookHooks();

/* The classroom side when CONFIG_FILE_DIR has classroom settings; null when it has none or they
 * are unusable (logged), with why in why when given. */
std::unique_ptr<CClassroomStudent> StartClassroom(const CClassroomStudent::SaveFn& save, std::string* why = nullptr);

/* A save function that runs save on the thread of context (the service's main loop, its one
 * writer), waiting for it a bounded time. */
CClassroomStudent::SaveFn SaveOnMainContext(GMainContext* context, const CClassroomStudent::SaveFn& save);

/* kel-service --classroom: the classroom side only, until SIGTERM or SIGINT. Deployed policy is
 * stored as the service stores it, with no one to tell. */
int RunClassroomAlone();

} // namespace KelService

#endif
