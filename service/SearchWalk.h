/* What passes between the policy service and kel-walk, the program that walks a folder for one
 * search with the caller's rights. */
#ifndef KEL_SEARCH_WALK_H
#define KEL_SEARCH_WALK_H

namespace KelService {
namespace walk {

/* The program's name, beside the service's own. */
const char* const PROGRAM = "kel-walk";
/* Given first when gdk-pixbuf cannot show SVG icons here: the walk does not load it to ask. */
const char* const NO_SVG = "--no-svg";

/* Exit statuses. Output: name, command and icon of each program found, each ended by a NUL. */
enum { DONE = 0, FOLDER_UNUSABLE = 3 };

} // namespace walk
} // namespace KelService

#endif
