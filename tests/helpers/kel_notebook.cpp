/* A notebook's classroom side alone, with hooks into the service that note in
 * $KEL_ROOT/hooks.log what the teacher asked, and a lock state that follows the teacher's. */
#include "ClassroomService.h"
#include "IPCAPI.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {
std::atomic<int> g_Status(0);
std::mutex g_Mutex;

void Note(const std::string& line)
{
    std::lock_guard<std::mutex> lock(g_Mutex);
    FILE* log = fopen((std::string(getenv("KEL_ROOT")) + "/hooks.log").c_str(), "a");
    if (log) {
        fprintf(log, "%s\n", line.c_str());
        fclose(log);
    }
}
} // namespace

int main()
{
    KelService::NotebookHooks hooks;
    hooks.teacherLock = [](int mode) {
        g_Status = mode == 1 ? IPCAPI::STUDENT_LOCKED : 0;
        Note("lock " + std::to_string(mode));
    };
    hooks.notice = [](const std::string& text) { Note("notice " + text); };
    hooks.teacherStatus = [](bool online, const std::string& who) { Note((online ? "teacher on " : "teacher off ") + who); };
    hooks.lockStatus = [] { return g_Status.load(); };
    KelService::SetNotebookHooks(hooks);
    return KelService::RunClassroomAlone();
}
