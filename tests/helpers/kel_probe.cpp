/* Prints what the libraries make of this process's environment, for tests that run it set-id or without HOME. */
#include <sys/auxv.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "CUtility.h"
#include "KELConstants.h"
#include "KELDataTools.h"
#include "KELLog.h"

using namespace LibKELData;

/* LeakSanitizer cannot stop a set-id process to scan it (it may not be traced), and such a
 * process does not read ASAN_OPTIONS: the probe turns the leak check off itself. */
extern "C" const char* __lsan_default_options()
{
    return "detect_leaks=0";
}

static void PrintFailure(int level, int, const std::string& text, void*)
{
    if (level >= 2)
        printf("failure=%s\n", text.c_str());
}

int main(int argc, char** argv)
{
    if (argc > 1 && strcmp(argv[1], "rc") == 0) {
        /* The per-user gtkrc file, written where the home folder (HOME, or the user's entry
         * in the password database) says. */
        CKELLog::SetCapture(PrintFailure, nullptr);
        printf("home=%s\nrcfile=%s\n", LibKELGUI::CUtility::m_Homedir.c_str(),
               LibKELGUI::CUtility::m_RCFilePath.c_str());
        printf("result=%d\n", LibKELGUI::CUtility::WriteRCFile());
        return 0;
    }
    std::string theme, font, other;
    int themeRc = CKELDataTools::GetCurrentThemeName(theme, font, other);
    printf("secure=%lu\n", getauxval(AT_SECURE));
    printf("config=%s\n", CONFIG_FILE_DIR.c_str());
    printf("locale=%s\n", LOCALEDIR.c_str());
    printf("icon=%s\n", KEL_IMAGE_APP_DEFAULT_ICON.c_str());
    printf("theme=%d %s\n", themeRc, theme.c_str());
    return 0;
}
