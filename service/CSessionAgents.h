/* The lock agents of the graphical sessions: each announces itself on the bus; when one ends
 * while its session lasts (a student killed it), the service starts it again as its user, so
 * that a lock outlives the agent that showed it. */
#ifndef KEL_SESSION_AGENTS_H
#define KEL_SESSION_AGENTS_H

#include <gio/gio.h>

#include <map>
#include <string>
#include <utility>

#include "CCallerCheck.h"

namespace KelService {

class CSessionAgents {
public:
    /* agent: the agent program; bus: the service's connection (kept referenced). */
    CSessionAgents(GDBusConnection* bus, const std::string& agent);
    ~CSessionAgents();
    CSessionAgents(const CSessionAgents&) = delete;
    CSessionAgents& operator=(const CSessionAgents&) = delete;

    /* An empty reason when the agent at sender is now watched; else why it is refused. */
    std::string Register(const std::string& sender, const Caller& caller, const std::string& display,
                         const std::string& xauthority, const std::string& language);

    /* How many sessions are watched at most (a hostile user cannot grow the table). */
    enum { MAX_SESSIONS = 64, MAX_SESSIONS_OF_A_USER = 4 };
    /* The agent's exit status when its display is gone: its session ended, it is not started again. */
    enum { EXIT_NO_DISPLAY = 3 };

private:
    struct Session {
        CSessionAgents* self;
        Caller caller;
        std::string display, xauthority, language;
        guint watch = 0;
        gint64 lastStart = 0;
        guint pending = 0;
        GPid child = 0;
    };
    typedef std::pair<uid_t, std::string> Key;
    struct Child {
        CSessionAgents* self;
        Key key;
    };

    static void OnVanished(GDBusConnection* conn, const gchar* name, gpointer session);
    static gboolean StartLater(gpointer session);
    static void OnChildExit(GPid pid, gint status, gpointer data);
    void Restart(Session* s);
    void Start(Session* s);
    void Forget(Session* s);

    GDBusConnection* m_pBus;
    const std::string m_Agent;
    std::map<Key, Session*> m_Sessions;
};

} // namespace KelService

#endif
