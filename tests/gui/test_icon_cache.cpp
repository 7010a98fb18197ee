/* The shared icon cache: a list fill looks at each file once, and a file changed on disk is shown anew afterwards. */
#include <gtest/gtest.h>

#include "CIconCache.h"
#include "KelTest.h"

using LibKELGUI::CIconCache;

TEST(IconCache, ChangedFileIsDecodedAgainOnceTheBatchEnds)
{
    const std::string path = keltest::Root() + "/icons/a.png";
    ASSERT_TRUE(keltest::WritePng(path, 48, 0xff0000ff));
    const unsigned start = CIconCache::DecodeCount();
    GdkPixbuf* first = NULL;
    {
        CIconCache::Batch batch;
        first = CIconCache::TryLoadAtSize(path, 32);
        ASSERT_NE(nullptr, first);
        /* Another picture under the same name while the list is being filled: one look per batch. */
        ASSERT_TRUE(keltest::WritePng(path, 24, 0x00ff00ff));
        GdkPixbuf* again = CIconCache::TryLoadAtSize(path, 32);
        EXPECT_EQ(first, again);
        g_object_unref(again);
        EXPECT_EQ(1u, CIconCache::DecodeCount() - start);
    }
    /* Outside a batch the file is looked at again: the green picture, not the red one. */
    GdkPixbuf* changed = CIconCache::TryLoadAtSize(path, 32);
    ASSERT_NE(nullptr, changed);
    const guchar* pixel = gdk_pixbuf_get_pixels(changed);
    EXPECT_TRUE(pixel[0] == 0x00 && pixel[1] == 0xff);
    /* The next batch decodes nothing that did not change. */
    {
        CIconCache::Batch batch;
        GdkPixbuf* cached = CIconCache::TryLoadAtSize(path, 32);
        EXPECT_EQ(changed, cached);
        g_object_unref(cached);
    }
    EXPECT_EQ(2u, CIconCache::DecodeCount() - start);
    g_object_unref(first);
    g_object_unref(changed);
}
