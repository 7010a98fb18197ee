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
#include <pwd.h>
#include <unistd.h>

#include <vector>

#include "KELConstants.h"
#include "KELDataTools.h"

using namespace LibKELData;

namespace LibKELGUI {

namespace {

/* Root, or a set-id program: its environment is the caller's to set. */
bool Privileged()
{
    return geteuid() == 0 || geteuid() != getuid();
}

std::string HomeDirectory()
{
    const char* home = getenv("HOME");
    if (Privileged() && geteuid() == getuid() && home && home[0] == '/') {
        /* Root's own scratch home (a test, a demo) is kept: a folder of root's that nobody
         * else can write cannot have been planted. */
        struct stat st;
        if (lstat(home, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == 0 && !(st.st_mode & (S_IWGRP | S_IWOTH)))
            return home;
    }
    if (Privileged()) {
        /* HOME would lead root with a student's environment (sudo -E), or a set-id host, to
         * write where the student points: the home folder comes from the password database,
         * for the real user, and must be that user's. None otherwise. */
        std::vector<char> buffer(16384);
        struct passwd entry;
        struct passwd* user = NULL;
        if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &user) != 0 || !user || !user->pw_dir ||
            user->pw_dir[0] != '/')
            return "";
        struct stat st;
        if (stat(user->pw_dir, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid())
            return "";
        return user->pw_dir;
    }
    if (home && *home)
        return home;
    /* No HOME (a service, a cron job): GLib's own lookup of the user's home. */
    const char* fallback = g_get_home_dir();
    return fallback ? fallback : "";
}

std::string RcFilePath(const std::string& home)
{
    return home.empty() ? "" : home + KEL_RC_HOMEDIR + KEL_RC_PARSE_FILE;
}

/* A line break in a path or font would end the quoted string and let the rest of the text
 * be read as rc statements of its own. */
bool HasControlCharacter(const std::string& text)
{
    for (char c : text)
        if ((unsigned char)c < 0x20 || c == 0x7f)
            return true;
    return false;
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

std::string Basename(const std::string& path)
{
    gchar* base = g_path_get_basename(path.c_str());
    std::string out = base;
    g_free(base);
    return out;
}

std::string Errno(const char* what)
{
    return std::string(what) + ": " + strerror(errno);
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

bool SameContent(int dirFd, const std::string& name, const struct stat& st, const std::string& text)
{
    if ((size_t)st.st_size != text.size())
        return false;
    int fd = openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    std::string content(text.size() + 1, '\0');
    ssize_t n = read(fd, &content[0], content.size());
    close(fd);
    return n == (ssize_t)text.size() && content.compare(0, text.size(), text) == 0;
}

/* The folder of the per-user file (~/.kel), opened without following a link in its place and
 * made when missing. A privileged process works only in folders of the real user, and hands
 * a folder it makes over to that user. -1 with why otherwise. */
int OpenRcFolder(const std::string& folder, std::string& failure)
{
    int parentFd = open(Dirname(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    if (parentFd < 0 || fstat(parentFd, &st) != 0) {
        failure = Errno(("cannot open " + Dirname(folder)).c_str());
        if (parentFd >= 0)
            close(parentFd);
        return -1;
    }
    if (Privileged() && st.st_uid != getuid()) {
        failure = Dirname(folder) + " does not belong to the user";
        close(parentFd);
        return -1;
    }
    const std::string leaf = Basename(folder);
    bool made = mkdirat(parentFd, leaf.c_str(), 0700) == 0;
    if (!made && errno != EEXIST) {
        failure = Errno(("cannot create " + folder).c_str());
        close(parentFd);
        return -1;
    }
    int fd = openat(parentFd, leaf.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    close(parentFd);
    if (fd < 0) {
        failure = errno == ELOOP ? folder + " is a link" : Errno(("cannot open " + folder).c_str());
        return -1;
    }
    if (Privileged() && fstat(fd, &st) == 0 && st.st_uid != getuid() &&
        !(made && st.st_uid == geteuid() && fchown(fd, getuid(), getgid()) == 0)) {
        failure = folder + " does not belong to the user";
        close(fd);
        return -1;
    }
    return fd;
}

/* A new file of a random name in the folder, never through a link. */
int CreateTemporary(int dirFd, const std::string& base, std::string& name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        snprintf(suffix, sizeof suffix, ".%08x", g_random_int());
        name = "." + base + suffix;
        int fd = openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

/* Whole or not at all: a temporary file in the same folder, synced, renamed over the name.
 * The name is replaced, never what a link there points to. Returns an empty string on
 * success, else why it failed. */
std::string ReplaceFile(const std::string& path, const std::string& text)
{
    std::string failure;
    int dirFd = OpenRcFolder(Dirname(path), failure);
    if (dirFd < 0)
        return failure;
    const std::string name = Basename(path);
    struct stat old;
    bool hadOld = fstatat(dirFd, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (hadOld && S_ISLNK(old.st_mode))
        hadOld = false; /* the link itself is replaced */
    else if (hadOld && !S_ISREG(old.st_mode)) {
        close(dirFd);
        return "not a regular file";
    }

    std::string temp;
    int fd = CreateTemporary(dirFd, name, temp);
    if (fd < 0) {
        failure = Errno(("cannot create a file in " + Dirname(path)).c_str());
        close(dirFd);
        return failure;
    }
    if (!WriteAll(fd, text) || fsync(fd) != 0)
        failure = Errno("cannot write");
    if (failure.empty() && fchmod(fd, hadOld ? (old.st_mode & 0777) : 0644) != 0)
        failure = Errno("cannot set the mode");
    /* Root writing for a set-id host's user leaves the user's file the user's. */
    if (failure.empty() && geteuid() == 0 && getuid() != 0 && fchown(fd, getuid(), getgid()) != 0)
        failure = Errno("cannot hand the file to the user");
    if (failure.empty() && hadOld) {
        /* GTK re-reads rc files whose modification time (in whole seconds) differs from the
         * one it last read: an unchanged file keeps its time, so nobody restyles for
         * nothing; a changed file written within the same second gets a later one, or it
         * would be ignored. */
        struct timespec times[2];
        times[0].tv_sec = time(NULL);
        times[0].tv_nsec = 0;
        times[1] = times[0];
        if (SameContent(dirFd, name, old, text))
            times[1] = old.st_mtim;
        else if (old.st_mtime >= times[0].tv_sec)
            times[1].tv_sec = old.st_mtime + 1;
        futimens(fd, times);
    }
    if (close(fd) != 0 && failure.empty())
        failure = Errno("cannot write");
    if (failure.empty() && renameat(dirFd, temp.c_str(), dirFd, name.c_str()) != 0)
        failure = Errno("cannot replace the file");
    if (!failure.empty())
        unlinkat(dirFd, temp.c_str(), 0);
    else
        fsync(dirFd);
    close(dirFd);
    return failure;
}

/* Writes the file from the members; empty on success, else why it was not written. */
std::string WriteRc()
{
    if (CUtility::m_Homedir.empty() || CUtility::m_RCFilePath.empty())
        return "no usable home folder";
    if (HasControlCharacter(CUtility::m_ThemePath) || HasControlCharacter(CUtility::m_Font) ||
        HasControlCharacter(CUtility::m_Homedir) || HasControlCharacter(CUtility::m_RCFilePath))
        return "a line break or another control character in the theme path, the font or the home folder";
    return ReplaceFile(CUtility::m_RCFilePath, RcFileText());
}

bool Written(const std::string& failure)
{
    if (!failure.empty())
        FailureLine("CUtility::WriteRCFile " + CUtility::m_RCFilePath + ": " + failure);
    return failure.empty();
}

} // namespace

std::string CUtility::m_Font = "Sans 10";
std::string CUtility::m_ThemePath = KEL_RESOURCE_THEME_PATH + KEL_DEFAULT_THEME + KEL_GTKRC_FILE;
std::string CUtility::m_Homedir = HomeDirectory();
std::string CUtility::m_RCFilePath = RcFilePath(CUtility::m_Homedir);

int CUtility::WriteRCFile()
{
    Written(WriteRc());
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
    if (!m_RCFilePath.empty())
        gtk_rc_parse(m_RCFilePath.c_str());
    return 0;
}

int CUtility::SwitchTheme(std::string theme, std::string font)
{
    /* A theme is a folder of the theme directory: anything else would leave every later
     * start of every GTK program of the user without the product's look. */
    if (!theme.empty() && (theme == "." || theme == ".." || theme.find('/') != std::string::npos ||
                           HasControlCharacter(theme) ||
                           !g_file_test((KEL_RESOURCE_THEME_PATH + theme).c_str(), G_FILE_TEST_IS_DIR))) {
        FailureLine("CUtility::SwitchTheme: no theme \"" + theme + "\" in " + KEL_RESOURCE_THEME_PATH);
        return THEME_UNKNOWN;
    }
    if (HasControlCharacter(font)) {
        FailureLine("CUtility::SwitchTheme: a control character in the font");
        return REFUSED;
    }
    const std::string oldThemePath = m_ThemePath, oldFont = m_Font;
    if (!theme.empty())
        m_ThemePath = KEL_RESOURCE_THEME_PATH + theme + KEL_GTKRC_FILE;
    if (!font.empty())
        m_Font = font;
    if (!Written(WriteRc())) {
        m_ThemePath = oldThemePath;
        m_Font = oldFont;
        return REFUSED;
    }

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
