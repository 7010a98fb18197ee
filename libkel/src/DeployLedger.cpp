/* The teacher's record of which deployment each student holds. */
#include "DeployLedger.h"

#include "IPCAPI.h"

namespace IPCAPI {

void CDeployLedger::Deployed(const std::string& kind, const std::string& id)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Current[kind] = id;
}

bool CDeployLedger::IsCurrent(const std::string& kind, const std::string& id) const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    auto it = m_Current.find(kind);
    return !id.empty() && it != m_Current.end() && it->second == id;
}

bool CDeployLedger::Answered(const std::string& student, const std::string& kind, const std::string& id,
                             const std::string& result)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    auto current = m_Current.find(kind);
    if (id.empty() || current == m_Current.end() || current->second != id)
        return false;
    Held& held = m_Students[student][kind];
    /* Its presence may have told what it holds before this answer is handled. */
    if (held.answeredId == id)
        return false;
    held.answeredId = id;
    if (result == "ok") {
        held.id = id;
        held.failedId.clear();
    } else {
        held.failedId = id;
        held.reason = result;
    }
    return true;
}

void CDeployLedger::Holds(const std::string& student, const std::string& kind, const std::string& id)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    Held& held = m_Students[student][kind];
    held.id = id;
    if (held.failedId == id)
        held.failedId.clear();
}

int CDeployLedger::State(const std::string& student, std::string& reason) const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    reason.clear();
    if (m_Current.empty())
        return tagStudentState_t::DEPLOY_NONE;
    auto s = m_Students.find(student);
    int state = tagStudentState_t::DEPLOY_CURRENT;
    for (const auto& current : m_Current) {
        const Held* held = NULL;
        if (s != m_Students.end()) {
            auto h = s->second.find(current.first);
            held = h == s->second.end() ? NULL : &h->second;
        }
        if (held && held->failedId == current.second) {
            reason = held->reason;
            return tagStudentState_t::DEPLOY_FAILED;
        }
        if (!held || held->id != current.second)
            state = tagStudentState_t::DEPLOY_OUTDATED;
    }
    return state;
}

} // namespace IPCAPI
