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
    /* allowed false: refuse the call; caller holds what is known of the sender. */
    typedef std::function<void(bool allowed, const Caller& caller)> Done;

    /* ownUserOnly: even as root, serve only callers of the service's own user and ask nobody
     * (the demo as root, where no polkit authority is on the private bus). */
    CCallerCheck(GDBusConnection* bus, bool ownUserOnly);
    ~CCallerCheck();
    CCallerCheck(const CCallerCheck&) = delete;
    CCallerCheck& operator=(const CCallerCheck&) = delete;

    /* Asks about the sender of a call; done runs later on the main loop. An empty action
     * means no polkit action: the caller's user is enough (checked by done). */
    void Check(const std::string& sender, const std::string& action, Done done);

private:
    struct Request;
    static void OnUser(GObject* source, GAsyncResult* result, gpointer data);
    static void OnPolkit(GObject* source, GAsyncResult* result, gpointer data);
    static void FillGroups(Caller& caller);

    GDBusConnection* m_pBus;
    const bool m_OwnUserOnly;
    GObject* m_pAuthority; /* PolkitAuthority, made on the first root check */
};

} // namespace KelService

#endif
