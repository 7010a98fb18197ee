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
