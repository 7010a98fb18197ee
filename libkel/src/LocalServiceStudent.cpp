/* The student side of the local service: program search on this machine and the saving of the local policy. */
#include "LocalService.h"

#include "KELPaths.h"
#include "KELData.h"
#include "KELLog.h"

using LibKELData::CKELDataProvider;
using LibKELData::CKELLog;
using LibKELData::CKELSystemSettingData;
using LibKELData::CLockScheduleData;
using LibKELData::CTabNavigationData;

namespace IPCAPI {

namespace {

class CLocalStudentService : public IPCStudentAPI {
public:
    int RegisterCallBack(CStudentAPICallbackBase* callback, int& err) override;
    int SearchLocalProgram(const std::string& path, int& op, int clear) override;
    int CancelOperation(int op, int& err) override;
    int SaveLocalSchedulePolicy(const std::string& xml, int& err) override;
    int SaveLocalTabNavPolicy(const std::string& xml, int& err) override;
    int HardWareControl(const std::string& xml, int& err) override;

private:
    void RunSearch(const std::shared_ptr<CSearchJob>& job);
    static int SavePolicy(CKELDataProvider& record, const std::string& xml, const std::string& file, int& err);

    CCallbackRegistry m_Callbacks;
    std::mutex m_Mutex;
    std::shared_ptr<CSearchJob> m_Current;
};

int CLocalStudentService::RegisterCallBack(CStudentAPICallbackBase* callback, int& err)
{
    err = callback ? IPC_OK : IPC_ERR_INVALID_ARGUMENT;
    if (callback)
        m_Callbacks.Add(callback->GetCallbackLink());
    return err;
}

int CLocalStudentService::SearchLocalProgram(const std::string& path, int& op, int clear)
{
    /* A refused start leaves the caller idle. */
    op = 0;
    /* A relative folder would be taken from the service's own working folder. */
    if (path.empty() || path[0] != '/')
        return IPC_ERR_INVALID_ARGUMENT;

    std::lock_guard<std::mutex> lock(m_Mutex);
    /* One search at a time: the caller learns it and can cancel the running one first. */
    if (m_Current && m_Current->IsRunning())
        return IPC_ERR_BUSY;
    CSearchWorkers& workers = CSearchWorkers::Instance();
    auto job = std::make_shared<CSearchJob>(workers.NextOperation(), path, clear ? 1 : 0,
                                            LibKELData::CONFIG_FILE_DIR + LibKELData::SEARCH_RESULT);
    if (!workers.Start(job, [this, job] { RunSearch(job); }))
        return IPC_ERR_BUSY;
    m_Current = job;
    op = job->Op();
    return IPC_OK;
}

void CLocalStudentService::RunSearch(const std::shared_ptr<CSearchJob>& job)
{
    std::vector<FoundProgram> found;
    int walk = RunProgramSearch(*job, found);
    if (walk == CProgramSearch::CANCELLED || !job->BeginCommit())
        return;

    std::string result;
    if (walk == CProgramSearch::FOLDER_UNUSABLE) {
        /* Nothing was searched, so the earlier results stay as they were. */
        result = "error: the folder cannot be opened";
    } else {
        int added = 0;
        if (MergeSearchResults(found, job->Clear(), job->ResultFile(), &added) == IPC_OK)
            result = "found " + std::to_string(found.size()) + ", new " + std::to_string(added);
        else
            result = "error: the results cannot be saved";
    }
    job->Finish();

    CSearchWorkers& workers = CSearchWorkers::Instance();
    for (const auto& link : m_Callbacks.Live()) {
        if (!workers.BeginDelivery())
            break;
        DeliverSearchLocalProgram(link, result);
        workers.EndDelivery();
    }
}

int CLocalStudentService::CancelOperation(int op, int& err)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (!m_Current || m_Current->Op() != op)
        err = IPC_ERR_NO_SUCH_OPERATION;
    else
        err = m_Current->Cancel();
    return err;
}

int CLocalStudentService::SavePolicy(CKELDataProvider& record, const std::string& xml, const std::string& file,
                                     int& err)
{
    /* Parsed first, so that text the shell could not read never reaches its file. */
    if (record.LoadFromString(xml) != 0) {
        CKELLog::WriteLine("Local service: refused policy text for " + file, 2, "", false);
        err = IPC_ERR_PARSE;
    } else if (record.Save2File(file) != 0) {
        CKELLog::WriteLine("Local service: cannot save " + file, 2, "", false);
        err = IPC_ERR_SAVE;
    } else {
        err = IPC_OK;
    }
    return err;
}

int CLocalStudentService::SaveLocalSchedulePolicy(const std::string& xml, int& err)
{
    CLockScheduleData record;
    return SavePolicy(record, xml, LibKELData::CONFIG_FILE_DIR + LibKELData::LOCK_SCHEDULE, err);
}

int CLocalStudentService::SaveLocalTabNavPolicy(const std::string& xml, int& err)
{
    CTabNavigationData record;
    return SavePolicy(record, xml, LibKELData::CONFIG_FILE_DIR + LibKELData::TAB_NAVIGATION, err);
}

int CLocalStudentService::HardWareControl(const std::string& xml, int& err)
{
    /* Only the settings file is kept; the USB subsystem itself is left to the system. */
    CKELSystemSettingData record;
    return SavePolicy(record, xml, LibKELData::CONFIG_FILE_DIR + LibKELData::KEL_SYSTEM_SETTING, err);
}

} // namespace

IPCStudentAPI* LocalStudentService()
{
    static IPCStudentAPI* service = new CLocalStudentService;
    return service;
}

} // namespace IPCAPI
