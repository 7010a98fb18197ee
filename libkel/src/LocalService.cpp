/* Callback delivery, registered callbacks and result merging, shared by the teacher side and the
 * policy service's client. */
#include "LocalService.h"

#include "KELData.h"
#include "KELLog.h"

#include <cstdlib>

using LibKELData::CKELLog;
using LibKELData::CSearchResultData;

namespace IPCAPI {

CSearchWorkers::CSearchWorkers()
    : m_NextOp(0)
    , m_Delivering(0)
    , m_ShuttingDown(false)
{
}

CSearchWorkers& CSearchWorkers::Instance()
{
    /* Never destroyed: detached workers may use it while the process ends. */
    static CSearchWorkers* workers = [] {
        atexit(AtExit);
        return new CSearchWorkers;
    }();
    return *workers;
}

int CSearchWorkers::NextOperation()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_NextOp = m_NextOp >= 0x7fffffff ? 1 : m_NextOp + 1;
    return m_NextOp;
}

bool CSearchWorkers::BeginDelivery()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_ShuttingDown)
        return false;
    ++m_Delivering;
    return true;
}

void CSearchWorkers::EndDelivery()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    --m_Delivering;
}

void CSearchWorkers::AtExit()
{
    std::lock_guard<std::mutex> lock(Instance().m_Mutex);
    Instance().m_ShuttingDown = true;
}

void CCallbackRegistry::Add(const std::shared_ptr<CCallbackLink>& link)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    for (const auto& known : m_Links)
        if (known == link)
            return;
    m_Links.push_back(link);
}

std::vector<std::shared_ptr<CCallbackLink> > CCallbackRegistry::Live()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    std::vector<std::shared_ptr<CCallbackLink> > live;
    for (auto it = m_Links.begin(); it != m_Links.end();) {
        if ((*it)->IsDetached()) {
            it = m_Links.erase(it);
        } else {
            live.push_back(*it);
            ++it;
        }
    }
    return live;
}

int MergeSearchResults(const std::vector<FoundProgram>& found, int clear, const std::string& file, int* added)
{
    /* Threads of this process wait here, not in the lock file's bounded wait. */
    static std::mutex* fileMutex = new std::mutex;
    std::lock_guard<std::mutex> lock(*fileMutex);
    if (added)
        *added = 0;
    CSearchResultLock fileLock(file);
    if (!LockSearchResults(fileLock, file))
        return IPC_ERR_SAVE;

    CSearchResultData results;
    /* A missing file is an empty one; a damaged one is set aside by the save. */
    if (!clear)
        results.LoadFromFile(file);
    int dropped = 0;
    int count = AddFoundPrograms(results, found, &dropped);
    if (dropped > 0)
        CKELLog::WriteLine("Program search: " + std::to_string(dropped) + " programs left out of " + file +
                               ", which holds as many as it can",
                           1, "", false);
    if (added)
        *added = count;
    if (!clear && count == 0)
        return IPC_OK;
    CPrivateSearchResultFile privateFile(file);
    if (!privateFile.Ready() || results.Save2File(file) != 0) {
        privateFile.Undo();
        CKELLog::WriteLine("Program search: cannot save the results to " + file, 2, "", false);
        return IPC_ERR_SAVE;
    }
    if (!privateFile.Saved())
        CKELLog::WriteLine("Program search: cannot make " + file + " readable by its owner only", 2, "", false);
    return IPC_OK;
}

} // namespace IPCAPI
