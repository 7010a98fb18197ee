/* Pictures that would take gigabytes and minutes to decode, and an icon folder of thousands of files and
 * traps: lists show the default icon or no picture, and the dialogs stay usable. */
#include <gtest/gtest.h>
#include <gio/gio.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "CChangeIconDlg.h"
#include "CIconCache.h"
#include "KELConstants.h"
#include "KelTest.h"
#include "SearchTestHelpers.h"

using LibKELGUI::CIconCache;
using namespace searchtest;

namespace {

guint32 Crc32(const std::string& bytes)
{
    guint32 crc = 0xffffffffu;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void Chunk(std::string& png, const char* type, const std::string& data)
{
    auto be32 = [&png](guint32 v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            png += (char)((v >> shift) & 0xff);
    };
    be32((guint32)data.size());
    std::string body = std::string(type, 4) + data;
    png += body;
    be32(Crc32(body));
}

/* A valid PNG of side x side transparent pixels: some hundred kilobytes on disk, side * side * 4
 * bytes once decoded. */
bool WriteBomb(const std::string& path, guint32 side)
{
    GZlibCompressor* z = g_zlib_compressor_new(G_ZLIB_COMPRESSOR_FORMAT_ZLIB, 9);
    std::string row(1 + side * 4, '\0'), idat;
    char out[65536];
    for (guint32 y = 0; y <= side; ++y) {
        const bool last = y == side;
        const char* in = last ? "" : row.data();
        gsize left = last ? 0 : row.size();
        for (;;) {
            gsize read = 0, written = 0;
            GConverterResult r = g_converter_convert(G_CONVERTER(z), in, left, out, sizeof out,
                                                     last ? G_CONVERTER_INPUT_AT_END : G_CONVERTER_NO_FLAGS, &read,
                                                     &written, NULL);
            if (r == G_CONVERTER_ERROR) {
                g_object_unref(z);
                return false;
            }
            idat.append(out, written);
            in += read;
            left -= read;
            if (r == G_CONVERTER_FINISHED || (!last && left == 0))
                break;
        }
    }
    g_object_unref(z);
    std::string ihdr;
    for (guint32 v : {side, side})
        for (int shift = 24; shift >= 0; shift -= 8)
            ihdr += (char)((v >> shift) & 0xff);
    ihdr += std::string("\x08\x06\x00\x00\x00", 5);
    std::string png("\x89PNG\r\n\x1a\n", 8);
    Chunk(png, "IHDR", ihdr);
    Chunk(png, "IDAT", idat);
    Chunk(png, "IEND", "");
    return keltest::WriteFile(path, png);
}

} // namespace

TEST(IconFaults, OversizedPicturesAreNeverDecoded)
{
    const std::string bomb = keltest::Root() + "/bomb.png";
    ASSERT_TRUE(WriteBomb(bomb, 9000)); /* 324 MB of pixels */
    ASSERT_LT(keltest::ReadFile(bomb).size(), 1024u * 1024);
    keltest::CopySampleRoot();
    const std::string fallback = LibKELData::KEL_IMAGE_APP_DEFAULT_ICON;

    EXPECT_EQ(nullptr, CIconCache::Decode(bomb, 32));
    EXPECT_EQ(nullptr, CIconCache::Decode(bomb, 0));
    EXPECT_EQ(nullptr, CIconCache::TryLoadAtSize(bomb, 32));
    GdkPixbuf* shown = CIconCache::LoadAtSize(bomb, 32);
    GdkPixbuf* expected = CIconCache::LoadAtSize(fallback, 32);
    ASSERT_NE(nullptr, expected);
    EXPECT_EQ(expected, shown) << "the list shows the default icon instead";
    g_object_unref(shown);
    g_object_unref(expected);
    shown = CIconCache::LoadFullSize(bomb);
    expected = CIconCache::LoadFullSize(fallback);
    EXPECT_EQ(expected, shown);
    g_object_unref(shown);
    g_object_unref(expected);

    /* A scalable picture with a huge page is drawn at the size wanted, but not at its own. */
    const std::string svg = keltest::Root() + "/huge.svg";
    ASSERT_TRUE(keltest::WriteFile(svg, "<svg xmlns='http://www.w3.org/2000/svg' width='100000' height='100000'>"
                                        "<rect width='100000' height='100000' fill='red'/></svg>"));
    GdkPixbuf* small = CIconCache::TryLoadAtSize(svg, 32);
    ASSERT_NE(nullptr, small);
    EXPECT_EQ(32, gdk_pixbuf_get_width(small));
    g_object_unref(small);
    EXPECT_EQ(nullptr, CIconCache::Decode(svg, 0));
    /* Ordinary pictures decode as before: scaled with their aspect kept, or at their size. */
    const std::string wide = keltest::Root() + "/wide.png";
    GdkPixbuf* source = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 64, 16);
    gdk_pixbuf_fill(source, 0x336699ff);
    ASSERT_TRUE(gdk_pixbuf_save(source, wide.c_str(), "png", NULL, NULL));
    g_object_unref(source);
    for (int size : {0, 32, 128}) {
        GdkPixbuf* ours = CIconCache::Decode(wide, size);
        GdkPixbuf* gdk = size ? gdk_pixbuf_new_from_file_at_size(wide.c_str(), size, size, NULL)
                              : gdk_pixbuf_new_from_file(wide.c_str(), NULL);
        ASSERT_TRUE(ours && gdk) << size;
        EXPECT_EQ(gdk_pixbuf_get_width(gdk), gdk_pixbuf_get_width(ours)) << size;
        EXPECT_EQ(gdk_pixbuf_get_height(gdk), gdk_pixbuf_get_height(ours)) << size;
        g_object_unref(ours);
        g_object_unref(gdk);
    }
    EXPECT_EQ(nullptr, CIconCache::Decode(keltest::Root() + "/none.png", 32));
    EXPECT_EQ(nullptr, CIconCache::Decode("/etc/passwd", 32));
}

TEST(IconFaults, OnlyPicturesTheirNameAndFirstBytesAgreeOnAreDecodedAndReadingStopsAtTheirEnd)
{
    const std::string dir = keltest::Root() + "/pics/";
    const std::string xpm = "/* XPM */\nstatic char* x[] = {\"1 1 1 1\", \"a c #ff0000\", \"a\"};\n";
    const std::string svg = "<?xml version='1.0'?>\n<svg xmlns='http://www.w3.org/2000/svg' width='8' height='8'/>";
    ASSERT_TRUE(keltest::WritePng(dir + "real.png", 1));
    const std::string png = keltest::ReadFile(dir + "real.png");
    const struct {
        const char* name;
        std::string bytes;
        bool decoded;
    } cases[] = {
        {"real.xpm", xpm, true}, {"REAL.PNG", png, true}, {"real.svg", svg, true},
        {"xpm.png", xpm, false}, /* content sniffing would have decoded it */
        {"png.xpm", png, false}, {"png.svg", png, false}, {"svg.png", svg, false},
        {"png.gif", png, false}, {"png", png, false}, {"empty.png", "", false},
        {"no-end.png", png.substr(0, png.size() - 12), false},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(keltest::WriteFile(dir + c.name, c.bytes));
        GdkPixbuf* pb = CIconCache::Decode(dir + c.name, 0);
        EXPECT_EQ(c.decoded, pb != NULL) << c.name;
        if (pb)
            g_object_unref(pb);
    }
    /* A picture followed by a terabyte (sparse): read to its end chunk only. Without an end
     * chunk within the byte cap it is refused there; reading on would outlast the test. */
    for (const char* name : {"REAL.PNG", "no-end.png"}) {
        ASSERT_EQ(0, truncate((dir + name).c_str(), (off_t)1 << 40));
        GdkPixbuf* pb = CIconCache::Decode(dir + name, 32);
        EXPECT_EQ(std::string(name) == "REAL.PNG", pb != NULL) << name;
        if (pb)
            g_object_unref(pb);
    }
}

TEST(IconFaults, IconFolderOfThousandsOfFilesAndTraps)
{
    const std::string dir = keltest::EtcKel() + "icons";
    ASSERT_TRUE(keltest::WritePng(dir + "/icon.png", 48));
    /* Thousands of entries, cheaply: links to one picture, and files that are no pictures. */
    for (int i = 0; i < 2500; ++i)
        ASSERT_EQ(0, link((dir + "/icon.png").c_str(), (dir + "/i" + std::to_string(i) + ".png").c_str()));
    for (int i = 0; i < 500; ++i)
        ASSERT_TRUE(keltest::WriteFile(dir + "/note" + std::to_string(i) + ".txt", "not a picture"));
    ASSERT_EQ(0, symlink("/dev/zero", (dir + "/zero.png").c_str())); /* endless */
    ASSERT_EQ(0, symlink("nowhere.png", (dir + "/dangling.png").c_str()));
    ASSERT_EQ(0, mkfifo((dir + "/fifo.png").c_str(), 0644));
    ASSERT_TRUE(keltest::MakeDirs(dir + "/folder.png"));
    ASSERT_TRUE(keltest::WriteFile(dir + "/cut.png", keltest::ReadFile(dir + "/icon.png").substr(0, 60)));
    ASSERT_TRUE(keltest::WriteFile(dir + "/name\n\xff\xfe.png", keltest::ReadFile(dir + "/icon.png")));
    ASSERT_TRUE(WriteBomb(dir + "/bomb.png", 9000)); /* shown without its picture */
    const size_t entries = 1 + 2500 + 500 + 7;

    GtkWidget* parent = NewParent();
    int closed = 0;
    LibKELGUI::CChangeIconDlg dlg(dir, "", "Name", "Edit Application");
    dlg.Init();
    ASSERT_EQ(1, dlg.ShowModal(parent, G_CALLBACK(CountClose), &closed));
    keltest::Drain();
    GtkIconView* grid = GTK_ICON_VIEW(keltest::FindByType(dlg.GetWindow(), GTK_TYPE_ICON_VIEW));
    ASSERT_NE(nullptr, grid);
    GtkTreeModel* model = gtk_icon_view_get_model(grid);
    EXPECT_EQ((int)entries, gtk_tree_model_iter_n_children(model, NULL));

    /* The last icon can be chosen, and the dialog closes with it. */
    GtkTreePath* last = gtk_tree_path_new_from_indices((int)entries - 1, -1);
    gtk_icon_view_select_path(grid, last);
    gtk_tree_path_free(last);
    keltest::Click(keltest::FindButtonByLabel(dlg.GetWindow(), "OK"));
    EXPECT_EQ(1, closed);
    std::string name, icon;
    dlg.FetchData(name, icon);
    EXPECT_EQ("Name", name);
    EXPECT_EQ(0u, icon.find(dir + "/"));
    gtk_widget_destroy(parent);
}
