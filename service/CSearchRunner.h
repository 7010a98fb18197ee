/* The program searches of the policy service: one at a time, each walk in a child process (kel-walk,
 * beside the service's program) with the caller's user and groups, its programs merged into the
 * search-result file by the service. */
#ifndef KEL_SEARCH_RUNNER_H
#define KEL_SEARCH_RUNNER_H

#include "CCallerCheck.h"

#include <functional>
#include <memory>
#include <string>

namespace KelService {

class CSearchRunner {
public:
    /* Called on the main loop once per search that was not cancelled. */
    typedef std::function<void(int op, const std::string& result)> Finished;

    /* The walks run kel-walk from selfExe's folder. */
    CSearchRunner(const std::string& selfExe, const std::string& resultFile, Finished finished);
    ~CSearchRunner();
    CSearchRunner(const CSearchRunner&) = delete;
    CSearchRunner& operator=(const CSearchRunner&) = delete;

    /* IPC_OK with op set, IPC_ERR_BUSY, IPC_ERR_INVALID_ARGUMENT, IPC_ERR_NOT_ALLOWED. */
    int Start(const std::string& folder, bool clear, const Caller& caller, int& op);
    /* IPC_OK, IPC_ERR_NO_SUCH_OPERATION, or IPC_ERR_NOT_ALLOWED for another user's search. */
    int Cancel(int op, uid_t caller);
    /* A search is running: a start now would be refused. */
    bool IsBusy() const { return m_Current != nullptr; }
    /* Ends the running walk, if any (the service is stopping). */
    void Stop();

private:
    struct Job;
    static void OnRead(GObject* source, GAsyncResult* result, gpointer data);
    static void OnExit(GObject* source, GAsyncResult* result, gpointer data);
    void Complete(const std::shared_ptr<Job>& job, int exitStatus);
    void Read(const std::shared_ptr<Job>& job);

    const std::string m_Walker;
    const std::string m_ResultFile;
    Finished m_Finished;
    int m_NextOp;
    std::shared_ptr<Job> m_Current;
};

} // namespace KelService

#endif
