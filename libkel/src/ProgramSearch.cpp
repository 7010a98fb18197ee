/* The walk of a folder for desktop entries, read by several threads in the walk's order. */
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

} // namespace IPCAPI
