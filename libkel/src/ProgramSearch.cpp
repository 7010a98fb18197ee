/* The walk of a folder for desktop entries, and the reading of each entry into a program to offer. */
#include "ProgramSearch.h"

#include "IPCAPI.h"
#include "KELLog.h"
#include "KELPaths.h"
#include "KELUtf8.h"

#include <glib.h>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

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

/* The value of key in group of a settings file; empty when absent or not a plain theme name. */
std::string ThemeSetting(const std::string& file, const char* group, const char* key)
{
    GKeyFile* keys = g_key_file_new();
    gchar* value = g_key_file_load_from_file(keys, file.c_str(), G_KEY_FILE_NONE, nullptr)
                       ? g_key_file_get_string(keys, group, key, nullptr)
                       : nullptr;
    std::string theme = value ? g_strstrip(value) : "";
    g_free(value);
    g_key_file_free(keys);
    /* A name looked for below the icon folders, never a path. */
    if (theme.find('/') != std::string::npos || theme == "." || theme == "..")
        theme.clear();
    return theme;
}

/* The icon theme the calling user chose (GTK's setting, else KDE's), else the machine's. The
 * home is the user's own, not $HOME: the walk runs without the caller's environment. */
std::string ConfiguredIconTheme(const std::string& root)
{
    std::string theme;
    struct passwd pw, *found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &pw, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir[0] == '/') {
        const std::string config = root + found->pw_dir + "/.config/";
        theme = ThemeSetting(config + "gtk-3.0/settings.ini", "Settings", "gtk-icon-theme-name");
        if (theme.empty())
            theme = ThemeSetting(config + "kdeglobals", "Icons", "Theme");
    }
    if (theme.empty())
        theme = ThemeSetting(root + "/etc/gtk-3.0/settings.ini", "Settings", "gtk-icon-theme-name");
    return theme;
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

std::string FoldedName(const std::string& name)
{
    gchar* folded = g_utf8_casefold(name.c_str(), -1);
    std::string out = folded ? folded : name;
    g_free(folded);
    return out;
}

std::string ChildPath(const std::string& folder, const char* name)
{
    return folder == "/" ? "/" + std::string(name) : folder + "/" + name;
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

ProgramSearchEnvironment ProgramSearchEnvironment::FromVariables(bool svgLoadable)
{
    ProgramSearchEnvironment env;
    const std::string& root = LibKELData::detail::KelRoot();
    /* A Debian user session's PATH and data folders: the games among the programs. */
    SplitPathList((root + "/usr/local/bin:" + root + "/usr/bin:" + root + "/bin:" + root + "/usr/local/games:" +
                   root + "/usr/games").c_str(),
                  env.programDirs);
    SplitPathList((root + "/usr/local/share:" + root + "/usr/share").c_str(), env.dataDirs);
    for (const std::string& dir : env.dataDirs) {
        env.iconBaseDirs.push_back(dir + "/icons");
        env.pixmapDirs.push_back(dir + "/pixmaps");
    }
    const std::string theme = ConfiguredIconTheme(root);
    if (!theme.empty())
        env.iconThemes.push_back(theme);
    /* The themes GNOME's and KDE's programs are drawn for, where hicolor often lacks an icon. */
    for (const char* fallback : {"Adwaita", "breeze"})
        if (theme != fallback)
            env.iconThemes.push_back(fallback);
    env.svgLoadable = svgLoadable;
    return env;
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

/* An open folder of the walk. Its entries may still be read after the walk has left it: the
 * last one to let go closes it. */
struct CProgramSearch::Folder {
    DIR* dir;
    int fd;
    std::string path;
    /* Below an applications folder an entry has a desktop-file ID: this prefix and its file name.
     * rank: the data folder it lies in, after all of them when none. */
    bool hasId;
    std::string idPrefix;
    size_t rank;

    Folder(DIR* d, const std::string& p, const std::string& real, const std::vector<std::string>& appDirs)
        : dir(d)
        , fd(dirfd(d))
        , path(p)
        , hasId(false)
        , rank(appDirs.size())
    {
        const std::string inside = real == "/" ? real : real + "/";
        size_t at = inside.rfind("/applications/");
        if (at == std::string::npos)
            return;
        hasId = true;
        idPrefix = inside.substr(at + strlen("/applications/"));
        std::replace(idPrefix.begin(), idPrefix.end(), '/', '-');
        for (size_t i = 0; i < appDirs.size() && rank == appDirs.size(); ++i)
            if (!appDirs[i].empty() && inside.compare(0, appDirs[i].size(), appDirs[i]) == 0)
                rank = i;
    }
    ~Folder() { closedir(dir); }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
};

/* Desktop entries of one folder, numbered in the walk's order. */
struct CProgramSearch::Batch {
    std::shared_ptr<Folder> folder;
    std::vector<std::pair<size_t, std::string> > names;
};

/* The threads that read the entries while the walk goes on. The walking thread reads too when
 * the others fall behind and once its walk is over, so one core is enough, and the numbering
 * makes the result the same as one thread's. */
class CProgramSearch::CReaders {
public:
    struct Read {
        size_t order;
        std::string folded; /* the name, for the sort */
        FoundProgram program;
        bool offered; /* else only there to hide later entries of its ID */
        bool hasId;
        size_t rank;
        std::string id;
        int reason; /* why it offers nothing */
    };

    explicit CReaders(CProgramSearch& search)
        : m_Search(search)
        , m_Next(0)
        , m_Started(false)
        , m_Done(false)
        , m_Results(1)
        , m_Skips(1)
        , m_Found(0)
        , m_Cutoff(SIZE_MAX)
        , m_TooMany(false)
    {
    }
    ~CReaders() { Join(); }
    CReaders(const CReaders&) = delete;
    CReaders& operator=(const CReaders&) = delete;

    /* The walk's next desktop entry. */
    void Add(const std::shared_ptr<Folder>& folder, const char* name)
    {
        if (m_Pending.folder != folder) {
            Flush();
            m_Pending.folder = folder;
        }
        size_t order = m_Next++;
        /* MAX_PROGRAMS programs numbered lower than this one are kept already: it and all
         * after it are over the limit, and once one of them is a program, nothing after it
         * needs to be read at all. */
        if (m_Cutoff == SIZE_MAX && m_Found >= (size_t)MAX_PROGRAMS)
            m_Cutoff = order;
        if (order >= m_Cutoff && m_TooMany)
            return;
        m_Pending.names.emplace_back(order, name);
        if (m_Pending.names.size() >= BATCH_SIZE)
            Flush();
    }

    /* After the walk: what is left is read and the threads end. The programs come in the
     * walk's order, at most MAX_PROGRAMS of them, pointing into the readers' results (valid
     * while these readers are); tooMany tells whether there were more. */
    void Finish(std::vector<Read*>& reads, bool& tooMany, SkippedEntries& skipped)
    {
        Flush();
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Done = true;
        }
        m_Ready.notify_all();
        Batch batch;
        while (Take(batch, false))
            ReadBatch(batch, 0);
        Join();
        skipped = SkippedEntries();
        for (const SkippedEntries& s : m_Skips)
            for (int r = 0; r < SKIP_REASONS; ++r)
                skipped.count[r] += s.count[r];
        reads.clear();
        for (std::vector<Read>& r : m_Results)
            for (Read& read : r)
                reads.push_back(&read);
        /* Pointers, not the programs, are moved about. */
        std::sort(reads.begin(), reads.end(), [](const Read* a, const Read* b) { return a->order < b->order; });
        KeepOnePerId(reads, skipped);
        tooMany = m_TooMany || reads.size() > (size_t)MAX_PROGRAMS;
        if (reads.size() > (size_t)MAX_PROGRAMS)
            reads.resize(MAX_PROGRAMS);
    }

private:
    enum { BATCH_SIZE = 16, MAX_QUEUED = 8 };

    /* As a desktop lists them: one entry per desktop-file ID, that of the earliest data folder,
     * else the walk's first, even when it offers no program (a Hidden copy removes an entry). */
    static void KeepOnePerId(std::vector<Read*>& reads, SkippedEntries& skipped)
    {
        std::unordered_map<std::string, const Read*> chosen;
        for (const Read* r : reads) {
            if (!r->hasId)
                continue;
            auto it = chosen.emplace(r->id, r);
            if (!it.second && r->rank < it.first->second->rank)
                it.first->second = r;
        }
        /* An ID counts once, by the entry that stands for it. */
        for (const auto& c : chosen)
            if (!c.second->offered)
                ++skipped.count[c.second->reason];
        reads.erase(std::remove_if(reads.begin(), reads.end(),
                                   [&](const Read* r) { return !r->offered || (r->hasId && chosen[r->id] != r); }),
                    reads.end());
    }

    void Flush()
    {
        if (m_Pending.names.empty())
            return;
        Start();
        bool behind;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Queue.push_back(std::move(m_Pending));
            behind = m_Threads.empty() || m_Queue.size() > MAX_QUEUED;
        }
        m_Ready.notify_one();
        m_Pending = Batch();
        Batch batch;
        if (behind && Take(batch, false))
            ReadBatch(batch, 0);
    }

    /* The other readers, started with the first entries: a folder without any costs no thread. */
    void Start()
    {
        if (m_Started)
            return;
        m_Started = true;
        unsigned cores = std::thread::hardware_concurrency();
        unsigned others = std::min(cores > 1 ? cores - 1 : 0u, (unsigned)MAX_READERS - 1);
        m_Results.resize(1 + others);
        m_Skips.resize(1 + others);
        for (unsigned i = 0; i < others; ++i) {
            try {
                m_Threads.emplace_back([this, i] { Loop(1 + i); });
            } catch (const std::system_error&) {
                break; /* fewer threads read, the walking one among them */
            }
        }
    }

    /* The first queued batch; waits for one while the walk goes on when wait is set. */
    bool Take(Batch& batch, bool wait)
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        if (wait)
            m_Ready.wait(lock, [this] { return !m_Queue.empty() || m_Done; });
        if (m_Queue.empty())
            return false;
        batch = std::move(m_Queue.front());
        m_Queue.pop_front();
        return true;
    }

    void Loop(size_t reader)
    {
        Batch batch;
        while (Take(batch, true)) {
            ReadBatch(batch, reader);
            batch = Batch(); /* lets go of the folder */
        }
    }

    /* Into the reader's own results and counts: the readers share nothing while they read. */
    void ReadBatch(const Batch& batch, size_t reader)
    {
        std::vector<Read>& results = m_Results[reader];
        SkippedEntries& skipped = m_Skips[reader];
        std::string text;
        for (const auto& entry : batch.names) {
            if (m_Search.Cancelled())
                return;
            if (entry.first >= m_Cutoff && m_TooMany)
                continue;
            const Folder& folder = *batch.folder;
            m_Search.ReadEntryFile(folder.fd, entry.second.c_str(), folder.path, text);
            FoundProgram program;
            const std::string location = ChildPath(folder.path, entry.second.c_str());
            SkipReason why = SKIP_UNREADABLE;
            if (text.empty() || !m_Search.ReadDesktopEntry(text, program, location, &why)) {
                if (folder.hasId)
                    results.push_back(Read{entry.first, "", FoundProgram(), false, true, folder.rank,
                                           folder.idPrefix + entry.second, why});
                else
                    ++skipped.count[why];
                continue;
            }
            if (entry.first >= m_Cutoff) {
                m_TooMany = true;
                continue;
            }
            ++m_Found;
            results.push_back(Read{entry.first, FoldedName(program.name), std::move(program), true, folder.hasId,
                                   folder.rank, folder.hasId ? folder.idPrefix + entry.second : std::string(),
                                   SKIP_REASONS});
        }
    }

    void Join()
    {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Done = true;
        }
        m_Ready.notify_all();
        for (std::thread& t : m_Threads)
            t.join();
        m_Threads.clear();
    }

    CProgramSearch& m_Search;
    /* The walking thread's own. */
    Batch m_Pending;
    size_t m_Next;
    bool m_Started;

    std::mutex m_Mutex;
    std::condition_variable m_Ready;
    std::deque<Batch> m_Queue;
    bool m_Done;

    std::vector<std::thread> m_Threads;
    std::vector<std::vector<Read> > m_Results; /* one per reader, the walking thread's first */
    std::vector<SkippedEntries> m_Skips;       /* the same, entries without an ID */
    std::atomic<size_t> m_Found;
    std::atomic<size_t> m_Cutoff;
    std::atomic<bool> m_TooMany;
};

CProgramSearch::CProgramSearch(const ProgramSearchEnvironment& env, const std::atomic<bool>* cancel)
    : m_Env(env)
    , m_pCancel(cancel)
    , m_Icons(m_Env)
    , m_NameKeys(LocalizedKeys(G_KEY_FILE_DESKTOP_KEY_NAME))
    , m_IconKeys(LocalizedKeys(G_KEY_FILE_DESKTOP_KEY_ICON))
{
}

CProgramSearch::~CProgramSearch() = default;

int CProgramSearch::Run(const std::string& folder, std::vector<FoundProgram>& found)
{
    m_Skipped = SkippedEntries();
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        CKELLog::WriteLine("Program search: cannot open folder " + folder + ": " + strerror(errno), 2, "", false);
        return FOLDER_UNUSABLE;
    }
    m_TreeRoot = RealPathOf(fd, folder);
    const std::string real = m_TreeRoot.empty() ? folder : m_TreeRoot;
    if (!m_TreeRoot.empty() && m_TreeRoot[m_TreeRoot.size() - 1] != '/')
        m_TreeRoot += '/';
    m_AppDirs.clear();
    for (const std::string& dir : m_Env.dataDirs) {
        char* resolved = realpath((dir + "/applications").c_str(), nullptr);
        m_AppDirs.push_back(resolved ? std::string(resolved) + "/" : "");
        free(resolved);
    }

    CReaders readers(*this);
    Walk(fd, folder, real, 0, readers);
    std::vector<CReaders::Read*> reads;
    bool tooMany = false;
    readers.Finish(reads, tooMany, m_Skipped);
    if (Cancelled())
        return CANCELLED;
    if (tooMany)
        CKELLog::WriteLine("Program search: more than " + std::to_string((int)MAX_PROGRAMS) +
                               " programs found, the rest is left out",
                           1, "", false);

    /* Equal names stay in the walk's order. */
    std::sort(reads.begin(), reads.end(), [](const CReaders::Read* a, const CReaders::Read* b) {
        int c = a->folded.compare(b->folded);
        return c < 0 || (c == 0 && a->order < b->order);
    });
    found.reserve(found.size() + reads.size());
    for (CReaders::Read* read : reads)
        found.push_back(std::move(read->program));
    return DONE;
}

/* Takes ownership of dirFd. */
void CProgramSearch::Walk(int dirFd, const std::string& path, const std::string& real, int depth, CReaders& readers)
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
    std::shared_ptr<Folder> folder = std::make_shared<Folder>(dir, path, real, m_AppDirs);
    while (!Cancelled()) {
        errno = 0;
        struct dirent* entry = readdir(dir);
        if (!entry) {
            /* The rest of the folder is lost: said, not passed over in silence. */
            if (errno != 0)
                CKELLog::WriteLine("Program search: cannot read folder " + path + ": " + strerror(errno) +
                                       ", the rest of it skipped",
                                   1, "", false);
            break;
        }
        const char* name = entry->d_name;
        if (name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2])))
            continue;

        unsigned char type = entry->d_type;
        bool linked = type == DT_LNK;
        if (type == DT_LNK || type == DT_UNKNOWN) {
            struct stat target;
            if (type == DT_UNKNOWN && fstatat(folder->fd, name, &target, AT_SYMLINK_NOFOLLOW) == 0)
                linked = S_ISLNK(target.st_mode);
            if (fstatat(folder->fd, name, &target, 0) != 0)
                continue; /* a dangling link */
            type = S_ISDIR(target.st_mode) ? DT_DIR : S_ISREG(target.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == DT_DIR) {
            /* Programs started at login and the login sessions themselves: nothing to start from a menu. */
            if (strcmp(name, "autostart") == 0 || strcmp(name, "xsessions") == 0 ||
                strcmp(name, "wayland-sessions") == 0)
                continue;
            std::string childPath = ChildPath(path, name);
            if (depth + 1 > MAX_DEPTH) {
                CKELLog::WriteLine("Program search: folder too deep, skipped: " + childPath, 1, "", false);
                continue;
            }
            int child = openat(folder->fd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (child < 0) {
                CKELLog::WriteLine("Program search: cannot open folder " + childPath + ": " + strerror(errno) +
                                       ", skipped",
                                   1, "", false);
                continue;
            }
            std::string childReal = linked ? RealPathOf(child, childPath) : ChildPath(real, name);
            if (linked && !InsideTree(childReal)) {
                CKELLog::WriteLine("Program search: link to a folder outside the searched one, skipped: " + childPath,
                                   1, "", false);
                close(child);
                continue;
            }
            Walk(child, childPath, childReal, depth + 1, readers);
        } else if (type == DT_REG && EndsWith(name, ".desktop")) {
            readers.Add(folder, name);
        }
    }
}

/* The entry's text, or empty when it cannot be read or is too large. */
void CProgramSearch::ReadEntryFile(int dirFd, const char* name, const std::string& folder, std::string& text)
{
    text.clear();
    /* O_NONBLOCK: something swapped in for the file since the look must not hang the walk. */
    int fd = openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return;
    struct stat st;
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
        CKELLog::WriteLine("Program search: entry too large, skipped: " + ChildPath(folder, name), 1, "", false);
    }
    close(fd);
}

bool CProgramSearch::InsideTree(const std::string& real) const
{
    return !m_TreeRoot.empty() && !real.empty() && (real + "/").compare(0, m_TreeRoot.size(), m_TreeRoot) == 0;
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
    const char* group = G_KEY_FILE_DESKTOP_GROUP;
    GKeyFile* keys = g_key_file_new();
    bool ok = g_key_file_load_from_data(keys, text.data(), text.size(), G_KEY_FILE_NONE, nullptr) &&
              g_key_file_has_group(keys, group);

    gchar* type = ok ? g_key_file_get_string(keys, group, G_KEY_FILE_DESKTOP_KEY_TYPE, nullptr) : nullptr;
    if (ok && !(type && strcmp(type, G_KEY_FILE_DESKTOP_TYPE_APPLICATION) == 0)) {
        ok = false;
        reason = SKIP_NOT_APPLICATION;
    }
    g_free(type);

    if (ok && (IsTrue(keys, G_KEY_FILE_DESKTOP_KEY_HIDDEN) || IsTrue(keys, G_KEY_FILE_DESKTOP_KEY_NO_DISPLAY))) {
        ok = false;
        reason = SKIP_HIDDEN;
    }
    if (ok && IsTrue(keys, G_KEY_FILE_DESKTOP_KEY_TERMINAL)) {
        ok = false;
        reason = SKIP_TERMINAL;
    }
    /* Another desktop's own settings panels and log-out items are no programs for this one. */
    if (ok && (NamesThisDesktop(keys, G_KEY_FILE_DESKTOP_KEY_ONLY_SHOW_IN) == 0 ||
               NamesThisDesktop(keys, G_KEY_FILE_DESKTOP_KEY_NOT_SHOW_IN) == 1)) {
        ok = false;
        reason = SKIP_OTHER_DESKTOP;
    }

    if (ok) {
        gchar* name = LocaleString(keys, m_NameKeys);
        /* One line in a list: escaped line breaks and tabs become blanks. */
        for (gchar* c = name; c && *c; ++c)
            if (*c == '\n' || *c == '\r' || *c == '\t')
                *c = ' ';
        program.name = name ? g_strstrip(name) : "";
        g_free(name);
        CutAtCharacter(program.name, MAX_NAME_BYTES);
        /* One name the policy files cannot hold would fail the whole save of the results. */
        ok = !program.name.empty() && LibKELData::utf8::IsXmlStorable(program.name);
    }

    if (ok) {
        gchar* tryExec = OptionalString(keys, G_KEY_FILE_DESKTOP_KEY_TRY_EXEC);
        if (tryExec && *g_strstrip(tryExec) && ResolveProgram(tryExec).empty()) {
            ok = false;
            reason = SKIP_NOT_INSTALLED;
        }
        g_free(tryExec);
    }

    std::string iconValue;
    if (ok) {
        gchar* icon = LocaleString(keys, m_IconKeys);
        iconValue = icon ? g_strstrip(icon) : "";
        g_free(icon);
    }

    if (ok) {
        gchar* exec = g_key_file_get_string(keys, group, G_KEY_FILE_DESKTOP_KEY_EXEC, nullptr);
        std::vector<std::string> argv;
        /* A location the policy files cannot hold is left out, as one unknown would be. */
        const ExecFields fields{program.name, iconValue,
                                LibKELData::utf8::IsXmlStorable(location) ? location : std::string()};
        ok = exec && SplitExec(exec, argv, &fields);
        g_free(exec);
        if (ok) {
            /* The command starts with the program's plain absolute path: a path that needs
             * quoting ("/usr/bin/[", a line break) is no program a student would start. */
            argv[0] = ResolveProgram(argv[0]);
            if (argv[0].empty() || !CommandInstalled(argv)) {
                ok = false;
                reason = SKIP_NOT_INSTALLED;
            } else {
                ok = IsPlainWord(argv[0]);
            }
        }
        if (ok) {
            program.command = JoinCommand(argv);
            ok = program.command.size() <= MAX_COMMAND_BYTES && LibKELData::utf8::IsXmlStorable(program.command);
        }
    }

    if (ok) {
        const std::string& value = iconValue;
        program.icon.clear();
        if (!value.empty() && value[0] == '/') {
            if (value.size() <= MAX_PATH_BYTES && m_Icons.Check(value) != ICON_NONE &&
                (m_Env.svgLoadable || IconFormatOfName(value) != ICON_SVG))
                program.icon = value;
        } else if (!value.empty()) {
            program.icon = m_Icons.Find(value);
        }
        if (program.icon.size() > MAX_PATH_BYTES || !LibKELData::utf8::IsXmlStorable(program.icon))
            program.icon.clear();
    }
    g_key_file_free(keys);
    return ok;
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
