/* Icon names of desktop entries resolved to image files through the hicolor theme and the pixmap folders. */
#include "ProgramSearch.h"

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <tuple>

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

} // namespace

CIconLookup::CIconLookup(const ProgramSearchEnvironment& env)
    : m_Env(env)
    , m_Indexed(false)
{
}

int CIconLookup::FormatRank(const std::string& extension) const
{
    if (extension == "png")
        return 0;
    if (extension == "svg")
        return m_Env.svgLoadable ? 1 : -1;
    if (extension == "xpm")
        return 2;
    return -1;
}

std::string CIconLookup::Find(const std::string& icon)
{
    std::string name = icon;
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && FormatRank(name.substr(dot + 1)) >= 0)
        name.erase(dot); /* older entries name the file, not the icon */
    if (name.empty() || name.find('/') != std::string::npos)
        return "";
    if (!m_Indexed)
        BuildIndex();
    auto best = m_Best.find(name);
    if (best != m_Best.end())
        return best->second.path;
    auto pixmap = m_Pixmaps.find(name);
    return pixmap != m_Pixmaps.end() ? pixmap->second.path : "";
}

/* One pass over the theme and pixmap folders instead of a probe per name, size and format:
 * a search resolves thousands of names, the folders hold a few hundred entries. */
void CIconLookup::BuildIndex()
{
    m_Indexed = true;
    for (size_t i = 0; i < m_Env.pixmapDirs.size(); ++i)
        IndexPixmapFolder(m_Env.pixmapDirs[i], (int)i);
    for (size_t base = 0; base < m_Env.iconBaseDirs.size(); ++base) {
        std::string theme = m_Env.iconBaseDirs[base] + "/hicolor";
        ForEachEntry(theme, [&](const char* sub, unsigned char) {
            bool scalable = strcmp(sub, "scalable") == 0;
            int size = scalable ? (int)PREFERRED_SIZE : FixedSize(sub);
            if (size < 0)
                return;
            std::string sizeFolder = theme + "/" + sub;
            int distance = std::abs(size - (int)PREFERRED_SIZE);
            ForEachEntry(sizeFolder, [&](const char* context, unsigned char type) {
                std::string folder = sizeFolder + "/" + context;
                if (type == DT_DIR || ((type == DT_LNK || type == DT_UNKNOWN) && IsFolder(folder)))
                    IndexThemeFolder(folder, distance, scalable, (int)base);
            });
        });
    }
}

void CIconLookup::IndexThemeFolder(const std::string& folder, int distance, bool scalable, int baseOrder)
{
    ForEachEntry(folder, [&](const char* file, unsigned char) {
        const char* dot = strrchr(file, '.');
        if (!dot || dot == file)
            return;
        int format = FormatRank(dot + 1);
        if (format < 0 || (scalable && format != 1))
            return;
        Candidate c{distance, format, baseOrder, folder + "/" + file};
        std::string name(file, dot - file);
        auto it = m_Best.find(name);
        /* Closest to the wanted size first; then PNG over SVG over XPM; then the earlier folder. */
        if (it == m_Best.end() || std::tie(c.distance, c.format, c.baseOrder) <
                                      std::tie(it->second.distance, it->second.format, it->second.baseOrder))
            m_Best[name] = c;
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
        Candidate c{0, format, order, path};
        std::string name(file, dot - file);
        auto it = m_Pixmaps.find(name);
        if (it == m_Pixmaps.end() ||
            std::tie(c.baseOrder, c.format) < std::tie(it->second.baseOrder, it->second.format))
            m_Pixmaps[name] = c;
    });
}

} // namespace IPCAPI
