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

    /* Writes the per-user gtkrc file from the members below, replacing the file by name in
     * its folder (never what a link there points to; a link in the folder's place is
     * refused). Members holding a control character are refused: a line break would let
     * text of the user's choosing become rc statements. Always 0; a failure is logged. */
    static int WriteRCFile();
    /* Writes the per-user file from the current theme settings when it is missing, then has
     * GTK parse it. Always 0. */
    static int ParseRCFile();
    /* An empty theme or font keeps the current one; rewrites the file and asks every GTK
     * program on the display to re-read its rc files. 0, or, with nothing changed and nobody
     * told: THEME_UNKNOWN when the theme has no folder in the theme directory, REFUSED when
     * the font holds a control character or the file cannot be written (logged). */
    static int SwitchTheme(std::string theme, std::string font);
    enum { THEME_UNKNOWN = -1, REFUSED = -2 };
    /* Binds domain to the locale directory (UTF-8) and makes it the process's default. */
    static int LoadLocalResource(std::string domain);

    /* Initialised when the library loads, in this order. The home folder is HOME (GLib's
     * lookup when unset); for root or a set-id program, the real user's folder of the
     * password database, and empty (nothing written) when that folder is not the user's. */
    static std::string m_Font;
    static std::string m_ThemePath;
    static std::string m_Homedir;
    static std::string m_RCFilePath;
};

} // namespace LibKELGUI

#endif
