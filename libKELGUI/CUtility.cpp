/* The per-user gtkrc file that gives every GTK program of the user the product's theme and font. */
#include "CUtility.h"

#include <gtk/gtk.h>
#include <libintl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "KELConstants.h"
#include "KELDataTools.h"

using namespace LibKELData;

namespace LibKELGUI {

namespace {

std::string HomeDirectory()
{
    const char* home = getenv("HOME");
    if (home && *home)
        return home;
    /* No HOME (a service, a cron job): GLib's own lookup of the user's home. */
    const char* fallback = g_get_home_dir();
    return fallback ? fallback : "";
}

/* A value inside a double-quoted gtkrc string: a quote or backslash in a font or path would
 * otherwise end the string early and make GTK reject the rest of the file. */
std::string RcQuoted(const std::string& value)
{
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

std::string RcFileText()
{
    std::string text;
    if (!CUtility::m_ThemePath.empty())
        text += "# -- THEME AUTO-WRITTEN DO NOT EDIT\ninclude \"" + RcQuoted(CUtility::m_ThemePath) + "\"\n\n";
    if (!CUtility::m_Font.empty()) {
        text += "style \"user-font\"\n{\n  font_name=\"" + RcQuoted(CUtility::m_Font) +
                "\"\n}\nwidget_class \"*\" style \"user-font\"\n\n";
        text += "gtk-font-name=\"" + RcQuoted(CUtility::m_Font) + "\"\n";
    }
    text += "include \"" + RcQuoted(CUtility::m_Homedir) + "/.gtkrc.mine\"\n\n# -- THEME AUTO-WRITTEN DO NOT EDIT\n";
    return text;
}

std::string Dirname(const std::string& path)
{
    gchar* dir = g_path_get_dirname(path.c_str());
    std::string out = dir;
    g_free(dir);
    return out;
}

bool WriteAll(int fd, const std::string& text)
{
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= (size_t)n;
    }
    return true;
}

bool SameContent(const std::string& path, const struct stat& st, const std::string& text)
{
    if ((size_t)st.st_size != text.size())
        return false;
    gchar* content = NULL;
    gsize length = 0;
    bool same = g_file_get_contents(path.c_str(), &content, &length, NULL) && length == text.size() &&
                memcmp(content, text.data(), length) == 0;
    g_free(content);
    return same;
}

/* Whole or not at all: a temporary file in the same folder, synced, renamed over the target.
 * Returns an empty string on success, else why it failed. */
std::string ReplaceFile(const std::string& requested, const std::string& text)
{
    /* A per-user file that is a link is updated where it points, as writing through it would. */
    std::string path = requested;
    struct stat old;
    bool hadOld = lstat(path.c_str(), &old) == 0;
    if (hadOld && S_ISLNK(old.st_mode)) {
        char* real = realpath(path.c_str(), NULL);
        if (real) {
            path = real;
            free(real);
        }
        hadOld = stat(path.c_str(), &old) == 0;
    }
    if (hadOld && !S_ISREG(old.st_mode))
        return "not a regular file";

    std::string dir = Dirname(path);
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return std::string("cannot create ") + dir + ": " + strerror(errno);

    std::string temp = path + ".XXXXXX";
    int fd = g_mkstemp_full(&temp[0], O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        return std::string("cannot create a file in ") + dir + ": " + strerror(errno);

    std::string failure;
    if (!WriteAll(fd, text) || fsync(fd) != 0)
        failure = std::string("cannot write: ") + strerror(errno);
    if (failure.empty() && fchmod(fd, hadOld ? (old.st_mode & 07777) : 0644) != 0)
        failure = std::string("cannot set the mode: ") + strerror(errno);
    if (failure.empty() && hadOld) {
        /* GTK re-reads rc files whose modification time (in whole seconds) differs from the
         * one it last read: an unchanged file keeps its time, so nobody restyles for
         * nothing; a changed file written within the same second gets a later one, or it
         * would be ignored. */
        struct timespec times[2];
        times[0].tv_sec = time(NULL);
        times[0].tv_nsec = 0;
        times[1] = times[0];
        if (SameContent(path, old, text))
            times[1] = old.st_mtim;
        else if (old.st_mtime >= times[0].tv_sec)
            times[1].tv_sec = old.st_mtime + 1;
        futimens(fd, times);
    }
    if (close(fd) != 0 && failure.empty())
        failure = std::string("cannot write: ") + strerror(errno);
    if (failure.empty() && rename(temp.c_str(), path.c_str()) != 0)
        failure = std::string("cannot replace the file: ") + strerror(errno);
    if (!failure.empty()) {
        unlink(temp.c_str());
        return failure;
    }
    int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    return "";
}

} // namespace

std::string CUtility::m_Font = "Sans 10";
std::string CUtility::m_ThemePath = KEL_RESOURCE_THEME_PATH + KEL_DEFAULT_THEME + KEL_GTKRC_FILE;
std::string CUtility::m_Homedir = HomeDirectory();
std::string CUtility::m_RCFilePath = CUtility::m_Homedir + KEL_RC_HOMEDIR + KEL_RC_PARSE_FILE;

int CUtility::WriteRCFile()
{
    std::string failure = ReplaceFile(m_RCFilePath, RcFileText());
    if (!failure.empty())
        FailureLine("CUtility::WriteRCFile " + m_RCFilePath + ": " + failure);
    return 0;
}

int CUtility::ParseRCFile()
{
    std::string theme, font, unused;
    if (CKELDataTools::GetCurrentThemeName(theme, font, unused) != 0)
        return 0;
    if (CKELDataTools::FileExist(m_RCFilePath) != 1) {
        /* An unset theme name would name the theme folder itself. */
        if (theme.empty())
            theme = KEL_DEFAULT_THEME;
        m_ThemePath = KEL_RESOURCE_THEME_PATH + theme + KEL_GTKRC_FILE;
        m_Font = font;
        WriteRCFile();
    }
    gtk_rc_parse(m_RCFilePath.c_str());
    return 0;
}

int CUtility::SwitchTheme(std::string theme, std::string font)
{
    if (!theme.empty())
        m_ThemePath = KEL_RESOURCE_THEME_PATH + theme + KEL_GTKRC_FILE;
    if (!font.empty())
        m_Font = font;
    WriteRCFile();

    /* Without a display there is nobody to tell. */
    if (!gdk_display_get_default())
        return 0;
    GdkEvent event;
    memset(&event, 0, sizeof(event));
    event.client.type = GDK_CLIENT_EVENT;
    event.client.send_event = TRUE;
    event.client.window = NULL;
    event.client.message_type = gdk_atom_intern("_GTK_READ_RCFILES", FALSE);
    event.client.data_format = 8;
    gdk_event_send_clientmessage_toall(&event);
    return 0;
}

int CUtility::LoadLocalResource(std::string domain)
{
    bindtextdomain(domain.c_str(), LOCALEDIR.c_str());
    bind_textdomain_codeset(domain.c_str(), "UTF-8");
    textdomain(domain.c_str());
    return 0;
}

} // namespace LibKELGUI
