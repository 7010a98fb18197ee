/* The teacher side of the local service: the roster stands for the connected students, each answering a search. */
#include "LocalService.h"

#include "KELPaths.h"
#include "KELData.h"
#include "KELLog.h"

#include <sys/stat.h>

using LibKELData::CKELLog;
using LibKELData::CStudentInfoData;

namespace IPCAPI {

namespace {

/* The roster; false when the file exists but cannot be read as one. A missing roster is an
 * empty classroom. */
bool LoadRoster(std::vector<tagStudent_t>& students)
{
    students.clear();
    std::string file = LibKELData::CONFIG_FILE_DIR + LibKELData::STUDENT_INFO;
    struct stat st;
    if (stat(file.c_str(), &st) != 0)
        return true;
    CStudentInfoData roster;
    if (roster.LoadFromFile(file) != 0)
        return false;
    for (const CStudentInfoData::Student& s : roster.GetStudents())
        students.push_back(tagStudent_t{s.name, s.address});
    return true;
}

/* An empty student name ends the whole search in the callers, so an answer never carries one. */
std::string AnswerName(const tagStudent_t& student, size_t index)
{
    if (!student.name.empty())
        return student.name;
    if (!student.address.empty())
        return student.address;
    return "student " + std::to_string(index + 1);
}

class CLocalTeacherService : public IPCTeacherAPI {
public:
    int RegisterCallBack(CTeacherAPICallbackBase* callback, int& err) override;
    int GetStudentList(std::list<tagStudent_t>& students, int& err) override;
    int SearchProgram(const std::string& path, int& op, int clear) override;
    int CancelOperation(int op, int& err) override;

private:
    void RunSearch(const std::shared_ptr<CSearchJob>& job, const std::vector<tagStudent_t>& students);
    void Deliver(const std::string& student, const std::string& result);

    CCallbackRegistry m_Callbacks;
    std::mutex m_Mutex;
    std::shared_ptr<CSearchJob> m_Current;
};

int CLocalTeacherService::RegisterCallBack(CTeacherAPICallbackBase* callback, int& err)
{
    err = callback ? IPC_OK : IPC_ERR_INVALID_ARGUMENT;
    if (callback)
        m_Callbacks.Add(callback->GetCallbackLink());
    return err;
}

int CLocalTeacherService::GetStudentList(std::list<tagStudent_t>& students, int& err)
{
    std::vector<tagStudent_t> roster;
    bool ok = LoadRoster(roster);
    students.assign(roster.begin(), roster.end());
    err = ok ? IPC_OK : IPC_ERR_PARSE;
    return err;
}

int CLocalTeacherService::SearchProgram(const std::string& path, int& op, int clear)
{
    op = 0;
    if (path.empty() || path[0] != '/')
        return IPC_ERR_INVALID_ARGUMENT;

    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_Current && m_Current->IsRunning())
        return IPC_ERR_BUSY;
    /* The classroom as it is now answers, whatever it was when the caller counted it. */
    std::vector<tagStudent_t> students;
    LoadRoster(students);
    CSearchWorkers& workers = CSearchWorkers::Instance();
    auto job = std::make_shared<CSearchJob>(workers.NextOperation(), path, clear ? 1 : 0,
                                            LibKELData::CONFIG_FILE_DIR + LibKELData::SEARCH_RESULT);
    if (!workers.Start(job, [this, job, students] { RunSearch(job, students); }))
        return IPC_ERR_BUSY;
    m_Current = job;
    op = job->Op();
    return IPC_OK;
}

void CLocalTeacherService::RunSearch(const std::shared_ptr<CSearchJob>& job, const std::vector<tagStudent_t>& students)
{
    /* Every student searches the same folder of this machine: one walk serves all answers. */
    std::vector<FoundProgram> found;
    int walk = RunProgramSearch(*job, found);
    if (walk == CProgramSearch::CANCELLED)
        return;

    if (students.empty()) {
        /* Nobody to answer: the end marker alone tells the caller the search is over. */
        if (!job->BeginCommit())
            return;
        job->Finish();
        Deliver("", "no student connected");
        return;
    }
    for (size_t i = 0; i < students.size(); ++i) {
        if (!job->BeginCommit())
            return;
        std::string result;
        if (walk == CProgramSearch::FOLDER_UNUSABLE) {
            result = "error: the folder cannot be opened";
        } else {
            /* Clearing is the first answer's business; later ones add to it. */
            int added = 0;
            if (MergeSearchResults(found, i == 0 ? job->Clear() : 0, job->ResultFile(), &added) == IPC_OK)
                result = "found " + std::to_string(found.size()) + ", new " + std::to_string(added);
            else
                result = "error: the results cannot be saved";
        }
        /* The last answer completes the search in the caller; no end marker follows it, since
         * a late marker could end the caller's next search. */
        bool last = i + 1 == students.size();
        if (last)
            job->Finish();
        Deliver(AnswerName(students[i], i), result);
        if (!last)
            job->EndCommit();
    }
}

void CLocalTeacherService::Deliver(const std::string& student, const std::string& result)
{
    CSearchWorkers& workers = CSearchWorkers::Instance();
    for (const auto& link : m_Callbacks.Live()) {
        if (!workers.BeginDelivery())
            return;
        DeliverSearchProgram(link, student, result);
        workers.EndDelivery();
    }
}

int CLocalTeacherService::CancelOperation(int op, int& err)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (!m_Current || m_Current->Op() != op)
        err = IPC_ERR_NO_SUCH_OPERATION;
    else
        err = m_Current->Cancel();
    return err;
}

} // namespace

IPCTeacherAPI* LocalTeacherService()
{
    static IPCTeacherAPI* service = new CLocalTeacherService;
    return service;
}

} // namespace IPCAPI
