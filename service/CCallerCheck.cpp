/* The caller's user from the bus daemon, then polkit (as root) or the same-user rule. */
#include "CCallerCheck.h"

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
    Done done;
    Caller caller;
};

CCallerCheck::CCallerCheck(GDBusConnection* bus, bool ownUserOnly)
    : m_pBus(G_DBUS_CONNECTION(g_object_ref(bus)))
    , m_OwnUserOnly(ownUserOnly)
    , m_pAuthority(nullptr)
{
}

CCallerCheck::~CCallerCheck()
{
    if (m_pAuthority)
        g_object_unref(m_pAuthority);
    g_object_unref(m_pBus);
}

void CCallerCheck::Check(const std::string& sender, const std::string& action, Done done)
{
    Request* req = new Request{this, sender, action, done, Caller()};
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
        req->done(false, req->caller);
        delete req;
        return;
    }
    guint32 uid = 0;
    g_variant_get(reply, "(u)", &uid);
    g_variant_unref(reply);
    req->caller.uid = uid;
    FillGroups(req->caller);

    CCallerCheck* self = req->self;
    if (geteuid() != 0 || self->m_OwnUserOnly || req->action.empty()) {
        /* No one gains a right they did not have: an ordinary user's service serves that user
         * only. Calls without an action (a cancel) are the caller's business as root. */
        bool allowed = uid == geteuid() || (geteuid() == 0 && !self->m_OwnUserOnly && req->action.empty());
        if (!allowed)
            CKELLog::WriteLine("Policy service: refused a caller of user " + std::to_string(uid), 2, "", false);
        req->done(allowed, req->caller);
        delete req;
        return;
    }

    if (!self->m_pAuthority) {
        GError* perr = nullptr;
        PolkitAuthority* authority = polkit_authority_get_sync(nullptr, &perr);
        if (!authority) {
            CKELLog::WriteLine(std::string("Policy service: polkit unavailable: ") + perr->message, 2, "", false);
            g_error_free(perr);
            req->done(false, req->caller);
            delete req;
            return;
        }
        self->m_pAuthority = G_OBJECT(authority);
    }
    PolkitSubject* subject = polkit_system_bus_name_new(req->sender.c_str());
    polkit_authority_check_authorization(POLKIT_AUTHORITY(self->m_pAuthority), subject, req->action.c_str(), nullptr,
                                         POLKIT_CHECK_AUTHORIZATION_FLAGS_ALLOW_USER_INTERACTION, nullptr, OnPolkit,
                                         req);
    g_object_unref(subject);
}

void CCallerCheck::OnPolkit(GObject* source, GAsyncResult* result, gpointer data)
{
    Request* req = static_cast<Request*>(data);
    GError* error = nullptr;
    PolkitAuthorizationResult* answer =
        polkit_authority_check_authorization_finish(POLKIT_AUTHORITY(source), result, &error);
    bool allowed = false;
    if (!answer) {
        CKELLog::WriteLine(std::string("Policy service: polkit check failed: ") + error->message, 2, "", false);
        g_error_free(error);
    } else {
        allowed = polkit_authorization_result_get_is_authorized(answer);
        g_object_unref(answer);
    }
    CKELLog::WriteLine("Policy service: polkit " + std::string(allowed ? "allowed " : "refused ") + req->action +
                           " to user " + std::to_string(req->caller.uid), allowed ? 1 : 2, "", false);
    req->done(allowed, req->caller);
    delete req;
}

} // namespace KelService
