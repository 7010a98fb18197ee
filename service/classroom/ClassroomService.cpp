/* Starting the classroom side of kel-service, and the saves it hands deployed policy to. */
#include "ClassroomService.h"
#include "PolicyStore.h"

#include "IPCAPI.h"
#include "KELLog.h"

#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>

using LibKELData::CKELLog;

namespace KelService {

namespace {
std::mutex g_HooksMutex;
NotebookHooks g_Hooks;
} // namespace

void SetNotebookHooks(const NotebookHooks& hooks)
{
    std::lock_guard<std::mutex> lock(g_HooksMutex);
    g_Hooks = hooks;
}

NotebookHooks GetNotebookHooks()
{
    std::lock_guard<std::mutex> lock(g_HooksMutex);
    return g_Hooks;
}

std::unique_ptr<CClassroomStudent> StartClassroom(const CClassroomStudent::SaveFn& save, std::string* why)
{
    std::string file = IPCAPI::ClassroomSettings::DefaultFile();
    struct stat st;
    if (stat(file.c_str(), &st) != 0) {
        if (why)
            *why = "this machine has no classroom settings (" + file + ")";
        return nullptr;
    }
    IPCAPI::ClassroomSettings settings;
    std::string reason;
    std::unique_ptr<CClassroomStudent> student;
    if (IPCAPI::ClassroomSettings::Load(file, settings, reason)) {
        student.reset(new CClassroomStudent(settings, CClassroomStudent::LocalSearch(), save));
        if (!student->Start(reason))
            student.reset();
    }
    if (!student)
        CKELLog::WriteLine("Classroom: not started: " + reason, 2, "", false);
    if (why)
        *why = reason;
    return student;
}

namespace {

/* Shared with the main loop, which may run the save after the waiter gave up. */
struct PendingSave {
    CClassroomStudent::SaveFn save;
    std::string kind, xml;
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int result = IPCAPI::IPC_ERR_SAVE;
};

gboolean RunPendingSave(gpointer data)
{
    auto* pending = static_cast<std::shared_ptr<PendingSave>*>(data);
    PendingSave& p = **pending;
    int result = p.save(p.kind, p.xml);
    std::lock_guard<std::mutex> lock(p.mutex);
    p.result = result;
    p.finished = true;
    p.done.notify_all();
    return G_SOURCE_REMOVE;
}

void FreePendingSave(gpointer data)
{
    delete static_cast<std::shared_ptr<PendingSave>*>(data);
}

} // namespace

CClassroomStudent::SaveFn SaveOnMainContext(GMainContext* context, const CClassroomStudent::SaveFn& save)
{
    return [context, save](const std::string& kind, const std::string& xml) {
        auto pending = std::make_shared<PendingSave>();
        pending->save = save;
        pending->kind = kind;
        pending->xml = xml;
        g_main_context_invoke_full(context, G_PRIORITY_DEFAULT, RunPendingSave,
                                   new std::shared_ptr<PendingSave>(pending), FreePendingSave);
        /* A main loop that is ending runs it no more: the student is told, not left waiting. */
        std::unique_lock<std::mutex> lock(pending->mutex);
        pending->done.wait_for(lock, std::chrono::seconds(10), [&] { return pending->finished; });
        return pending->finished ? pending->result : IPCAPI::IPC_ERR_SAVE;
    };
}

int RunClassroomAlone()
{
    /* Blocked before any thread starts, so that only sigwait sees them. */
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, NULL);
    std::string why;
    std::unique_ptr<CClassroomStudent> student = StartClassroom(
        [](const std::string& kind, const std::string& xml) {
            std::string saved;
            return StorePolicy(kind == IPCAPI::POLICY_SCHEDULE ? SCHEDULE : TAB_NAVIGATION, xml, getuid(), saved);
        },
        &why);
    if (!student) {
        fprintf(stderr, "kel-service: the classroom side stops: %s\n", why.c_str());
        return 1;
    }
    int sig = 0;
    sigwait(&stop, &sig);
    student->Stop();
    return 0;
}

} // namespace KelService
