/* The teacher's side of the classroom, a client of the class's broker: the students' presence,
 * class searches (TeacherBrokerSearch.cpp) and policy deployment (TeacherBroker.cpp). */
#ifndef KEL_TEACHER_BROKER_H
#define KEL_TEACHER_BROKER_H

#include "Classroom.h"
#include "DeployLedger.h"
#include "LocalService.h"
#include "TeacherClass.h"
#include "TeacherSearch.h"

#include "IPCAPI.h"
#include "KELData.h"

#include <mosquitto.h>

#include <chrono>
#include <map>
#include <memory>
#include <set>

namespace IPCAPI {

class CBrokerTeacherService : public IPCTeacherAPI {
public:
    typedef std::chrono::steady_clock Clock;

    CBrokerTeacherService();

    int RegisterCallBack(CTeacherAPICallbackBase* callback, int& err) override;
    int GetStudentList(std::list<tagStudent_t>& students, int& err) override;
    int SearchProgram(const std::string& path, int& op, int clear) override;
    int CancelOperation(int op, int& err) override;
    int DeployTabNavPolicy(const std::string& xml, int& err) override;
    int DeploySchedulePolicy(const std::string& xml, int& err) override;
    int GetConnectionState(std::string& reason, int& err) override;
    /* The class's lock, notices and state live in m_Class. */
    int LockStudents(const std::list<std::string>& m, int& err) override { return Ready(err) ? m_Class.Lock(m, true, err) : err; }
    int UnlockStudents(const std::list<std::string>& m, int& err) override { return Ready(err) ? m_Class.Lock(m, false, err) : err; }
    int SendNotice(const std::list<std::string>& m, const std::string& text, int& err) override
    {
        return Ready(err) ? m_Class.Notice(m, text, err) : err;
    }
    int GetClassState(std::list<tagStudentState_t>& students, int& err) override;

    /* At exit: the queued work is dropped and the one running is waited for. */
    void StopWork() { m_Work.Stop(); }

    /* Which deployment each student holds, for the class view. */
    const CDeployLedger& Deploys() const { return m_Deploys; }

private:
    bool Ready(int& err)
    {
        if (!StartSession(err))
            return false;
        std::unique_lock<std::mutex> lock(m_Mutex);
        return (err = WaitReady(lock)) == IPC_OK;
    }

    static void OnConnect(mosquitto*, void* self, int rc) { static_cast<CBrokerTeacherService*>(self)->Connected(rc); }
    static void OnDisconnect(mosquitto*, void* self, int rc) { static_cast<CBrokerTeacherService*>(self)->Disconnected(rc); }
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* m) { static_cast<CBrokerTeacherService*>(self)->Received(m); }

    /* Starts the session once; false when no classroom is configured. Without m_Mutex. */
    bool StartSession(int& err);
    /* Waits (bounded) until the session has the class's presence; IPC_OK or why not. */
    int WaitReady(std::unique_lock<std::mutex>& lock);
    /* Under m_Mutex: a new state of our link to the broker, logged and told when it changed. */
    void SetState(int err, const std::string& reason);
    void Connected(int rc);
    void Disconnected(int rc);
    void Failed(const std::string& reason);
    void Received(const mosquitto_message* message);
    void PresenceSaid(const std::string& student, const std::string& payload, bool retained);
    void SearchAnswered(const std::string& student, const ClassroomMessage& message);
    void StudentLeft(const std::string& student);
    /* A student the roll call gave up: the class's view is told, unless it spoke meanwhile. */
    void Dropped(const std::string& student);
    void DeployAnswered(const std::string& student, const ClassroomMessage& message);
    int Deploy(LibKELData::CKELDataProvider& record, const char* kind, const std::string& xml, int& err);
    void DeadlineLoop();
    /* Under m_Mutex: students that did not answer the roll call are gone. */
    void EndRollCall();
    /* With s->deliver held: ends the search, tells who was given up, sends the end marker. */
    void EndSearch(const std::shared_ptr<RemoteSearch>& s, bool lastAnswerDelivered);
    void Tell(const std::string& text);
    int Publish(const std::string& name, const std::string& payload, bool retain);

    template <typename F> void ForEachLink(F deliver);

    CCallbackRegistry m_Callbacks;
    CSessionLoop m_Loop;
    CJobQueue m_Work; /* what the session's callbacks hand off: merging and delivering */
    CDeployLedger m_Deploys;
    std::mutex m_StartMutex; /* taken before m_Mutex, never inside it */
    std::mutex m_Mutex;
    std::mutex m_PresenceOrder; /* a drop and the session's messages reach the class in turn */
    std::condition_variable m_Changed;
    ClassroomSettings m_Settings;
    mosquitto* m_Session;
    const std::string m_Token; /* this console's ids: a student can neither guess nor take them */
    bool m_Connected;
    bool m_Synced;
    int m_State;                /* IPC_OK while connected, else why not */
    std::string m_StateReason;
    size_t m_FailuresInRow;     /* brokers that failed since the last connection */
    std::string m_SyncToken;
    std::map<std::string, bool> m_Online; /* student -> said so since we connected (not only kept) */
    Clock::time_point m_RollCallEnd;
    bool m_RollCalling;
    std::set<std::string> m_OwnDeploys;
    int m_LastListed;
    int m_Counter;
    std::shared_ptr<RemoteSearch> m_Search;
    bool m_Asked; /* someone asked for the connection's state */
    CTeacherClass m_Class;
};

template <typename F> inline void CBrokerTeacherService::ForEachLink(F deliver)
{
    CSearchWorkers& workers = CSearchWorkers::Instance();
    for (const auto& link : m_Callbacks.Live()) {
        if (!workers.BeginDelivery())
            return;
        deliver(link);
        workers.EndDelivery();
    }
}

} // namespace IPCAPI

#endif
