/* The per-user gtkrc file: its exact text, when it is (re)written, restyling running windows, and a hostile
 * user's HOME, links and line breaks. */
#include <gtest/gtest.h>

#include <pwd.h>
#include <cstdlib>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "CUtility.h"
#include "KELConstants.h"
#include "KELData.h"
#include "KelFault.h"
#include "KelTest.h"

using namespace LibKELGUI;

namespace {

std::string RcPath() { return keltest::Home() + "/.kel/gtkrc-2.0"; }
std::string ThemeGtkrc(const std::string& theme) { return keltest::EtcKel() + "theme/" + theme + "/gtkrc"; }

/* The sandbox's home, whoever runs the tests: root's home comes from the password database. */
class Utility : public ::testing::Test {
protected:
    void SetUp() override { CUtility::m_Homedir = keltest::Home(), CUtility::m_RCFilePath = RcPath(); }
};

} // namespace

TEST_F(Utility, RcFileTextHoldsAQuotedFontAndNothingForWhatIsNotSet)
{
    const std::string user = "include \"" + keltest::Home() + "/.gtkrc.mine\"\n\n# -- THEME AUTO-WRITTEN DO NOT EDIT\n";
    CUtility::m_ThemePath = CUtility::m_Font = "";
    EXPECT_EQ(0, CUtility::WriteRCFile());
    EXPECT_EQ(user, keltest::ReadFile(RcPath()));
    /* A quote in a font must not end the string and spoil the rest of the file. */
    CUtility::m_ThemePath = ThemeGtkrc("Blue");
    CUtility::m_Font = "Odd \"Font\\ 9";
    EXPECT_EQ(0, CUtility::WriteRCFile());
    const std::string font = "\"Odd \\\"Font\\\\ 9\"\n";
    EXPECT_EQ("# -- THEME AUTO-WRITTEN DO NOT EDIT\ninclude \"" + ThemeGtkrc("Blue") +
                  "\"\n\nstyle \"user-font\"\n{\n  font_name=" + font + "}\nwidget_class \"*\" style \"user-font\"\n\n" +
                  "gtk-font-name=" + font + user,
              keltest::ReadFile(RcPath()));

    /* The folder was missing and is made private; no temporary file is left beside the file. */
    struct stat st;
    ASSERT_EQ(0, stat((keltest::Home() + "/.kel").c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 0777);
    EXPECT_EQ(1u, keltest::Entries(keltest::Home() + "/.kel").size());
}

TEST_F(Utility, SwitchThemeRestylesRunningWindowsAndRefusesAnUnknownTheme)
{
    ASSERT_TRUE(keltest::WriteFile(ThemeGtkrc("Blue"), "# plain\n"));
    ASSERT_TRUE(keltest::WriteFile(ThemeGtkrc("Calm"), "style \"calm\" { bg[NORMAL] = \"#123456\" }\n"
                                                       "widget \"*calm-box\" style \"calm\"\n"));
    LibKELData::CKELThemeData settings;
    settings.SetThemeName("Blue");
    ASSERT_EQ(0, settings.Save2File(LibKELData::CONFIG_FILE_DIR + LibKELData::KEL_THEME));
    CUtility::ParseRCFile();

    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL), *box = gtk_event_box_new(), *label = gtk_label_new("text");
    gtk_widget_set_name(box, "calm-box");
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
    EXPECT_EQ(0, CUtility::SwitchTheme("Calm", ""));
    EXPECT_TRUE(keltest::PumpUntil(calmBackground));

    /* At once again, within the same second: GTK must still see a changed file. */
    EXPECT_EQ(0, CUtility::SwitchTheme("", "Serif 17"));
    EXPECT_TRUE(keltest::PumpUntil([label] { return keltest::StyleFontPoints(label) == 17.0; }));
    EXPECT_TRUE(calmBackground()) << "an empty theme keeps the current one";

    /* A theme without a folder, or a name leaving the theme folder, changes nothing. */
    const std::string before = keltest::ReadFile(RcPath());
    for (const char* theme : {"Red", "..", "Calm/../Calm", "Calm\n"})
        EXPECT_EQ(CUtility::THEME_UNKNOWN, CUtility::SwitchTheme(theme, "Sans 30")) << theme;
    EXPECT_EQ(ThemeGtkrc("Calm"), CUtility::m_ThemePath);
    EXPECT_EQ("Serif 17", CUtility::m_Font);
    EXPECT_EQ(before, keltest::ReadFile(RcPath()));

    gtk_widget_destroy(window);
}

TEST_F(Utility, LineBreaksAndPlantedLinksNeverLeadTheFileElsewhere)
{
    keltest::LogCapture log;
    const std::string victim = keltest::Root() + "/victim";
    ASSERT_TRUE(keltest::WriteFile(victim, "untouched"));
    ASSERT_TRUE(keltest::MakeDirs(keltest::Home() + "/.kel"));
    ASSERT_EQ(0, symlink(victim.c_str(), RcPath().c_str()));

    /* A line break in any string would let the text after it become rc statements. */
    const std::string home = CUtility::m_Homedir;
    CUtility::m_Homedir = home + "\ninclude \"/etc/evil\"\n";
    EXPECT_EQ(0, CUtility::WriteRCFile());
    CUtility::m_Homedir = home;
    EXPECT_EQ(CUtility::REFUSED, CUtility::SwitchTheme("", "Sans 10\ninclude \"/etc/evil\""));
    struct stat st;
    ASSERT_EQ(0, lstat(RcPath().c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "nothing was written";

    /* The link itself is replaced, never what it points to. */
    EXPECT_EQ(0, CUtility::WriteRCFile());
    ASSERT_EQ(0, lstat(RcPath().c_str(), &st));
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ("untouched", keltest::ReadFile(victim));

    /* A link, a file or a folder where a folder or the file belongs is refused. */
    const std::string elsewhere = keltest::Root() + "/elsewhere";
    ASSERT_TRUE(keltest::MakeDirs(elsewhere));
    ASSERT_EQ(0, symlink(elsewhere.c_str(), (keltest::Home() + "/linked").c_str()));
    ASSERT_TRUE(keltest::WriteFile(keltest::Home() + "/blocked", "a file"));
    ASSERT_TRUE(keltest::MakeDirs(keltest::Home() + "/dir/gtkrc-2.0"));
    for (const char* path : {"/linked/gtkrc-2.0", "/blocked/gtkrc-2.0", "/dir/gtkrc-2.0"}) {
        CUtility::m_RCFilePath = keltest::Home() + path;
        EXPECT_EQ(0, CUtility::WriteRCFile());
    }
    EXPECT_NE(0, access((elsewhere + "/gtkrc-2.0").c_str(), F_OK));
    EXPECT_EQ("a file", keltest::ReadFile(keltest::Home() + "/blocked"));
    EXPECT_EQ(5, keltest::FailureLines(log, {"CUtility::"}));
}

TEST_F(Utility, RootAndSetIdHostsWriteOnlyTheRealUsersOwnHome)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "another user is needed (run the tests as root)";
    /* A student's home: a line break in its name, a link planted where the file goes. */
    const std::string student = keltest::Root() + "/student\nhome", victim = keltest::Root() + "/victim";
    ASSERT_TRUE(keltest::MakeDirs(student + "/.kel"));
    ASSERT_TRUE(keltest::WriteFile(victim, "untouched"));
    ASSERT_EQ(0, symlink(victim.c_str(), (student + "/.kel/gtkrc-2.0").c_str()));
    for (const std::string& path : {student, student + "/.kel", student + "/.kel/gtkrc-2.0"})
        ASSERT_EQ(0, lchown(path.c_str(), 65534, 65534));
    /* A copy of the probe, set-user-id root, for nobody to run. */
    const std::string probe = std::string(KEL_BINARY_DIR) + "/tests/kel_probe", copy = keltest::Root() + "/probe";
    ASSERT_EQ(0, system(("cp '" + probe + "' '" + copy + "' && chmod 4755 '" + copy + "'").c_str()));
    ASSERT_EQ(0, chmod(keltest::Root().c_str(), 0755));
    ASSERT_EQ(0, chmod((keltest::Root() + "/..").c_str(), 0755));
    struct statvfs fs;
    ASSERT_EQ(0, statvfs(copy.c_str(), &fs));
    const std::string rootHome = getpwuid(0)->pw_dir;

    std::string report = keltest::RunInChild([&]() -> std::string {
        std::string why, out, problems;
        if (!keltest::PrivateMounts(why))
            return "SKIP: " + why;
        /* Root's home is a scratch file system here: the real one stays as it is. */
        if (mount("kel-home", rootHome.c_str(), "tmpfs", 0, "size=64k,mode=0700") != 0)
            return "SKIP: tmpfs over root's home";
        /* Root with the student's environment (sudo -E). */
        if (keltest::RunProgram({probe, "rc"}, {"HOME=" + student}, out) != 0 ||
            out.find("home=" + rootHome + "\n") == std::string::npos ||
            keltest::ReadFile(rootHome + "/.kel/gtkrc-2.0").find(rootHome + "/.gtkrc.mine") == std::string::npos)
            problems += " root did not write its own home: " + out;
        if (fs.f_flag & ST_NOSUID)
            return problems + " SKIP: the test folder is mounted nosuid";
        /* A set-id host run by nobody, whose home in the password database is no folder of its own. */
        if (!keltest::BecomeNobody(why))
            return problems + " SKIP: " + why;
        if (keltest::RunProgram({copy, "rc"}, {"HOME=" + student}, out) != 0 || out.find("home=\n") == std::string::npos ||
            out.find("no usable home folder") == std::string::npos)
            problems += " the set-id host did not refuse: " + out;
        return problems;
    });
    EXPECT_EQ("untouched", keltest::ReadFile(victim));
    if (report.find("SKIP:") != std::string::npos)
        GTEST_SKIP() << report;
    EXPECT_EQ("", report);
}
