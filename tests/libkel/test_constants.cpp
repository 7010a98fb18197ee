/* The shared constants: their values, the ones built from others, and KEL_ROOT set, empty or unset. */
#include <gtest/gtest.h>

#include <glib.h>

#include "KELConstants.h"
#include "KelTest.h"

using namespace LibKELData;

/* Runs in the sandbox (KEL_ROOT set), then has itself run again in processes where KEL_ROOT is
 * unset or empty: the constants are made when the libraries load, so only a new process shows them. */
TEST(Constants, ValuesAndKelRootSetEmptyOrUnset)
{
    const char* given = getenv("KEL_TEST_EXPECTED_ROOT");
    const std::string r = given ? given : keltest::Root();
    const std::pair<const std::string&, std::string> cases[] = {
        {CONFIG_FILE_DIR, r + "/etc/KEL/"}, {ICON_PATH, r + "/etc/KEL/icons/"}, {IMAGE_PATH, r + "/etc/KEL/image/"},
        {LOCALEDIR, r + "/usr/share/locale/"}, {KEL_BIN_PATH, r + "/usr/bin/KEL/"}, {KEL_HELP_PATH, r + "/usr/share/doc/KEL/"},
        {RUNNING_APP_LOCK_PATH, r + "/tmp/"}, {KEL_BIN_SHELLCONTROLLER_LOCKFILE, r + "/tmp/ShellController.lock"},
        {KEL_RESOURCE_IMAGE_PATH, r + "/etc/KEL/image/"}, {KEL_RESOURCE_THEME_PATH, r + "/etc/KEL/theme/"},
        {KEL_IMAGE_APP_DEFAULT_ICON, r + "/etc/KEL/image/gui_default_app.png"},
        {KEL_SHELL_CONTROLLER_ICON, r + "/etc/KEL/image/shellcontroller_main.png"},
        {KEL_ADMIN_TOOL_ICON, r + "/etc/KEL/image/admintool_main.png"}, {KEL_RESOURCE_PATH, r + "/etc/KEL/res/"},
        {KEL_RC_PARSE_FILE_BAKPATH, r + "/etc/KEL/theme//gtkrc-2.0"},
        {VOLUME_CONTROLLER_MUTE_VOLUME, r + "/etc/KEL/image/audio-volume-muted.png"},
        {TABNAVIGATION_DEFAULT_BACKGROUND, "Images/tabnavigation.png"},
        {LOCK_SCHEDULE, "LockSchedule.xml"}, {SEARCH_RESULT, "SearchResult.xml"}, {TAB_NAVIGATION, "TabNavigation.xml"},
        {KEL_SYSTEM_SETTING, "KELSystemSetting.xml"}, {DEFAULT_CONFIG, "DefaultConfig.xml"}, {KEL_THEME, "KELTheme.xml"},
        {STUDENT_INFO, "StudentInfo.xml"}, {KEL_LIB_GUI, "libKELGUI"}, {KEL_LIB_DATA, "libKELData"},
        {KEL_GTKRC_FILE, "/gtkrc"}, {KEL_RC_HOMEDIR, "/.kel"}, {KEL_RC_PARSE_FILE, "/gtkrc-2.0"}, {KEL_DEFAULT_THEME, "Blue"},
        {KEL_STYLE_FONT_WHITE, "font-white"}, {KEL_STYLE_LABEL_FONT, "label-font"},
        {KEL_STYLE_BUTTON_PANEL, "button-panel.GtkEventBox"}, {KEL_STYLE_SMALL_BUTTON, "small-button"},
        {KEL_STYLE_LINK_BUTTON, "link-button"}, {KEL_BIN_ADMINISTRATOR_TOOLS, ""}, {KEL_VERSION, "3.0.0.162"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.second, c.first);
    if (given || HasFailure())
        return;

    for (const char* root : {static_cast<const char*>(nullptr), ""}) {
        gchar** env = g_get_environ();
        env = root ? g_environ_setenv(env, "KEL_ROOT", root, TRUE) : g_environ_unsetenv(env, "KEL_ROOT");
        env = g_environ_setenv(env, "KEL_TEST_EXPECTED_ROOT", "", TRUE);
        gchar* argv[] = {(gchar*)"/proc/self/exe", (gchar*)"--gtest_filter=Constants.*", nullptr};
        gchar* out = nullptr;
        gint status = -1;
        ASSERT_TRUE(g_spawn_sync(nullptr, argv, env, G_SPAWN_STDERR_TO_DEV_NULL, nullptr, nullptr, &out, nullptr, &status, nullptr));
        EXPECT_TRUE(g_spawn_check_wait_status(status, nullptr)) << (root ? "KEL_ROOT empty\n" : "KEL_ROOT unset\n") << out;
        g_free(out);
        g_strfreev(env);
    }
}
