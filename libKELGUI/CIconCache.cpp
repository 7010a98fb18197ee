/* Path- and size-keyed cache of decoded icons (main thread only). */
#include "CIconCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "KELConstants.h"

namespace LibKELGUI {

namespace {
struct Entry {
    GdkPixbuf* pixbuf; /* null: the file could not be loaded */
    time_t mtime;
    off_t fileSize;
    unsigned checked; /* the batch in which the file was last looked at */
};

/* By size, then by path: a lookup hashes the caller's string without copying it. */
typedef std::unordered_map<std::string, Entry> PathCache;
/* Gives back its pictures when the process ends, so that nothing of ours is left unfreed. */
struct Cache : std::map<int, PathCache> {
    ~Cache()
    {
        for (iterator bySize = begin(); bySize != end(); ++bySize)
            for (PathCache::iterator it = bySize->second.begin(); it != bySize->second.end(); ++it)
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

size_t g_Entries = 0;
unsigned g_Decodes = 0;

/* Batches: depth of the ones open, the number of the current one (0: none yet), and the
 * files found missing in it, by size. */
int g_BatchDepth = 0;
unsigned g_Batch = 0;
std::map<int, std::unordered_set<std::string> > g_MissingInBatch;

/* The picture at the file's size, shrunk to fit maxSize when it is larger. */
GdkPixbuf* DecodeAtMost(const std::string& path, int maxSize)
{
    GdkPixbuf* pb = CIconCache::Decode(path, 0);
    if (!pb)
        return NULL;
    int w = gdk_pixbuf_get_width(pb);
    int h = gdk_pixbuf_get_height(pb);
    if (w <= maxSize && h <= maxSize)
        return pb;
    int sw = w >= h ? maxSize : MAX(1, w * maxSize / h);
    int sh = h >= w ? maxSize : MAX(1, h * maxSize / w);
    GdkPixbuf* scaled = gdk_pixbuf_scale_simple(pb, sw, sh, GDK_INTERP_BILINEAR);
    g_object_unref(pb);
    return scaled;
}

/* size 0 = the file's own size, negative = the file's own size at most -size. A changed file
 * (time or size) is decoded again. */
GdkPixbuf* Ref(GdkPixbuf* pixbuf)
{
    return pixbuf ? GDK_PIXBUF(g_object_ref(pixbuf)) : NULL;
}

GdkPixbuf* Lookup(const std::string& path, int size)
{
    if (path.empty())
        return NULL;
    if (g_BatchDepth > 0) {
        PathCache& byPath = TheCache()[size];
        PathCache::iterator it = byPath.find(path);
        if (it != byPath.end() && it->second.checked == g_Batch)
            return Ref(it->second.pixbuf);
        if (g_MissingInBatch[size].count(path))
            return NULL;
    }
    struct stat st;
    bool exists = stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    if (!exists) {
        /* Failures are cheap; only decodes are worth keeping, and a miss only for the batch. */
        if (g_BatchDepth > 0)
            g_MissingInBatch[size].insert(path);
        return NULL;
    }

    PathCache& byPath = TheCache()[size];
    PathCache::iterator it = byPath.find(path);
    if (it != byPath.end()) {
        if (it->second.mtime == st.st_mtime && it->second.fileSize == st.st_size) {
            it->second.checked = g_Batch;
            return Ref(it->second.pixbuf);
        }
        if (it->second.pixbuf)
            g_object_unref(it->second.pixbuf);
        byPath.erase(it);
        --g_Entries;
    }
    if (g_Entries >= MAX_ENTRIES)
        CIconCache::Clear();

    ++g_Decodes;
    GdkPixbuf* pb = size >= 0 ? CIconCache::Decode(path, size) : DecodeAtMost(path, -size);
    Entry e = {pb, st.st_mtime, st.st_size, g_Batch};
    TheCache()[size][path] = e;
    ++g_Entries;
    return Ref(pb);
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

GdkPixbuf* CIconCache::LoadFullSizeAtMost(const std::string& path, int maxSize)
{
    if (maxSize <= 0)
        return LoadFullSize(path);
    GdkPixbuf* pb = Lookup(path, -maxSize);
    if (!pb)
        pb = Lookup(LibKELData::KEL_IMAGE_APP_DEFAULT_ICON, -maxSize);
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
    for (Cache::iterator bySize = cache.begin(); bySize != cache.end(); ++bySize)
        for (PathCache::iterator it = bySize->second.begin(); it != bySize->second.end(); ++it)
            if (it->second.pixbuf)
                g_object_unref(it->second.pixbuf);
    cache.clear();
    g_Entries = 0;
}

CIconCache::Batch::Batch()
{
    if (g_BatchDepth++ == 0) {
        /* A new number: entries looked at in earlier batches are looked at again. */
        if (++g_Batch == 0)
            ++g_Batch;
    }
}

CIconCache::Batch::~Batch()
{
    if (--g_BatchDepth == 0)
        g_MissingInBatch.clear();
}

} // namespace LibKELGUI
