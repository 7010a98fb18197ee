/* Icon names of desktop entries resolved to image files through the installed icon themes and the
 * pixmap folders, and the check that a file is an icon of a format the product shows. */
#include "ProgramSearch.h"

#include <glib.h>

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <functional>
#include <set>
#include <tuple>
#include <unordered_map>

namespace IPCAPI {

namespace {

/* "48x48" gives 48; scaled ("48x48@2"), odd or malformed names give -1. */
int FixedSize(const char* name)
{
    char* end = nullptr;
    long w = strtol(name, &end, 10);
    if (end == name || *end != 'x')
        return -1;
    const char* second = end + 1;
    long h = strtol(second, &end, 10);
    if (end == second || *end || w != h || w <= 0 || w > 4096)
        return -1;
    return (int)w;
}

bool IsFolder(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

template <typename F>
void ForEachEntry(const std::string& folder, F f)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    while (struct dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        f(e->d_name, e->d_type);
    }
    closedir(dir);
}

const size_t ICON_HEAD_BYTES = 4096;

bool StartsWith(const char* head, size_t size, const char* prefix, size_t n)
{
    return size >= n && memcmp(head, prefix, n) == 0;
}

} // namespace

IconFormat IconFormatOfName(const std::string& name)
{
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.find('/', dot) != std::string::npos)
        return ICON_NONE;
    std::string extension = name.substr(dot + 1);
    for (char& c : extension)
        c = g_ascii_tolower(c);
    if (extension == "png")
        return ICON_PNG;
    if (extension == "svg")
        return ICON_SVG;
    if (extension == "xpm")
        return ICON_XPM;
    return ICON_NONE;
}

IconFormat IconFormatOfHead(const std::string& name, const char* head, size_t size)
{
    IconFormat format = IconFormatOfName(name);
    switch (format) {
    case ICON_PNG:
        return StartsWith(head, size, "\x89PNG\r\n\x1a\n", 8) ? format : ICON_NONE;
    case ICON_XPM:
        return StartsWith(head, size, "/* XPM */", 9) ? format : ICON_NONE;
    case ICON_SVG: {
        /* XML text: an optional byte order mark and blanks, then markup naming an svg element
         * early on (after a declaration, comments or a document type). */
        size_t i = StartsWith(head, size, "\xef\xbb\xbf", 3) ? 3 : 0;
        while (i < size && g_ascii_isspace(head[i]))
            ++i;
        return i < size && head[i] == '<' && g_strstr_len(head + i, (gssize)(size - i), "<svg") ? format : ICON_NONE;
    }
    default:
        return ICON_NONE;
    }
}

IconFormat CheckIconFile(const std::string& path)
{
    if (IconFormatOfName(path) == ICON_NONE)
        return ICON_NONE;
    /* O_NONBLOCK: a pipe put in the icon's place must not hang the search. */
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return ICON_NONE;
    struct stat st;
    char head[ICON_HEAD_BYTES];
    ssize_t n = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? read(fd, head, sizeof head) : -1;
    close(fd);
    return n > 0 ? IconFormatOfHead(path, head, (size_t)n) : ICON_NONE;
}

CIconLookup::CIconLookup(const ProgramSearchEnvironment& env)
    : m_Env(env)
{
}

IconFormat CIconLookup::Check(const std::string& path)
{
    {
        std::lock_guard<std::mutex> lock(m_CheckedMutex);
        auto known = m_Checked.find(path);
        if (known != m_Checked.end())
            return known->second;
    }
    /* Opened without the lock: two threads may check one file at once, to the same result. */
    IconFormat format = CheckIconFile(path);
    std::lock_guard<std::mutex> lock(m_CheckedMutex);
    m_Checked.emplace(path, format);
    return format;
}

int CIconLookup::FormatRank(const std::string& extension) const
{
    IconFormat format = IconFormatOfName("." + extension);
    return format == ICON_SVG && !m_Env.svgLoadable ? -1 : (int)format;
}

std::string CIconLookup::Find(const std::string& icon)
{
    std::string name = icon;
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && FormatRank(name.substr(dot + 1)) >= 0)
        name.erase(dot); /* older entries name the file, not the icon */
    if (name.empty() || name.find('/') != std::string::npos)
        return "";
    std::call_once(m_Indexed, [this] { BuildIndex(); });
    /* Only the file chosen is opened: a search asks for thousands of names. */
    auto best = m_Best.find(name);
    if (best != m_Best.end() && Check(best->second.path) != ICON_NONE)
        return best->second.path;
    auto pixmap = m_Pixmaps.find(name);
    return pixmap != m_Pixmaps.end() && Check(pixmap->second.path) != ICON_NONE ? pixmap->second.path : "";
}

/* A folder of a theme, as its index.theme describes it, measured against the wanted size. */
struct CIconLookup::ThemeFolder {
    std::string sub; /* below the theme's folder */
    int distance;
    int size; /* of the icons it would give: the wanted one for a scalable folder that covers it */
    int order;
};

namespace {

int IntegerKey(GKeyFile* keys, const char* group, const char* key, int fallback)
{
    GError* error = nullptr;
    int value = g_key_file_get_integer(keys, group, key, &error);
    g_clear_error(&error);
    return g_key_file_has_key(keys, group, key, nullptr) ? value : fallback;
}

/* index.theme lists folders and parents with commas. */
GKeyFile* ThemeIndex()
{
    GKeyFile* keys = g_key_file_new();
    g_key_file_set_list_separator(keys, ',');
    return keys;
}

} // namespace

/* One pass over the theme and pixmap folders instead of a probe per name, size and format:
 * a search resolves thousands of names, the folders hold a few thousand entries. */
void CIconLookup::BuildIndex()
{
    for (size_t i = 0; i < m_Env.pixmapDirs.size(); ++i)
        IndexPixmapFolder(m_Env.pixmapDirs[i], (int)i);
    std::vector<std::string> chain;
    for (const std::string& theme : m_Env.iconThemes)
        ThemeChain(theme, chain, 0);
    /* hicolor is every theme's last parent. */
    chain.push_back("hicolor");
    for (size_t i = 0; i < chain.size(); ++i)
        IndexTheme(chain[i], (int)i);
}

/* The installed theme, then the themes it inherits from, each followed by its own parents. */
void CIconLookup::ThemeChain(const std::string& theme, std::vector<std::string>& chain, int depth)
{
    if (depth > 16 || theme.empty() || theme == "hicolor" || theme.find('/') != std::string::npos ||
        std::find(chain.begin(), chain.end(), theme) != chain.end())
        return;
    for (const std::string& base : m_Env.iconBaseDirs) {
        GKeyFile* keys = ThemeIndex();
        if (!g_key_file_load_from_file(keys, (base + "/" + theme + "/index.theme").c_str(), G_KEY_FILE_NONE, nullptr)) {
            g_key_file_free(keys);
            continue;
        }
        chain.push_back(theme);
        gchar** parents = g_key_file_get_string_list(keys, "Icon Theme", "Inherits", nullptr, nullptr);
        g_key_file_free(keys);
        for (gchar** p = parents; p && *p; ++p)
            ThemeChain(g_strstrip(*p), chain, depth + 1);
        g_strfreev(parents);
        return;
    }
}

std::vector<CIconLookup::ThemeFolder> CIconLookup::ReadThemeIndex(const std::string& theme) const
{
    const int want = PREFERRED_SIZE;
    std::vector<ThemeFolder> folders;
    /* The first index.theme found describes the theme in every base folder. */
    for (size_t base = 0; base < m_Env.iconBaseDirs.size() && folders.empty(); ++base) {
        GKeyFile* keys = ThemeIndex();
        const std::string index = m_Env.iconBaseDirs[base] + "/" + theme + "/index.theme";
        gchar** dirs = g_key_file_load_from_file(keys, index.c_str(), G_KEY_FILE_NONE, nullptr)
                           ? g_key_file_get_string_list(keys, "Icon Theme", "Directories", nullptr, nullptr)
                           : nullptr;
        for (int i = 0; dirs && dirs[i]; ++i) {
            const char* dir = dirs[i];
            int size = IntegerKey(keys, dir, "Size", 0);
            /* Scaled folders hold icons for other screens than the shell's. */
            if (size <= 0 || IntegerKey(keys, dir, "Scale", 1) != 1 || strstr(dir, ".."))
                continue;
            gchar* type = g_key_file_get_string(keys, dir, "Type", nullptr);
            int low = size, high = size, threshold = IntegerKey(keys, dir, "Threshold", 2);
            if (type && strcmp(type, "Scalable") == 0) {
                low = IntegerKey(keys, dir, "MinSize", size);
                high = IntegerKey(keys, dir, "MaxSize", size);
            } else if (!type || strcmp(type, "Fixed") != 0) {
                low = size - threshold;
                high = size + threshold;
            }
            bool scalable = type && strcmp(type, "Scalable") == 0;
            g_free(type);
            int distance = want < low ? low - want : want > high ? want - high : 0;
            int shown = scalable ? std::min(std::max(want, low), high) : size;
            folders.push_back(ThemeFolder{dir, distance, shown, i});
        }
        g_strfreev(dirs);
        g_key_file_free(keys);
    }
    return folders;
}

void CIconLookup::IndexTheme(const std::string& theme, int themeOrder)
{
    const int want = PREFERRED_SIZE;
    const std::vector<ThemeFolder> folders = ReadThemeIndex(theme);
    /* Only the folders there are get opened: an index lists hundreds that no package fills. */
    std::unordered_map<std::string, const ThemeFolder*> listed;
    std::set<std::string> parents;
    for (const ThemeFolder& f : folders) {
        listed.emplace(f.sub, &f);
        for (size_t slash = f.sub.find('/'); slash != std::string::npos; slash = f.sub.find('/', slash + 1))
            parents.insert(f.sub.substr(0, slash));
    }
    for (size_t base = 0; base < m_Env.iconBaseDirs.size(); ++base) {
        const std::string themeFolder = m_Env.iconBaseDirs[base] + "/" + theme + "/";
        if (!folders.empty()) {
            std::function<void(const std::string&)> visit = [&](const std::string& at) {
                ForEachEntry(themeFolder + at, [&](const char* name, unsigned char type) {
                    const std::string sub = at.empty() ? name : at + "/" + name;
                    auto f = listed.find(sub);
                    bool deeper = parents.count(sub) != 0;
                    const std::string folder = themeFolder + sub;
                    if ((f == listed.end() && !deeper) ||
                        !(type == DT_DIR || ((type == DT_LNK || type == DT_UNKNOWN) && IsFolder(folder))))
                        return;
                    if (f != listed.end())
                        IndexThemeFolder(folder, *f->second, themeOrder, (int)base);
                    if (deeper)
                        visit(sub);
                });
            };
            visit("");
            continue;
        }
        if (theme != "hicolor")
            continue;
        /* A hicolor without its index: the NxN and scalable folders, any context. */
        ForEachEntry(themeFolder, [&](const char* sub, unsigned char) {
            bool scalable = strcmp(sub, "scalable") == 0;
            int size = scalable ? want : FixedSize(sub);
            if (size < 0)
                return;
            const ThemeFolder f{"", std::abs(size - want), size, 0};
            std::string sizeFolder = themeFolder + sub;
            ForEachEntry(sizeFolder, [&](const char* context, unsigned char type) {
                std::string folder = sizeFolder + "/" + context;
                if (type == DT_DIR || ((type == DT_LNK || type == DT_UNKNOWN) && IsFolder(folder)))
                    IndexThemeFolder(folder, f, themeOrder, (int)base);
            });
        });
    }
}

void CIconLookup::IndexThemeFolder(const std::string& folder, const ThemeFolder& f, int themeOrder, int baseOrder)
{
    ForEachEntry(folder, [&](const char* file, unsigned char) {
        const char* dot = strrchr(file, '.');
        if (!dot || dot == file)
            return;
        int format = FormatRank(dot + 1);
        if (format < 0)
            return;
        Candidate c{themeOrder, f.distance, -f.size, format, f.order, baseOrder, std::string()};
        auto it = m_Best.find(std::string(file, dot - file));
        /* The first theme holding the name; in it the nearest size, the larger of two equally
         * near; then PNG over SVG over XPM; then the theme's order of folders and base folders. */
        if (it != m_Best.end() && !(std::tie(c.theme, c.distance, c.size, c.format, c.folder, c.baseOrder) <
                                    std::tie(it->second.theme, it->second.distance, it->second.size,
                                             it->second.format, it->second.folder, it->second.baseOrder)))
            return;
        c.path = folder + "/" + file; /* made for the winners only: themes hold thousands of files */
        if (it != m_Best.end())
            it->second = std::move(c);
        else
            m_Best.emplace(std::string(file, dot - file), std::move(c));
    });
}

/* Earlier folders first; within one, PNG over SVG over XPM. */
void CIconLookup::IndexPixmapFolder(const std::string& folder, int order)
{
    ForEachEntry(folder, [&](const char* file, unsigned char type) {
        const char* dot = strrchr(file, '.');
        if (!dot || dot == file)
            return;
        int format = FormatRank(dot + 1);
        std::string path = folder + "/" + file;
        if (format < 0 || (type != DT_REG && !((type == DT_LNK || type == DT_UNKNOWN) && IsFile(path))))
            return;
        Candidate c{0, 0, 0, format, 0, order, path};
        std::string name(file, dot - file);
        auto it = m_Pixmaps.find(name);
        if (it == m_Pixmaps.end() ||
            std::tie(c.baseOrder, c.format) < std::tie(it->second.baseOrder, it->second.format))
            m_Pixmaps[name] = c;
    });
}

} // namespace IPCAPI
