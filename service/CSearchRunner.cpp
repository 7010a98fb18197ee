/* Searches with the caller's rights: the walk runs in a child that takes the caller's user and
 * groups before it starts, so a search never shows anyone what they could not read themselves.
 * The child gets none of the service's environment but the language and KEL_ROOT: the caller
 * could read it in /proc. */
#include "CSearchRunner.h"

#include "IPCAPI.h"
#include "KELLog.h"
#include "KELPaths.h"
#include "ProgramSearch.h"
#include "SearchResultFile.h"
#include "SearchWalk.h"

#include <unistd.h>

#include <vector>

using LibKELData::CKELLog;

namespace KelService {

namespace {

/* A walk's output above this is not a list of programs a policy could hold. */
const size_t MAX_WALK_OUTPUT = 64 * 1024 * 1024;

} // namespace

struct CSearchRunner::Job {
    CSearchRunner* runner = nullptr;
    int op = 0;
    bool clear = false;
    Caller caller;
    GSubprocess* process = nullptr;
    GCancellable* cancellable = nullptr;
    guint timeLimit = 0;
    std::string out;
    bool cancelled = false;
    bool overflow = false;
    bool tooLong = false;

    ~Job()
    {
        if (timeLimit)
            g_source_remove(timeLimit);
        if (process)
            g_object_unref(process);
        if (cancellable)
            g_object_unref(cancellable);
    }
};

CSearchRunner::CSearchRunner(const std::string& selfExe, unsigned timeLimitSeconds, Finished finished)
    : m_Walker(selfExe.substr(0, selfExe.rfind('/') + 1) + walk::PROGRAM)
    , m_TimeLimit(timeLimitSeconds)
    , m_Finished(finished)
    , m_NextOp(0)
{
}

CSearchRunner::~CSearchRunner()
{
    Stop();
}

int CSearchRunner::Start(const std::string& folder, bool clear, const Caller& caller, int& op)
{
    op = 0;
    if (folder.empty() || folder[0] != '/' || folder.size() > MAX_FOLDER_BYTES ||
        folder.find('\0') != std::string::npos)
        return IPCAPI::IPC_ERR_INVALID_ARGUMENT;
    if (IsBusy(caller.uid))
        return IPCAPI::IPC_ERR_BUSY;
    walk::Identity id;
    id.drop = geteuid() == 0 && caller.uid != 0;
    id.uid = caller.uid;
    id.gid = caller.gid;
    id.groups = caller.groups;
    /* A user the system does not know has no groups to take: no walk for it as root. */
    if (id.drop && !caller.known)
        return IPCAPI::IPC_ERR_NOT_ALLOWED;
    GError* error = nullptr;
    GSubprocess* process = walk::Start(m_Walker, folder, IPCAPI::ProgramSearchEnvironment::FromProcess().svgLoadable,
                                       id, &error);
    if (!process) {
        CKELLog::WriteLine(std::string("Policy service: cannot start a search: ") + error->message, 2, "", false);
        g_error_free(error);
        return IPCAPI::IPC_ERR_BUSY;
    }
    auto job = std::make_shared<Job>();
    job->runner = this;
    m_NextOp = m_NextOp >= 0x7fffffff ? 1 : m_NextOp + 1;
    job->op = m_NextOp;
    job->clear = clear;
    job->caller = caller;
    job->process = process;
    job->cancellable = g_cancellable_new();
    /* Held by the running jobs, which remove the source before they go. */
    job->timeLimit = g_timeout_add_seconds(m_TimeLimit, OnTimeLimit, job.get());
    m_Running[caller.uid] = job;
    op = job->op;
    CKELLog::WriteLine("Policy service: search " + std::to_string(op) + " of " + folder + " for user " +
                           std::to_string(caller.uid), 1, "", false);
    Read(job);
    return IPCAPI::IPC_OK;
}

void CSearchRunner::Read(const std::shared_ptr<Job>& job)
{
    GInputStream* stream = g_subprocess_get_stdout_pipe(job->process);
    g_input_stream_read_bytes_async(stream, 65536, G_PRIORITY_DEFAULT, job->cancellable, OnRead,
                                    new std::shared_ptr<Job>(job));
}

void CSearchRunner::OnRead(GObject* source, GAsyncResult* result, gpointer data)
{
    std::unique_ptr<std::shared_ptr<Job> > held(static_cast<std::shared_ptr<Job>*>(data));
    std::shared_ptr<Job> job = *held;
    GBytes* bytes = g_input_stream_read_bytes_finish(G_INPUT_STREAM(source), result, nullptr);
    if (job->cancelled) {
        if (bytes)
            g_bytes_unref(bytes);
        return;
    }
    gsize size = bytes ? g_bytes_get_size(bytes) : 0;
    if (size > 0 && job->out.size() + size <= MAX_WALK_OUTPUT) {
        job->out.append(static_cast<const char*>(g_bytes_get_data(bytes, nullptr)), size);
        g_bytes_unref(bytes);
        job->runner->Read(job);
        return;
    }
    if (bytes)
        g_bytes_unref(bytes);
    if (size > 0) {
        job->overflow = true;
        g_subprocess_force_exit(job->process);
    }
    g_subprocess_wait_async(job->process, job->cancellable, OnExit, new std::shared_ptr<Job>(job));
}

gboolean CSearchRunner::OnTimeLimit(gpointer data)
{
    /* A stopped or endless walk: killed, and its search fails once its pipe closes. */
    Job* job = static_cast<Job*>(data);
    job->timeLimit = 0;
    job->tooLong = true;
    CKELLog::WriteLine("Policy service: search " + std::to_string(job->op) + " took too long; its walk is ended", 2, "",
                       false);
    g_subprocess_force_exit(job->process);
    return G_SOURCE_REMOVE;
}

void CSearchRunner::OnExit(GObject* source, GAsyncResult* result, gpointer data)
{
    std::unique_ptr<std::shared_ptr<Job> > held(static_cast<std::shared_ptr<Job>*>(data));
    std::shared_ptr<Job> job = *held;
    bool waited = g_subprocess_wait_finish(G_SUBPROCESS(source), result, nullptr);
    if (job->cancelled || !waited)
        return;
    int status = g_subprocess_get_if_exited(job->process) ? g_subprocess_get_exit_status(job->process) : -1;
    job->runner->Complete(job, status);
}

void CSearchRunner::Complete(const std::shared_ptr<Job>& job, int exitStatus)
{
    End(job);
    std::vector<IPCAPI::FoundProgram> found;
    IPCAPI::SkippedEntries skipped;
    std::string result;
    if (job->tooLong) {
        result = std::string("error: ") + IPCAPI::SEARCH_ERR_TIMEOUT;
    } else if (exitStatus == walk::FOLDER_UNUSABLE) {
        /* Nothing was searched, so the earlier results stay as they were. */
        result = std::string("error: ") + IPCAPI::SEARCH_ERR_FOLDER;
    } else if (exitStatus != walk::DONE || job->overflow || !walk::Parse(job->out, found, &skipped)) {
        CKELLog::WriteLine("Policy service: search " + std::to_string(job->op) + " failed (exit " +
                               std::to_string(exitStatus) + ")", 2, "", false);
        result = std::string("error: ") + IPCAPI::SEARCH_ERR_FAILED;
    } else {
        int added = 0;
        /* Each user's own file, only ever read back for that user. */
        if (IPCAPI::MergeUserSearchResults(found, job->clear, LibKELData::SearchResultFileOf(job->caller.uid),
                                           job->caller.uid, job->caller.gid, &added) == IPCAPI::IPC_OK) {
            result = "found " + std::to_string(found.size()) + ", new " + std::to_string(added) +
                     skipped.ResultSuffix();
        } else {
            result = std::string("error: ") + IPCAPI::SEARCH_ERR_SAVE;
        }
    }
    CKELLog::WriteLine("Policy service: search " + std::to_string(job->op) + ": " + result, 1, "", false);
    m_Finished(job->op, result);
}

void CSearchRunner::End(const std::shared_ptr<Job>& job)
{
    if (job->timeLimit) {
        g_source_remove(job->timeLimit);
        job->timeLimit = 0;
    }
    auto it = m_Running.find(job->caller.uid);
    if (it != m_Running.end() && it->second == job)
        m_Running.erase(it);
}

int CSearchRunner::Cancel(int op, uid_t caller)
{
    for (const auto& running : m_Running) {
        std::shared_ptr<Job> job = running.second;
        if (job->op != op)
            continue;
        if (caller != 0 && caller != job->caller.uid)
            return IPCAPI::IPC_ERR_NOT_ALLOWED;
        job->cancelled = true;
        g_cancellable_cancel(job->cancellable);
        g_subprocess_force_exit(job->process);
        End(job);
        return IPCAPI::IPC_OK;
    }
    return IPCAPI::IPC_ERR_NO_SUCH_OPERATION;
}

void CSearchRunner::Stop()
{
    while (!m_Running.empty())
        Cancel(m_Running.begin()->second->op, 0);
}

} // namespace KelService
