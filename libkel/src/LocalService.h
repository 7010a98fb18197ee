/* What the teacher side and the policy service's client share: callback delivery, registered
 * callbacks, merging search results. */
#ifndef KEL_LOCAL_SERVICE_H
#define KEL_LOCAL_SERVICE_H

#include "IPCAPI.h"
#include "ProgramSearch.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace IPCAPI {

/* The teacher side's process-wide service, made on first use and kept until the process ends (its
 * workers may still be delivering while static objects are being destroyed). The student side
 * is a client of the policy service (StudentBusClient.h). */
IPCTeacherAPI* LocalTeacherService();

/* The teacher side's workers that deliver callbacks. At exit no new delivery begins, so that
 * none reaches objects being destroyed; one already under way is not waited for (it may wait
 * for a lock the exiting thread holds). */
class CSearchWorkers {
public:
    static CSearchWorkers& Instance();
    /* Positive and increasing: the teacher side's operation numbers. */
    int NextOperation();
    /* Around each callback; false (deliver nothing) when the process is ending. */
    bool BeginDelivery();
    void EndDelivery();

private:
    CSearchWorkers();
    static void AtExit();

    std::mutex m_Mutex;
    int m_NextOp;
    int m_Delivering;
    bool m_ShuttingDown;
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

} // namespace IPCAPI

#endif
