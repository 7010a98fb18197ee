/* The product's log. Lines go to GLib's logging under the domain "KEL":
 * level 0 (trace) as debug messages, shown only when G_MESSAGES_DEBUG names KEL or all;
 * level 1 as info; level 2 and above as warnings. Tagged lines are traces. */
#ifndef KEL_LOG_H
#define KEL_LOG_H

#include <string>

#include "KELExport.h"

namespace LibKELData {

class KEL_EXPORT CKELLog {
public:
    static void WriteLine(const std::string& text, int level, const std::string& module, bool flag);
    /* Tagged trace line (tag 1 local search, 6 remote search); text is a printf format. */
    static void WriteLine(int tag, const char* text, ...);

    /* Receives every line exactly as written, from any thread (tag -1 for untagged lines).
     * One sink at a time; null removes it. */
    typedef void (*CaptureFunc)(int level, int tag, const std::string& text, void* data);
    static void SetCapture(CaptureFunc func, void* data);
};

} // namespace LibKELData

#endif
