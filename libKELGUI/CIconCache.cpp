/* Path- and size-keyed cache of decoded icons (main thread only). */
#include "CIconCache.h"

#include <sys/stat.h>

#include <map>
#include <utility>

#include "KELConstants.h"

namespace LibKELGUI {

namespace {
struct Entry {
    GdkPixbuf* pixbuf; /* null: the file could not be loaded */
    time_t mtime;
    off_t fileSize;
};

typedef std::map<std::pair<std::string, int>, Entry> Cache;

/* A window shows at most a few thousand distinct icons; past this the cache starts over. */
const size_t MAX_ENTRIES = 4096;

Cache& TheCache()
{
    static Cache cache;
    return cache;
}

unsigned g_Decodes = 0;

/* size 0 = the file's own size. A changed file (time or size) is decoded again. */
GdkPixbuf* Lookup(const std::string& path, int size)
{
    if (path.empty())
        return NULL;
    struct stat st;
    bool exists = stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    if (!exists)
        return NULL; /* failures are cheap; only decodes are worth keeping */

    Cache& cache = TheCache();
    std::pair<std::string, int> key(path, size);
    Cache::iterator it = cache.find(key);
    if (it != cache.end()) {
        if (it->second.mtime == st.st_mtime && it->second.fileSize == st.st_size)
            return it->second.pixbuf ? GDK_PIXBUF(g_object_ref(it->second.pixbuf)) : NULL;
        if (it->second.pixbuf)
            g_object_unref(it->second.pixbuf);
        cache.erase(it);
    }
    if (cache.size() >= MAX_ENTRIES)
        CIconCache::Clear();

    ++g_Decodes;
    GdkPixbuf* pb = size > 0 ? gdk_pixbuf_new_from_file_at_size(path.c_str(), size, size, NULL)
                             : gdk_pixbuf_new_from_file(path.c_str(), NULL);
    Entry e = {pb, st.st_mtime, st.st_size};
    cache[key] = e;
    return pb ? GDK_PIXBUF(g_object_ref(pb)) : NULL;
}
} // namespace

GdkPixbuf* CIconCache::TryLoadAtSize(const std::string& path, int size)
{
    return Lookup(path, size);
}

GdkPixbuf* CIconCache::LoadAtSize(const std::string& path, int size)
{
    GdkPixbuf* pb = Lookup(path, size);
    if (!pb)
        pb = Lookup(LibKELData::KEL_IMAGE_APP_DEFAULT_ICON, size);
    return pb;
}

GdkPixbuf* CIconCache::LoadFullSize(const std::string& path)
{
    GdkPixbuf* pb = Lookup(path, 0);
    if (!pb)
        pb = Lookup(LibKELData::KEL_IMAGE_APP_DEFAULT_ICON, 0);
    return pb;
}

unsigned CIconCache::DecodeCount()
{
    return g_Decodes;
}

void CIconCache::Clear()
{
    Cache& cache = TheCache();
    for (Cache::iterator it = cache.begin(); it != cache.end(); ++it)
        if (it->second.pixbuf)
            g_object_unref(it->second.pixbuf);
    cache.clear();
}

} // namespace LibKELGUI
