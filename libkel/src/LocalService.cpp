/* What both sides of the local service share: search jobs, their worker threads, registered callbacks, result merging. */
#include "LocalService.h"

#include "KELData.h"
#include "KELLog.h"

#include <chrono>
#include <cstdlib>
#include <system_error>
#include <thread>

using LibKELData::CApplicationInfo;
using LibKELData::CKELLog;
using LibKELData::CSearchResultData;

namespace IPCAPI {

CSearchJob::CSearchJob(int op, const std::string& folder, int clear, const std::string& resultFile)
    : m_Op(op)
    , m_Folder(folder)
    , m_Clear(clear)
    , m_ResultFile(resultFile)
    , m_Env(ProgramSearchEnvironment::FromProcess())
    , m_CancelFlag(false)
    , m_Phase(SEARCHING)
{
}

int CSearchJob::Cancel()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    switch (m_Phase) {
    case SEARCHING:
        m_Phase = CANCELLED;
        m_CancelFlag = true;
        return IPC_OK;
    case COMMITTING:
        return IPC_ERR_BUSY;
    default:
        return IPC_ERR_NO_SUCH_OPERATION;
    }
}

void CSearchJob::Abandon()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_Phase != FINISHED)
        m_Phase = CANCELLED;
    m_CancelFlag = true;
}

bool CSearchJob::IsRunning() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Phase == SEARCHING || m_Phase == COMMITTING;
}

bool CSearchJob::BeginCommit()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_Phase != SEARCHING)
        return false;
    m_Phase = COMMITTING;
    return true;
}

void CSearchJob::EndCommit()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_Phase == COMMITTING)
        m_Phase = SEARCHING;
}

void CSearchJob::Finish()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_Phase != CANCELLED)
        m_Phase = FINISHED;
}

CSearchWorkers::CSearchWorkers()
    : m_NextOp(0)
    , m_Live(0)
    , m_Delivering(0)
    , m_AtExitRegistered(false)
    , m_ShuttingDown(false)
{
}

CSearchWorkers& CSearchWorkers::Instance()
{
    /* Never destroyed: detached workers may use it while the process ends. */
    static CSearchWorkers* workers = new CSearchWorkers;
    return *workers;
}

int CSearchWorkers::NextOperation()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_NextOp = m_NextOp >= 0x7fffffff ? 1 : m_NextOp + 1;
    return m_NextOp;
}

bool CSearchWorkers::Start(const std::shared_ptr<CSearchJob>& job, std::function<void()> body)
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_ShuttingDown)
            return false;
        if (!m_AtExitRegistered)
            m_AtExitRegistered = atexit(AtExit) == 0;
        ++m_Live;
        m_Jobs.insert(job);
    }
    try {
        std::thread([this, job, body] {
            body();
            std::lock_guard<std::mutex> lock(m_Mutex);
            --m_Live;
            m_Jobs.erase(job);
            m_Changed.notify_all();
        }).detach();
    } catch (const std::system_error& e) {
        CKELLog::WriteLine(std::string("Program search: cannot start a worker: ") + e.what(), 2, "", false);
        std::lock_guard<std::mutex> lock(m_Mutex);
        --m_Live;
        m_Jobs.erase(job);
        return false;
    }
    return true;
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
    m_Changed.notify_all();
}

void CSearchWorkers::AtExit()
{
    Instance().Shutdown();
}

void CSearchWorkers::Shutdown()
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_ShuttingDown = true;
    for (const std::shared_ptr<CSearchJob>& job : m_Jobs)
        job->Abandon();
    /* Walks stop at the next entry and writes finish; a worker inside a callback is left alone,
     * and so is one stuck longer than this (on another user's lock, say): the exit goes on. */
    if (!m_Changed.wait_for(lock, std::chrono::seconds(5), [this] { return m_Live - m_Delivering <= 0; }))
        CKELLog::WriteLine("Program search: a worker did not stop; the process ends without it", 2, "", false);
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
    /* Load, merge and save form one step: two searches must not lose each other's programs. */
    static std::mutex* fileMutex = new std::mutex;
    std::lock_guard<std::mutex> lock(*fileMutex);

    CSearchResultData results;
    /* A missing file is an empty one; a damaged one is set aside by the save. */
    if (!clear)
        results.LoadFromFile(file);
    std::vector<CApplicationInfo> programs;
    programs.reserve(found.size());
    LibKELData::ApplicationInfoList list;
    for (const FoundProgram& program : found) {
        programs.push_back(CApplicationInfo(program.name, program.command, program.icon, 1));
        list.push_back(&programs.back());
    }
    /* Copies what it adds; the list only points into programs. */
    int count = results.MergeUnique(list);
    if (added)
        *added = count;
    if ((clear || count > 0) && results.Save2File(file) != 0) {
        CKELLog::WriteLine("Program search: cannot save the results to " + file, 2, "", false);
        return IPC_ERR_SAVE;
    }
    return IPC_OK;
}

int RunProgramSearch(const CSearchJob& job, std::vector<FoundProgram>& found)
{
    CProgramSearch search(job.Environment(), job.CancelFlag());
    return search.Run(job.Folder(), found);
}

} // namespace IPCAPI
