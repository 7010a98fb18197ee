/* The scripted classroom service of the GUI tests. */
#include "ScriptedIPC.h"

#include <chrono>

#include "KelTest.h"

namespace keltest {

ScriptedIPC::ScriptedIPC()
{
    IPCAPI::SetStudentAPI(this);
    IPCAPI::SetTeacherAPI(this);
    m_Worker = std::thread(&ScriptedIPC::Work, this);
}

ScriptedIPC::~ScriptedIPC()
{
    /* Let queued deliveries finish; they may need the GDK lock the test thread holds. */
    PumpUntil([this] {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Queue.empty() && m_Delivered.load() == m_Begun;
    });
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Stop = true;
    }
    m_Wake.notify_all();
    m_Worker.join();
    IPCAPI::SetStudentAPI(NULL);
    IPCAPI::SetTeacherAPI(NULL);
}

void ScriptedIPC::Record(const std::string& name, const std::string& text, int op, int clear)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Calls.push_back(Call{name, text, op, clear});
}

std::vector<ScriptedIPC::Call> ScriptedIPC::Calls() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Calls;
}

int ScriptedIPC::CountCalls(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    int n = 0;
    for (const Call& c : m_Calls)
        if (c.name == name)
            ++n;
    return n;
}

ScriptedIPC::Call ScriptedIPC::LastCall(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    for (auto it = m_Calls.rbegin(); it != m_Calls.rend(); ++it)
        if (it->name == name)
            return *it;
    return Call{"", "", 0, 0};
}

std::shared_ptr<IPCAPI::CCallbackLink> ScriptedIPC::StudentLink() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_StudentLinks.empty() ? nullptr : m_StudentLinks.back();
}

std::shared_ptr<IPCAPI::CCallbackLink> ScriptedIPC::TeacherLink() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_TeacherLinks.empty() ? nullptr : m_TeacherLinks.back();
}

void ScriptedIPC::DeliverStudentAnswer(const std::string& student, const std::string& result)
{
    std::shared_ptr<IPCAPI::CCallbackLink> link = TeacherLink();
    Enqueue([link, student, result] { return link && IPCAPI::DeliverSearchProgram(link, student, result); });
}

void ScriptedIPC::DeliverLocalDone(const std::string& result)
{
    std::shared_ptr<IPCAPI::CCallbackLink> link = StudentLink();
    Enqueue([link, result] { return link && IPCAPI::DeliverSearchLocalProgram(link, result); });
}

void ScriptedIPC::Enqueue(const std::function<bool()>& delivery)
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Queue.push_back(delivery);
    }
    m_Wake.notify_all();
}

void ScriptedIPC::Work()
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    for (;;) {
        m_Wake.wait(lock, [this] { return m_Stop || !m_Queue.empty(); });
        if (m_Queue.empty())
            return;
        std::function<bool()> delivery = m_Queue.front();
        m_Queue.pop_front();
        ++m_Begun;
        m_Wake.notify_all();
        lock.unlock();
        bool reached = delivery();
        if (reached)
            ++m_Reached;
        ++m_Delivered;
        lock.lock();
    }
}

bool ScriptedIPC::WaitDelivered(int n, int timeoutMs)
{
    return PumpUntil([this, n] { return m_Delivered.load() >= n; }, timeoutMs);
}

bool ScriptedIPC::WaitBegun(int n, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    return m_Wake.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this, n] { return m_Begun >= n; });
}

int ScriptedIPC::RegisterCallBack(IPCAPI::CStudentAPICallbackBase* callback, int& err)
{
    Record("RegisterStudent", "", 0, 0);
    err = 0;
    if (!callback)
        return err = IPCAPI::IPC_ERR_INVALID_ARGUMENT;
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_StudentLinks.push_back(callback->GetCallbackLink());
    return 0;
}

int ScriptedIPC::RegisterCallBack(IPCAPI::CTeacherAPICallbackBase* callback, int& err)
{
    Record("RegisterTeacher", "", 0, 0);
    err = 0;
    if (!callback)
        return err = IPCAPI::IPC_ERR_INVALID_ARGUMENT;
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_TeacherLinks.push_back(callback->GetCallbackLink());
    return 0;
}

int ScriptedIPC::Start(const std::string& name, const std::string& path, int& op, int clear)
{
    op = 0;
    if (searchResult == 0)
        op = nextOperation++;
    Record(name, path, op, clear);
    return searchResult;
}

int ScriptedIPC::SearchLocalProgram(const std::string& path, int& op, int clear)
{
    return Start("SearchLocalProgram", path, op, clear);
}

int ScriptedIPC::SearchProgram(const std::string& path, int& op, int clear)
{
    return Start("SearchProgram", path, op, clear);
}

int ScriptedIPC::GetStudentList(std::list<IPCAPI::tagStudent_t>& students, int& err)
{
    Record("GetStudentList", "", 0, 0);
    for (int i = 0; i < studentCount; ++i)
        students.push_back(IPCAPI::tagStudent_t{"s" + std::to_string(i + 1), "10.0.0." + std::to_string(i + 1)});
    err = 0;
    return 0;
}

int ScriptedIPC::CancelOperation(int op, int& err)
{
    Record("CancelOperation", "", op, 0);
    err = cancelResult == 0 ? 0 : cancelError;
    return cancelResult;
}

int ScriptedIPC::SaveLocalSchedulePolicy(const std::string& xml, int& err)
{
    Record("SaveLocalSchedulePolicy", xml, 0, 0);
    err = saveError;
    return saveResult;
}

int ScriptedIPC::SaveLocalTabNavPolicy(const std::string& xml, int& err)
{
    Record("SaveLocalTabNavPolicy", xml, 0, 0);
    err = saveError;
    return saveResult;
}

int ScriptedIPC::HardWareControl(const std::string& xml, int& err)
{
    Record("HardWareControl", xml, 0, 0);
    err = saveError;
    return saveResult;
}

} // namespace keltest
