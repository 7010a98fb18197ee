/* The string and file tools: name validation and its messages, trims, file checks, theme settings. */
#include <gtest/gtest.h>

#include <libintl.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <set>

#include "KELData.h"
#include "KELDataTools.h"
#include "KelTest.h"

using namespace LibKELData;

namespace {
std::string Repeat(const std::string& piece, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}
} // namespace

TEST(DataTools, IsInputValidGivesOneReasonPerRefusal)
{
    /* At most 64 characters, counted in characters of one, two or four bytes. */
    const std::pair<std::string, int> cases[] = {
        {"  Sound & Video  ", CKELDataTools::INPUT_OK}, {Repeat("a", 64), CKELDataTools::INPUT_OK},
        {Repeat("\xC3\xA9", 64), CKELDataTools::INPUT_OK}, {Repeat("\xF0\x9F\x93\x9A", 64), CKELDataTools::INPUT_OK},
        {"", CKELDataTools::INPUT_EMPTY}, {" \t\r\n ", CKELDataTools::INPUT_EMPTY},
        {"Gr\xFC\xDF" "e", CKELDataTools::INPUT_NOT_UTF8}, {"abc\xC3", CKELDataTools::INPUT_NOT_UTF8},
        {"\xC0\xAF", CKELDataTools::INPUT_NOT_UTF8}, {"\xED\xA0\x80", CKELDataTools::INPUT_NOT_UTF8}, /* overlong, surrogate */
        {"Line\nbreak", CKELDataTools::INPUT_CONTROL_CHAR}, {"Tab\there", CKELDataTools::INPUT_CONTROL_CHAR},
        {"C1\xC2\x85", CKELDataTools::INPUT_CONTROL_CHAR}, {"Para\xE2\x80\xA9", CKELDataTools::INPUT_CONTROL_CHAR},
        {"Non\xEF\xBF\xBE", CKELDataTools::INPUT_NOT_STORABLE},
        {"a/b", CKELDataTools::INPUT_FORBIDDEN_CHAR}, {"a\\b", CKELDataTools::INPUT_FORBIDDEN_CHAR},
        {"<b>bold</b>", CKELDataTools::INPUT_FORBIDDEN_CHAR},
        {Repeat("a", 65), CKELDataTools::INPUT_TOO_LONG}, {Repeat("\xC3\xA9", 65), CKELDataTools::INPUT_TOO_LONG},
    };
    std::set<std::string> messages;
    for (const auto& c : cases) {
        std::string message = "stale";
        EXPECT_EQ(c.second, CKELDataTools::IsInputValid(c.first, message)) << c.first;
        EXPECT_EQ(c.second == CKELDataTools::INPUT_OK, message.empty()) << c.first;
        messages.insert(message);
    }
    EXPECT_EQ(7u, messages.size()) << "each reason has its own message";
    std::string message;
    CKELDataTools::IsInputValid(Repeat("x", 65), message);
    EXPECT_NE(std::string::npos, message.find("64"));

    /* Everything IsInputValid accepts can be stored. */
    EXPECT_EQ(1, CKELDataTools::IsStorableText(Repeat("\xF0\x9F\x93\x9A", 64) + " & <x>"));
    EXPECT_EQ(0, CKELDataTools::IsStorableText(std::string("nul\0byte", 8)));
    /* Wherever the odd byte sits in a long ASCII run, it is seen. */
    for (size_t at = 0; at < 20; ++at) {
        std::string text(24, 'a');
        EXPECT_EQ(0, CKELDataTools::IsStorableText(std::string(text).replace(at, 1, "\x01"))) << at;
        EXPECT_EQ(0, CKELDataTools::IsStorableText(std::string(text).replace(at, 1, "\xFF"))) << at;
        EXPECT_EQ(0, CKELDataTools::IsStorableText(std::string(text).replace(at, 1, "\xEF\xBF\xBF"))) << at;
        EXPECT_EQ(1, CKELDataTools::IsStorableText(std::string(text).replace(at, 1, "\xC3\xA9\t~"))) << at;
    }
}

TEST(DataTools, MessagesComeFromTheLibraryDomain)
{
    if (!setlocale(LC_ALL, "de_DE.UTF-8") || system("command -v msgfmt >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "needs de_DE.UTF-8 and msgfmt";
    const std::string dir = keltest::Root() + "/usr/share/locale/de/LC_MESSAGES/";
    ASSERT_TRUE(keltest::WriteFile(dir + "test.po", "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
                                                    "msgid \"Please enter a name.\"\nmsgstr \"Bitte einen Namen eingeben.\"\n"));
    ASSERT_EQ(0, system(("msgfmt -o '" + dir + "libKELData.mo' '" + dir + "test.po'").c_str()));
    setenv("LANGUAGE", "de", 1);
    /* The host's default domain is someone else's; ours must be found anyway. */
    textdomain("somebody-else");
    std::string message;
    EXPECT_EQ(CKELDataTools::INPUT_EMPTY, CKELDataTools::IsInputValid(" ", message));
    EXPECT_EQ("Bitte einen Namen eingeben.", message);
    setlocale(LC_ALL, "C");
}

TEST(DataTools, TrimsAreUtf8Safe)
{
    struct Case {
        std::string in, spaceTrimmed, breaksRemoved;
    } cases[] = {
        {"  \t Grüße \t ", "Grüße", "  \t Grüße \t "},
        {"\r\n Writer \n", "Writer", " Writer "},
        /* Multibyte characters whose last byte is 0x85 or 0xA0 (NEL, NBSP in Latin-1) stay whole. */
        {"\xC4\xA0x\xC4\xA0", "\xC4\xA0x\xC4\xA0", "\xC4\xA0x\xC4\xA0"},
        {" \xE2\x80\x85 ", "\xE2\x80\x85", " \xE2\x80\x85 "},
        {"Fire\r\nfox\nESR\r", "Fire\r\nfox\nESR", "FirefoxESR"},
        {"", "", ""},
        {" \t ", "", " \t "},
    };
    for (const Case& c : cases) {
        std::string text = c.in;
        EXPECT_EQ(0, CKELDataTools::TrimSpaceBeforeAndAfterString(text));
        EXPECT_EQ(c.spaceTrimmed, text) << c.in;
        text = c.in;
        EXPECT_EQ(0, CKELDataTools::TrimEnterCharacterOfString(text));
        EXPECT_EQ(c.breaksRemoved, text) << c.in;
    }
}

TEST(DataTools, FileExistMeansARegularFile)
{
    const std::string dir = keltest::EtcKel();
    ASSERT_TRUE(keltest::WriteFile(dir + "file.png", "x"));
    ASSERT_EQ(0, symlink("file.png", (dir + "link.png").c_str()));
    ASSERT_EQ(0, symlink("missing.png", (dir + "dangling.png").c_str()));
    const std::pair<std::string, int> cases[] = {{dir + "file.png", 1}, {dir + "link.png", 1}, {dir + "dangling.png", 0},
                                                 {dir + "missing.png", 0}, {dir, 0}, {"", 0}, {"/dev/null", 0}};
    for (const auto& c : cases)
        EXPECT_EQ(c.second, CKELDataTools::FileExist(c.first)) << c.first;
}

TEST(DataTools, GetCurrentThemeNameReadsTheThemeSettings)
{
    const std::string path = keltest::EtcKel() + "KELTheme.xml";
    std::string theme = "x", font = "x", other = "x";
    EXPECT_LT(CKELDataTools::GetCurrentThemeName(theme, font, other), 0);
    EXPECT_EQ("", theme + font + other);
    ASSERT_TRUE(keltest::WriteFile(path, "<KELTheme theme=\"Green\" font=\"DejaVu Sans Bold 12\" background=\"/b.png\"/>"));
    ASSERT_EQ(0, CKELDataTools::GetCurrentThemeName(theme, font, other));
    EXPECT_EQ("Green|DejaVu Sans Bold 12|/b.png", theme + "|" + font + "|" + other);
    ASSERT_TRUE(keltest::WriteFile(path, "<KELTheme font=\"Sans 10\"/>"));
    ASSERT_EQ(0, CKELDataTools::GetCurrentThemeName(theme, font, other));
    EXPECT_EQ("Blue|", theme + "|" + other); /* no theme: the default */

    /* Both end up in the user's gtkrc file: no way out of the theme folder or the quotes. */
    for (const char* text : {"<KELTheme theme=\"../../../tmp/evil\" font=\"Sans 10\"/>", "<KELTheme theme=\"..\" font=\"Sans 10\"/>",
                             "<KELTheme theme=\"Blue&#10;include &quot;/tmp/x&quot;\" font=\"Sans 10\"/>",
                             "<KELTheme theme=\"Blue\" font=\"Sans 10&quot;&#10;gtk-theme-name = &quot;x\"/>",
                             "<KELTheme theme=\"Blue\"", "<Theme theme=\"Blue\"/>"}) {
        ASSERT_TRUE(keltest::WriteFile(path, text));
        theme = font = other = "x";
        EXPECT_LT(CKELDataTools::GetCurrentThemeName(theme, font, other), 0) << text;
        EXPECT_EQ("", theme + font + other) << text;
    }
}
