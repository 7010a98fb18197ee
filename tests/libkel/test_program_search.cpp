/* The program search over a machine's folders laid out as Debian lays them out: the session's
 * commands, field codes, other desktops' entries, icon themes, folders that are no menu. */
#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../../libkel/src/ProgramSearch.h"
#include "KelTest.h"

using namespace IPCAPI;

TEST(ProgramSearch, AWholeTreeListsWhatTheClassroomDesktopWouldShowWithItsThemesIcons)
{
    const std::string r = keltest::Root(), apps = r + "/usr/share/applications/", icons = r + "/usr/share/icons/";
    auto entry = [](const std::string& path, const std::string& name, const std::string& rest) {
        keltest::WriteFile(path, "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + rest + "\n");
    };
    auto theme = [&](const std::string& name, const std::string& head, const std::string& dirs) {
        keltest::WriteFile(icons + name + "/index.theme", "[Icon Theme]\nName=" + name + "\n" + head + dirs);
    };
    for (const char* program : {"/usr/games/kel-mathgame", "/usr/bin/kel-fractions"}) {
        keltest::WriteFile(r + program, "#!/bin/sh\n");
        chmod((r + program).c_str(), 0755);
    }
    entry(apps + "fractions.desktop", "Fraction Trainer",
          "kel-fractions -qwindowtitle %c %i %k %u\nIcon=kel-fractions");
    entry(apps + "mathgame.desktop", "Math Game (system)", "kel-mathgame");
    entry(r + "/usr/local/share/applications/mathgame.desktop", "Math Game (local)", "kel-mathgame\nIcon=kel-mathgame");
    entry(r + "/usr/share/keys/applications/mathgame.desktop", "Math Game (copy)", "kel-mathgame");
    entry(r + "/usr/local/share/applications/removed.desktop", "Removed", "kel-mathgame\nHidden=true");
    entry(apps + "removed.desktop", "Removed (system)", "kel-mathgame");
    entry(apps + "notes.desktop", "Notes", "kel-mathgame --notes\nOnlyShowIn=GNOME;KEL;\nIcon=kel-notes");
    entry(apps + "xfce-settings.desktop", "Xfce Settings", "kel-mathgame\nOnlyShowIn=XFCE;");
    entry(apps + "not-here.desktop", "Not Here", "kel-mathgame\nNotShowIn=KDE;KEL;");
    entry(apps + "wrapped.desktop", "Wrapped", "/usr/bin/env LANG=C kel-mathgame\nIcon=kel-term");
    entry(apps + "wrapped-missing.desktop", "Wrapped Missing", "/usr/bin/env LANG=C kel-missing");
    entry(apps + "shell-missing.desktop", "Shell Missing", "/bin/sh -c \"exec kel-missing --x\"");
    entry(r + "/etc/xdg/autostart/daemon.desktop", "Daemon", "kel-mathgame");
    entry(r + "/usr/share/xsessions/session.desktop", "Session", "kel-mathgame");
    /* The caller's theme before its parent, Adwaita, then hicolor; in hicolor 64 beats 32. */
    keltest::WriteFile(r + getpwuid(getuid())->pw_dir + "/.config/gtk-3.0/settings.ini",
                       "[Settings]\ngtk-icon-theme-name=KelSchool\n");
    theme("KelSchool", "Inherits=KelBase\n", "Directories=16x16/apps\n[16x16/apps]\nSize=16\nType=Fixed\n");
    theme("KelBase", "", "Directories=48x48/apps\n[48x48/apps]\nSize=48\n");
    theme("Adwaita", "", "Directories=48x48/legacy,48x48@2/legacy\n[48x48/legacy]\nSize=48\n"
                         "[48x48@2/legacy]\nSize=48\nScale=2\n");
    theme("hicolor", "", "Directories=32x32/apps,64x64/apps\n[32x32/apps]\nSize=32\n[64x64/apps]\nSize=64\n");
    for (const char* icon : {"KelSchool/16x16/apps/kel-mathgame", "Adwaita/48x48/legacy/kel-mathgame",
                             "KelBase/48x48/apps/kel-notes", "Adwaita/48x48/legacy/kel-term",
                             "hicolor/32x32/apps/kel-fractions", "hicolor/64x64/apps/kel-fractions"})
        keltest::WritePng(icons + icon + ".png");

    std::vector<FoundProgram> found;
    CProgramSearch search(ProgramSearchEnvironment::FromVariables(true), nullptr);
    ASSERT_EQ(CProgramSearch::DONE, search.Run(r, found));
    std::string listed;
    for (const FoundProgram& p : found)
        listed += p.name + "|" + p.command + "|" + p.icon.substr(std::min(p.icon.size(), icons.size())) + "\n";
    EXPECT_EQ("Fraction Trainer|" + r + "/usr/bin/kel-fractions -qwindowtitle 'Fraction Trainer' --icon " +
                  "kel-fractions " + apps + "fractions.desktop|hicolor/64x64/apps/kel-fractions.png\n"
                  "Math Game (local)|" + r + "/usr/games/kel-mathgame|KelSchool/16x16/apps/kel-mathgame.png\n"
                  "Notes|" + r + "/usr/games/kel-mathgame --notes|KelBase/48x48/apps/kel-notes.png\n"
                  "Wrapped|/usr/bin/env LANG=C kel-mathgame|Adwaita/48x48/legacy/kel-term.png\n",
              listed);
    /* Once per ID (the copies of Math Game are not counted); of two reasons equally frequent
     * the missing program is told. */
    EXPECT_EQ(", skipped 5 not-installed 2", search.Skipped().ResultSuffix());
}
