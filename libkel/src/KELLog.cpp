/* The product's log, written through GLib's logging (domain "KEL"). */
#include "KELLog.h"

#include <glib.h>

#include <cstdarg>
#include <mutex>

namespace LibKELData {

namespace {
std::mutex g_CaptureMutex;
CKELLog::CaptureFunc g_Capture = nullptr;
void* g_CaptureData = nullptr;

void Emit(int level, int tag, const std::string& text)
{
    {
        std::lock_guard<std::mutex> lock(g_CaptureMutex);
        if (g_Capture)
            g_Capture(level, tag, text, g_CaptureData);
    }
    GLogLevelFlags flags = level <= 0 ? G_LOG_LEVEL_DEBUG : level == 1 ? G_LOG_LEVEL_INFO : G_LOG_LEVEL_WARNING;
    if (tag >= 0)
        g_log("KEL", flags, "[%d] %s", tag, text.c_str());
    else
        g_log("KEL", flags, "%s", text.c_str());
}
} // namespace

void CKELLog::WriteLine(const std::string& text, int level, const std::string& module, bool flag)
{
    (void)flag;
    if (module.empty())
        Emit(level, -1, text);
    else
        Emit(level, -1, module + ": " + text);
}

void CKELLog::WriteLine(int tag, const char* text, ...)
{
    if (!text)
        return;
    va_list args;
    va_start(args, text);
    gchar* line = g_strdup_vprintf(text, args);
    va_end(args);
    Emit(0, tag, line ? line : "");
    g_free(line);
}

void CKELLog::SetCapture(CaptureFunc func, void* data)
{
    std::lock_guard<std::mutex> lock(g_CaptureMutex);
    g_Capture = func;
    g_CaptureData = data;
}

} // namespace LibKELData
