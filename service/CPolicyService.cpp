/* The service object: method handlers, authorisation, the policy writes and the signals. */
#include "CPolicyService.h"

#include "PolicyStore.h"
#include "ClassroomService.h"
#include "IPCAPI.h"
#include "KELPaths.h"
#include "PolicyBus.h"
#include "SearchWalk.h"
#include "KELData.h"
#include "KELLog.h"
#include "kel-policy-glue.h"

#include <glib-unix.h>
#include <signal.h>

#include <cstring>

using LibKELData::CKELLog;
using LibKELData::CLockScheduleData;

namespace KelService {

namespace {

const char* const ACTION_SAVE = "org.kelproject.policy.save";
const char* const ACTION_HARDWARE = "org.kelproject.policy.hardware";
const char* const ACTION_SEARCH = "org.kelproject.policy.search";

/* The lock agent: beside this program, in the build tree's session folder, or where it is installed. */
std::string SessionAgentPath(const std::string& selfExe)
{
    gchar* dir = g_path_get_dirname(selfExe.c_str());
    std::string found = KEL_SESSION_AGENT;
    for (const std::string& candidate : {std::string(dir) + "/kel-session", std::string(dir) + "/../session/kel-session"})
        if (g_file_test(candidate.c_str(), G_FILE_TEST_IS_EXECUTABLE)) {
            found = candidate;
            break;
        }
    g_free(dir);
    return found;
}

/* The tests' seam is honoured only where they ask for it and only on a bus that is not the
 * system's: a private bus named in the environment that root's service was started with. */
bool TestSeamAllowed()
{
    const char* address = g_getenv("DBUS_SYSTEM_BUS_ADDRESS");
    return g_getenv("KEL_TEST_SEAM") && address && !strstr(address, "/run/dbus/system_bus_socket");
}

/* The tests' clock, and the classroom side's calls into this service as its broker would make them. */
const char* const TEST_SEAM_XML =
    "<node><interface name='org.kelproject.Testing1'>"
    "<method name='SetTime'><arg name='seconds' type='x' direction='in'/></method>"
    "<method name='TeacherLock'><arg name='mode' type='i' direction='in'/></method>"
    "<method name='Notice'><arg name='text' type='s' direction='in'/></method>"
    "<method name='TeacherStatus'><arg name='online' type='b' direction='in'/>"
    "<arg name='teacher' type='s' direction='in'/></method>"
    "</interface></node>";

/* The invocation stays referenced while its caller is checked. */
GDBusMethodInvocation* Hold(GDBusMethodInvocation* inv)
{
    return G_DBUS_METHOD_INVOCATION(g_object_ref(inv));
}

} // namespace

CPolicyService::CPolicyService(const std::string& selfExe, bool ownUserOnly)
    : m_SelfExe(selfExe)
    , m_OwnUserOnly(ownUserOnly)
    , m_pLoop(g_main_loop_new(nullptr, FALSE))
    , m_pSkeleton(kel_policy1_skeleton_new())
    , m_OwnerId(0)
    , m_ExitStatus(0)
    , m_LockBits(0)
    , m_TestSeam(0)
{
    m_pLock.reset(new CLockState([this](const LockState& state) { LockChanged(state); }));
    m_pSearches.reset(new CSearchRunner(m_SelfExe, walk::TimeLimit(),
                                        [this](int op, const std::string& result) { SearchFinished(op, result); }));
    g_signal_connect(m_pSkeleton, "handle-search-local-program", G_CALLBACK(OnSearchLocalProgram), this);
    g_signal_connect(m_pSkeleton, "handle-cancel-operation", G_CALLBACK(OnCancelOperation), this);
    g_signal_connect(m_pSkeleton, "handle-save-schedule-policy", G_CALLBACK(OnSaveSchedulePolicy), this);
    g_signal_connect(m_pSkeleton, "handle-save-tab-nav-policy", G_CALLBACK(OnSaveTabNavPolicy), this);
    g_signal_connect(m_pSkeleton, "handle-hardware-control", G_CALLBACK(OnHardwareControl), this);
    g_signal_connect(m_pSkeleton, "handle-register-session-agent", G_CALLBACK(OnRegisterSessionAgent), this);
    /* The tests start at a time of their own, whatever the hour they run at. */
    if (TestSeamAllowed() && g_getenv("KEL_TEST_TIME"))
        m_pLock->SetClockOffset(g_ascii_strtoll(g_getenv("KEL_TEST_TIME"), nullptr, 10) - time(nullptr));
    m_pLock->LoadSchedule();
}

CPolicyService::~CPolicyService()
{
    m_pSearches.reset();
    m_pAgents.reset();
    m_pLock.reset();
    if (m_OwnerId)
        g_bus_unown_name(m_OwnerId);
    GDBusConnection* bus = g_dbus_interface_skeleton_get_connection(G_DBUS_INTERFACE_SKELETON(m_pSkeleton));
    if (bus && m_TestSeam)
        g_dbus_connection_unregister_object(bus, m_TestSeam);
    if (bus)
        g_dbus_interface_skeleton_unexport(G_DBUS_INTERFACE_SKELETON(m_pSkeleton));
    g_object_unref(m_pSkeleton);
    m_pCallers.reset();
    g_main_loop_unref(m_pLoop);
}

int CPolicyService::Run()
{
    g_unix_signal_add(SIGTERM, OnStopSignal, this);
    g_unix_signal_add(SIGINT, OnStopSignal, this);
    /* Another instance keeps the name: this one ends rather than queue behind it. */
    m_OwnerId = g_bus_own_name(G_BUS_TYPE_SYSTEM, IPCAPI::POLICY_BUS_NAME, G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE, OnBusAcquired,
                               OnNameAcquired, OnNameLost, this, nullptr);
    SetClassroomHooks();
    /* The classroom side, when this machine belongs to a class: deployed policy is saved here. */
    std::unique_ptr<CClassroomStudent> classroom = StartClassroom(SaveOnMainContext(
        g_main_loop_get_context(m_pLoop), [this](const std::string& kind, const std::string& xml) {
            Caller service;
            service.uid = getuid();
            service.gid = getgid();
            service.known = true;
            return SavePolicy(kind == IPCAPI::POLICY_SCHEDULE ? SCHEDULE : TAB_NAVIGATION, xml, service);
        }));
    g_main_loop_run(m_pLoop);
    if (classroom)
        classroom->Stop();
    SetNotebookHooks(NotebookHooks());
    return m_ExitStatus;
}

void CPolicyService::OnBusAcquired(GDBusConnection* bus, const gchar*, gpointer data)
{
    CPolicyService* self = static_cast<CPolicyService*>(data);
    self->m_pCallers.reset(new CCallerCheck(bus, self->m_OwnUserOnly));
    self->m_pCallers->Prepare();
    GError* error = nullptr;
    if (!g_dbus_interface_skeleton_export(G_DBUS_INTERFACE_SKELETON(self->m_pSkeleton), bus, IPCAPI::POLICY_OBJECT_PATH, &error)) {
        CKELLog::WriteLine(std::string("Policy service: cannot export the object: ") + error->message, 2, "", false);
        g_error_free(error);
        self->m_ExitStatus = 1;
        g_main_loop_quit(self->m_pLoop);
        return;
    }
    self->m_pAgents.reset(new CSessionAgents(bus, SessionAgentPath(self->m_SelfExe)));
    self->ExportTestSeam(bus);
}

void CPolicyService::OnNameAcquired(GDBusConnection*, const gchar* name, gpointer)
{
    CKELLog::WriteLine(std::string("Policy service: serving ") + name + " as user " + std::to_string(geteuid()) +
                           ", root " + (LibKELData::detail::KelRoot().empty() ? "/" : LibKELData::detail::KelRoot()),
                       1, "", false);
}

void CPolicyService::OnNameLost(GDBusConnection* bus, const gchar* name, gpointer data)
{
    CPolicyService* self = static_cast<CPolicyService*>(data);
    CKELLog::WriteLine(std::string("Policy service: ") + (bus ? "cannot own " : "no bus for ") + name, 2, "", false);
    self->m_ExitStatus = 1;
    g_main_loop_quit(self->m_pLoop);
}

gboolean CPolicyService::OnStopSignal(gpointer data)
{
    CPolicyService* self = static_cast<CPolicyService*>(data);
    self->m_pSearches->Stop();
    g_main_loop_quit(self->m_pLoop);
    return G_SOURCE_CONTINUE;
}

void CPolicyService::ReturnError(GDBusMethodInvocation* inv, int code, const std::string& reason)
{
    code = IPCAPI::PolicyErrorSent(code);
    std::string text = reason;
    if (text.empty())
        text = code == IPCAPI::IPC_ERR_NOT_ALLOWED      ? "not allowed"
            : code == IPCAPI::IPC_ERR_AUTH_NEEDED       ? "authentication needed"
            : code == IPCAPI::IPC_ERR_TOO_LARGE         ? "the text is too large"
            : code == IPCAPI::IPC_ERR_PARSE             ? "not a valid policy"
            : code == IPCAPI::IPC_ERR_BUSY              ? "a search of this user is running"
            : code == IPCAPI::IPC_ERR_NO_SUCH_OPERATION ? "no such search of this user"
            : code == IPCAPI::IPC_ERR_INVALID_ARGUMENT  ? "invalid argument"
                                                        : "the policy could not be saved";
    g_dbus_method_invocation_return_error_literal(inv, IPCAPI::PolicyErrorQuark(), code, text.c_str());
}

gboolean CPolicyService::OnSearchLocalProgram(KelPolicy1*, GDBusMethodInvocation* inv, const gchar* folder,
                                              gboolean clear, gpointer data)
{
    CPolicyService* self = static_cast<CPolicyService*>(data);
    /* No path is longer: refused before it is kept or anyone is asked. */
    if (strlen(folder) > CSearchRunner::MAX_FOLDER_BYTES) {
        ReturnError(inv, IPCAPI::IPC_ERR_INVALID_ARGUMENT);
        return TRUE;
    }
    std::string path = folder;
    Hold(inv);
    /* A caller waiting for its running search to end asks again and again: that costs no
     * authorisation. Other users' searches run side by side. */
    self->m_pCallers->Check(
        inv, ACTION_SEARCH,
        [self, inv, path, clear](int rc, const Caller& caller) {
            int op = 0;
            if (rc == IPCAPI::IPC_OK)
                rc = self->m_pSearches->Start(path, clear, caller, op);
            if (rc == IPCAPI::IPC_OK)
                g_dbus_method_invocation_return_value(inv, g_variant_new("(i)", op));
            else
                ReturnError(inv, rc);
            g_object_unref(inv);
        },
        [self](const Caller& caller) {
            return self->m_pSearches->IsBusy(caller.uid) ? IPCAPI::IPC_ERR_BUSY : IPCAPI::IPC_OK;
        });
    return TRUE;
}

gboolean CPolicyService::OnCancelOperation(KelPolicy1*, GDBusMethodInvocation* inv, gint op, gpointer data)
{
    CPolicyService* self = static_cast<CPolicyService*>(data);
    Hold(inv);
    self->m_pCallers->Check(inv, "", [self, inv, op](int rc, const Caller& caller) {
        if (rc == IPCAPI::IPC_OK)
            rc = self->m_pSearches->Cancel(op, caller.uid);
        if (rc == IPCAPI::IPC_OK)
            g_dbus_method_invocation_return_value(inv, nullptr);
        else
            ReturnError(inv, rc);
        g_object_unref(inv);
    });
    return TRUE;
}

gboolean CPolicyService::OnSaveSchedulePolicy(KelPolicy1*, GDBusMethodInvocation* inv, const gchar* xml, gpointer data)
{
    static_cast<CPolicyService*>(data)->HandleSave(inv, SCHEDULE, xml);
    return TRUE;
}

gboolean CPolicyService::OnSaveTabNavPolicy(KelPolicy1*, GDBusMethodInvocation* inv, const gchar* xml, gpointer data)
{
    static_cast<CPolicyService*>(data)->HandleSave(inv, TAB_NAVIGATION, xml);
    return TRUE;
}

gboolean CPolicyService::OnHardwareControl(KelPolicy1*, GDBusMethodInvocation* inv, const gchar* xml, gpointer data)
{
    static_cast<CPolicyService*>(data)->HandleSave(inv, SYSTEM_SETTING, xml);
    return TRUE;
}

void CPolicyService::HandleSave(GDBusMethodInvocation* inv, PolicyKind kind, const std::string& xml)
{
    /* Refused before anyone is asked: an oversized text costs no authentication dialog. */
    if (xml.size() > MAX_POLICY_TEXT) {
        CKELLog::WriteLine("Policy service: refused a policy text of " + std::to_string(xml.size()) + " bytes", 2, "",
                           false);
        ReturnError(inv, IPCAPI::IPC_ERR_TOO_LARGE);
        return;
    }
    Hold(inv);
    m_pCallers->Check(inv, kind == SYSTEM_SETTING ? ACTION_HARDWARE : ACTION_SAVE,
                      [this, inv, kind, xml](int rc, const Caller& caller) {
                          if (rc == IPCAPI::IPC_OK)
                              rc = SavePolicy(kind, xml, caller);
                          if (rc == IPCAPI::IPC_OK)
                              g_dbus_method_invocation_return_value(inv, nullptr);
                          else
                              ReturnError(inv, rc);
                          g_object_unref(inv);
                      });
}

int CPolicyService::SavePolicy(PolicyKind kind, const std::string& xml, const Caller& caller)
{
    /* Every write happens here, on the main loop: one writer, one save at a time. */
    CLockScheduleData schedule;
    std::string saved;
    int rc = StorePolicy(kind, xml, caller.uid, saved, &schedule);
    if (rc != IPCAPI::IPC_OK)
        return rc;
    if (kind == SCHEDULE)
        m_pLock->SetSchedule(schedule);
    if (!saved.empty())
        kel_policy1_emit_policy_changed(m_pSkeleton, PolicyName(kind), saved.c_str());
    return IPCAPI::IPC_OK;
}

gboolean CPolicyService::OnRegisterSessionAgent(KelPolicy1*, GDBusMethodInvocation* inv, const gchar* display,
                                                const gchar* xauthority, const gchar* language, gpointer data)
{
    CPolicyService* self = static_cast<CPolicyService*>(data);
    Hold(inv);
    std::string sender = g_dbus_method_invocation_get_sender(inv), d = display, x = xauthority, l = language;
    self->m_pCallers->Check(inv, "", [self, inv, sender, d, x, l](int rc, const Caller& caller) {
        std::string refused = rc == IPCAPI::IPC_OK ? self->m_pAgents->Register(sender, caller, d, x, l) : "not allowed";
        if (refused.empty()) {
            g_dbus_method_invocation_return_value(inv, nullptr);
        } else {
            CKELLog::WriteLine("Policy service: session agent refused: " + refused, 2, "", false);
            ReturnError(inv, refused == "not allowed" ? IPCAPI::IPC_ERR_NOT_ALLOWED : IPCAPI::IPC_ERR_INVALID_ARGUMENT,
                        refused);
        }
        g_object_unref(inv);
    });
    return TRUE;
}

void CPolicyService::LockChanged(const LockState& state)
{
    m_LockBits = state.Bits();
    kel_policy1_set_lock_status(m_pSkeleton, state.Bits());
    kel_policy1_set_locked_until(m_pSkeleton, state.until);
    kel_policy1_emit_lock_status_changed(m_pSkeleton, state.Bits(), state.until);
    // The teacher's console hears of a timetable's edge at once, not at the next presence.
    ClassroomLockStatusChanged();
}

void CPolicyService::OnMainLoop(const std::function<void()>& work)
{
    g_main_context_invoke_full(
        g_main_loop_get_context(m_pLoop), G_PRIORITY_DEFAULT,
        [](gpointer w) -> gboolean {
            (*static_cast<std::function<void()>*>(w))();
            return G_SOURCE_REMOVE;
        },
        new std::function<void()>(work), [](gpointer w) { delete static_cast<std::function<void()>*>(w); });
}

void CPolicyService::SetClassroomHooks()
{
    NotebookHooks hooks;
    hooks.teacherLock = [this](int mode) { OnMainLoop([this, mode] { m_pLock->TeacherLock(mode); }); };
    hooks.notice = [this](const std::string& text) {
        /* The bus carries UTF-8 only. */
        std::string valid = g_utf8_validate(text.data(), text.size(), nullptr) ? text : "";
        if (!valid.empty())
            OnMainLoop([this, valid] { kel_policy1_emit_notice(m_pSkeleton, valid.c_str()); });
    };
    hooks.teacherStatus = [this](bool online, const std::string& teacher) {
        std::string name = g_utf8_validate(teacher.data(), teacher.size(), nullptr) ? teacher : "";
        OnMainLoop([this, online, name] { kel_policy1_emit_teacher_status(m_pSkeleton, name.c_str(), online); });
    };
    hooks.lockStatus = [this] { return m_LockBits.load(); };
    m_Hooks = hooks;
    SetNotebookHooks(hooks);
}

void CPolicyService::ExportTestSeam(GDBusConnection* bus)
{
    if (!TestSeamAllowed())
        return;
    static const GDBusInterfaceVTable vtable = {
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method, GVariant* params,
           GDBusMethodInvocation* inv, gpointer data) {
            CPolicyService* self = static_cast<CPolicyService*>(data);
            GVariant* first = g_variant_get_child_value(params, 0);
            if (g_str_equal(method, "SetTime")) {
                self->m_pLock->SetClockOffset(g_variant_get_int64(first) - time(nullptr));
            } else if (g_str_equal(method, "TeacherLock")) {
                self->m_Hooks.teacherLock(g_variant_get_int32(first));
            } else if (g_str_equal(method, "Notice")) {
                self->m_Hooks.notice(g_variant_get_string(first, nullptr));
            } else {
                const gchar* teacher = nullptr;
                g_variant_get_child(params, 1, "&s", &teacher);
                self->m_Hooks.teacherStatus(g_variant_get_boolean(first), teacher);
            }
            g_variant_unref(first);
            g_dbus_method_invocation_return_value(inv, nullptr);
        },
        nullptr, nullptr, {nullptr}};
    GDBusNodeInfo* info = g_dbus_node_info_new_for_xml(TEST_SEAM_XML, nullptr);
    m_TestSeam = g_dbus_connection_register_object(bus, "/org/kelproject/Testing", info->interfaces[0], &vtable, this,
                                                   nullptr, nullptr);
    g_dbus_node_info_unref(info);
    CKELLog::WriteLine("Policy service: the tests' seam is on", 1, "", false);
}

void CPolicyService::SearchFinished(int op, const std::string& result)
{
    kel_policy1_emit_search_finished(m_pSkeleton, op, result.c_str());
}

} // namespace KelService
