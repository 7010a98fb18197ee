/* The caller's user from the bus daemon, then polkit (as root) or the same-user rule. */
#include "CCallerCheck.h"

#include "IPCAPI.h"
#include "KELLog.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <polkit/polkit.h>

using LibKELData::CKELLog;

namespace KelService {

struct CCallerCheck::Request {
    CCallerCheck* self;
    std::string sender;
    std::string action;
    bool interactive;
    Done done;
    Before before;
    Caller caller;
};

CCallerCheck::CCallerCheck(GDBusConnection* bus, bool ownUserOnly)
    : m_pBus(G_DBUS_CONNECTION(g_object_ref(bus)))
    , m_OwnUserOnly(ownUserOnly)
    , m_pAuthority(nullptr)
    , m_AuthorityAsked(false)
    , m_pCancel(g_cancellable_new())
{
}

CCallerCheck::~CCallerCheck()
{
    /* The authority's answer may still come: it finds the request cancelled and this gone. */
    g_cancellable_cancel(m_pCancel);
    g_object_unref(m_pCancel);
    for (Request* req : m_Waiting)
        delete req;
    if (m_pAuthority)
        g_object_unref(m_pAuthority);
    g_object_unref(m_pBus);
}

void CCallerCheck::Prepare()
{
    if (geteuid() != 0 || m_OwnUserOnly || m_AuthorityAsked)
        return;
    m_AuthorityAsked = true;
    polkit_authority_get_async(m_pCancel, OnAuthority, this);
}

void CCallerCheck::OnAuthority(GObject*, GAsyncResult* result, gpointer data)
{
    GError* error = nullptr;
    PolkitAuthority* authority = polkit_authority_get_finish(result, &error);
    if (!authority && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
        g_error_free(error);
        return;
    }
    CCallerCheck* self = static_cast<CCallerCheck*>(data);
    if (!authority) {
        CKELLog::WriteLine(std::string("Policy service: polkit unavailable: ") + error->message, 2, "", false);
        g_error_free(error);
        self->m_AuthorityAsked = false; /* the next check asks again */
    } else {
        self->m_pAuthority = G_OBJECT(authority);
    }
    std::vector<Request*> waiting;
    waiting.swap(self->m_Waiting);
    for (Request* req : waiting)
        self->AskPolkit(req);
}

void CCallerCheck::Finish(Request* req, int rc)
{
    req->done(rc, req->caller);
    delete req;
}

void CCallerCheck::Check(GDBusMethodInvocation* inv, const std::string& action, Done done, Before before)
{
    GDBusMessageFlags flags = g_dbus_message_get_flags(g_dbus_method_invocation_get_message(inv));
    const std::string sender = g_dbus_method_invocation_get_sender(inv);
    Request* req = new Request{this, sender, action,
                               (flags & G_DBUS_MESSAGE_FLAGS_ALLOW_INTERACTIVE_AUTHORIZATION) != 0, done, before,
                               Caller()};
    g_dbus_connection_call(m_pBus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "GetConnectionUnixUser", g_variant_new("(s)", sender.c_str()), G_VARIANT_TYPE("(u)"),
                           G_DBUS_CALL_FLAGS_NONE, -1, nullptr, OnUser, req);
}

void CCallerCheck::FillGroups(Caller& caller)
{
    struct passwd pw, *found = nullptr;
    std::vector<char> buf(16384);
    if (getpwuid_r(caller.uid, &pw, buf.data(), buf.size(), &found) != 0 || !found)
        return;
    caller.gid = pw.pw_gid;
    int n = 64;
    std::vector<gid_t> groups(n);
    if (getgrouplist(pw.pw_name, pw.pw_gid, groups.data(), &n) < 0) {
        groups.resize(n);
        if (getgrouplist(pw.pw_name, pw.pw_gid, groups.data(), &n) < 0)
            return;
    }
    groups.resize(n);
    caller.groups = groups;
    caller.known = true;
}

void CCallerCheck::OnUser(GObject* source, GAsyncResult* result, gpointer data)
{
    Request* req = static_cast<Request*>(data);
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    if (!reply) {
        /* The caller left before we knew who it was. */
        CKELLog::WriteLine(std::string("Policy service: caller unknown: ") + error->message, 2, "", false);
        g_error_free(error);
        Finish(req, IPCAPI::IPC_ERR_NOT_ALLOWED);
        return;
    }
    guint32 uid = 0;
    g_variant_get(reply, "(u)", &uid);
    g_variant_unref(reply);
    req->caller.uid = uid;
    FillGroups(req->caller);
    int early = req->before ? req->before(req->caller) : IPCAPI::IPC_OK;
    if (early != IPCAPI::IPC_OK) {
        Finish(req, early);
        return;
    }

    CCallerCheck* self = req->self;
    if (geteuid() != 0 || self->m_OwnUserOnly || req->action.empty()) {
        /* No one gains a right they did not have: an ordinary user's service serves that user
         * only. Calls without an action (a cancel) are the caller's business as root. */
        bool allowed = uid == geteuid() || (geteuid() == 0 && !self->m_OwnUserOnly && req->action.empty());
        if (!allowed)
            CKELLog::WriteLine("Policy service: refused a caller of user " + std::to_string(uid), 2, "", false);
        Finish(req, allowed ? IPCAPI::IPC_OK : IPCAPI::IPC_ERR_NOT_ALLOWED);
        return;
    }
    if (!self->m_pAuthority) {
        self->m_Waiting.push_back(req);
        self->Prepare();
        return;
    }
    self->AskPolkit(req);
}

void CCallerCheck::AskPolkit(Request* req)
{
    if (!m_pAuthority) {
        Finish(req, IPCAPI::IPC_ERR_NOT_ALLOWED);
        return;
    }
    /* polkit may ask the user to authenticate only when the caller said it can wait for that. */
    PolkitSubject* subject = polkit_system_bus_name_new(req->sender.c_str());
    polkit_authority_check_authorization(POLKIT_AUTHORITY(m_pAuthority), subject, req->action.c_str(), nullptr,
                                         req->interactive ? POLKIT_CHECK_AUTHORIZATION_FLAGS_ALLOW_USER_INTERACTION
                                                          : POLKIT_CHECK_AUTHORIZATION_FLAGS_NONE,
                                         nullptr, OnPolkit, req);
    g_object_unref(subject);
}

void CCallerCheck::OnPolkit(GObject* source, GAsyncResult* result, gpointer data)
{
    Request* req = static_cast<Request*>(data);
    GError* error = nullptr;
    PolkitAuthorizationResult* answer =
        polkit_authority_check_authorization_finish(POLKIT_AUTHORITY(source), result, &error);
    bool allowed = false, challenge = false;
    if (!answer) {
        CKELLog::WriteLine(std::string("Policy service: polkit check failed: ") + error->message, 2, "", false);
        g_error_free(error);
    } else {
        allowed = polkit_authorization_result_get_is_authorized(answer);
        challenge = !allowed && polkit_authorization_result_get_is_challenge(answer);
        g_object_unref(answer);
    }
    CKELLog::WriteLine("Policy service: polkit " +
                           std::string(allowed ? "allowed " : challenge ? "needs authentication for " : "refused ") +
                           req->action + " to user " + std::to_string(req->caller.uid),
                       allowed ? 1 : 2, "", false);
    Finish(req, allowed ? IPCAPI::IPC_OK : challenge ? IPCAPI::IPC_ERR_AUTH_NEEDED : IPCAPI::IPC_ERR_NOT_ALLOWED);
}

} // namespace KelService
