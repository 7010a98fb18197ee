/* Path- and size-keyed cache of decoded icons (main thread only). */
#include "CIconCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

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

/* Gives back its pictures when the process ends, so that nothing of ours is left unfreed. */
struct Cache : std::map<std::pair<std::string, int>, Entry> {
    ~Cache()
    {
        for (iterator it = begin(); it != end(); ++it)
            if (it->second.pixbuf)
                g_object_unref(it->second.pixbuf);
    }
};

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
    GdkPixbuf* pb = CIconCache::Decode(path, size);
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

namespace {
struct DecodeRequest {
    int size;
    bool refused;
};

/* The loader knows the picture's size from its header: refuse it before any pixel is made,
 * or ask for it scaled (aspect kept) as gdk_pixbuf_new_from_file_at_size would. */
void OnSizePrepared(GdkPixbufLoader* loader, gint width, gint height, gpointer data)
{
    DecodeRequest* request = static_cast<DecodeRequest*>(data);
    GdkPixbufFormat* format = gdk_pixbuf_loader_get_format(loader);
    bool scaled = request->size > 0 && format && gdk_pixbuf_format_is_scalable(format);
    if (!scaled && (width > CIconCache::MAX_DECODED_SIDE || height > CIconCache::MAX_DECODED_SIDE)) {
        request->refused = true;
        gdk_pixbuf_loader_set_size(loader, 0, 0); /* makes the loader stop */
        return;
    }
    if (request->size <= 0 || width <= 0 || height <= 0)
        return;
    const double want = request->size;
    int w, h;
    if ((double)height * want > (double)width * want) {
        w = (int)(0.5 + (double)width * want / (double)height);
        h = request->size;
    } else {
        h = (int)(0.5 + (double)height * want / (double)width);
        w = request->size;
    }
    gdk_pixbuf_loader_set_size(loader, w > 0 ? w : 1, h > 0 ? h : 1);
}
} // namespace

GdkPixbuf* CIconCache::Decode(const std::string& path, int size)
{
    /* Regular files only: a named pipe would block us, a device never end. */
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0)
            close(fd);
        return NULL;
    }
    FILE* file = fdopen(fd, "rb");
    if (!file) {
        close(fd);
        return NULL;
    }
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    DecodeRequest request = {size, false};
    g_signal_connect(loader, "size-prepared", G_CALLBACK(OnSizePrepared), &request);
    bool ok = true;
    guchar buffer[65536];
    size_t n;
    while (ok && !request.refused && (n = fread(buffer, 1, sizeof buffer, file)) > 0)
        ok = gdk_pixbuf_loader_write(loader, buffer, n, NULL);
    ok = ok && !ferror(file);
    fclose(file);
    /* Closing a loader that stopped early reports an error; that is expected. */
    ok = gdk_pixbuf_loader_close(loader, NULL) && ok && !request.refused;
    GdkPixbuf* pb = ok ? gdk_pixbuf_loader_get_pixbuf(loader) : NULL;
    if (pb)
        g_object_ref(pb);
    g_object_unref(loader);
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
