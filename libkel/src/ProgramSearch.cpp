/* The walk of a folder for desktop entries, and the reading of each entry into a program to offer. */
#include "ProgramSearch.h"

#include "KELDataTools.h"
#include "KELLog.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

using LibKELData::CKELDataTools;
using LibKELData::CKELLog;

namespace IPCAPI {

namespace {

void SplitPathList(const char* value, std::vector<std::string>& out)
{
    if (!value)
        return;
    gchar** parts = g_strsplit(value, ":", -1);
    for (gchar** p = parts; *p; ++p) {
        std::string dir = *p;
        while (dir.size() > 1 && dir[dir.size() - 1] == '/')
            dir.erase(dir.size() - 1);
        /* Relative entries would depend on the service's working folder. */
        if (!dir.empty() && dir[0] == '/' && std::find(out.begin(), out.end(), dir) == out.end())
            out.push_back(dir);
    }
    g_strfreev(parts);
}

bool EndsWith(const char* name, const char* suffix)
{
    size_t n = strlen(name), s = strlen(suffix);
    return n > s && strcmp(name + n - s, suffix) == 0;
}

bool IsExecutableFile(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

/* Field codes stand for what a launcher passes (files, URLs, the icon...): the shell passes
 * nothing, so they go. */
bool IsFieldCode(char c)
{
    return strchr("fFuUdDnNickvm", c) != nullptr;
}

std::string DropFieldCodes(const std::string& word)
{
    std::string out;
    for (size_t i = 0; i < word.size(); ++i) {
        if (word[i] == '%' && i + 1 < word.size()) {
            if (word[i + 1] == '%')
                out += '%';
            ++i;
            continue;
        }
        out += word[i];
    }
    return out;
}

/* The optional keys are looked for first: a failed lookup costs GLib an error message. */
gchar* OptionalString(GKeyFile* keys, const char* key)
{
    if (!g_key_file_has_key(keys, G_KEY_FILE_DESKTOP_GROUP, key, nullptr))
        return nullptr;
    return g_key_file_get_string(keys, G_KEY_FILE_DESKTOP_GROUP, key, nullptr);
}

/* The value of key in the user's language where the entry has one, else the plain value.
 * g_key_file_get_locale_string does the same but loses an error of its own (about 100 bytes)
 * whenever a value holds an escape it does not know: one leak per such entry, in a service
 * that searches folders it does not control. */
gchar* LocaleString(GKeyFile* keys, const char* key)
{
    const gchar* const* languages = g_get_language_names();
    for (int i = 0; languages[i]; ++i) {
        gchar* localized = g_strdup_printf("%s[%s]", key, languages[i]);
        GError* error = nullptr;
        gchar* value = g_key_file_has_key(keys, G_KEY_FILE_DESKTOP_GROUP, localized, nullptr)
                           ? g_key_file_get_string(keys, G_KEY_FILE_DESKTOP_GROUP, localized, &error)
                           : nullptr;
        g_clear_error(&error);
        g_free(localized);
        if (value)
            return value;
    }
    GError* error = nullptr;
    gchar* value = g_key_file_get_string(keys, G_KEY_FILE_DESKTOP_GROUP, key, &error);
    g_clear_error(&error);
    return value;
}

/* Absent or malformed booleans count as false, as launchers read them. */
bool IsTrue(GKeyFile* keys, const char* key)
{
    return g_key_file_has_key(keys, G_KEY_FILE_DESKTOP_GROUP, key, nullptr) &&
           g_key_file_get_boolean(keys, G_KEY_FILE_DESKTOP_GROUP, key, nullptr);
}

std::string FoldedName(const std::string& name)
{
    gchar* folded = g_utf8_casefold(name.c_str(), -1);
    std::string out = folded ? folded : name;
    g_free(folded);
    return out;
}

/* Where an open folder really is; fallback (a path naming it) resolved when the process
 * file system is not there. Empty when neither works. */
std::string RealPathOf(int fd, const std::string& fallback)
{
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char* real = realpath(link, nullptr);
    if (!real)
        real = realpath(fallback.c_str(), nullptr);
    std::string out = real ? real : "";
    free(real);
    return out;
}

} // namespace

ProgramSearchEnvironment ProgramSearchEnvironment::FromProcess()
{
    ProgramSearchEnvironment env;
    const char* path = getenv("PATH");
    SplitPathList(path && *path ? path : "/usr/local/bin:/usr/bin:/bin", env.programDirs);

    const char* data = getenv("XDG_DATA_DIRS");
    std::vector<std::string> dataDirs;
    SplitPathList(data && *data ? data : "/usr/local/share:/usr/share", dataDirs);
    for (const std::string& dir : dataDirs) {
        env.iconBaseDirs.push_back(dir + "/icons");
        env.pixmapDirs.push_back(dir + "/pixmaps");
    }
    if (std::find(env.pixmapDirs.begin(), env.pixmapDirs.end(), "/usr/share/pixmaps") == env.pixmapDirs.end())
        env.pixmapDirs.push_back("/usr/share/pixmaps");

    /* An SVG icon is worth offering only where it can be shown. Asked once per process. */
    static std::once_flag once;
    static bool svg = false;
    std::call_once(once, [] {
        GSList* formats = gdk_pixbuf_get_formats();
        for (GSList* f = formats; f; f = f->next) {
            gchar* name = gdk_pixbuf_format_get_name(static_cast<GdkPixbufFormat*>(f->data));
            if (name && strcmp(name, "svg") == 0)
                svg = true;
            g_free(name);
        }
        g_slist_free(formats);
    });
    env.svgLoadable = svg;
    return env;
}

bool SplitExec(const std::string& exec, std::vector<std::string>& argv)
{
    argv.clear();
    gchar** words = nullptr;
    gint count = 0;
    if (!g_shell_parse_argv(exec.c_str(), &count, &words, nullptr))
        return false;
    for (gint i = 0; i < count; ++i) {
        const char* w = words[i];
        if (w[0] == '%' && w[1] && !w[2] && IsFieldCode(w[1]))
            continue;
        std::string word = DropFieldCodes(w);
        if (i == 0 || !word.empty())
            argv.push_back(word);
    }
    g_strfreev(words);
    return !argv.empty() && !argv[0].empty();
}

bool IsPlainWord(const std::string& word)
{
    if (word.empty())
        return false;
    /* Bytes of multibyte characters mean nothing to a shell. */
    for (char c : word)
        if (!g_ascii_isalnum(c) && !strchr("_-./:=,@+%", c) && !((unsigned char)c & 0x80))
            return false;
    return true;
}

std::string JoinCommand(const std::vector<std::string>& argv)
{
    std::string command;
    for (const std::string& word : argv) {
        if (!command.empty())
            command += ' ';
        if (!IsPlainWord(word)) {
            gchar* quoted = g_shell_quote(word.c_str());
            command += quoted;
            g_free(quoted);
        } else {
            command += word;
        }
    }
    return command;
}

CProgramSearch::CProgramSearch(const ProgramSearchEnvironment& env, const std::atomic<bool>* cancel)
    : m_Env(env)
    , m_pCancel(cancel)
    , m_Icons(env)
    , m_TooMany(false)
{
}

int CProgramSearch::Run(const std::string& folder, std::vector<FoundProgram>& found)
{
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        CKELLog::WriteLine("Program search: cannot open folder " + folder + ": " + strerror(errno), 2, "", false);
        return FOLDER_UNUSABLE;
    }
    m_TreeRoot = RealPathOf(fd, folder);
    if (!m_TreeRoot.empty() && m_TreeRoot[m_TreeRoot.size() - 1] != '/')
        m_TreeRoot += '/';
    m_TooMany = false;
    Walk(fd, folder, 0, found);
    if (Cancelled())
        return CANCELLED;

    std::vector<std::pair<std::string, size_t> > order;
    order.reserve(found.size());
    for (size_t i = 0; i < found.size(); ++i)
        order.push_back(std::make_pair(FoldedName(found[i].name), i));
    std::stable_sort(order.begin(), order.end(),
                     [](const std::pair<std::string, size_t>& a, const std::pair<std::string, size_t>& b) {
                         return a.first < b.first;
                     });
    std::vector<FoundProgram> sorted;
    sorted.reserve(found.size());
    for (const auto& o : order)
        sorted.push_back(std::move(found[o.second]));
    found.swap(sorted);
    return DONE;
}

/* Takes ownership of dirFd. */
void CProgramSearch::Walk(int dirFd, const std::string& path, int depth, std::vector<FoundProgram>& found)
{
    struct stat st;
    if (fstat(dirFd, &st) != 0 || !m_Visited.insert(std::make_pair(st.st_dev, st.st_ino)).second) {
        close(dirFd); /* seen before: a symbolic-link loop, or two links to one folder */
        return;
    }
    DIR* dir = fdopendir(dirFd);
    if (!dir) {
        close(dirFd);
        return;
    }
    while (!Cancelled()) {
        errno = 0;
        struct dirent* entry = readdir(dir);
        if (!entry)
            break;
        const char* name = entry->d_name;
        if (name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2])))
            continue;

        unsigned char type = entry->d_type;
        bool linked = type == DT_LNK;
        if (type == DT_LNK || type == DT_UNKNOWN) {
            struct stat target;
            if (type == DT_UNKNOWN && fstatat(dirfd(dir), name, &target, AT_SYMLINK_NOFOLLOW) == 0)
                linked = S_ISLNK(target.st_mode);
            if (fstatat(dirfd(dir), name, &target, 0) != 0)
                continue; /* a dangling link */
            type = S_ISDIR(target.st_mode) ? DT_DIR : S_ISREG(target.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        std::string childPath = path == "/" ? "/" + std::string(name) : path + "/" + name;
        if (type == DT_DIR) {
            if (depth + 1 > MAX_DEPTH) {
                CKELLog::WriteLine("Program search: folder too deep, skipped: " + childPath, 1, "", false);
                continue;
            }
            int child = openat(dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (child < 0) {
                CKELLog::WriteLine("Program search: cannot open folder " + childPath + ": " + strerror(errno) +
                                       ", skipped",
                                   1, "", false);
                continue;
            }
            if (linked && !InsideTree(child, childPath)) {
                CKELLog::WriteLine("Program search: link to a folder outside the searched one, skipped: " + childPath,
                                   1, "", false);
                close(child);
                continue;
            }
            Walk(child, childPath, depth + 1, found);
        } else if (type == DT_REG && EndsWith(name, ".desktop")) {
            ReadEntryFile(dirfd(dir), name, childPath, found);
        }
    }
    closedir(dir);
}

void CProgramSearch::ReadEntryFile(int dirFd, const char* name, const std::string& path,
                                   std::vector<FoundProgram>& found)
{
    /* O_NONBLOCK: something swapped in for the file since the look must not hang the walk. */
    int fd = openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return;
    struct stat st;
    std::string text;
    bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (regular && st.st_size <= MAX_ENTRY_SIZE) {
        text.resize((size_t)st.st_size);
        size_t done = 0;
        while (done < text.size()) {
            ssize_t n = read(fd, &text[done], text.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += (size_t)n;
        }
        text.resize(done);
    } else if (regular) {
        CKELLog::WriteLine("Program search: entry too large, skipped: " + path, 1, "", false);
    }
    close(fd);

    FoundProgram program;
    if (text.empty() || !ReadDesktopEntry(text, program))
        return;
    if (found.size() >= MAX_PROGRAMS) {
        if (!m_TooMany)
            CKELLog::WriteLine("Program search: more than " + std::to_string((int)MAX_PROGRAMS) +
                                   " programs found, the rest is left out",
                               1, "", false);
        m_TooMany = true;
        return;
    }
    found.push_back(std::move(program));
}

bool CProgramSearch::InsideTree(int dirFd, const std::string& path) const
{
    std::string real = RealPathOf(dirFd, path);
    return !m_TreeRoot.empty() && !real.empty() && (real + "/").compare(0, m_TreeRoot.size(), m_TreeRoot) == 0;
}

bool CProgramSearch::ReadDesktopEntry(const std::string& text, FoundProgram& program)
{
    /* GLib would read a line only up to a NUL byte and take the rest of the value for
     * nothing: the program named could be another than the entry's. A NUL byte has no place
     * in a text file, so the entry is taken for damaged. */
    if (text.find('\0') != std::string::npos)
        return false;
    const char* group = G_KEY_FILE_DESKTOP_GROUP;
    GKeyFile* keys = g_key_file_new();
    bool ok = g_key_file_load_from_data(keys, text.data(), text.size(), G_KEY_FILE_NONE, nullptr) &&
              g_key_file_has_group(keys, group);

    gchar* type = ok ? g_key_file_get_string(keys, group, G_KEY_FILE_DESKTOP_KEY_TYPE, nullptr) : nullptr;
    ok = ok && type && strcmp(type, G_KEY_FILE_DESKTOP_TYPE_APPLICATION) == 0;
    g_free(type);

    ok = ok && !IsTrue(keys, G_KEY_FILE_DESKTOP_KEY_HIDDEN) && !IsTrue(keys, G_KEY_FILE_DESKTOP_KEY_NO_DISPLAY) &&
         !IsTrue(keys, G_KEY_FILE_DESKTOP_KEY_TERMINAL);

    if (ok) {
        gchar* name = LocaleString(keys, G_KEY_FILE_DESKTOP_KEY_NAME);
        /* One line in a list: escaped line breaks and tabs become blanks. */
        for (gchar* c = name; c && *c; ++c)
            if (*c == '\n' || *c == '\r' || *c == '\t')
                *c = ' ';
        program.name = name ? g_strstrip(name) : "";
        g_free(name);
        CutAtCharacter(program.name, MAX_NAME_BYTES);
        /* One name the policy files cannot hold would fail the whole save of the results. */
        ok = !program.name.empty() && CKELDataTools::IsStorableText(program.name);
    }

    if (ok) {
        gchar* tryExec = OptionalString(keys, G_KEY_FILE_DESKTOP_KEY_TRY_EXEC);
        if (tryExec && *g_strstrip(tryExec))
            ok = !ResolveProgram(tryExec).empty();
        g_free(tryExec);
    }

    if (ok) {
        gchar* exec = g_key_file_get_string(keys, group, G_KEY_FILE_DESKTOP_KEY_EXEC, nullptr);
        std::vector<std::string> argv;
        ok = exec && SplitExec(exec, argv);
        g_free(exec);
        if (ok) {
            /* The command starts with the program's plain absolute path: a path that needs
             * quoting ("/usr/bin/[", a line break) is no program a student would start. */
            argv[0] = ResolveProgram(argv[0]);
            ok = IsPlainWord(argv[0]);
        }
        if (ok) {
            program.command = JoinCommand(argv);
            ok = program.command.size() <= MAX_COMMAND_BYTES && CKELDataTools::IsStorableText(program.command);
        }
    }

    if (ok) {
        gchar* icon = LocaleString(keys, G_KEY_FILE_DESKTOP_KEY_ICON);
        std::string value = icon ? g_strstrip(icon) : "";
        g_free(icon);
        program.icon.clear();
        if (!value.empty() && value[0] == '/') {
            if (value.size() <= MAX_PATH_BYTES && CheckIconFile(value) != ICON_NONE &&
                (m_Env.svgLoadable || IconFormatOfName(value) != ICON_SVG))
                program.icon = value;
        } else if (!value.empty()) {
            program.icon = m_Icons.Find(value);
        }
        if (program.icon.size() > MAX_PATH_BYTES || !CKELDataTools::IsStorableText(program.icon))
            program.icon.clear();
    }
    g_key_file_free(keys);
    return ok;
}

std::string CProgramSearch::ResolveProgram(const std::string& program)
{
    if (program.empty())
        return "";
    auto known = m_Programs.find(program);
    if (known != m_Programs.end())
        return known->second;
    std::string resolved;
    if (program[0] == '/') {
        if (IsExecutableFile(program))
            resolved = program;
    } else if (program.find('/') != std::string::npos) {
        /* relative to what? the shell has no working folder to offer */
    } else {
        for (const std::string& dir : m_Env.programDirs) {
            std::string candidate = dir + "/" + program;
            if (IsExecutableFile(candidate)) {
                resolved = candidate;
                break;
            }
        }
    }
    m_Programs[program] = resolved;
    return resolved;
}

} // namespace IPCAPI
