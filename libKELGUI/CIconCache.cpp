/* Path- and size-keyed cache of decoded icons (main thread only). */
#include "CIconCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

namespace {
enum IconFormat { ICON_NONE, ICON_PNG, ICON_SVG, ICON_XPM };

/* Told by the name only: "any loader that recognises the bytes" would open the file to every
 * image parser installed. */
IconFormat FormatOfName(const std::string& path)
{
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos)
        return ICON_NONE;
    gchar* extension = g_ascii_strdown(path.c_str() + dot + 1, -1);
    IconFormat format = strcmp(extension, "png") == 0   ? ICON_PNG
                        : strcmp(extension, "svg") == 0 ? ICON_SVG
                        : strcmp(extension, "xpm") == 0 ? ICON_XPM
                                                        : ICON_NONE;
    g_free(extension);
    return format;
}

/* The first bytes must agree with the name: XPM data named .png is no PNG. */
bool HeadAgrees(IconFormat format, const guchar* head, size_t size)
{
    const char* text = reinterpret_cast<const char*>(head);
    switch (format) {
    case ICON_PNG:
        return size >= 8 && memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0;
    case ICON_XPM:
        return size >= 9 && memcmp(head, "/* XPM */", 9) == 0;
    case ICON_SVG: {
        size_t i = size >= 3 && memcmp(head, "\xef\xbb\xbf", 3) == 0 ? 3 : 0;
        while (i < size && g_ascii_isspace(text[i]))
            ++i;
        size_t look = MIN(size, (size_t)4096);
        return i < look && text[i] == '<' && g_strstr_len(text + i, (gssize)(look - i), "<svg");
    }
    default:
        return false;
    }
}

/* Follows a PNG's chunks as its bytes arrive, to know where the picture ends: bytes after
 * the end chunk are never read. */
class PngEnd {
public:
    PngEnd()
        : m_Pos(0)
        , m_Next(8)
        , m_Have(0)
        , m_End(0)
    {
    }
    /* How many of the n bytes that follow belong to the picture. */
    size_t Take(const guchar* bytes, size_t n)
    {
        for (size_t i = 0; i < n && !m_End;) {
            guint64 at = m_Pos + i;
            if (at < m_Next) {
                i += (size_t)MIN(m_Next - at, (guint64)(n - i));
                continue;
            }
            m_Header[m_Have++] = bytes[i++];
            if (m_Have == 8) {
                guint32 length = (guint32)m_Header[0] << 24 | (guint32)m_Header[1] << 16 | (guint32)m_Header[2] << 8 |
                                 m_Header[3];
                m_Next += 12 + (guint64)length; /* length, type, data, checksum */
                m_Have = 0;
                if (memcmp(m_Header + 4, "IEND", 4) == 0)
                    m_End = m_Next;
            }
        }
        size_t take = m_End ? (size_t)MIN((guint64)n, m_End > m_Pos ? m_End - m_Pos : 0) : n;
        m_Pos += n;
        return take;
    }
    bool Ended() const { return m_End && m_Pos >= m_End; }

private:
    guint64 m_Pos;  /* bytes seen */
    guint64 m_Next; /* where the next chunk starts */
    guchar m_Header[8];
    int m_Have;
    guint64 m_End; /* 0 until the end chunk is seen */
};
} // namespace

GdkPixbuf* CIconCache::Decode(const std::string& path, int size)
{
    static const char* const LOADERS[] = {NULL, "png", "svg", "xpm"};
    IconFormat format = FormatOfName(path);
    if (format == ICON_NONE)
        return NULL;
    /* Regular files only: a named pipe would block us, a device never end. */
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        (format != ICON_PNG && st.st_size > (off_t)MAX_ICON_BYTES)) {
        if (fd >= 0)
            close(fd);
        return NULL;
    }
    /* The first bytes are checked before any loader sees them. */
    guchar buffer[65536];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) < 0 && errno == EINTR) {
    }
    GdkPixbufLoader* loader =
        n > 0 && HeadAgrees(format, buffer, (size_t)n) ? gdk_pixbuf_loader_new_with_type(LOADERS[format], NULL) : NULL;
    if (!loader) {
        close(fd);
        return NULL;
    }
    DecodeRequest request = {size, false};
    g_signal_connect(loader, "size-prepared", G_CALLBACK(OnSizePrepared), &request);
    PngEnd png;
    bool ok = true, ended = false;
    size_t total = 0;
    for (bool first = true; ok && !request.refused && !ended; first = false) {
        if (!first)
            n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        size_t take = (size_t)n;
        if (format == ICON_PNG) {
            take = png.Take(buffer, take);
            ended = png.Ended();
        }
        total += take;
        /* A picture that has not ended within the cap is refused, whatever follows. */
        ok = ok && total <= MAX_ICON_BYTES && gdk_pixbuf_loader_write(loader, buffer, take, NULL);
    }
    close(fd);
    ok = ok && (format != ICON_PNG || ended);
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
