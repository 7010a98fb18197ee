/* Finding installed programs in a folder: the walk, the desktop entries, the programs and icons they name. */
#ifndef KEL_PROGRAM_SEARCH_H
#define KEL_PROGRAM_SEARCH_H

#include <sys/types.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "SearchResultFile.h"

/* GLib's key file, which the entry's readers take apart. */
struct _GKeyFile;

namespace IPCAPI {

/* One program offered to the student shell. */
struct FoundProgram {
    std::string name;    /* in the user's language where the entry has one */
    std::string command; /* absolute program path, followed by its fixed arguments if any */
    std::string icon;    /* an image file, or empty when none was found */
};

/* What a search needs from the process environment, taken on the caller's thread: the worker
 * never reads the environment, which another thread may be changing. */
struct ProgramSearchEnvironment {
    std::vector<std::string> programDirs; /* where a user's session looks for commands */
    std::vector<std::string> dataDirs;    /* their applications folders rank entries of one ID */
    /* System folders only: the student shell, another user, must be able to read the icon. */
    std::vector<std::string> iconBaseDirs; /* DATA/icons */
    std::vector<std::string> pixmapDirs;   /* DATA/pixmaps, /usr/share/pixmaps */
    /* Icon themes looked in before hicolor, each followed by the themes it inherits from. */
    std::vector<std::string> iconThemes;
    bool svgLoadable = true; /* gdk-pixbuf can load SVG here */

    static ProgramSearchEnvironment FromProcess();
    /* The same without asking gdk-pixbuf: for a process that does not load it. Not the
     * process's PATH or XDG_DATA_DIRS: a service started by the system has others than the
     * users' sessions, whose programs the search is for. Only KEL_ROOT moves the folders. */
    static ProgramSearchEnvironment FromVariables(bool svgLoadable);
};

/* Why a desktop entry the walk met offers no program. Of equally frequent reasons the one
 * listed first is told. */
enum SkipReason {
    SKIP_NOT_INSTALLED = 0, /* its program (or the one it wraps, or TryExec's) is missing */
    SKIP_OTHER_DESKTOP,     /* OnlyShowIn without this desktop, NotShowIn with it */
    SKIP_HIDDEN,            /* Hidden or NoDisplay */
    SKIP_TERMINAL,          /* Terminal=true */
    SKIP_NOT_APPLICATION,   /* a link or folder entry */
    SKIP_UNREADABLE,        /* damaged, too large, or a name or command no policy file can hold */
    SKIP_REASONS
};
/* The code a reason travels as in a search's result text (IPCAPI.h). */
const char* SkipReasonCode(int reason);

/* The entries a search skipped: one per desktop-file ID, the copies an ID's chosen entry
 * hides are not counted. */
struct SkippedEntries {
    size_t count[SKIP_REASONS] = {};
    size_t Total() const;
    /* The most frequent reason; SKIP_REASONS when nothing was skipped. */
    int Main() const;
    /* ", skipped K CODE M" (K in all, M of them for CODE, the main reason); empty when none. */
    std::string ResultSuffix() const;
};

/* The name of the classroom shell's desktop in OnlyShowIn and NotShowIn. */
const char* const DESKTOP_NAME = "KEL";

/* Icons: only PNG, SVG and XPM, told by the name's extension (any case) and confirmed by the
 * file's first bytes. */
enum IconFormat { ICON_NONE = -1, ICON_PNG = 0, ICON_SVG = 1, ICON_XPM = 2 };
IconFormat IconFormatOfName(const std::string& name);
/* The format the extension names, when the first bytes agree; ICON_NONE otherwise. */
IconFormat IconFormatOfHead(const std::string& name, const char* head, size_t size);
/* Opens the regular file path (no device, no pipe) and checks its first bytes; ICON_NONE when
 * it is not an icon this product shows. */
IconFormat CheckIconFile(const std::string& path);

/* Icon names resolved the way icon themes are looked up: the environment's themes and those they
 * inherit from, then hicolor, each over all icon base folders by the folders its index.theme
 * lists (a hicolor without one: its NxN and scalable folders); then the pixmap folders. The
 * first theme holding the name gives the icon nearest PREFERRED_SIZE, the larger of two
 * equally near. The folders are read once, on the first lookup. Safe to use from several
 * threads at once. */
class CIconLookup {
public:
    explicit CIconLookup(const ProgramSearchEnvironment& env);
    CIconLookup(const CIconLookup&) = delete;
    CIconLookup& operator=(const CIconLookup&) = delete;

    /* An image file for an icon name (a bare name, or one with a .png/.svg/.xpm suffix); empty
     * when there is none. */
    std::string Find(const std::string& name);
    /* CheckIconFile of a path, each path opened once for the lookup's life: a search meets
     * the same few icons thousands of times. */
    IconFormat Check(const std::string& path);

    enum { PREFERRED_SIZE = 48 };

private:
    struct Candidate {
        int theme;     /* earlier themes win */
        int distance;  /* from the preferred size; 0 for a match */
        int size;      /* negated: the larger wins ties */
        int format;    /* 0 png, 1 svg, 2 xpm: lower is better */
        int folder;    /* the theme's order of folders, then the base folders' */
        int baseOrder;
        std::string path;
    };
    struct ThemeFolder;
    void BuildIndex();
    void ThemeChain(const std::string& theme, std::vector<std::string>& chain, int depth);
    /* The folders a theme's index lists, each with how near its icons come to the size wanted. */
    std::vector<ThemeFolder> ReadThemeIndex(const std::string& theme) const;
    void IndexTheme(const std::string& theme, int themeOrder);
    void IndexThemeFolder(const std::string& folder, const ThemeFolder& f, int themeOrder, int baseOrder);
    void IndexPixmapFolder(const std::string& folder, int order);
    int FormatRank(const std::string& extension) const;

    const ProgramSearchEnvironment& m_Env;
    std::once_flag m_Indexed;
    std::unordered_map<std::string, Candidate> m_Best;    /* in the theme */
    std::unordered_map<std::string, Candidate> m_Pixmaps; /* outside any theme */
    std::mutex m_CheckedMutex;
    std::unordered_map<std::string, IconFormat> m_Checked;
};

class CProgramSearch {
public:
    enum { DONE = 0, CANCELLED = 1, FOLDER_UNUSABLE = -1 };

    /* cancel is checked before every folder entry; it must outlive the search. */
    CProgramSearch(const ProgramSearchEnvironment& env, const std::atomic<bool>* cancel);
    ~CProgramSearch();
    CProgramSearch(const CProgramSearch&) = delete;
    CProgramSearch& operator=(const CProgramSearch&) = delete;

    /* Walks folder recursively. A symbolic link to a folder is followed only when the folder
     * lies inside the searched one (a link to "/" must not turn the search into a list of the
     * whole machine), and never into a folder already seen. Sub-folders that cannot be opened
     * are skipped (and logged), so are autostart, xsessions and wayland-sessions folders. Of
     * the entries of one desktop-file ID only the first by the data folders' order counts, else
     * the walk's first. At most MAX_PROGRAMS are kept: the first ones in the walk's
     * order. Found programs come sorted by name, equal names in the walk's order. The entries
     * are read by up to MAX_READERS threads (the caller's among them) while the walk goes on;
     * the result does not depend on how many. */
    int Run(const std::string& folder, std::vector<FoundProgram>& found);
    /* What the last Run skipped, and why. */
    const SkippedEntries& Skipped() const { return m_Skipped; }

    /* One desktop entry's text, found at location (for %k); false when it names no program to
     * offer: not an application, hidden, not meant for menus or for this desktop, needing a
     * terminal, whose program (or the one it wraps) is not installed, or whose text is damaged
     * (a NUL byte) or too long to store. A name longer than MAX_NAME_BYTES is cut; an icon path
     * longer than MAX_PATH_BYTES is dropped. Safe to call from several threads at once. */
    bool ReadDesktopEntry(const std::string& text, FoundProgram& program, const std::string& location = "",
                          SkipReason* why = nullptr);

    enum { MAX_PROGRAMS = MAX_STORED_PROGRAMS, MAX_READERS = 4 };

private:
    struct Folder;
    struct Batch;
    class CReaders;

    bool ReadEntry(const std::string& text, FoundProgram& program, const std::string& location, SkipReason& reason);
    /* The parts of ReadEntry: the name; the command (and whether it is installed); the icon's path. */
    bool ReadName(_GKeyFile* keys, FoundProgram& program) const;
    bool ReadCommand(_GKeyFile* keys, const std::string& icon, const std::string& location, FoundProgram& program,
                     SkipReason& reason);
    std::string IconPath(const std::string& value);
    void Walk(int dirFd, const std::string& path, const std::string& real, int depth, CReaders& readers);
    bool CommandInstalled(const std::vector<std::string>& argv);
    void ReadEntryFile(int dirFd, const char* name, const std::string& folder, std::string& text);
    std::string ResolveProgram(const std::string& program);
    bool InsideTree(const std::string& real) const;
    bool Cancelled() const { return m_pCancel && m_pCancel->load(std::memory_order_relaxed); }

    enum { MAX_DEPTH = 64, MAX_ENTRY_SIZE = 1024 * 1024 };

    const ProgramSearchEnvironment m_Env; /* a copy: a caller's temporary may be gone */
    const std::atomic<bool>* m_pCancel;
    CIconLookup m_Icons;
    /* The keys of the name and the icon, in the user's languages first: the readers do not ask
     * the environment for the languages. */
    const std::vector<std::string> m_NameKeys;
    const std::vector<std::string> m_IconKeys;
    std::string m_TreeRoot; /* the searched folder with its links resolved */
    std::vector<std::string> m_AppDirs; /* the data folders' applications folders, resolved */
    std::set<std::pair<dev_t, ino_t> > m_Visited;
    SkippedEntries m_Skipped;
    std::mutex m_ProgramsMutex;
    std::unordered_map<std::string, std::string> m_Programs; /* as named -> resolved path ("" when absent) */
};

/* What an entry's field codes stand for: %c its name, %i "--icon" and its Icon value, %k where it is. */
struct ExecFields {
    std::string name, icon, location;
};
/* The fixed arguments of an Exec value turned into a command: %c, %i and %k filled in from
 * fields (dropped without), the others dropped, "%%" kept as "%". Returns false when the value
 * cannot be parsed or names no program. */
bool SplitExec(const std::string& exec, std::vector<std::string>& argv, const ExecFields* fields = nullptr);
/* Joins a program and its arguments, quoting for the shell only the words that need it. */
std::string JoinCommand(const std::vector<std::string>& argv);
/* True when the word can stand in a command as it is, without quoting. */
bool IsPlainWord(const std::string& word);

} // namespace IPCAPI

#endif
