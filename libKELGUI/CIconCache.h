/* Decoded icons shared by every list of the library, keyed by file and size, so that an
 * icon shown in many rows (the default icon above all) is decoded once. */
#ifndef CICON_CACHE_H
#define CICON_CACHE_H

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <string>

#include "KELGuiCommon.h"

namespace LibKELGUI {

class KELGUI_EXPORT CIconCache {
public:
    /* The icon at size x size (aspect kept); when the file cannot be loaded, the default
     * application icon; null only when that fails too. Returns a new reference. */
    static GdkPixbuf* LoadAtSize(const std::string& path, int size);
    /* As above, at the size of the file. */
    static GdkPixbuf* LoadFullSize(const std::string& path);
    /* At the size of the file, but a picture larger than maxSize either way is scaled down to
     * fit (aspect kept); only that copy is kept, never the large original. */
    static GdkPixbuf* LoadFullSizeAtMost(const std::string& path, int maxSize);
    /* As LoadAtSize, but null instead of the default icon when the file cannot be loaded. */
    static GdkPixbuf* TryLoadAtSize(const std::string& path, int size);

    /* Decodes the file without the cache (size 0: at its own size), or null. Only PNG, SVG
     * and XPM, told by the name's extension and confirmed by the first bytes, each read by
     * its own loader; reading stops at the picture's end (a PNG's end chunk, an SVG's or XPM's
     * end of file) and a picture that has not ended within MAX_ICON_BYTES is refused. A
     * picture that would be absurdly large once decoded counts as one that cannot be loaded:
     * a few kilobytes of compressed PNG can stand for gigabytes of pixels and a minute of
     * work. Only its header is read then. A scalable picture is drawn at the size wanted. */
    static GdkPixbuf* Decode(const std::string& path, int size);
    /* Longest side of a picture that is decoded. */
    static const int MAX_DECODED_SIDE = 4096;
    static const size_t MAX_ICON_BYTES = 4 * 1024 * 1024;

    /* Number of decodes attempted so far (benchmarks and tests). */
    static unsigned DecodeCount();
    static void Clear();

    /* Held while a list is filled: each file is looked at once, however many rows show it,
     * instead of once per row. Outside a batch every load looks at the file again. */
    class KELGUI_EXPORT Batch {
    public:
        Batch();
        ~Batch();

    private:
        Batch(const Batch&);
        Batch& operator=(const Batch&);
    };

    static const int LIST_ICON_SIZE = 32;
};

} // namespace LibKELGUI

#endif
