/* The shipped sample root: every image the windows name is there and loads, and the copy
 * the tests and the demo use points its policies into itself. */
#include <gtest/gtest.h>

#include <string>

#include "KELConstants.h"
#include "KelTest.h"

using namespace LibKELData;

namespace {

void ExpectImage(const std::string& path, int width, int height)
{
    GError* error = NULL;
    GdkPixbuf* pb = gdk_pixbuf_new_from_file(path.c_str(), &error);
    ASSERT_TRUE(pb) << path << ": " << (error ? error->message : "");
    EXPECT_EQ(width, gdk_pixbuf_get_width(pb)) << path;
    EXPECT_EQ(height, gdk_pixbuf_get_height(pb)) << path;
    g_object_unref(pb);
}

} // namespace

TEST(SampleData, ImagesTheWindowsNameAreShippedAndLoad)
{
    keltest::CopySampleRoot();
    ExpectImage(KEL_IMAGE_APP_DEFAULT_ICON, 48, 48);
    ExpectImage(KEL_SHELL_CONTROLLER_ICON, 48, 48);
    ExpectImage(KEL_ADMIN_TOOL_ICON, 48, 48);
    ExpectImage(KEL_RESOURCE_IMAGE_PATH + "sc_locked.png", 16, 16);
    ExpectImage(KEL_RESOURCE_IMAGE_PATH + "sc_unlocked.png", 16, 16);
    ExpectImage(KEL_RESOURCE_IMAGE_PATH + "About_BG.png", 350, 230);
    const char* icons[] = {"internet", "office", "education", "graphics", "accessories", "games",
                           "science", "music", "video", "programming", "math", "language",
                           "browser", "writer", "calc", "impress", "paint", "calculator",
                           "texteditor", "terminal", "files", "atlas", "chemistry", "typing"};
    for (const char* icon : icons)
        ExpectImage(ICON_PATH + icon + ".png", 48, 48);
    EXPECT_TRUE(g_file_test((KEL_RESOURCE_THEME_PATH + KEL_DEFAULT_THEME + KEL_GTKRC_FILE).c_str(),
                            G_FILE_TEST_IS_REGULAR));
}

TEST(SampleData, InstalledPrefixIsRewrittenOnceAndEscaped)
{
    const std::string xml = "<App icon=\"/etc/KEL/icons/a.png\" path=\"/usr/bin/a\">/etc/KEL/image/b.png</App>";
    EXPECT_EQ("<App icon=\"/tmp/r&amp;d/etc/KEL/icons/a.png\" path=\"/usr/bin/a\">/tmp/r&amp;d/etc/KEL/image/b.png</App>",
              keltest::RewriteEtcKelPrefix(xml, "/tmp/r&d/etc/KEL/"));
    /* The new prefix itself ends in /etc/KEL/: it must not be rewritten again. */
    EXPECT_EQ("/s/etc/KEL/x /s/etc/KEL/y", keltest::RewriteEtcKelPrefix("/etc/KEL/x /etc/KEL/y", "/s/etc/KEL/"));

    /* Every policy in the sandbox copy names paths inside the sandbox. */
    keltest::CopySampleRoot();
    GDir* dir = g_dir_open(keltest::EtcKel().c_str(), 0, NULL);
    ASSERT_TRUE(dir);
    while (const gchar* name = g_dir_read_name(dir)) {
        if (!g_str_has_suffix(name, ".xml"))
            continue;
        std::string text = keltest::ReadFile(keltest::EtcKel() + name);
        for (size_t at = text.find("/etc/KEL/"); at != std::string::npos; at = text.find("/etc/KEL/", at + 1))
            EXPECT_TRUE(at >= keltest::Root().size() &&
                        text.compare(at - keltest::Root().size(), keltest::Root().size(), keltest::Root()) == 0)
                << name << " still names an installed path";
    }
    g_dir_close(dir);
}
