/* Translated lookups and trace lines shared by the library's windows. */
#include "KELGuiCommon.h"

#include <libintl.h>

#include "KELConstants.h"
#include "KELLog.h"

using LibKELData::CKELLog;

namespace LibKELGUI {

const char* Tr(const char* text)
{
    bindtextdomain(LibKELData::KEL_LIB_GUI.c_str(), LibKELData::LOCALEDIR.c_str());
    bind_textdomain_codeset(LibKELData::KEL_LIB_GUI.c_str(), "UTF-8");
    return dgettext(LibKELData::KEL_LIB_GUI.c_str(), text);
}

const char* TrCtx(const char* context, const char* text)
{
    /* gettext's key for a message with a context: the context, EOT, the text. */
    const std::string key = std::string(context) + '\004' + text;
    const char* found = Tr(key.c_str());
    return found == key.c_str() ? text : found;
}

void TraceStart(const char* className, const char* operation)
{
    CKELLog::WriteLine(std::string(className) + "::" + operation + " >>Start", 0, "", false);
}

void TraceEnd(const char* className, const char* operation)
{
    CKELLog::WriteLine(std::string(className) + "::" + operation + " <<End", 0, "", false);
}

void TraceLine(const std::string& text)
{
    CKELLog::WriteLine(text, 0, "", false);
}

void FailureLine(const std::string& text)
{
    CKELLog::WriteLine(text, 2, "", false);
}

} // namespace LibKELGUI
