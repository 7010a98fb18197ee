/* The teacher's console window: one row per student of the class (name, machine, online, lock
 * and why, whether it holds the policy last deployed), the console's own connection, and the
 * teacher's actions on the class or the selected students. */
#ifndef KEL_CTEACHER_CONSOLE_H
#define KEL_CTEACHER_CONSOLE_H

#include "IPCAPI.h"

#include <gtk/gtk.h>

#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace LibKELGUI {
class CKELWindowBase;
}

class CTeacherConsole : public IPCAPI::CTeacherAPICallbackBase {
public:
    enum Column { COL_MACHINE, COL_NAME, COL_ONLINE, COL_LOCK, COL_POLICY, COL_STATUS, COL_COUNT };

    CTeacherConsole();
    ~CTeacherConsole() override;

    /* Builds the window and reads the class; with the GDK lock held. */
    void Init();
    GtkWidget* GetWindow() const { return m_Window; }
    /* A row's text (COL_*), empty when there is no row for the machine. */
    std::string RowText(const std::string& machine, int column);
    std::string ConnectionText() const;
    /* The new-student notice, null while none is open. */
    GtkWidget* NewStudentNotice() const { return m_NewDialog; }
    /* The theme and font dialog (Theme and Font...), null while none is open. */
    GtkWidget* LookDialog() const { return m_LookDialog; }

    /* The selected students' machines; empty: the whole class. */
    std::list<std::string> Targets();
    void Lock(bool lock);
    void SendNotice(const std::string& text);
    /* Sends this machine's saved policy files to the class; the rows show the outcome. */
    void DeployPolicy();

    /* Callbacks, on the classroom client's thread. */
    void NotifyStudentStatusChanged(std::string student, int status) override;
    void NewStudentCallBack(std::string student) override;
    void NotifyStudentInfoChanged(std::string student) override;
    void ManualLockRemotStudentCallBack(std::string student, std::string result) override;
    void ManualUnLockRemotStudentCallBack(std::string student, std::string result) override;
    void DeployTabNavPolicyCallBack(std::string student, std::string result) override;
    void DeploySchedulePolicyCallBack(std::string student, std::string result) override;
    void OnMessage(std::string message) override;
    /* KickOffStudentCallBack: the console has no kick-off, so it stays the base's. */

private:
    struct Deploy {
        bool sent = false;   /* a deploy of this run reached it or waits for it */
        bool online = false; /* online when sent */
        std::string tabnav, schedule; /* answers: "ok" or "error: ..." */
        int known = IPCAPI::tagStudentState_t::DEPLOY_NONE;
        std::string reason;
    };

    void Build();
    void ReloadClass();
    bool FindRow(const std::string& machine, GtkTreeIter* iter);
    void SetRow(GtkTreeIter* iter, const std::string& machine, const std::string& name, int status);
    void ShowPolicy(const std::string& machine);
    void MarkSent(bool sent); /* every row waits for its answer to a deployment, or no longer */
    std::string MachineOf(const std::string& student);
    void DeployAnswered(const std::string& student, bool tabnav, const std::string& result);
    void Tell(const std::string& text);
    /* The connection's state (0: connected) and the library's reason, shown. */
    int ShowConnection(std::string& reason);
    void UpdateTarget();
    void ShowNewStudents();
    /* Runs a call that may wait for the broker (up to its connect timeout) on a thread of its
     * own, so that the window stays responsive; told(rc, err) runs on the main loop after it,
     * unless the console was deleted meanwhile. */
    void Aside(const std::function<int(int&)>& call, const std::function<void(int, int)>& told);

    static void OnLock(GtkWidget*, gpointer self);
    static void OnUnlock(GtkWidget*, gpointer self);
    static void OnNotice(GtkWidget*, gpointer self);
    static void OnSettings(GtkWidget*, gpointer self);
    static void OnSearch(GtkWidget*, gpointer self);
    static void OnAbout(GtkWidget*, gpointer self);
    static void OnLook(GtkWidget*, gpointer self);
    static void OnLookAnswered(GtkDialog* dialog, gint response, gpointer self);
    static void OnSelectionChanged(GtkTreeSelection*, gpointer self);
    static void OnDialogClosed(GtkWidget*, gpointer slot);
    static void OnNewClosed(GtkDialog*, gint, gpointer self);
    static gboolean OnViewKey(GtkWidget*, GdkEventKey* event, gpointer self);
    static gboolean DeployAgain(gpointer self);
    static gboolean ReloadLater(gpointer self);

    GtkWidget* m_Window;
    GtkWidget* m_View;
    GtkListStore* m_Store;
    GtkWidget* m_Target;
    GtkWidget* m_Connection;
    GtkWidget* m_Message;
    GtkWidget* m_NewDialog;
    GtkWidget* m_NewLabel;
    GtkWidget* m_LookDialog;
    std::vector<std::string> m_NewStudents;
    LibKELGUI::CKELWindowBase* m_Settings; /* Shell Settings, while open */
    LibKELGUI::CKELWindowBase* m_Search;
    LibKELGUI::CKELWindowBase* m_About;
    std::map<std::string, Deploy> m_Deploy; /* machine -> */
    /* machine -> its row (a list store's iters stay valid while their row lives); a roster name
     * -> its machine, for the deploy answers, which name the student. */
    std::map<std::string, GtkTreeIter> m_Rows;
    std::map<std::string, std::string> m_MachineOfName;
    guint m_ReloadSource; /* roster changes are read once per burst */
    std::shared_ptr<char> m_Alive; /* expires with the console: late answers of Aside find it gone */
    bool m_DeployWaiting; /* could not reach the broker: sent when it is back */
    guint m_DeploySource;
};

#endif
