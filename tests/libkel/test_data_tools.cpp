/* The theme settings end up in the user's gtkrc file: what is read must not break out of it.
 * (The name check is fuzzed and tested through the name dialog.) */
#include <gtest/gtest.h>

#include "KELDataTools.h"
#include "KelTest.h"

using namespace LibKELData;

TEST(DataTools, ThemeSettingsCannotLeaveTheThemeFolderOrTheQuotes)
{
    const std::string path = keltest::EtcKel() + "KELTheme.xml";
    std::string theme, font, other;
    ASSERT_TRUE(keltest::WriteFile(path, "<KELTheme font=\"Sans 10\"/>"));
    ASSERT_EQ(0, CKELDataTools::GetCurrentThemeName(theme, font, other));
    EXPECT_EQ("Blue|Sans 10", theme + "|" + font); /* no theme: the default */
    for (const char* text : {"<KELTheme theme=\"../../../tmp/evil\"/>", "<KELTheme theme=\"..\"/>",
                             "<KELTheme theme=\"Blue&#10;include &quot;/tmp/x&quot;\"/>",
                             "<KELTheme theme=\"Blue\" font=\"Sans 10&quot;&#10;gtk-theme-name = &quot;x\"/>"}) {
        ASSERT_TRUE(keltest::WriteFile(path, text));
        theme = font = other = "x";
        EXPECT_LT(CKELDataTools::GetCurrentThemeName(theme, font, other), 0) << text;
        EXPECT_EQ("", theme + font + other) << text;
    }
}
