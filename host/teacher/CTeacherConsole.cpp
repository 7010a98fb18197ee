/* The teacher's console window. Callbacks arrive on the classroom client's thread and touch the
 * window only under the GDK lock, taken through the callback link. */
#include "CTeacherConsole.h"

#include "CAboutDlg.h"
#include "CSearchProgramForShellController.h"
#include "CShellSettingCtrlForShellController.h"
#include "CUtility.h"
#include "KELConstants.h"
#include "KELData.h"
#include "KELGuiCommon.h"

#include <gdk/gdkkeysyms.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

using LibKELGUI::Tr;
using IPCAPI::tagStudentState_t;

namespace {

std::string OnlineText(int status)
{
    return status & IPCAPI::STUDENT_ONLINE ? Tr("Online") : Tr("Offline");
}

std::string LockText(int status)
{
    if (!(status & IPCAPI::STUDENT_ONLINE))
        return "";
    if (!(status & IPCAPI::STUDENT_LOCKED))
        return Tr("Unlocked");
    return status & IPCAPI::STUDENT_LOCKED_BY_TIMETABLE ? Tr("Locked by the timetable") : Tr("Locked by the teacher");
}

/* Calls that may wait for the broker run without the GDK lock: the broker client's thread may
 * be waiting for it to deliver a callback, and would answer only after the call gave up. */
template <typename F> int WithoutGdk(F call)
{
    gdk_threads_leave();
    int rc = call();
    gdk_threads_enter();
    return rc;
}

GtkWidget* Button(GtkWidget* box, const char* text, GCallback handler, gpointer self)
{
    GtkWidget* button = gtk_button_new_with_mnemonic(text);
    g_signal_connect(button, "clicked", handler, self);
    gtk_box_pack_start(GTK_BOX(box), button, FALSE, FALSE, 0);
    return button;
}

} // namespace

CTeacherConsole::CTeacherConsole()
    : m_Window(NULL)
    , m_View(NULL)
    , m_Store(NULL)
    , m_Target(NULL)
    , m_Connection(NULL)
    , m_Message(NULL)
    , m_NewDialog(NULL)
    , m_NewLabel(NULL)
    , m_LookDialog(NULL)
    , m_Settings(NULL)
    , m_Search(NULL)
    , m_About(NULL)
    , m_ReloadSource(0)
    , m_Alive(std::make_shared<char>(0))
    , m_DeployWaiting(false)
    , m_DeploySource(0)
{
}

CTeacherConsole::~CTeacherConsole()
{
    /* No callback reaches the console from here on. */
    DetachCallBacks();
    for (guint source : {m_DeploySource, m_ReloadSource})
        if (source)
            g_source_remove(source);
    /* Cleared first: their windows' close handlers then find nothing left to delete. */
    for (LibKELGUI::CKELWindowBase** window : {&m_Settings, &m_Search, &m_About}) {
        LibKELGUI::CKELWindowBase* open = *window;
        *window = NULL;
        delete open;
    }
    for (GtkWidget* dialog : {m_NewDialog, m_LookDialog})
        if (dialog)
            gtk_widget_destroy(dialog);
    if (m_Window)
        gtk_widget_destroy(m_Window);
    if (m_Store)
        g_object_unref(m_Store);
}

void CTeacherConsole::Init()
{
    Build();
    /* The first contact starts the broker session, whose set-up takes the broker client's
     * callback lock: never while holding the GDK lock, which its callbacks take inside it. */
    IPCAPI::IPCTeacherAPI* api = GetTeacherAPIObject();
    int err = 0;
    if (api)
        WithoutGdk([&] { return api->RegisterCallBack(this, err); });
    ReloadClass();
    std::string reason;
    ShowConnection(reason);
}

void CTeacherConsole::Build()
{
    m_Window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    g_object_add_weak_pointer(G_OBJECT(m_Window), reinterpret_cast<gpointer*>(&m_Window));
    gtk_window_set_title(GTK_WINDOW(m_Window), Tr("Shell Controller"));
    gtk_window_set_default_size(GTK_WINDOW(m_Window), 820, 520);
    gtk_window_set_icon_from_file(GTK_WINDOW(m_Window), LibKELData::KEL_SHELL_CONTROLLER_ICON.c_str(), NULL);
    GtkWidget* vbox = gtk_vbox_new(FALSE, 6);
    gtk_container_set_border_width(GTK_CONTAINER(vbox), 8);
    gtk_container_add(GTK_CONTAINER(m_Window), vbox);

    GtkWidget* actions = gtk_hbox_new(FALSE, 6);
    gtk_box_pack_start(GTK_BOX(vbox), actions, FALSE, FALSE, 0);
    Button(actions, Tr("_Lock"), G_CALLBACK(OnLock), this);
    Button(actions, Tr("_Unlock"), G_CALLBACK(OnUnlock), this);
    Button(actions, Tr("Send _Notice..."), G_CALLBACK(OnNotice), this);
    Button(actions, Tr("_Shell Settings..."), G_CALLBACK(OnSettings), this);
    Button(actions, Tr("Search _Programs..."), G_CALLBACK(OnSearch), this);
    Button(actions, Tr("_Theme and Font..."), G_CALLBACK(OnLook), this);
    Button(actions, Tr("_About"), G_CALLBACK(OnAbout), this);

    m_Target = gtk_label_new("");
    gtk_misc_set_alignment(GTK_MISC(m_Target), 0, 0.5);
    gtk_box_pack_start(GTK_BOX(vbox), m_Target, FALSE, FALSE, 0);

    m_Store = gtk_list_store_new(COL_COUNT, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING,
                                 G_TYPE_STRING, G_TYPE_INT);
    m_View = gtk_tree_view_new_with_model(GTK_TREE_MODEL(m_Store));
    const char* titles[] = {Tr("Machine"), Tr("Student"), Tr("Connection"), Tr("Screen"), Tr("Policy")};
    const int order[] = {COL_NAME, COL_MACHINE, COL_ONLINE, COL_LOCK, COL_POLICY};
    for (int column : order) {
        GtkTreeViewColumn* c = gtk_tree_view_column_new_with_attributes(titles[column], gtk_cell_renderer_text_new(),
                                                                        "text", column, NULL);
        gtk_tree_view_column_set_resizable(c, TRUE);
        gtk_tree_view_column_set_sort_column_id(c, column);
        gtk_tree_view_append_column(GTK_TREE_VIEW(m_View), c);
    }
    GtkTreeSelection* selection = gtk_tree_view_get_selection(GTK_TREE_VIEW(m_View));
    gtk_tree_selection_set_mode(selection, GTK_SELECTION_MULTIPLE);
    g_signal_connect(selection, "changed", G_CALLBACK(OnSelectionChanged), this);
    g_signal_connect(m_View, "key-press-event", G_CALLBACK(OnViewKey), this);
    GtkWidget* scroll = gtk_scrolled_window_new(NULL, NULL);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroll), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroll), GTK_SHADOW_IN);
    gtk_container_add(GTK_CONTAINER(scroll), m_View);
    gtk_box_pack_start(GTK_BOX(vbox), scroll, TRUE, TRUE, 0);

    m_Message = gtk_label_new("");
    gtk_misc_set_alignment(GTK_MISC(m_Message), 0, 0.5);
    gtk_label_set_ellipsize(GTK_LABEL(m_Message), PANGO_ELLIPSIZE_END);
    gtk_box_pack_start(GTK_BOX(vbox), m_Message, FALSE, FALSE, 0);
    m_Connection = gtk_label_new("");
    gtk_misc_set_alignment(GTK_MISC(m_Connection), 0, 0.5);
    gtk_label_set_ellipsize(GTK_LABEL(m_Connection), PANGO_ELLIPSIZE_END);
    gtk_box_pack_start(GTK_BOX(vbox), m_Connection, FALSE, FALSE, 0);
    UpdateTarget();
    gtk_widget_grab_focus(m_View);
}

void CTeacherConsole::ReloadClass()
{
    std::list<tagStudentState_t> students;
    int err = 0;
    if (GetTeacherAPIObject())
        GetTeacherAPIObject()->GetClassState(students, err);
    /* Rows of machines gone from the class go; the others are updated in place, so that the
     * selection stays. */
    std::map<std::string, const tagStudentState_t*> now;
    for (const tagStudentState_t& s : students)
        now[s.machine] = &s;
    for (auto row = m_Rows.begin(); row != m_Rows.end();) {
        if (now.count(row->first)) {
            ++row;
            continue;
        }
        gtk_list_store_remove(m_Store, &row->second);
        row = m_Rows.erase(row);
    }
    GtkTreeIter iter;
    for (const tagStudentState_t& s : students) {
        Deploy& d = m_Deploy[s.machine];
        if (!d.sent) {
            d.known = s.deploy;
            d.reason = s.deployReason;
        }
        if (!FindRow(s.machine, &iter)) {
            gtk_list_store_append(m_Store, &iter);
            m_Rows[s.machine] = iter;
        }
        /* Earlier names are kept: an answer may name a student as the roster did before. */
        m_MachineOfName[s.name] = s.machine;
        SetRow(&iter, s.machine, s.name, s.status);
    }
}

gboolean CTeacherConsole::ReloadLater(gpointer self)
{
    CTeacherConsole* console = static_cast<CTeacherConsole*>(self);
    console->m_ReloadSource = 0;
    console->ReloadClass();
    return FALSE;
}

bool CTeacherConsole::FindRow(const std::string& machine, GtkTreeIter* iter)
{
    auto row = m_Rows.find(machine);
    if (row == m_Rows.end())
        return false;
    *iter = row->second;
    return true;
}

void CTeacherConsole::SetRow(GtkTreeIter* iter, const std::string& machine, const std::string& name, int status)
{
    gtk_list_store_set(m_Store, iter, COL_MACHINE, machine.c_str(), COL_NAME, name.c_str(), COL_ONLINE,
                       OnlineText(status).c_str(), COL_LOCK, LockText(status).c_str(), COL_STATUS, status, -1);
    ShowPolicy(machine);
}

void CTeacherConsole::ShowPolicy(const std::string& machine)
{
    GtkTreeIter iter;
    if (!FindRow(machine, &iter))
        return;
    const Deploy& d = m_Deploy[machine];
    std::string text;
    std::string failed = d.tabnav.compare(0, 6, "error:") == 0 ? d.tabnav : d.schedule;
    if (!d.sent) {
        int known = d.known;
        text = known == tagStudentState_t::DEPLOY_CURRENT    ? Tr("Current")
               : known == tagStudentState_t::DEPLOY_OUTDATED ? Tr("Outdated")
               : known == tagStudentState_t::DEPLOY_FAILED   ? std::string(Tr("Failed: ")) + d.reason
                                                             : Tr("Not known");
    } else if (failed.compare(0, 6, "error:") == 0) {
        text = std::string(Tr("Failed: ")) + failed.substr(7);
    } else if (d.tabnav == "ok" && d.schedule == "ok") {
        text = Tr("Current");
    } else {
        text = d.online ? Tr("Sent, no answer yet") : Tr("Outdated (gets it when online)");
    }
    gtk_list_store_set(m_Store, &iter, COL_POLICY, text.c_str(), -1);
}

std::string CTeacherConsole::RowText(const std::string& machine, int column)
{
    GtkTreeIter iter;
    if (column < 0 || column >= COL_STATUS || !FindRow(machine, &iter))
        return "";
    gchar* value = NULL;
    gtk_tree_model_get(GTK_TREE_MODEL(m_Store), &iter, column, &value, -1);
    std::string text = value ? value : "";
    g_free(value);
    return text;
}

std::string CTeacherConsole::ConnectionText() const
{
    return m_Connection ? gtk_label_get_text(GTK_LABEL(m_Connection)) : "";
}

int CTeacherConsole::ShowConnection(std::string& reason)
{
    int err = 0;
    int state = GetTeacherAPIObject() ? GetTeacherAPIObject()->GetConnectionState(reason, err) : -1;
    /* In the user's words by state; the library's own reason, in English, as the tooltip. */
    std::string text = state == 0                            ? Tr("Classroom: connected.")
                       : state == IPCAPI::IPC_ERR_NOT_ALLOWED ? Tr("Classroom: the broker refused this console's credentials.")
                       : state == IPCAPI::IPC_ERR_NOT_CONNECTED && reason.find(" yet") != std::string::npos
                           ? Tr("Classroom: connecting to the broker…")
                       : state == IPCAPI::IPC_ERR_NOT_CONNECTED
                           ? Tr("Classroom: not set up on this machine.")
                           : Tr("Classroom: not connected, the broker cannot be reached; trying again.");
    gtk_label_set_text(GTK_LABEL(m_Connection), text.c_str());
    gtk_widget_set_tooltip_text(m_Connection, reason.empty() ? NULL : reason.c_str());
    return state;
}

void CTeacherConsole::Tell(const std::string& text)
{
    gtk_label_set_text(GTK_LABEL(m_Message), text.c_str());
    gtk_widget_set_tooltip_text(m_Message, text.c_str());
}

std::list<std::string> CTeacherConsole::Targets()
{
    std::list<std::string> machines;
    GtkTreeSelection* selection = gtk_tree_view_get_selection(GTK_TREE_VIEW(m_View));
    GList* rows = gtk_tree_selection_get_selected_rows(selection, NULL);
    for (GList* l = rows; l; l = l->next) {
        GtkTreeIter iter;
        gchar* machine = NULL;
        if (gtk_tree_model_get_iter(GTK_TREE_MODEL(m_Store), &iter, static_cast<GtkTreePath*>(l->data)))
            gtk_tree_model_get(GTK_TREE_MODEL(m_Store), &iter, COL_MACHINE, &machine, -1);
        if (machine)
            machines.push_back(machine);
        g_free(machine);
        gtk_tree_path_free(static_cast<GtkTreePath*>(l->data));
    }
    g_list_free(rows);
    return machines;
}

void CTeacherConsole::UpdateTarget()
{
    size_t n = Targets().size();
    std::string text = n == 0 ? Tr("Acts on: the whole class (select students to act on some of them).")
                              : std::string(Tr("Acts on: the selected students: ")) + std::to_string(n);
    gtk_label_set_text(GTK_LABEL(m_Target), text.c_str());
}

void CTeacherConsole::Aside(const std::function<int(int&)>& call, const std::function<void(int, int)>& told)
{
    /* Handed over by atomics: GLib's own locks, on which the idle source passes, are futexes a
     * thread checker does not see. */
    struct Result {
        std::weak_ptr<char> alive;
        std::function<void(int, int)> told;
        std::atomic<int> rc{0}, err{0};
    };
    Result* result = new Result{m_Alive, told};
    std::thread([call, result] {
        int err = 0, rc = call(err);
        result->err.store(err);
        result->rc.store(rc, std::memory_order_release);
        gdk_threads_add_idle(
            [](gpointer data) -> gboolean {
                std::unique_ptr<Result> r(static_cast<Result*>(data));
                /* The console is deleted on this thread: alive now, it stays so meanwhile. */
                int rc = r->rc.load(std::memory_order_acquire);
                if (!r->alive.expired())
                    r->told(rc, r->err.load());
                return FALSE;
            },
            result);
    }).detach();
}

void CTeacherConsole::Lock(bool lock)
{
    std::list<std::string> targets = Targets();
    IPCAPI::IPCTeacherAPI* api = GetTeacherAPIObject();
    Aside([=](int& err) { return lock ? api->LockStudents(targets, err) : api->UnlockStudents(targets, err); },
          [this, lock](int rc, int) {
              if (rc != 0)
                  Tell(lock ? Tr("The lock could not be sent: the classroom broker cannot be reached.")
                            : Tr("The unlock could not be sent: the classroom broker cannot be reached."));
              else
                  Tell(lock ? Tr("Lock sent; students that are offline are locked when they come online.")
                            : Tr("Unlock sent; students that are offline are unlocked when they come online."));
          });
}

void CTeacherConsole::SendNotice(const std::string& text)
{
    std::list<std::string> targets = Targets();
    IPCAPI::IPCTeacherAPI* api = GetTeacherAPIObject();
    Aside([=](int& err) { return api->SendNotice(targets, text, err); },
          [this](int rc, int err) {
              if (rc != 0)
                  Tell(err == IPCAPI::IPC_ERR_TOO_LARGE || err == IPCAPI::IPC_ERR_INVALID_ARGUMENT
                           ? Tr("The notice was not sent: it is empty or too long.")
                           : Tr("The notice could not be sent: the classroom broker cannot be reached."));
              else
                  Tell(Tr("Notice sent."));
          });
}

void CTeacherConsole::DeployPolicy()
{
    std::string dir = LibKELData::CONFIG_FILE_DIR, tabs, schedule;
    LibKELData::CTabNavigationData tabRecord;
    LibKELData::CLockScheduleData scheduleRecord;
    if (tabRecord.LoadFromFile(dir + LibKELData::TAB_NAVIGATION) != 0 || tabRecord.Save2String(tabs) != 0 ||
        scheduleRecord.LoadFromFile(dir + LibKELData::LOCK_SCHEDULE) != 0 || scheduleRecord.Save2String(schedule) != 0) {
        Tell(Tr("The policy files cannot be read: nothing was sent to the class."));
        return;
    }
    IPCAPI::IPCTeacherAPI* api = GetTeacherAPIObject();
    std::string reason;
    int err = 0;
    /* The rows wait for answers before the calls go out: a student's answer can come back (and
     * take the GDK lock) before the calls below return. */
    MarkSent(true);
    /* Not while the broker is away: it goes when the console is connected again. */
    if (WithoutGdk([&] {
            return api->GetConnectionState(reason, err) != 0 || api->DeployTabNavPolicy(tabs, err) != 0 ||
                   api->DeploySchedulePolicy(schedule, err) != 0;
        })) {
        MarkSent(false);
        m_DeployWaiting = err != IPCAPI::IPC_ERR_PARSE && err != IPCAPI::IPC_ERR_TOO_LARGE;
        Tell(m_DeployWaiting ? Tr("The policy could not be sent now; it is sent when the classroom broker is back.")
                             : Tr("The policy was not sent: the class's notebooks could not read it."));
        return;
    }
    m_DeployWaiting = false;
    Tell(Tr("Policy sent to the class; each student's answer shows in its row."));
}

void CTeacherConsole::MarkSent(bool sent)
{
    GtkTreeIter iter;
    for (bool more = gtk_tree_model_get_iter_first(GTK_TREE_MODEL(m_Store), &iter); more;
         more = gtk_tree_model_iter_next(GTK_TREE_MODEL(m_Store), &iter)) {
        gchar* machine = NULL;
        int status = 0;
        gtk_tree_model_get(GTK_TREE_MODEL(m_Store), &iter, COL_MACHINE, &machine, COL_STATUS, &status, -1);
        Deploy& d = m_Deploy[machine ? machine : ""];
        /* Unsent, a row shows again what the class state knew of it. */
        d.sent = sent;
        d.online = status & IPCAPI::STUDENT_ONLINE;
        d.tabnav.clear();
        d.schedule.clear();
        ShowPolicy(machine ? machine : "");
        g_free(machine);
    }
}

gboolean CTeacherConsole::DeployAgain(gpointer self)
{
    CTeacherConsole* console = static_cast<CTeacherConsole*>(self);
    console->m_DeploySource = 0;
    if (console->m_DeployWaiting)
        console->DeployPolicy();
    return FALSE;
}

std::string CTeacherConsole::MachineOf(const std::string& student)
{
    if (m_Rows.count(student))
        return student;
    auto named = m_MachineOfName.find(student);
    return named == m_MachineOfName.end() ? student : named->second;
}

void CTeacherConsole::DeployAnswered(const std::string& student, bool tabnav, const std::string& result)
{
    if (!EnterGdkForCallBack())
        return;
    std::string machine = MachineOf(student);
    GtkTreeIter iter;
    /* Named as a roster newer than the rows: read the class now. */
    if (!FindRow(machine, &iter)) {
        ReloadClass();
        machine = MachineOf(student);
    }
    Deploy& d = m_Deploy[machine];
    d.sent = true;
    (tabnav ? d.tabnav : d.schedule) = result;
    ShowPolicy(machine);
    gdk_threads_leave();
}

void CTeacherConsole::DeployTabNavPolicyCallBack(std::string student, std::string result)
{
    DeployAnswered(student, true, result);
}

void CTeacherConsole::DeploySchedulePolicyCallBack(std::string student, std::string result)
{
    DeployAnswered(student, false, result);
}

void CTeacherConsole::NotifyStudentStatusChanged(std::string student, int status)
{
    if (!EnterGdkForCallBack())
        return;
    GtkTreeIter iter;
    if (FindRow(student, &iter))
        gtk_list_store_set(m_Store, &iter, COL_ONLINE, OnlineText(status).c_str(), COL_LOCK,
                           LockText(status).c_str(), COL_STATUS, status, -1);
    else
        ReloadClass();
    gdk_threads_leave();
}

void CTeacherConsole::NotifyStudentInfoChanged(std::string)
{
    if (!EnterGdkForCallBack())
        return;
    /* A new roster tells of each student changed: the class is read once they all came. */
    if (!m_ReloadSource)
        m_ReloadSource = gdk_threads_add_idle(ReloadLater, this);
    gdk_threads_leave();
}

void CTeacherConsole::ManualLockRemotStudentCallBack(std::string student, std::string result)
{
    if (result == "ok" || !EnterGdkForCallBack())
        return;
    Tell(student + ": " + Tr("the lock failed: ") + result);
    gdk_threads_leave();
}

void CTeacherConsole::ManualUnLockRemotStudentCallBack(std::string student, std::string result)
{
    if (result == "ok" || !EnterGdkForCallBack())
        return;
    Tell(student + ": " + Tr("the unlock failed: ") + result);
    gdk_threads_leave();
}

void CTeacherConsole::OnMessage(std::string message)
{
    if (!EnterGdkForCallBack())
        return;
    std::string reason;
    int state = ShowConnection(reason);
    /* The connection's changes are the line below, in the user's words; other news (a class
     * search given up) is told as the library says it. */
    bool stateNews = message == reason || message.compare(0, 33, "connected to the classroom broker") == 0;
    if (state == 0 && m_DeployWaiting && !m_DeploySource)
        m_DeploySource = gdk_threads_add_idle(DeployAgain, this);
    if (!stateNews)
        Tell(message);
    gdk_threads_leave();
}

void CTeacherConsole::NewStudentCallBack(std::string student)
{
    if (!EnterGdkForCallBack())
        return;
    GtkTreeIter iter;
    if (!FindRow(student, &iter))
        ReloadClass();
    LibKELData::CKELSystemSettingData settings;
    std::string file = LibKELData::CONFIG_FILE_DIR + LibKELData::KEL_SYSTEM_SETTING;
    if (settings.LoadFromFile(file) == 0 && settings.GetNewStudentConnectDialogEnable()) {
        std::string name = RowText(student, COL_NAME);
        m_NewStudents.push_back(name.empty() || name == student ? student : name + " (" + student + ")");
        ShowNewStudents();
    }
    gdk_threads_leave();
}

void CTeacherConsole::ShowNewStudents()
{
    if (!m_NewDialog) {
        m_NewDialog = gtk_dialog_new_with_buttons(Tr("New students"), GTK_WINDOW(m_Window),
                                                  GTK_DIALOG_DESTROY_WITH_PARENT, GTK_STOCK_CLOSE,
                                                  GTK_RESPONSE_CLOSE, NULL);
        g_object_add_weak_pointer(G_OBJECT(m_NewDialog), reinterpret_cast<gpointer*>(&m_NewDialog));
        m_NewLabel = gtk_label_new("");
        gtk_misc_set_padding(GTK_MISC(m_NewLabel), 12, 12);
        gtk_box_pack_start(GTK_BOX(GTK_DIALOG(m_NewDialog)->vbox), m_NewLabel, TRUE, TRUE, 0);
        g_signal_connect(m_NewDialog, "response", G_CALLBACK(OnNewClosed), this);
    }
    std::string text = Tr("These students connected:");
    for (const std::string& s : m_NewStudents)
        text += "\n" + s;
    gtk_label_set_text(GTK_LABEL(m_NewLabel), text.c_str());
    gtk_widget_show_all(m_NewDialog);
}

void CTeacherConsole::OnNewClosed(GtkDialog* dialog, gint, gpointer self)
{
    static_cast<CTeacherConsole*>(self)->m_NewStudents.clear();
    gtk_widget_destroy(GTK_WIDGET(dialog));
}
