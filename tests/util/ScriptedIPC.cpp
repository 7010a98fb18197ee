/* The scripted classroom service of the GUI tests. */
#include "ScriptedIPC.h"

#include <algorithm>
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

int ScriptedIPC::CountCalls(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return std::count_if(m_Calls.begin(), m_Calls.end(), [&name](const Call& c) { return c.name == name; });
}

ScriptedIPC::Call ScriptedIPC::LastCall(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    for (auto it = m_Calls.rbegin(); it != m_Calls.rend(); ++it)
        if (it->name == name)
            return *it;
    return Call{"", "", 0, 0};
}

void ScriptedIPC::Queue(const Link& slot, const std::function<bool(const Link&)>& deliver)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    Link link = slot; /* the object registered when the delivery was queued */
    m_Queue.push_back([link, deliver] { return link && deliver(link); });
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
        if (delivery())
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

int ScriptedIPC::Register(const std::string& name, const Link& link, Link& slot, int& err)
{
    Record(name, "", 0, 0);
    err = link ? 0 : IPCAPI::IPC_ERR_INVALID_ARGUMENT;
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (link)
        slot = link;
    return err;
}

int ScriptedIPC::Start(const std::string& name, const std::string& path, int& op, int clear)
{
    op = searchResult == 0 ? m_NextOperation++ : 0;
    Record(name, path, op, clear);
    return searchResult;
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

int ScriptedIPC::Save(const std::string& name, const std::string& xml, int& err)
{
    Record(name, xml, 0, 0);
    err = saveError;
    return saveResult;
}

} // namespace keltest
