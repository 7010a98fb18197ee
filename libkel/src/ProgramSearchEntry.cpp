/* The reading of one desktop entry into a program to offer: which entries are offered, their
 * names, commands and icons, and why the others are skipped. */
#include "ProgramSearch.h"

#include "IPCAPI.h"
#include "KELUtf8.h"

#include <glib.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <mutex>

namespace IPCAPI {

namespace {

bool IsExecutableFile(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

/* Field codes stand for what a launcher passes: files and URLs the shell does not pass go, the
 * entry's own name, icon and location are filled in. */
bool IsFieldCode(char c)
{
    return strchr("fFuUdDnNickvm", c) != nullptr;
}

std::string ExpandFieldCodes(const std::string& word, const ExecFields* fields)
{
    std::string out;
    for (size_t i = 0; i < word.size(); ++i) {
        if (word[i] == '%' && i + 1 < word.size()) {
            char code = word[++i];
            if (code == '%')
                out += '%';
            else if (fields && code == 'c')
                out += fields->name;
            else if (fields && code == 'k')
                out += fields->location;
            continue; /* %i inside a word has no meaning: it stands for two words */
        }
        out += word[i];
    }
    return out;
}

/* Shell words that run no program of their own name. */
bool IsShellWord(const std::string& word)
{
    static const char* const words[] = {".", ":", "[", "!", "{", "alias", "break", "case", "cd", "command",
                                        "continue", "echo", "eval", "exec", "exit", "export", "false", "for",
                                        "if", "kill", "printf", "pwd", "read", "readonly", "return", "set",
                                        "shift", "source", "test", "trap", "true", "type", "ulimit", "umask",
                                        "unset", "until", "wait", "while"};
    for (const char* w : words)
        if (word == w)
            return true;
    return false;
}

/* The optional keys are looked for first: a failed lookup costs GLib an error message. */
gchar* OptionalString(GKeyFile* keys, const char* key)
{
    if (!g_key_file_has_key(keys, G_KEY_FILE_DESKTOP_GROUP, key, nullptr))
        return nullptr;
    return g_key_file_get_string(keys, G_KEY_FILE_DESKTOP_GROUP, key, nullptr);
}

/* The value of a key in the user's language where the entry has one, else the plain value;
 * localized holds the keys to try in turn, the plain one last (LocalizedKeys).
 * g_key_file_get_locale_string does the same but loses an error of its own (about 100 bytes)
 * whenever a value holds an escape it does not know: one leak per such entry, in a service
 * that searches folders it does not control. */
gchar* LocaleString(GKeyFile* keys, const std::vector<std::string>& localized)
{
    for (size_t i = 0; i + 1 < localized.size(); ++i) {
        const char* key = localized[i].c_str();
        GError* error = nullptr;
        gchar* value = g_key_file_has_key(keys, G_KEY_FILE_DESKTOP_GROUP, key, nullptr)
                           ? g_key_file_get_string(keys, G_KEY_FILE_DESKTOP_GROUP, key, &error)
                           : nullptr;
        g_clear_error(&error);
        if (value)
            return value;
    }
    GError* error = nullptr;
    gchar* value = g_key_file_get_string(keys, G_KEY_FILE_DESKTOP_GROUP, localized.back().c_str(), &error);
    g_clear_error(&error);
    return value;
}

/* "key[language]" for each of the user's languages, then key itself. */
std::vector<std::string> LocalizedKeys(const char* key)
{
    std::vector<std::string> keys;
    const gchar* const* languages = g_get_language_names();
    for (int i = 0; languages[i]; ++i)
        keys.push_back(std::string(key) + "[" + languages[i] + "]");
    keys.push_back(key);
    return keys;
}

/* Absent or malformed booleans count as false, as launchers read them. */
bool IsTrue(GKeyFile* keys, const char* key)
{
    return g_key_file_has_key(keys, G_KEY_FILE_DESKTOP_GROUP, key, nullptr) &&
           g_key_file_get_boolean(keys, G_KEY_FILE_DESKTOP_GROUP, key, nullptr);
}

/* Whether the list key names the classroom shell's desktop; absent when the key is. */
int NamesThisDesktop(GKeyFile* keys, const char* key)
{
    if (!g_key_file_has_key(keys, G_KEY_FILE_DESKTOP_GROUP, key, nullptr))
        return -1;
    gchar** desktops = g_key_file_get_string_list(keys, G_KEY_FILE_DESKTOP_GROUP, key, nullptr, nullptr);
    int named = 0;
    for (gchar** d = desktops; d && *d && !named; ++d)
        named = strcmp(*d, DESKTOP_NAME) == 0;
    g_strfreev(desktops);
    return named;
}

/* Whether the entry is an application meant for this desktop's menus; reason: why not. */
bool MeantForThisDesktop(GKeyFile* keys, SkipReason& reason)
{
    gchar* type = g_key_file_get_string(keys, G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_TYPE, nullptr);
    const bool application = type && strcmp(type, G_KEY_FILE_DESKTOP_TYPE_APPLICATION) == 0;
    g_free(type);
    if (!application)
        reason = SKIP_NOT_APPLICATION;
    else if (IsTrue(keys, G_KEY_FILE_DESKTOP_KEY_HIDDEN) || IsTrue(keys, G_KEY_FILE_DESKTOP_KEY_NO_DISPLAY))
        reason = SKIP_HIDDEN;
    else if (IsTrue(keys, G_KEY_FILE_DESKTOP_KEY_TERMINAL))
        reason = SKIP_TERMINAL;
    /* Another desktop's own settings panels and log-out items are no programs for this one. */
    else if (NamesThisDesktop(keys, G_KEY_FILE_DESKTOP_KEY_ONLY_SHOW_IN) == 0 ||
             NamesThisDesktop(keys, G_KEY_FILE_DESKTOP_KEY_NOT_SHOW_IN) == 1)
        reason = SKIP_OTHER_DESKTOP;
    else
        return true;
    return false;
}

} // namespace

/* Here rather than beside the result file's other limits: the walk's own program links none of those. */
void CutAtCharacter(std::string& text, size_t max)
{
    if (text.size() <= max)
        return;
    size_t end = max;
    while (end > 0 && ((unsigned char)text[end] & 0xc0) == 0x80)
        --end;
    text.resize(end);
}

const char* SkipReasonCode(int reason)
{
    static const char* const codes[SKIP_REASONS] = {SEARCH_SKIP_NOT_INSTALLED,    SEARCH_SKIP_OTHER_DESKTOP,
                                                    SEARCH_SKIP_HIDDEN,           SEARCH_SKIP_TERMINAL,
                                                    SEARCH_SKIP_NOT_APPLICATION, SEARCH_SKIP_UNREADABLE};
    return reason >= 0 && reason < SKIP_REASONS ? codes[reason] : "";
}

size_t SkippedEntries::Total() const
{
    size_t total = 0;
    for (size_t n : count)
        total += n;
    return total;
}

int SkippedEntries::Main() const
{
    int main = SKIP_REASONS;
    for (int r = 0; r < SKIP_REASONS; ++r)
        if (count[r] > 0 && (main == SKIP_REASONS || count[r] > count[main]))
            main = r;
    return main;
}

std::string SkippedEntries::ResultSuffix() const
{
    const int main = Main();
    if (main == SKIP_REASONS)
        return "";
    return ", skipped " + std::to_string(Total()) + " " + SkipReasonCode(main) + " " + std::to_string(count[main]);
}

bool SplitExec(const std::string& exec, std::vector<std::string>& argv, const ExecFields* fields)
{
    argv.clear();
    gchar** words = nullptr;
    gint count = 0;
    if (!g_shell_parse_argv(exec.c_str(), &count, &words, nullptr))
        return false;
    for (gint i = 0; i < count; ++i) {
        const char* w = words[i];
        if (strcmp(w, "%i") == 0 && fields && !fields->icon.empty()) {
            argv.push_back("--icon");
            argv.push_back(fields->icon);
            continue;
        }
        if (w[0] == '%' && w[1] && !w[2] && IsFieldCode(w[1]) && (!fields || (w[1] != 'c' && w[1] != 'k')))
            continue;
        std::string word = ExpandFieldCodes(w, fields);
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
    , m_Icons(m_Env)
    , m_NameKeys(LocalizedKeys(G_KEY_FILE_DESKTOP_KEY_NAME))
    , m_IconKeys(LocalizedKeys(G_KEY_FILE_DESKTOP_KEY_ICON))
{
}

bool CProgramSearch::ReadDesktopEntry(const std::string& text, FoundProgram& program, const std::string& location,
                                      SkipReason* why)
{
    SkipReason reason = SKIP_UNREADABLE;
    bool offered = ReadEntry(text, program, location, reason);
    if (why)
        *why = reason;
    return offered;
}

/* reason: why it offers nothing, set at each test it fails. */
bool CProgramSearch::ReadEntry(const std::string& text, FoundProgram& program, const std::string& location,
                               SkipReason& reason)
{
    /* GLib would read a line only up to a NUL byte and take the rest of the value for
     * nothing: the program named could be another than the entry's. A NUL byte has no place
     * in a text file, so the entry is taken for damaged. */
    if (text.find('\0') != std::string::npos)
        return false;
    GKeyFile* keys = g_key_file_new();
    bool ok = g_key_file_load_from_data(keys, text.data(), text.size(), G_KEY_FILE_NONE, nullptr) &&
              g_key_file_has_group(keys, G_KEY_FILE_DESKTOP_GROUP) && MeantForThisDesktop(keys, reason) &&
              ReadName(keys, program);
    std::string iconValue;
    if (ok) {
        gchar* icon = LocaleString(keys, m_IconKeys);
        iconValue = icon ? g_strstrip(icon) : "";
        g_free(icon);
        ok = ReadCommand(keys, iconValue, location, program, reason);
    }
    if (ok)
        program.icon = IconPath(iconValue);
    g_key_file_free(keys);
    return ok;
}

bool CProgramSearch::ReadName(GKeyFile* keys, FoundProgram& program) const
{
    gchar* name = LocaleString(keys, m_NameKeys);
    /* One line in a list: escaped line breaks and tabs become blanks. */
    for (gchar* c = name; c && *c; ++c)
        if (*c == '\n' || *c == '\r' || *c == '\t')
            *c = ' ';
    program.name = name ? g_strstrip(name) : "";
    g_free(name);
    CutAtCharacter(program.name, MAX_NAME_BYTES);
    /* One name the policy files cannot hold would fail the whole save of the results. */
    return !program.name.empty() && LibKELData::utf8::IsXmlStorable(program.name);
}

bool CProgramSearch::ReadCommand(GKeyFile* keys, const std::string& icon, const std::string& location,
                                 FoundProgram& program, SkipReason& reason)
{
    gchar* tryExec = OptionalString(keys, G_KEY_FILE_DESKTOP_KEY_TRY_EXEC);
    const bool tried = tryExec && *g_strstrip(tryExec) && ResolveProgram(tryExec).empty();
    g_free(tryExec);
    if (tried) {
        reason = SKIP_NOT_INSTALLED;
        return false;
    }
    gchar* exec = g_key_file_get_string(keys, G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_EXEC, nullptr);
    std::vector<std::string> argv;
    /* A location the policy files cannot hold is left out, as one unknown would be. */
    const ExecFields fields{program.name, icon, LibKELData::utf8::IsXmlStorable(location) ? location : std::string()};
    bool ok = exec && SplitExec(exec, argv, &fields);
    g_free(exec);
    if (!ok)
        return false;
    /* The command starts with the program's plain absolute path: a path that needs
     * quoting ("/usr/bin/[", a line break) is no program a student would start. */
    argv[0] = ResolveProgram(argv[0]);
    if (argv[0].empty() || !CommandInstalled(argv)) {
        reason = SKIP_NOT_INSTALLED;
        return false;
    }
    if (!IsPlainWord(argv[0]))
        return false;
    program.command = JoinCommand(argv);
    return program.command.size() <= MAX_COMMAND_BYTES && LibKELData::utf8::IsXmlStorable(program.command);
}

std::string CProgramSearch::IconPath(const std::string& value)
{
    std::string path;
    if (!value.empty() && value[0] == '/') {
        if (value.size() <= MAX_PATH_BYTES && m_Icons.Check(value) != ICON_NONE &&
            (m_Env.svgLoadable || IconFormatOfName(value) != ICON_SVG))
            path = value;
    } else if (!value.empty()) {
        path = m_Icons.Find(value);
    }
    if (path.size() > MAX_PATH_BYTES || !LibKELData::utf8::IsXmlStorable(path))
        path.clear();
    return path;
}

/* A command that only wraps another (env, a shell's -c) is of no use when the wrapped program is
 * missing. Checked where the wrapped program can be told; the command itself stays as written. */
bool CProgramSearch::CommandInstalled(const std::vector<std::string>& argv)
{
    const std::string& program = argv[0];
    const std::string base = program.substr(program.rfind('/') + 1);
    std::string wrapped;
    if (base == "env") {
        size_t i = 1;
        for (; i < argv.size() && (argv[i][0] == '-' || argv[i].find('=') != std::string::npos); ++i)
            if (argv[i] == "-u" || argv[i] == "-C" || argv[i] == "-S" || argv[i] == "--unset" || argv[i] == "--chdir" ||
                argv[i] == "--split-string")
                return true; /* options with arguments of their own: not told apart here */
        if (i < argv.size())
            wrapped = argv[i];
    } else if ((base == "sh" || base == "bash" || base == "dash") && argv.size() >= 3 && argv[1] == "-c") {
        gchar** words = nullptr;
        if (g_shell_parse_argv(argv[2].c_str(), nullptr, &words, nullptr)) {
            gchar** w = words;
            while (*w && (strcmp(*w, "exec") == 0 || (strchr(*w, '=') && (*w)[0] != '=')))
                ++w;
            if (*w && IsPlainWord(*w) && !IsShellWord(*w))
                wrapped = *w;
        }
        g_strfreev(words);
    }
    /* A path relative to the working folder cannot be checked. */
    if (wrapped.empty() || (wrapped[0] != '/' && wrapped.find('/') != std::string::npos))
        return true;
    return !ResolveProgram(wrapped).empty();
}

std::string CProgramSearch::ResolveProgram(const std::string& program)
{
    if (program.empty())
        return "";
    {
        std::lock_guard<std::mutex> lock(m_ProgramsMutex);
        auto known = m_Programs.find(program);
        if (known != m_Programs.end())
            return known->second;
    }
    /* Looked for without the lock: two readers may look for one program at once, alike. */
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
    std::lock_guard<std::mutex> lock(m_ProgramsMutex);
    m_Programs.emplace(program, resolved);
    return resolved;
}
} // namespace IPCAPI
