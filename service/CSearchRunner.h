/* The program searches of the policy service: one at a time per user, users side by side, each
 * walk in a child process (kel-walk, beside the service's program) with the caller's user and
 * groups and a clean environment, ended when it takes too long; its programs are merged into that
 * user's own result file by the service. */
#ifndef KEL_SEARCH_RUNNER_H
#define KEL_SEARCH_RUNNER_H

#include "CCallerCheck.h"

#include <climits>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace KelService {

class CSearchRunner {
public:
    /* Called on the main loop once per search that was not cancelled. */
    typedef std::function<void(int op, const std::string& result)> Finished;

    /* The walks run kel-walk from selfExe's folder and are ended after timeLimitSeconds. */
    CSearchRunner(const std::string& selfExe, unsigned timeLimitSeconds, Finished finished);
    ~CSearchRunner();
    CSearchRunner(const CSearchRunner&) = delete;
    CSearchRunner& operator=(const CSearchRunner&) = delete;

    /* IPC_OK with op set, IPC_ERR_BUSY, IPC_ERR_INVALID_ARGUMENT, IPC_ERR_NOT_ALLOWED. */
    int Start(const std::string& folder, bool clear, const Caller& caller, int& op);
    /* IPC_OK, IPC_ERR_NO_SUCH_OPERATION, or IPC_ERR_NOT_ALLOWED for another user's search. */
    int Cancel(int op, uid_t caller);
    /* The user has a search running: a start now would be refused. */
    bool IsBusy(uid_t user) const { return m_Running.count(user) != 0; }
    /* Ends every running walk (the service is stopping). */
    void Stop();

    /* The folder argument is refused above this, before anything else is done. */
    enum { MAX_FOLDER_BYTES = PATH_MAX - 1 };

private:
    struct Job;
    static void OnRead(GObject* source, GAsyncResult* result, gpointer data);
    static void OnExit(GObject* source, GAsyncResult* result, gpointer data);
    static gboolean OnTimeLimit(gpointer data);
    void Complete(const std::shared_ptr<Job>& job, int exitStatus);
    void Read(const std::shared_ptr<Job>& job);
    void End(const std::shared_ptr<Job>& job);

    const std::string m_Walker;
    const unsigned m_TimeLimit;
    Finished m_Finished;
    int m_NextOp;
    std::map<uid_t, std::shared_ptr<Job> > m_Running;
};

} // namespace KelService

#endif
