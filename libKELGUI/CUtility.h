/* Theme and font switching through the per-user gtkrc file, and text-domain set-up for hosts. */
#ifndef CUTILITY_H
#define CUTILITY_H

#include <string>

#include "KELGuiCommon.h"

namespace LibKELGUI {

class KELGUI_EXPORT CUtility {
public:
    CUtility() {}
    virtual ~CUtility() {}

    /* Writes the per-user gtkrc file from the members below. Always 0; a failure is logged. */
    static int WriteRCFile();
    /* Writes the per-user file from the current theme settings when it is missing, then has
     * GTK parse it. Always 0. */
    static int ParseRCFile();
    /* An empty theme or font keeps the current one; rewrites the file and asks every GTK
     * program on the display to re-read its rc files. Always 0. */
    static int SwitchTheme(std::string theme, std::string font);
    /* Binds domain to the locale directory (UTF-8) and makes it the process's default. */
    static int LoadLocalResource(std::string domain);

    /* Initialised when the library loads, in this order. */
    static std::string m_Font;
    static std::string m_ThemePath;
    static std::string m_Homedir;
    static std::string m_RCFilePath;
};

} // namespace LibKELGUI

#endif
