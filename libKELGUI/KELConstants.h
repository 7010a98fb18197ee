/* Names of the product's directories, files, images, styles and events, shared by every program. */
#ifndef KEL_CONSTANTS_H
#define KEL_CONSTANTS_H

#include <string>

#include "KELPaths.h"

namespace LibKELData {

/* The policy folder, its file names, LOCALEDIR, the theme folder and KEL_ROOT come from KELPaths.h. */
static const std::string KEL_LIB_GUI = "libKELGUI";
static const std::string KEL_RESOURCE_IMAGE_PATH = CONFIG_FILE_DIR + "image/";
static const std::string KEL_IMAGE_APP_DEFAULT_ICON = KEL_RESOURCE_IMAGE_PATH + "gui_default_app.png";
static const std::string KEL_SHELL_CONTROLLER_ICON = KEL_RESOURCE_IMAGE_PATH + "shellcontroller_main.png";
static const std::string KEL_ADMIN_TOOL_ICON = KEL_RESOURCE_IMAGE_PATH + "admintool_main.png";
static const std::string ICON_PATH = detail::Rooted("/etc/KEL/icons/");
static const std::string KEL_GTKRC_FILE = "/gtkrc";
static const std::string KEL_RC_HOMEDIR = "/.kel";
static const std::string KEL_RC_PARSE_FILE = "/gtkrc-2.0";
static const std::string KEL_STYLE_FONT_WHITE = "font-white";
static const std::string KEL_STYLE_LABEL_FONT = "label-font";
static const std::string KEL_STYLE_BUTTON_PANEL = "button-panel.GtkEventBox";
static const std::string KEL_STYLE_SMALL_BUTTON = "small-button";
static const std::string KEL_STYLE_LINK_BUTTON = "link-button";

/* Programs of the product. */
static const std::string KEL_BIN_PATH = detail::Rooted("/usr/bin/KEL/");
static const std::string KEL_BIN_TABNAVIGATION = "TabNavigation";
static const std::string KEL_BIN_TEACHER_SELECTION = "TeacherSelection";
static const std::string KEL_BIN_STUDENT_INFO = "StudentInformation";
static const std::string KEL_BIN_FAVORITE_EDITOR = "TabNaviFavoriteEditor";
static const std::string KEL_BIN_ADMINISTRATOR_TOOLS = "";
static const std::string KEL_BIN_THEME_SETTING = "TabNaviUISetting";
static const std::string KEL_BIN_TASK_MANAGER = "TaskManager";
static const std::string KEL_BIN_ABOUT = "About";
static const std::string KEL_BIN_KELSWITCHAPP = "KELSwitchApp";
static const std::string KEL_BIN_VOLUMECONTROLLER = "VolumeController";
static const std::string KEL_BIN_TASK_SWITCH = "TaskSwitch";
static const std::string KEL_BIN_SHELL_CONTROLLER = "ShellController";
static const std::string KEL_BIN_CALENDAR = "KELCalendar";
static const std::string KEL_BIN_ADMIN_SETTING = "AdministrativeSettings";
static const std::string KEL_BIN_CA_TOOL = "CAToolsWindow";
static const std::string KEL_BIN_ADMINPWDCONFIRM = "AdminPwdConfirm";
static const std::string KEL_BIN_FADEOUT_MAKER = "FadeoutMaker";

/* Resource directories. */
static const std::string KEL_RESOURCE_PATH = CONFIG_FILE_DIR + "res/";
static const std::string KEL_RESOURCE_THEME_BACKGROUND_PATH = "Images/";
static const std::string KEL_RESOURCE_FILE = "/gtkrc";
static const std::string IMAGE_PATH = detail::Rooted("/etc/KEL/image/");
static const std::string KEL_RC_PARSE_FILE_BAKPATH = KEL_RESOURCE_THEME_PATH + KEL_RC_PARSE_FILE;

/* User manuals. */
static const std::string KEL_HELP_PATH = detail::Rooted("/usr/share/doc/KEL/");
static const std::string KEL_TAB_NAVI_HELP = "TabNavigation_UserManual.pdf";
static const std::string KEL_ADMIN_SETTING_HELP = "AdministrativeSettings_UserManual.pdf";
static const std::string KEL_SHELL_CONTROLLER_HELP = "ShellController_UserManual.pdf";

/* Program icons. */
static const std::string KEL_TASK_MANAGER_ICON = KEL_RESOURCE_IMAGE_PATH + "taskmanager_main.png";
static const std::string KEL_TASK_MANAGER_ENDPROC_ICON = KEL_RESOURCE_IMAGE_PATH + "taskmanager_endproc.png";
static const std::string KEL_CATOOL_ICON = KEL_RESOURCE_IMAGE_PATH + "catool_main.png";
static const std::string KEL_SWITCHAPPLET_ICON = KEL_RESOURCE_IMAGE_PATH + "switchapplet_main.png";
static const std::string KEL_TABNAVIGATION_ICON = KEL_RESOURCE_IMAGE_PATH + "tabnavigation_main.png";
static const std::string KEL_TEACHER_ICON = KEL_RESOURCE_IMAGE_PATH + "gui_teacher_connected.png";
static const std::string KEL_TEACHER_CONNECT_ICON = KEL_RESOURCE_IMAGE_PATH + "gui_teacher_connected.png";
static const std::string KEL_TEACHER_DISCONNECT_ICON = KEL_RESOURCE_IMAGE_PATH + "gui_teacher_disconnected.png";
static const std::string KEL_STUDENT_ICON = KEL_RESOURCE_IMAGE_PATH + "gui_student.png";

/* Single-instance lock files. */
static const std::string RUNNING_APP_LOCK_PATH = detail::Rooted("/tmp/");
static const std::string KEL_BIN_TABNAVIGATION_LOCKFILE = RUNNING_APP_LOCK_PATH + "TabNavigation.lock";
static const std::string KEL_BIN_TEACHER_SELECTION_LOCKFILE = RUNNING_APP_LOCK_PATH + "TeacherSelection.lock";
static const std::string KEL_BIN_STUDENT_INFO_LOCKFILE = RUNNING_APP_LOCK_PATH + "StudentInformation.lock";
static const std::string KEL_BIN_FAVORITE_EDITOR_LOCKFILE = RUNNING_APP_LOCK_PATH + "TabNaviFavoriteEditor.lock";
static const std::string KEL_BIN_ADMINISTRATOR_TOOLS_LOCKFILE = RUNNING_APP_LOCK_PATH + "AdministrativeTool.lock";
static const std::string KEL_BIN_THEME_SETTING_LOCKFILE = RUNNING_APP_LOCK_PATH + "ThemeSetting.lock";
static const std::string KEL_BIN_SHELLCONTROLLER_LOCKFILE = RUNNING_APP_LOCK_PATH + "ShellController.lock";
static const std::string KEL_BIN_ADMINTOOL_LOCKFILE = RUNNING_APP_LOCK_PATH + "AdminTool.lock";
static const std::string KEL_BIN_TASK_MANAGER_LOCKFILE = RUNNING_APP_LOCK_PATH + "TaskManager.lock";
static const std::string KEL_BIN_CALENDAR_LOCKFILE = RUNNING_APP_LOCK_PATH + "KelCalendar.lock";
static const std::string KEL_BIN_SSD_LOCKFILE = RUNNING_APP_LOCK_PATH + "SSD.lock";
static const std::string KEL_BIN_TSD_LOCKFILE = RUNNING_APP_LOCK_PATH + "TSD.lock";
static const std::string KEL_BIN_TABNAVIUISETTING_LOCKFILE = RUNNING_APP_LOCK_PATH + "TabNaviUISetting.lock";
static const std::string KEL_BIN_TASK_SWITCH_LOCKFILE = RUNNING_APP_LOCK_PATH + "TaskSwitch.lock";
static const std::string KEL_BIN_ADMINPWDCONFIRM_LOCKFILE = RUNNING_APP_LOCK_PATH + "AdminPwdConfirm.lock";
static const std::string KEL_BIN_FADEOUTMAKER_LOCKFILE = RUNNING_APP_LOCK_PATH + "FadeoutMaker.lock";
static const std::string KEL_BIN_SSD_TEMPFILE = RUNNING_APP_LOCK_PATH + "tabnavigation.xml";
static const std::string KEL_BIN_About_LOCKFILE = RUNNING_APP_LOCK_PATH + "About.lock";
static const std::string KEL_BIN_CATOOL_LOCKFILE = RUNNING_APP_LOCK_PATH + "CaTool.lock";
static const std::string KEL_BIN_VOLUMECONTROLLER_LOCKFILE = RUNNING_APP_LOCK_PATH + "VolumeController.lock";
static const std::string KEL_BIN_KELSWITCHAPP_LOCKFILE = RUNNING_APP_LOCK_PATH + "KELSwitchApp.lock";

/* Tray and status images. */
static const std::string TABNAVIGATION_TRAYICON_CONNECTED_LOCK = "connected_locked.png";
static const std::string TABNAVIGATION_TRAYICON_DISCONNECTED_LOCK = "disconnected_locked.png";
static const std::string TABNAVIGATION_TRAYICON_CONNECTED_UNLOCK = "connected_unlocked.png";
static const std::string TABNAVIGATION_TRAYICON_DISCONNECTED_UNLOCK = "disconnected_unlocked.png";
static const std::string TABNAVIGATION_TRAYICON_LOCK = "tabnavigation_trayicon_lock.png";
static const std::string TABNAVIGATION_TRAYICON_UNLOCK = "tabnavigation_trayicon_unlock.png";
static const std::string VOLUME_CONTROLLER_HIGH_VOLUME = IMAGE_PATH + "audio-volume-high.png";
static const std::string VOLUME_CONTROLLER_MEDIUM_VOLUME = IMAGE_PATH + "audio-volume-medium.png";
static const std::string VOLUME_CONTROLLER_LOW_VOLUME = IMAGE_PATH + "audio-volume-low.png";
static const std::string VOLUME_CONTROLLER_MUTE_VOLUME = IMAGE_PATH + "audio-volume-muted.png";
static const std::string STATUS_MENU_SELECT_TEACHER = IMAGE_PATH + "select_teacher.png";
static const std::string STATUS_MENU_SELECT_HELP = IMAGE_PATH + "help.png";
static const std::string STATUS_MENU_SELECT_ABOUT = IMAGE_PATH + "about.png";
static const std::string FAVORITEEDITOR_MAIN_ICON = "favoriteeditor_main.png";
static const std::string TEACHERSELECTION_MAIN_ICON = "teacherselection_main.png";
static const std::string STUDENTINFO_MAIN_ICON = "studentinfo_main.png";
static const std::string UISETTING_MAIN_ICON = "uisetting_main.png";
static const std::string SC_THISCLASS_UNLOCK_DISCONNECT_ICON = "sc_ThisClass_Unlock_Disconnect.png";
static const std::string SC_THISCLASS_UNLOCK_CONNECT_ICON = "sc_ThisClass_Unlock.png";
static const std::string SC_THISCLASS_LOCK_DISCONNECT_ICON = "sc_ThisClass_Lock_Disconnect.png";
static const std::string SC_THISCLASS_LOCK_CONNECT_ICON = "sc_ThisClass_Lock.png";
static const std::string SC_NOTTHISCLASS_UNLOCK_DISCONNECT_ICON = "sc_NotThisClass_Unlock_Disconnect.png";
static const std::string SC_NOTTHISCLASS_UNLOCK_CONNECT_ICON = "sc_NotThisClass_Unlock.png";
static const std::string SC_NOTTHISCLASS_LOCK_DISCONNECT_ICON = "sc_NotThisClass_Lock_Disconnect.png";
static const std::string SC_NOTTHISCLASS_LOCK_CONNECT_ICON = "sc_NotThisClass_Lock.png";
static const std::string TABNAVIGATION_DEFAULT_BACKGROUND = KEL_RESOURCE_THEME_BACKGROUND_PATH + "tabnavigation.png";
static const std::string TABNAVIGATION_TAB_FAVORITE = IMAGE_PATH + "tabnavigation_tab_favorite.png";
static const std::string TASKSWITCH_TASKMANAGER_BUTTON_ICON = IMAGE_PATH + "taskmanager_app.png";

static const std::string KEL_VERSION = "3.0.0.162";

/* Further widget names matched by the theme. */
static const std::string KEL_STYLE_FONT_BLACK = "font-black";
static const std::string KEL_STYLE_TASKSWITCH_BG = "taskswitch-bg";
static const std::string KEL_STYLE_UP_BUTTON = "up-button";
static const std::string KEL_STYLE_DOWN_BUTTON = "down-button";
static const std::string KEL_STYLE_LEFT_BUTTON = "left-button";
static const std::string KEL_STYLE_RIGHT_BUTTON = "right-button";
static const std::string KEL_STYLE_CLOSE_BUTTON = "close-button";

/* Client messages broadcast between the product's programs. */
static const std::string KEL_TABNAVIGATION_CHANGE_BACKGROUND = "kel_tabnavigation_change_background";
static const std::string KEL_TRAY_ICON_CHANGE_BACKGROUND = "kel_tray_icon_change_background";
static const std::string KEL_TABNAVIGATION_LOGOUT = "kel_tabnavigation_logout";
static const std::string KEL_SHOW_EXIT_MENU = "kel_show_exit_menu";
static const std::string KEL_FAVORITEEDIT_CHANGE = "kel_favoriteedit_change";
static const std::string KEL_TRAY_BG_CHANGE_FINISHED = "kel_tray_bg_change_finished";
static const std::string KEL_POWER_BTN_PRESSED = "kel_power_btn_pressed";
static const std::string KEL_BEZEL_BTN_PRESSED = "kel_bezel_btn_pressed";

} // namespace LibKELData

#endif
