/* What the teacher's side knows of each student's policy: the deployments in force (its own and
 * the ones the broker keeps), and what each student answered or says it holds. */
#ifndef KEL_DEPLOY_LEDGER_H
#define KEL_DEPLOY_LEDGER_H

#include <map>
#include <mutex>
#include <string>

namespace IPCAPI {

class CDeployLedger {
public:
    /* The deployment of a kind ("tabnav", "schedule") now in force. */
    void Deployed(const std::string& kind, const std::string& id);
    bool IsCurrent(const std::string& kind, const std::string& id) const;
    /* A student's answer ("ok" or "error: REASON"): false, and nothing noted, when it answers no
     * deployment in force or was told already. */
    bool Answered(const std::string& student, const std::string& kind, const std::string& id,
                  const std::string& result);
    /* What a student's presence says it holds. */
    void Holds(const std::string& student, const std::string& kind, const std::string& id);
    /* tagStudentState_t::DEPLOY_*: NONE when nothing was deployed, FAILED (with the student's
     * reason) when it refused a deployment in force, OUTDATED when it lacks one, else CURRENT. */
    int State(const std::string& student, std::string& reason) const;

private:
    struct Held {
        std::string id;
        std::string failedId, reason;
        std::string answeredId;
    };
    mutable std::mutex m_Mutex;
    std::map<std::string, std::string> m_Current;                    /* kind -> id */
    std::map<std::string, std::map<std::string, Held> > m_Students;  /* student -> kind -> held */
};

} // namespace IPCAPI

#endif
