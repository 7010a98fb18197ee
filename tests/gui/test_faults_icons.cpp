/* Pictures that would take gigabytes and minutes to decode, files that only pretend to be pictures, and
 * traps in a picture's place: lists show the default icon or no picture. */
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "CIconCache.h"
#include "KELConstants.h"
#include "KelTest.h"

using LibKELGUI::CIconCache;

TEST(IconFaults, OversizedPicturesAreNeverDecoded)
{
    /* A valid PNG just larger than any picture decoded: kilobytes on disk, 67 MB of pixels. */
    const std::string bomb = keltest::Root() + "/bomb.png";
    ASSERT_TRUE(keltest::WritePng(bomb, CIconCache::MAX_DECODED_SIDE + 1, 0));
    keltest::CopySampleRoot();
    EXPECT_EQ(nullptr, CIconCache::Decode(bomb, 32));
    EXPECT_EQ(nullptr, CIconCache::Decode(bomb, 0));
    GdkPixbuf* shown = CIconCache::LoadAtSize(bomb, 32);
    GdkPixbuf* expected = CIconCache::LoadAtSize(LibKELData::KEL_IMAGE_APP_DEFAULT_ICON, 32);
    ASSERT_NE(nullptr, expected);
    EXPECT_EQ(expected, shown) << "the list shows the default icon instead";
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
    /* An ordinary picture is scaled with its aspect kept. */
    const std::string wide = keltest::Root() + "/wide.png";
    GdkPixbuf* source = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 64, 16);
    gdk_pixbuf_fill(source, 0x336699ff);
    ASSERT_TRUE(gdk_pixbuf_save(source, wide.c_str(), "png", NULL, NULL));
    g_object_unref(source);
    GdkPixbuf* scaled = CIconCache::Decode(wide, 32);
    ASSERT_NE(nullptr, scaled);
    EXPECT_EQ(8, gdk_pixbuf_get_height(scaled));
    g_object_unref(scaled);
}

TEST(IconFaults, OnlyPicturesTheirNameAndFirstBytesAgreeOnAreDecodedAndReadingStopsAtTheirEnd)
{
    const std::string dir = keltest::Root() + "/pics/";
    const std::string xpm = "/* XPM */\nstatic char* x[] = {\"1 1 1 1\", \"a c #ff0000\", \"a\"};\n";
    const std::string svg = "<?xml version='1.0'?>\n<svg xmlns='http://www.w3.org/2000/svg' width='8' height='8'/>";
    ASSERT_TRUE(keltest::WritePng(dir + "real.png", 1));
    const std::string png = keltest::ReadFile(dir + "real.png");
    const struct { const char* name; std::string bytes; bool decoded; } cases[] = {
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
        g_clear_object(&pb);
    }
    /* A picture followed by a terabyte (sparse): read to its end chunk only. Without an end
     * chunk within the byte cap it is refused there; reading on would outlast the test. */
    for (const char* name : {"REAL.PNG", "no-end.png"}) {
        ASSERT_EQ(0, truncate((dir + name).c_str(), (off_t)1 << 40));
        GdkPixbuf* pb = CIconCache::Decode(dir + name, 32);
        EXPECT_EQ(std::string(name) == "REAL.PNG", pb != NULL) << name;
        g_clear_object(&pb);
    }
    /* Endless, blocking or no file at all in a picture's place. */
    ASSERT_EQ(0, symlink("/dev/zero", (dir + "zero.png").c_str()));
    ASSERT_EQ(0, mkfifo((dir + "fifo.png").c_str(), 0644));
    ASSERT_TRUE(keltest::MakeDirs(dir + "folder.png"));
    for (const char* name : {"zero.png", "fifo.png", "folder.png", "none.png"})
        EXPECT_EQ(nullptr, CIconCache::Decode(dir + name, 32)) << name;
}
