/* Who may use the policy service: polkit decides when the service runs as root; an ordinary
 * user's service serves only callers of its own user and asks nobody. */
#ifndef KEL_CALLER_CHECK_H
#define KEL_CALLER_CHECK_H

#include <gio/gio.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace KelService {

/* The user behind a bus connection, as the bus daemon vouches for it. */
struct Caller {
    uid_t uid = static_cast<uid_t>(-1);
    gid_t gid = static_cast<gid_t>(-1);
    std::vector<gid_t> groups;
    bool known = false; /* the user has an entry in the password database */
};

class CCallerCheck {
public:
    /* rc: IPC_OK, IPC_ERR_NOT_ALLOWED, IPC_ERR_AUTH_NEEDED (polkit would ask the user, who did
     * not allow interaction), or what before returned; caller holds what is known of the sender. */
    typedef std::function<void(int rc, const Caller& caller)> Done;
    /* Runs once the caller's user is known and before polkit is asked: an IPCAPI error code
     * refuses the call at once, IPC_OK goes on. */
    typedef std::function<int(const Caller& caller)> Before;

    /* ownUserOnly: even as root, serve only callers of the service's own user and ask nobody
     * (the demo as root, where no polkit authority is on the private bus). */
    CCallerCheck(GDBusConnection* bus, bool ownUserOnly);
    /* Asks for the polkit authority without waiting for it (as root): the first check then
     * finds it ready, or waits for it on the main loop. */
    void Prepare();
    ~CCallerCheck();
    CCallerCheck(const CCallerCheck&) = delete;
    CCallerCheck& operator=(const CCallerCheck&) = delete;

    /* Asks about the sender of a call; done runs later on the main loop. An empty action
     * means no polkit action: the caller's user is enough (checked by done). interactive: the
     * caller allows polkit to ask its user to authenticate (the message's flag). */
    void Check(GDBusMethodInvocation* inv, const std::string& action, Done done, Before before = nullptr);

private:
    struct Request;
    static void OnUser(GObject* source, GAsyncResult* result, gpointer data);
    static void OnPolkit(GObject* source, GAsyncResult* result, gpointer data);
    static void OnAuthority(GObject* source, GAsyncResult* result, gpointer data);
    void AskPolkit(Request* req);
    static void Finish(Request* req, int rc);
    static void FillGroups(Caller& caller);

    GDBusConnection* m_pBus;
    const bool m_OwnUserOnly;
    GObject* m_pAuthority; /* PolkitAuthority, once it came */
    bool m_AuthorityAsked;
    std::vector<Request*> m_Waiting; /* checks that came before the authority */
    GCancellable* m_pCancel;
};

} // namespace KelService

#endif
