/* The per-user gtkrc file: its exact text, when it is (re)written, and restyling running windows. */
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <libintl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "CUtility.h"
#include "KELConstants.h"
#include "KELData.h"
#include "KelTest.h"

using namespace LibKELGUI;
using LibKELData::CONFIG_FILE_DIR;
using LibKELData::KEL_THEME;

namespace {

std::string RcPath()
{
    return keltest::Home() + "/.kel/gtkrc-2.0";
}

std::string ThemeGtkrc(const std::string& theme)
{
    return keltest::EtcKel() + "theme/" + theme + "/gtkrc";
}

std::string ThemeBlock(const std::string& path)
{
    return "# -- THEME AUTO-WRITTEN DO NOT EDIT\ninclude \"" + path + "\"\n\n";
}

std::string FontBlocks(const std::string& font)
{
    return "style \"user-font\"\n{\n  font_name=\"" + font + "\"\n}\nwidget_class \"*\" style \"user-font\"\n\n" +
           "gtk-font-name=\"" + font + "\"\n";
}

std::string UserBlock()
{
    return "include \"" + keltest::Home() + "/.gtkrc.mine\"\n\n# -- THEME AUTO-WRITTEN DO NOT EDIT\n";
}

void WriteThemeSettings(const std::string& theme, const std::string& font)
{
    LibKELData::CKELThemeData settings;
    settings.SetThemeName(theme);
    settings.SetFont(font);
    ASSERT_TRUE(keltest::MakeDirs(CONFIG_FILE_DIR));
    ASSERT_EQ(0, settings.Save2File(CONFIG_FILE_DIR + KEL_THEME));
}

/* A per-user file whose effect shows once GTK has parsed it. */
const std::string MARKED_RC = "gtk-double-click-time = 1234\n";

bool MarkedRcParsed()
{
    gint time = 0;
    g_object_get(gtk_settings_get_default(), "gtk-double-click-time", &time, NULL);
    return time == 1234;
}

} // namespace

TEST(Utility, RcFileTextForEachThemeAndFontCombination)
{
    const std::string theme = ThemeGtkrc("Blue");
    struct Case {
        std::string theme, font, expected;
    } cases[] = {
        {theme, "Sans 10", ThemeBlock(theme) + FontBlocks("Sans 10") + UserBlock()},
        {"", "DejaVu Serif Bold 12", FontBlocks("DejaVu Serif Bold 12") + UserBlock()},
        {theme, "", ThemeBlock(theme) + UserBlock()},
        {"", "", UserBlock()},
        /* A quote in a font must not end the string and spoil the rest of the file. */
        {theme, "Odd \"Font\\ 9", ThemeBlock(theme) + FontBlocks("Odd \\\"Font\\\\ 9") + UserBlock()},
    };
    for (const Case& c : cases) {
        CUtility::m_ThemePath = c.theme;
        CUtility::m_Font = c.font;
        EXPECT_EQ(0, CUtility::WriteRCFile());
        EXPECT_EQ(c.expected, keltest::ReadFile(RcPath())) << "theme '" << c.theme << "' font '" << c.font << "'";
    }

    /* The folder was missing and is made private; no temporary file is left beside the file. */
    struct stat st;
    ASSERT_EQ(0, stat((keltest::Home() + "/.kel").c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 0777);
    GDir* dir = g_dir_open((keltest::Home() + "/.kel").c_str(), 0, NULL);
    ASSERT_TRUE(dir);
    int entries = 0;
    while (g_dir_read_name(dir))
        ++entries;
    g_dir_close(dir);
    EXPECT_EQ(1, entries);
}

TEST(Utility, FailureToWriteIsLoggedAndLeavesNoPartialFile)
{
    keltest::LogCapture log;
    /* The per-user path below a plain file: its folder can be neither made nor written. */
    ASSERT_TRUE(keltest::WriteFile(keltest::Home() + "/blocked", "a file"));
    CUtility::m_RCFilePath = keltest::Home() + "/blocked/gtkrc-2.0";
    EXPECT_EQ(0, CUtility::WriteRCFile());
    EXPECT_EQ("a file", keltest::ReadFile(keltest::Home() + "/blocked"));

    /* A directory where the file should be is left alone. */
    ASSERT_TRUE(keltest::MakeDirs(keltest::Home() + "/dir/gtkrc-2.0"));
    CUtility::m_RCFilePath = keltest::Home() + "/dir/gtkrc-2.0";
    EXPECT_EQ(0, CUtility::SwitchTheme("Green", "Sans 12"));
    EXPECT_TRUE(g_file_test(CUtility::m_RCFilePath.c_str(), G_FILE_TEST_IS_DIR));

    int failures = 0;
    for (const auto& line : log.Lines())
        if (line.level == 2 && line.text.find("CUtility::WriteRCFile") == 0)
            ++failures;
    EXPECT_EQ(2, failures);
}

TEST(Utility, HomeDirectoryComesFromGLibWhenHomeIsUnset)
{
    if (getenv("KEL_TEST_NO_HOME")) {
        /* The re-run below, loaded without HOME. */
        ASSERT_EQ(nullptr, getenv("HOME"));
        EXPECT_FALSE(CUtility::m_Homedir.empty());
        EXPECT_EQ(g_get_home_dir(), CUtility::m_Homedir);
        EXPECT_EQ(CUtility::m_Homedir + "/.kel/gtkrc-2.0", CUtility::m_RCFilePath);
        return;
    }
    gchar** env = g_get_environ();
    env = g_environ_unsetenv(env, "HOME");
    env = g_environ_setenv(env, "KEL_TEST_NO_HOME", "1", TRUE);
    gchar* self = g_file_read_link("/proc/self/exe", NULL);
    gchar* argv[] = {self, (gchar*)"--gtest_filter=Utility.HomeDirectoryComesFromGLibWhenHomeIsUnset", NULL};
    gint status = -1;
    gchar* out = NULL;
    ASSERT_TRUE(g_spawn_sync(NULL, argv, env, G_SPAWN_DEFAULT, NULL, NULL, &out, NULL, &status, NULL));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    g_free(out);
    g_free(self);
    g_strfreev(env);
}

TEST(Utility, ParseRcFileWritesOnlyAMissingFileAndNothingWithoutThemeSettings)
{
    /* No theme settings file in the sandbox: the lookup fails, nothing is written or parsed. */
    EXPECT_EQ(0, CUtility::ParseRCFile());
    EXPECT_FALSE(g_file_test(RcPath().c_str(), G_FILE_TEST_EXISTS));
    ASSERT_TRUE(keltest::WriteFile(RcPath(), MARKED_RC));
    EXPECT_EQ(0, CUtility::ParseRCFile());
    EXPECT_FALSE(MarkedRcParsed());

    /* An existing file is kept as it is, even though the current theme differs. */
    WriteThemeSettings("Green", "Serif 12");
    EXPECT_EQ(0, CUtility::ParseRCFile());
    EXPECT_EQ(MARKED_RC, keltest::ReadFile(RcPath()));
    EXPECT_EQ(ThemeGtkrc("Blue"), CUtility::m_ThemePath);
    EXPECT_EQ("Sans 10", CUtility::m_Font);
    EXPECT_TRUE(MarkedRcParsed());

    /* A missing one is written from the settings; no font: no font blocks; no theme: the default. */
    struct Case {
        std::string theme, font, expected;
    } const cases[] = {
        {"Green", "Serif 12", ThemeBlock(ThemeGtkrc("Green")) + FontBlocks("Serif 12") + UserBlock()},
        {"", "", ThemeBlock(ThemeGtkrc("Blue")) + UserBlock()},
    };
    for (const Case& c : cases) {
        WriteThemeSettings(c.theme, c.font);
        ASSERT_EQ(0, unlink(RcPath().c_str()));
        EXPECT_EQ(0, CUtility::ParseRCFile());
        EXPECT_EQ(c.expected, keltest::ReadFile(RcPath()));
    }
}

TEST(Utility, SwitchThemeRestylesRunningWindows)
{
    ASSERT_TRUE(keltest::WriteFile(ThemeGtkrc("Blue"), "# plain\n"));
    ASSERT_TRUE(keltest::WriteFile(ThemeGtkrc("Calm"), "style \"calm\" { bg[NORMAL] = \"#123456\" }\n"
                                                       "widget \"*calm-box\" style \"calm\"\n"));
    WriteThemeSettings("Blue", "Sans 10");
    CUtility::ParseRCFile();

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* box = gtk_event_box_new();
    gtk_widget_set_name(box, "calm-box");
    GtkWidget* label = gtk_label_new("text");
    gtk_container_add(GTK_CONTAINER(box), label);
    gtk_container_add(GTK_CONTAINER(window), box);
    gtk_widget_show_all(window);
    keltest::Drain();
    ASSERT_EQ(10.0, keltest::StyleFontPoints(label));
    auto calmBackground = [box] {
        GdkColor c = gtk_widget_get_style(box)->bg[GTK_STATE_NORMAL];
        return c.red >> 8 == 0x12 && c.green >> 8 == 0x34 && c.blue >> 8 == 0x56;
    };
    ASSERT_FALSE(calmBackground());

    /* GTK 2.24 trips over its own style cache (a critical, fatal here) when it re-reads rc
     * files after a re-read that changed gtk-font-name: the font change comes last. */
    CUtility::SwitchTheme("Calm", "");
    EXPECT_TRUE(keltest::PumpUntil(calmBackground));

    /* At once again, within the same second: GTK must still see a changed file. */
    CUtility::SwitchTheme("", "Serif 17");
    EXPECT_TRUE(keltest::PumpUntil([label] { return keltest::StyleFontPoints(label) == 17.0; }));
    EXPECT_TRUE(calmBackground()) << "an empty theme keeps the current one";

    gtk_widget_destroy(window);
}

TEST(Utility, LoadLocalResourceMakesTheDomainTheDefault)
{
    if (!setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "no de_DE.UTF-8 locale";
    /* A catalogue in Latin-1: the text must still come out as UTF-8. */
    std::string dir = LibKELData::LOCALEDIR + "de/LC_MESSAGES/";
    ASSERT_TRUE(keltest::WriteFile(
        dir + "hostdemo.po", std::string("msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=ISO-8859-1\\n\"\n\n"
                                         "msgid \"Close\"\nmsgstr \"Schlie\xdf") +
                                 "en\"\n"));
    std::string cmd = "msgfmt -o '" + dir + "hostdemo.mo' '" + dir + "hostdemo.po'";
    if (system(cmd.c_str()) != 0)
        GTEST_SKIP() << "no msgfmt";

    EXPECT_EQ(0, CUtility::LoadLocalResource("hostdemo"));
    EXPECT_STREQ("hostdemo", textdomain(NULL));
    EXPECT_STREQ("Schlie\u00dfen", gettext("Close"));
    setlocale(LC_ALL, "C");
}
