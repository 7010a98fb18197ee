/* What passes between the policy service and kel-walk, the program that walks a folder for one
 * search with the caller's rights, and how the service starts it. */
#ifndef KEL_SEARCH_WALK_H
#define KEL_SEARCH_WALK_H

#include <gio/gio.h>
#include <sys/types.h>

#include <atomic>
#include <string>
#include <vector>

namespace IPCAPI {
struct FoundProgram;
struct SkippedEntries;
}

namespace KelService {
namespace walk {

/* The program's name, beside the service's own. */
const char* const PROGRAM = "kel-walk";
/* Given first when gdk-pixbuf cannot show SVG icons here: the walk does not load it to ask. */
const char* const NO_SVG = "--no-svg";
/* The system user the class searches walk as (made for it alone, never a login). */
const char* const CLASS_SEARCH_USER = "kel-search";

/* Exit statuses. Output: name, command and icon of each program found, each ended by a NUL;
 * then a record with an empty name whose second field counts the entries skipped, by reason
 * (SkipReason's order, blank-separated). */
enum { DONE = 0, FOLDER_UNUSABLE = 3 };

/* The user and groups a walk takes in its child before it starts; drop false keeps ours. */
struct Identity {
    bool drop = false;
    uid_t uid = static_cast<uid_t>(-1);
    gid_t gid = static_cast<gid_t>(-1);
    std::vector<gid_t> groups;
};
/* The identity of a user of the password database; false when there is no such user. */
bool IdentityOf(const char* user, Identity& id);

/* The only variables of the service's environment a walk gets (when set): the language and
 * KEL_ROOT. The walk finds the rest (the session's PATH, the user's home) by itself; nothing
 * of the service's own reaches a child that its caller can look into. */
gchar** Environment();

/* Starts kel-walk (walker) on folder with id's identity, a clean environment, "/" as its
 * folder and its output on a pipe (read by the caller); null with why in error. */
GSubprocess* Start(const std::string& walker, const std::string& folder, bool svg, const Identity& id,
                   GError** error);

/* How long a walk may take before it is ended: 300 s, or KEL_WALK_SECONDS of whoever started
 * the service. */
unsigned TimeLimit();
/* kel-walk beside this process's program. */
std::string BesideSelf();

/* Splits a walk's output into programs and what it skipped; false when it is cut short. */
bool Parse(const std::string& out, std::vector<IPCAPI::FoundProgram>& found, IPCAPI::SkippedEntries* skipped = nullptr);

/* A whole walk, waited for on this thread: ended when cancel is set or after seconds.
 * DONE with found filled, FOLDER_UNUSABLE, or -1 with why (logged by the caller). */
int RunAndWait(const std::string& walker, const std::string& folder, bool svg, const Identity& id,
               const std::atomic<bool>* cancel, unsigned seconds, std::vector<IPCAPI::FoundProgram>& found,
               std::string& why, IPCAPI::SkippedEntries* skipped = nullptr);

} // namespace walk
} // namespace KelService

#endif
