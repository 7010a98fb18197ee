/* A scripted classroom service for GUI tests: chosen results per call, recorded calls, and
 * callbacks delivered from a worker thread when the test asks for them. */
#ifndef KEL_SCRIPTED_IPC_H
#define KEL_SCRIPTED_IPC_H

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "IPCAPI.h"

namespace keltest {

/* Installs itself as both the student and the teacher API for the objects constructed
 * while it lives. Declare it before the windows that use it, so that it outlives them
 * (a search dialog cancels a running search when it is deleted).
 *
 * The test thread holds the GDK lock and the callbacks take it, so a delivery completes
 * only while the test pumps: deliver, then WaitDelivered (which pumps, bounded). */
class ScriptedIPC : public IPCAPI::IPCStudentAPI, public IPCAPI::IPCTeacherAPI {
    typedef std::shared_ptr<IPCAPI::CCallbackLink> Link;

public:
    /* The API operation ("SearchProgram"), its path or policy text, the operation number passed or
     * handed out, and the clear-results flag of a search start. */
    struct Call { std::string name, text; int op, clear; };

    ScriptedIPC();
    ~ScriptedIPC() override;

    /* The script; change it between calls as the test goes. */
    int searchResult = 0;       /* result of SearchLocalProgram and SearchProgram */
    int cancelResult = 0;       /* result of CancelOperation */
    int cancelError = 0;        /* its error out-parameter when it fails */
    int studentCount = 0;       /* students in GetStudentList */
    int saveResult = 0;         /* result of the three policy saves */
    int saveError = 0;

    int CountCalls(const std::string& name) const;
    /* The last call of that name; name empty when there was none. */
    Call LastCall(const std::string& name) const;

    /* Queue one callback; a worker thread delivers the queue in order. */
    void DeliverStudentAnswer(const std::string& student, const std::string& result = "ok")
    {
        Queue(m_TeacherLink, [student, result](const Link& l) { return IPCAPI::DeliverSearchProgram(l, student, result); });
    }
    void DeliverLocalDone(const std::string& result = "ok")
    {
        Queue(m_StudentLink, [result](const Link& l) { return IPCAPI::DeliverSearchLocalProgram(l, result); });
    }
    /* Deliveries finished, and those that reached an object (the others found it detached). */
    int Delivered() const { return m_Delivered.load(); }
    int Reached() const { return m_Reached.load(); }
    /* Pumps the main loop (the GDK lock released meanwhile) until n deliveries finished. */
    bool WaitDelivered(int n, int timeoutMs = 5000);
    /* Waits, keeping the GDK lock, until n deliveries have begun; a delivery that began is
     * then inside the service's delivery call, on its way to (or waiting for) the lock. */
    bool WaitBegun(int n, int timeoutMs = 5000);

    /* IPCStudentAPI */
    int RegisterCallBack(IPCAPI::CStudentAPICallbackBase* callback, int& err) override
    {
        return Register("RegisterStudent", callback ? callback->GetCallbackLink() : nullptr, m_StudentLink, err);
    }
    int SearchLocalProgram(const std::string& path, int& op, int clear) override
    {
        return Start("SearchLocalProgram", path, op, clear);
    }
    int SaveLocalSchedulePolicy(const std::string& xml, int& err) override { return Save("SaveLocalSchedulePolicy", xml, err); }
    int SaveLocalTabNavPolicy(const std::string& xml, int& err) override { return Save("SaveLocalTabNavPolicy", xml, err); }
    int HardWareControl(const std::string& xml, int& err) override { return Save("HardWareControl", xml, err); }
    /* IPCTeacherAPI */
    int RegisterCallBack(IPCAPI::CTeacherAPICallbackBase* callback, int& err) override
    {
        return Register("RegisterTeacher", callback ? callback->GetCallbackLink() : nullptr, m_TeacherLink, err);
    }
    int GetStudentList(std::list<IPCAPI::tagStudent_t>& students, int& err) override;
    int SearchProgram(const std::string& path, int& op, int clear) override { return Start("SearchProgram", path, op, clear); }
    /* Both */
    int CancelOperation(int op, int& err) override;

private:
    void Record(const std::string& name, const std::string& text, int op, int clear);
    int Register(const std::string& name, const Link& link, Link& slot, int& err);
    int Start(const std::string& name, const std::string& path, int& op, int clear);
    int Save(const std::string& name, const std::string& xml, int& err);
    void Queue(const Link& slot, const std::function<bool(const Link&)>& deliver);
    void Work();

    mutable std::mutex m_Mutex;
    std::condition_variable m_Wake;
    std::vector<Call> m_Calls;
    Link m_StudentLink; /* of the object registered last */
    Link m_TeacherLink;
    int m_NextOperation = 41; /* handed out by a successful start, then counted up */
    std::deque<std::function<bool()>> m_Queue;
    std::thread m_Worker;
    bool m_Stop = false;
    int m_Begun = 0;
    std::atomic<int> m_Delivered{0};
    std::atomic<int> m_Reached{0};
};

} // namespace keltest

#endif
