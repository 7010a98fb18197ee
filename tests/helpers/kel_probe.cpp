/* Prints what the libraries make of this process's environment, for tests that run it set-id or without HOME. */
#include <sys/auxv.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "KELConstants.h"
#include "KELDataTools.h"

using namespace LibKELData;

/* LeakSanitizer cannot stop a set-id process to scan it (it may not be traced), and such a
 * process does not read ASAN_OPTIONS: the probe turns the leak check off itself. */
extern "C" const char* __lsan_default_options()
{
    return "detect_leaks=0";
}

int main(int argc, char** argv)
{
    (void)argc;
    (void)argv;
    std::string theme, font, other;
    int themeRc = CKELDataTools::GetCurrentThemeName(theme, font, other);
    printf("secure=%lu\n", getauxval(AT_SECURE));
    printf("config=%s\n", CONFIG_FILE_DIR.c_str());
    printf("locale=%s\n", LOCALEDIR.c_str());
    printf("icon=%s\n", KEL_IMAGE_APP_DEFAULT_ICON.c_str());
    printf("theme=%d %s\n", themeRc, theme.c_str());
    return 0;
}
