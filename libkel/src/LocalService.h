/* What the in-process teacher service and the policy service share: search jobs, workers, callbacks, merging. */
#ifndef KEL_LOCAL_SERVICE_H
#define KEL_LOCAL_SERVICE_H

#include "IPCAPI.h"
#include "ProgramSearch.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace IPCAPI {

/* The teacher side's process-wide service, made on first use and kept until the process ends (its
 * workers may still be delivering while static objects are being destroyed). The student side
 * is a client of the policy service (StudentBusClient.h). */
IPCTeacherAPI* LocalTeacherService();

/* One running search: its cancel flag and the point after which it can no longer be cancelled.
 * A cancel succeeds only while no result is being written or delivered, so that a successful
 * cancel is never followed by a callback. */
class CSearchJob {
public:
    CSearchJob(int op, const std::string& folder, int clear, const std::string& resultFile);

    /* Main thread. IPC_OK, IPC_ERR_BUSY while a result is being written or delivered (try
     * again), IPC_ERR_NO_SUCH_OPERATION once the last result is on its way. */
    int Cancel();
    /* Stops the walk and any further result (the process is ending). */
    void Abandon();
    /* True while the search still counts as running: neither cancelled nor finished. */
    bool IsRunning() const;

    /* Worker: before writing and delivering one result. False when cancelled: stop. */
    bool BeginCommit();
    /* Worker: after a result that was not the last one. */
    void EndCommit();
    /* Worker: before delivering the last result; from now on a cancel is too late. */
    void Finish();

    int Op() const { return m_Op; }
    const std::string& Folder() const { return m_Folder; }
    int Clear() const { return m_Clear; }
    const std::string& ResultFile() const { return m_ResultFile; }
    const ProgramSearchEnvironment& Environment() const { return m_Env; }
    const std::atomic<bool>* CancelFlag() const { return &m_CancelFlag; }

private:
    enum Phase { SEARCHING, COMMITTING, FINISHED, CANCELLED };

    const int m_Op;
    const std::string m_Folder;
    const int m_Clear;
    const std::string m_ResultFile;
    const ProgramSearchEnvironment m_Env;
    std::atomic<bool> m_CancelFlag;
    mutable std::mutex m_Mutex;
    Phase m_Phase;
};

/* Worker threads of both services. They are detached (a cancel on the main thread must never
 * join a worker that may wait for the GDK lock); at exit the walks are stopped and waited for,
 * except workers inside a callback, which may wait for a lock the exiting thread holds. */
class CSearchWorkers {
public:
    static CSearchWorkers& Instance();

    /* Positive and increasing, shared by both sides. */
    int NextOperation();
    /* False when no thread could be started. */
    bool Start(const std::shared_ptr<CSearchJob>& job, std::function<void()> body);
    /* Around each callback; false (deliver nothing) when the process is ending. */
    bool BeginDelivery();
    void EndDelivery();

private:
    CSearchWorkers();
    static void AtExit();
    void Shutdown();

    std::mutex m_Mutex;
    std::condition_variable m_Changed;
    int m_NextOp;
    int m_Live;
    int m_Delivering;
    bool m_AtExitRegistered;
    bool m_ShuttingDown;
    std::set<std::shared_ptr<CSearchJob> > m_Jobs;
};

/* The callback objects registered with one service; links of destroyed objects are dropped. */
class CCallbackRegistry {
public:
    /* Registering the same object again changes nothing. */
    void Add(const std::shared_ptr<CCallbackLink>& link);
    std::vector<std::shared_ptr<CCallbackLink> > Live();

private:
    std::mutex m_Mutex;
    std::vector<std::shared_ptr<CCallbackLink> > m_Links;
};

/* Merges found programs into the search-result file: clear 1 replaces what it held, 0 adds
 * the programs it does not hold yet. Writes only when something changed. Serialized within
 * the process. 0 on success, IPC_ERR_SAVE when the file could not be written. */
int MergeSearchResults(const std::vector<FoundProgram>& found, int clear, const std::string& file, int* added);

/* The walk of a job's folder. CProgramSearch's result. */
int RunProgramSearch(const CSearchJob& job, std::vector<FoundProgram>& found);

} // namespace IPCAPI

#endif
