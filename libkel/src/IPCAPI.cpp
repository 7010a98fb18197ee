/* The API objects handed to callback objects, the callback bases, and the delivery of callbacks through links. */
#include "IPCAPI.h"

#include "LocalService.h"
#include "StudentBusClient.h"

#include <atomic>

namespace IPCAPI {

namespace {
std::atomic<IPCStudentAPI*> g_StudentOverride(nullptr);
std::atomic<IPCTeacherAPI*> g_TeacherOverride(nullptr);
} // namespace

IPCStudentAPI* GetStudentAPI()
{
    IPCStudentAPI* api = g_StudentOverride.load();
    return api ? api : StudentBusClient();
}

IPCTeacherAPI* GetTeacherAPI()
{
    IPCTeacherAPI* api = g_TeacherOverride.load();
    return api ? api : LocalTeacherService();
}

void SetStudentAPI(IPCStudentAPI* api)
{
    g_StudentOverride.store(api);
}

void SetTeacherAPI(IPCTeacherAPI* api)
{
    g_TeacherOverride.store(api);
}

CStudentAPICallbackBase::CStudentAPICallbackBase()
    : m_pStudentAPI(GetStudentAPI())
    , m_Link(std::make_shared<CCallbackLink>())
{
    m_Link->SetTarget(this, CCallbackLink::SIDE_STUDENT);
}

CStudentAPICallbackBase::~CStudentAPICallbackBase()
{
    DetachCallBacks();
}

void CStudentAPICallbackBase::DetachCallBacks()
{
    m_Link->Detach();
}

bool CStudentAPICallbackBase::EnterGdkForCallBack()
{
    /* The object may be deleted while this thread waits: only the copy is used afterwards. */
    std::shared_ptr<CCallbackLink> link = m_Link;
    return link->EnterGdk();
}

CTeacherAPICallbackBase::CTeacherAPICallbackBase()
    : m_pTeacherAPI(GetTeacherAPI())
    , m_Link(std::make_shared<CCallbackLink>())
{
    m_Link->SetTarget(this, CCallbackLink::SIDE_TEACHER);
}

CTeacherAPICallbackBase::~CTeacherAPICallbackBase()
{
    DetachCallBacks();
}

void CTeacherAPICallbackBase::DetachCallBacks()
{
    m_Link->Detach();
}

bool CTeacherAPICallbackBase::EnterGdkForCallBack()
{
    std::shared_ptr<CCallbackLink> link = m_Link;
    return link->EnterGdk();
}

bool DeliverSearchLocalProgram(const std::shared_ptr<CCallbackLink>& link, const std::string& result)
{
    /* Our own reference: the caller's may be dropped (a registry pruned) during the call. */
    std::shared_ptr<CCallbackLink> held = link;
    if (!held || held->GetSide() != CCallbackLink::SIDE_STUDENT || !held->BeginCall())
        return false;
    CStudentAPICallbackBase* target = static_cast<CStudentAPICallbackBase*>(held->Target());
    if (target)
        target->SearchLocalProgramCallBack(result);
    held->EndCall();
    return target != nullptr;
}

bool DeliverSearchProgram(const std::shared_ptr<CCallbackLink>& link, const std::string& student,
                          const std::string& result)
{
    std::shared_ptr<CCallbackLink> held = link;
    if (!held || held->GetSide() != CCallbackLink::SIDE_TEACHER || !held->BeginCall())
        return false;
    CTeacherAPICallbackBase* target = static_cast<CTeacherAPICallbackBase*>(held->Target());
    if (target)
        target->SearchProgramCallBack(student, result);
    held->EndCall();
    return target != nullptr;
}

bool DeliverDeployPolicy(const std::shared_ptr<CCallbackLink>& link, const std::string& kind,
                         const std::string& student, const std::string& result)
{
    std::shared_ptr<CCallbackLink> held = link;
    if (!held || held->GetSide() != CCallbackLink::SIDE_TEACHER || !held->BeginCall())
        return false;
    CTeacherAPICallbackBase* target = static_cast<CTeacherAPICallbackBase*>(held->Target());
    if (target && kind == "schedule")
        target->DeploySchedulePolicyCallBack(student, result);
    else if (target)
        target->DeployTabNavPolicyCallBack(student, result);
    held->EndCall();
    return target != nullptr;
}

bool DeliverTeacherMessage(const std::shared_ptr<CCallbackLink>& link, const std::string& message)
{
    std::shared_ptr<CCallbackLink> held = link;
    if (!held || held->GetSide() != CCallbackLink::SIDE_TEACHER || !held->BeginCall())
        return false;
    CTeacherAPICallbackBase* target = static_cast<CTeacherAPICallbackBase*>(held->Target());
    if (target)
        target->OnMessage(message);
    held->EndCall();
    return target != nullptr;
}

} // namespace IPCAPI
