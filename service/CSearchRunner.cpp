/* Searches with the caller's rights: the walk runs in a child that takes the caller's user and
 * groups before it starts, so a search never shows anyone what they could not read themselves. */
#include "CSearchRunner.h"

#include "IPCAPI.h"
#include "KELLog.h"
#include "LocalService.h"
#include "ProgramSearch.h"
#include "SearchWalk.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

using LibKELData::CKELLog;

namespace KelService {

namespace {

/* A walk's output above this is not a list of programs a policy could hold. */
const size_t MAX_WALK_OUTPUT = 64 * 1024 * 1024;

struct Identity {
    bool drop;
    uid_t uid;
    gid_t gid;
    std::vector<gid_t> groups;
};

/* In the child between fork and exec: system calls only. */
void TakeCallersIdentity(gpointer data)
{
    const Identity* id = static_cast<const Identity*>(data);
    if (!id->drop)
        return;
    if (setgroups(id->groups.size(), id->groups.data()) != 0 || setgid(id->gid) != 0 || setuid(id->uid) != 0)
        _exit(126);
}

/* The child's output: name, command and icon of each program, each ended by a NUL. */
bool ParseWalkOutput(const std::string& out, std::vector<IPCAPI::FoundProgram>& found)
{
    const char* p = out.data();
    const char* end = p + out.size();
    std::string* field[3];
    while (p < end) {
        found.emplace_back();
        IPCAPI::FoundProgram& program = found.back();
        field[0] = &program.name;
        field[1] = &program.command;
        field[2] = &program.icon;
        for (std::string* f : field) {
            const char* nul = static_cast<const char*>(memchr(p, '\0', end - p));
            if (!nul)
                return false;
            f->assign(p, nul - p);
            p = nul + 1;
        }
    }
    return true;
}

/* The result file tells what the caller found: readable by that caller, not by everyone. */
void RestrictResultFile(const std::string& file, const Caller& caller)
{
    int fd = open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && geteuid() == 0 && caller.uid != 0 && caller.known) {
        ok = fchown(fd, 0, caller.gid) == 0 && fchmod(fd, 0640) == 0;
    } else if (ok) {
        ok = fchmod(fd, 0600) == 0;
    }
    if (!ok)
        CKELLog::WriteLine("Policy service: cannot restrict the access to " + file, 2, "", false);
    close(fd);
}

} // namespace

struct CSearchRunner::Job {
    CSearchRunner* runner = nullptr;
    int op = 0;
    bool clear = false;
    Caller caller;
    GSubprocess* process = nullptr;
    GCancellable* cancellable = nullptr;
    std::string out;
    bool cancelled = false;
    bool overflow = false;

    ~Job()
    {
        if (process)
            g_object_unref(process);
        if (cancellable)
            g_object_unref(cancellable);
    }
};

CSearchRunner::CSearchRunner(const std::string& selfExe, const std::string& resultFile, Finished finished)
    : m_Walker(selfExe.substr(0, selfExe.rfind('/') + 1) + walk::PROGRAM)
    , m_ResultFile(resultFile)
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
    if (folder.empty() || folder[0] != '/' || folder.find('\0') != std::string::npos)
        return IPCAPI::IPC_ERR_INVALID_ARGUMENT;
    if (m_Current)
        return IPCAPI::IPC_ERR_BUSY;
    Identity id{geteuid() == 0 && caller.uid != 0, caller.uid, caller.gid, caller.groups};
    /* A user the system does not know has no groups to take: no walk for it as root. */
    if (id.drop && !caller.known)
        return IPCAPI::IPC_ERR_NOT_ALLOWED;

    GSubprocessLauncher* launcher = g_subprocess_launcher_new(G_SUBPROCESS_FLAGS_STDOUT_PIPE);
    g_subprocess_launcher_set_cwd(launcher, "/");
    g_subprocess_launcher_set_child_setup(launcher, TakeCallersIdentity, &id, nullptr);
    GError* error = nullptr;
    const bool svg = IPCAPI::ProgramSearchEnvironment::FromProcess().svgLoadable;
    GSubprocess* process = svg
        ? g_subprocess_launcher_spawn(launcher, &error, m_Walker.c_str(), folder.c_str(), nullptr)
        : g_subprocess_launcher_spawn(launcher, &error, m_Walker.c_str(), walk::NO_SVG, folder.c_str(), nullptr);
    g_object_unref(launcher);
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
    m_Current = job;
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
    if (m_Current == job)
        m_Current.reset();
    std::vector<IPCAPI::FoundProgram> found;
    std::string result;
    if (exitStatus == walk::FOLDER_UNUSABLE) {
        /* Nothing was searched, so the earlier results stay as they were. */
        result = "error: the folder cannot be opened";
    } else if (exitStatus != walk::DONE || job->overflow || !ParseWalkOutput(job->out, found)) {
        CKELLog::WriteLine("Policy service: search " + std::to_string(job->op) + " failed (exit " +
                               std::to_string(exitStatus) + ")", 2, "", false);
        result = "error: the search failed";
    } else {
        int added = 0;
        if (IPCAPI::MergeSearchResults(found, job->clear ? 1 : 0, m_ResultFile, &added) == IPCAPI::IPC_OK) {
            RestrictResultFile(m_ResultFile, job->caller);
            result = "found " + std::to_string(found.size()) + ", new " + std::to_string(added);
        } else {
            result = "error: the results cannot be saved";
        }
    }
    CKELLog::WriteLine("Policy service: search " + std::to_string(job->op) + ": " + result, 1, "", false);
    m_Finished(job->op, result);
}

int CSearchRunner::Cancel(int op, uid_t caller)
{
    if (!m_Current || m_Current->op != op)
        return IPCAPI::IPC_ERR_NO_SUCH_OPERATION;
    if (caller != 0 && caller != m_Current->caller.uid)
        return IPCAPI::IPC_ERR_NOT_ALLOWED;
    Stop();
    return IPCAPI::IPC_OK;
}

void CSearchRunner::Stop()
{
    if (!m_Current)
        return;
    m_Current->cancelled = true;
    g_cancellable_cancel(m_Current->cancellable);
    g_subprocess_force_exit(m_Current->process);
    m_Current.reset();
}

} // namespace KelService
