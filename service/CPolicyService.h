/* The policy service on the bus: owns org.kelproject.Policy1, checks every caller, writes the
 * policy files one at a time, runs the searches and tells its listeners what changed. */
#ifndef KEL_POLICY_SERVICE_H
#define KEL_POLICY_SERVICE_H

#include <gio/gio.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "CCallerCheck.h"
#include "CLockState.h"
#include "CSearchRunner.h"
#include "CSessionAgents.h"
#include "ClassroomService.h"
#include "PolicyStore.h"

struct _KelPolicy1;

namespace KelService {

class CPolicyService {
public:
    /* selfExe: this program, beside which the walks of searches are found; ownUserOnly: see
     * CCallerCheck. */
    CPolicyService(const std::string& selfExe, bool ownUserOnly);
    ~CPolicyService();
    CPolicyService(const CPolicyService&) = delete;
    CPolicyService& operator=(const CPolicyService&) = delete;

    /* Runs until SIGTERM or SIGINT, or until the name is lost. The process's exit status. */
    int Run();

    /* Policy texts above this are refused before they are parsed. */
    enum { MAX_POLICY_TEXT = 16 * 1024 * 1024 };

private:
    static void OnBusAcquired(GDBusConnection* bus, const gchar* name, gpointer self);
    static void OnNameAcquired(GDBusConnection* bus, const gchar* name, gpointer self);
    static void OnNameLost(GDBusConnection* bus, const gchar* name, gpointer self);
    static gboolean OnStopSignal(gpointer self);
    static gboolean OnSearchLocalProgram(struct _KelPolicy1* object, GDBusMethodInvocation* inv, const gchar* folder,
                                         gboolean clear, gpointer self);
    static gboolean OnCancelOperation(struct _KelPolicy1* object, GDBusMethodInvocation* inv, gint op, gpointer self);
    static gboolean OnSaveSchedulePolicy(struct _KelPolicy1* object, GDBusMethodInvocation* inv, const gchar* xml,
                                         gpointer self);
    static gboolean OnSaveTabNavPolicy(struct _KelPolicy1* object, GDBusMethodInvocation* inv, const gchar* xml,
                                       gpointer self);
    static gboolean OnHardwareControl(struct _KelPolicy1* object, GDBusMethodInvocation* inv, const gchar* xml,
                                      gpointer self);

    static gboolean OnRegisterSessionAgent(struct _KelPolicy1* object, GDBusMethodInvocation* inv, const gchar* display,
                                           const gchar* xauthority, const gchar* language, gpointer self);
    void LockChanged(const LockState& state);
    /* The classroom side's calls, which arrive on its thread, run on the main loop. */
    void SetClassroomHooks();
    void OnMainLoop(const std::function<void()>& work);
    /* The tests' clock and classroom calls, on their private bus only. */
    void ExportTestSeam(GDBusConnection* bus);

    void HandleSave(GDBusMethodInvocation* inv, PolicyKind kind, const std::string& xml);
    /* Stores the policy, then tells the lock and the listeners; an IPCAPI error code. */
    int SavePolicy(PolicyKind kind, const std::string& xml, const Caller& caller);
    void SearchFinished(int op, const std::string& result);
    /* The call fails with the code in the shared error domain; reason: its message ("" names
     * the code's usual one). */
    static void ReturnError(GDBusMethodInvocation* inv, int code, const std::string& reason = "");

    const std::string m_SelfExe;
    const bool m_OwnUserOnly;
    GMainLoop* m_pLoop;
    struct _KelPolicy1* m_pSkeleton;
    std::unique_ptr<CCallerCheck> m_pCallers;
    std::unique_ptr<CSearchRunner> m_pSearches;
    guint m_OwnerId;
    int m_ExitStatus;
    std::unique_ptr<CLockState> m_pLock;
    std::atomic<int> m_LockBits;
    std::unique_ptr<CSessionAgents> m_pAgents;
    guint m_TestSeam;
    NotebookHooks m_Hooks;
};

} // namespace KelService

#endif
