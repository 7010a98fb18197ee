/* The shared icon cache: a list fill looks at each file once, and a file changed on disk is shown anew afterwards. */
#include <gtest/gtest.h>

#include "CIconCache.h"
#include "KelTest.h"

using LibKELGUI::CIconCache;

TEST(IconCache, ChangedFileIsDecodedAgainOnceTheBatchEnds)
{
    const std::string path = keltest::Root() + "/icons/a.png";
    const std::string late = keltest::Root() + "/icons/late.png";
    ASSERT_TRUE(keltest::WritePng(path, 48, 0xff0000ff));
    CIconCache::Clear();
    const unsigned start = CIconCache::DecodeCount();

    GdkPixbuf* first = NULL;
    {
        CIconCache::Batch batch;
        first = CIconCache::TryLoadAtSize(path, 32);
        ASSERT_NE(nullptr, first);
        /* Another picture of another size under the same name, while the list is being filled. */
        ASSERT_TRUE(keltest::WritePng(path, 24, 0x00ff00ff));
        GdkPixbuf* again = CIconCache::TryLoadAtSize(path, 32);
        EXPECT_EQ(first, again) << "one look at the file per batch";
        g_object_unref(again);
        EXPECT_EQ(nullptr, CIconCache::TryLoadAtSize(late, 32));
        ASSERT_TRUE(keltest::WritePng(late));
        EXPECT_EQ(nullptr, CIconCache::TryLoadAtSize(late, 32)) << "a miss holds for the batch";
        {
            CIconCache::Batch inner; /* nested batches are one */
            GdkPixbuf* nested = CIconCache::TryLoadAtSize(path, 32);
            EXPECT_EQ(first, nested);
            g_object_unref(nested);
        }
        EXPECT_EQ(1u, CIconCache::DecodeCount() - start);
    }

    /* Outside a batch every load looks at the file: the changed picture and the new file. */
    GdkPixbuf* changed = CIconCache::TryLoadAtSize(path, 32);
    ASSERT_NE(nullptr, changed);
    EXPECT_NE(first, changed);
    const guchar* pixel = gdk_pixbuf_get_pixels(changed);
    EXPECT_EQ(0x00, pixel[0]) << "the green picture, not the red one";
    EXPECT_EQ(0xff, pixel[1]);
    GdkPixbuf* found = CIconCache::TryLoadAtSize(late, 32);
    EXPECT_NE(nullptr, found);
    EXPECT_EQ(3u, CIconCache::DecodeCount() - start);

    /* The next batch decodes nothing that did not change. */
    {
        CIconCache::Batch batch;
        GdkPixbuf* cached = CIconCache::TryLoadAtSize(path, 32);
        EXPECT_EQ(changed, cached);
        g_object_unref(cached);
    }
    EXPECT_EQ(3u, CIconCache::DecodeCount() - start);
    g_object_unref(first);
    g_object_unref(changed);
    if (found)
        g_object_unref(found);
}
