/* The tools whose answers guard what gets stored: name validation and the theme settings, which
 * end up in the user's gtkrc file. */
#include <gtest/gtest.h>

#include "KELDataTools.h"
#include "KelTest.h"

using namespace LibKELData;

TEST(DataTools, IsInputValidGivesOneReasonPerRefusalCountingCharactersNotBytes)
{
    const std::pair<std::string, int> cases[] = {
        {"  Sound & Video  ", CKELDataTools::INPUT_OK}, {"abc\xC3", CKELDataTools::INPUT_NOT_UTF8},
        {" \t\r\n ", CKELDataTools::INPUT_EMPTY}, {"\xED\xA0\x80", CKELDataTools::INPUT_NOT_UTF8},
        {"Line\nbreak", CKELDataTools::INPUT_CONTROL_CHAR}, {"Para\xE2\x80\xA9", CKELDataTools::INPUT_CONTROL_CHAR},
        {"Non\xEF\xBF\xBE", CKELDataTools::INPUT_NOT_STORABLE}, {"<b>a/b</b>", CKELDataTools::INPUT_FORBIDDEN_CHAR},
        {std::string(65, 'a'), CKELDataTools::INPUT_TOO_LONG},
    };
    for (const auto& c : cases) {
        std::string message = "stale";
        EXPECT_EQ(c.second, CKELDataTools::IsInputValid(c.first, message)) << c.first;
        EXPECT_EQ(c.second == CKELDataTools::INPUT_OK, message.empty()) << c.first;
    }
    std::string message, wide;
    for (int i = 0; i < 64; ++i)
        wide += "\xF0\x9F\x93\x9A";
    EXPECT_EQ(CKELDataTools::INPUT_OK, CKELDataTools::IsInputValid(wide, message));
    EXPECT_EQ(CKELDataTools::INPUT_TOO_LONG, CKELDataTools::IsInputValid(wide + "\xC3\xA9", message));
}

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
