/* Demo host: opens the library's windows the way the product's host programs do. */
#include <glib/gstdio.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <string>
#include <vector>

#include "CAboutDlg.h"
#include "CAddApplicationWindow.h"
#include "CShellSettingCtrlForShellController.h"
#include "CShellSettingForAdminTool.h"
#include "CKELWindowBase.h"
#include "CUtility.h"
#include "IPCAPI.h"
#include "KELConstants.h"
#include "KELData.h"

using namespace LibKELGUI;

namespace {

CKELWindowBase* NewAbout()
{
    return new CAboutDlg("Shell Controller", "Shell Controller", LibKELData::KEL_SHELL_CONTROLLER_ICON,
                         LibKELData::KEL_VERSION);
}

/* The administrator tool's window as a host that wants the new-student notice switch builds it:
 * the box added after Init and read back before every save or close. */
class DemoAdminSettings : public CShellSettingForAdminTool {
public:
    int Init() override
    {
        int result = CShellSettingForAdminTool::Init();
        GTKShowDlgCheckBox();
        ShowTeacherPolicy();
        return result;
    }
    int OnApply() override
    {
        FetchTeacherPolicy();
        return CShellSettingForAdminTool::OnApply();
    }
    int OnClose() override
    {
        FetchTeacherPolicy();
        return CShellSettingForAdminTool::OnClose();
    }
};

CKELWindowBase* NewAdminSettings()
{
    return new DemoAdminSettings();
}

/* The teacher's console: after an Apply has written the policy files, they go to the class
 * (when this machine has classroom settings); the students answer through the callbacks. */
class CTeacherSettings : public CShellSettingCtrlForShellController {
public:
    int OnApply() override
    {
        int rc = CShellSettingCtrlForShellController::OnApply();
        IPCAPI::IPCTeacherAPI* api = IPCAPI::GetTeacherAPI();
        std::string dir = LibKELData::CONFIG_FILE_DIR, tabs, schedule;
        LibKELData::CTabNavigationData tabRecord;
        LibKELData::CLockScheduleData scheduleRecord;
        int err = 0;
        if (g_file_test((dir + "classroom.conf").c_str(), G_FILE_TEST_EXISTS) &&
            tabRecord.LoadFromFile(dir + LibKELData::TAB_NAVIGATION) == 0 && tabRecord.Save2String(tabs) == 0 &&
            scheduleRecord.LoadFromFile(dir + LibKELData::LOCK_SCHEDULE) == 0 &&
            scheduleRecord.Save2String(schedule) == 0 &&
            (api->DeployTabNavPolicy(tabs, err) != 0 || api->DeploySchedulePolicy(schedule, err) != 0))
            g_printerr("kel-demo: the policy could not be deployed to the class (error %d)\n", err);
        return rc;
    }
};

CKELWindowBase* NewTeacherSettings()
{
    return new CTeacherSettings();
}

/* The administrator tool's Add Application window over the last search's results. */
CKELWindowBase* NewAddApplication()
{
    return new CAddApplicationWindow(false);
}

/* The windows the demo can open, one option each; the first is opened when none is asked for. */
struct DemoWindow {
    const char* option;
    const char* description;
    CKELWindowBase* (*create)();
};

const DemoWindow WINDOWS[] = {
    {"admin", "Open the administrator tool's Shell Settings window (the default)", NewAdminSettings},
    {"teacher", "Open the teacher console's Shell Settings window", NewTeacherSettings},
    {"about", "Open the About box", NewAbout},
    {"add-application", "Open the Add Application window over the last search's results", NewAddApplication},
};
const size_t WINDOW_COUNT = sizeof(WINDOWS) / sizeof(WINDOWS[0]);

/* Longest wait for the window to be drawn before a screenshot gives up. */
const gint64 SCREENSHOT_TIMEOUT_US = 20 * G_USEC_PER_SEC;

struct Demo {
    CKELWindowBase* window = nullptr;
    std::string screenshot;
    bool exposed = false;
    gint64 deadline = 0;
    int status = 0;
};

void OnWindowDestroyed(GtkWidget*, gpointer) { gtk_main_quit(); }

gboolean OnExposed(GtkWidget*, GdkEventExpose*, gpointer data)
{
    static_cast<Demo*>(data)->exposed = true;
    return FALSE;
}

bool SavePng(GtkWidget* window, const std::string& path)
{
    gdk_window_process_all_updates();
    gdk_flush();
    gint width = 0, height = 0;
    gdk_drawable_get_size(window->window, &width, &height);
    GdkPixbuf* shot = gdk_pixbuf_get_from_drawable(NULL, window->window, NULL, 0, 0, 0, 0, width, height);
    if (!shot)
        return false;
    GError* error = NULL;
    gboolean saved = gdk_pixbuf_save(shot, path.c_str(), "png", &error, NULL);
    if (!saved) {
        g_printerr("kel-demo: %s\n", error->message);
        g_error_free(error);
    }
    g_object_unref(shot);
    return saved;
}

/* Runs when the main loop is idle: once the window has been drawn and nothing is left to
 * handle, saves it and closes it, which ends the program. */
gboolean TakeScreenshot(gpointer data)
{
    Demo* demo = static_cast<Demo*>(data);
    GtkWidget* window = demo->window->GetWindow();
    if (!window)
        return FALSE;
    bool ready = demo->exposed && gdk_window_is_viewable(window->window) && !gtk_events_pending();
    if (!ready && g_get_monotonic_time() < demo->deadline)
        return TRUE;
    if (!ready || !SavePng(window, demo->screenshot)) {
        g_printerr("kel-demo: could not save a screenshot to %s\n", demo->screenshot.c_str());
        demo->status = 1;
    }
    demo->window->Close();
    return FALSE;
}

/* The first notebook inside a window, if any. */
GtkWidget* FindNotebook(GtkWidget* widget)
{
    if (GTK_IS_NOTEBOOK(widget))
        return widget;
    if (!GTK_IS_CONTAINER(widget))
        return NULL;
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    GtkWidget* found = NULL;
    for (GList* l = children; l && !found; l = l->next)
        found = FindNotebook(GTK_WIDGET(l->data));
    g_list_free(children);
    return found;
}

} // namespace

/* A switch of theme or font is for this run only unless asked to keep it: the user's rc file
 * is put back as it was (or removed, when there was none) when the demo ends. */
struct RCFileRestorer {
    explicit RCFileRestorer(bool active) : m_Active(active)
    {
        gchar* text = NULL;
        gsize length = 0;
        m_Existed = active && g_file_get_contents(CUtility::m_RCFilePath.c_str(), &text, &length, NULL);
        if (m_Existed)
            m_Text.assign(text, length);
        g_free(text);
    }
    ~RCFileRestorer()
    {
        if (!m_Active)
            return;
        if (m_Existed)
            g_file_set_contents(CUtility::m_RCFilePath.c_str(), m_Text.data(), (gssize)m_Text.size(), NULL);
        else
            g_unlink(CUtility::m_RCFilePath.c_str());
    }
    bool m_Active;
    bool m_Existed = false;
    std::string m_Text;
};

/* The command line. */
struct Options {
    gboolean chosen[WINDOW_COUNT] = {FALSE};
    gchar* theme = NULL;
    gchar* font = NULL;
    gchar* screenshot = NULL;
    gboolean list = FALSE;
    gboolean keep = FALSE;
    gint page = 0;

    std::vector<GOptionEntry> Entries()
    {
        std::vector<GOptionEntry> entries;
        for (size_t i = 0; i < WINDOW_COUNT; ++i)
            entries.push_back({WINDOWS[i].option, 0, 0, G_OPTION_ARG_NONE, &chosen[i], WINDOWS[i].description, NULL});
        entries.push_back({"theme", 0, 0, G_OPTION_ARG_STRING, &theme, "Switch to the theme NAME", "NAME"});
        entries.push_back(
            {"font", 0, 0, G_OPTION_ARG_STRING, &font, "Switch to the font FONT, e.g. \"Sans 12\"", "FONT"});
        entries.push_back({"screenshot", 0, 0, G_OPTION_ARG_FILENAME, &screenshot,
                           "Save a PNG of the window to FILE once it is drawn, then exit", "FILE"});
        entries.push_back({"keep", 0, 0, G_OPTION_ARG_NONE, &keep,
                           "Keep the theme and font switched for later runs (else they are undone at exit)", NULL});
        entries.push_back({"page", 0, 0, G_OPTION_ARG_INT, &page, "Show page N (from 0) of a window with pages", "N"});
        entries.push_back({"list-windows", 0, 0, G_OPTION_ARG_NONE, &list, "List the window options and exit", NULL});
        entries.push_back({NULL, 0, 0, G_OPTION_ARG_NONE, NULL, NULL, NULL});
        return entries;
    }
};

/* Switches to theme and/or font; false when that failed (told). */
bool SwitchLook(const gchar* theme, const gchar* font)
{
    int switched = CUtility::SwitchTheme(theme ? theme : "", font ? font : "");
    if (switched == CUtility::THEME_UNKNOWN)
        g_printerr("kel-demo: there is no theme \"%s\": no folder of that name in %s. The look is unchanged.\n", theme,
                   LibKELData::KEL_RESOURCE_THEME_PATH.c_str());
    else if (switched != 0)
        g_printerr("kel-demo: the theme or font could not be switched (a control character in the font, or the "
                   "file \"%s\" cannot be written; the log tells which). The look is unchanged.\n",
                   CUtility::m_RCFilePath.c_str());
    if (switched != 0)
        return false;
    /* The broadcast reaches the other programs' windows; this one has none yet. */
    gtk_rc_parse(CUtility::m_RCFilePath.c_str());
    return true;
}

/* Shows page (from 0) of a window with pages. */
void ShowPage(GtkWidget* window, int page)
{
    GtkWidget* notebook = FindNotebook(window);
    const int pages = notebook ? gtk_notebook_get_n_pages(GTK_NOTEBOOK(notebook)) : 0;
    if (page < pages)
        gtk_notebook_set_current_page(GTK_NOTEBOOK(notebook), page);
    else
        /* The teacher's window has two pages: say so rather than open another one silently. */
        g_printerr("kel-demo: this window has %d page(s), numbered from 0; no page %d (the teacher's window "
                   "has no System Settings page)\n",
                   pages, page);
}

int main(int argc, char** argv)
{
    /* Threads first, the GTK 2 way: the library's IPC callbacks take the GDK lock. */
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    if (!g_threads_got_initialized)
        g_thread_init(NULL);
    G_GNUC_END_IGNORE_DEPRECATIONS
    gdk_threads_init();

    Options options;
    gboolean* chosen = options.chosen;
    gchar*& theme = options.theme;
    gchar*& font = options.font;
    gchar*& screenshot = options.screenshot;
    std::vector<GOptionEntry> entries = options.Entries();

    /* Listing needs no display. */
    for (int i = 1; i < argc; ++i)
        if (g_strcmp0(argv[i], "--list-windows") == 0) {
            for (size_t w = 0; w < WINDOW_COUNT; ++w)
                printf("%s\n", WINDOWS[w].option);
            return 0;
        }

    GError* error = NULL;
    if (!gtk_init_with_args(&argc, &argv, "- shows the windows of libKELGUI", entries.data(), NULL, &error)) {
        g_printerr("kel-demo: %s\n", error ? error->message : "cannot start GTK");
        return 1;
    }

    /* The user's theme and font, as every host program of the product sets them up. */
    CUtility::ParseRCFile();
    RCFileRestorer restore(!options.keep && ((theme && *theme) || (font && *font)));
    if (((theme && *theme) || (font && *font)) && !SwitchLook(theme, font)) {
        g_free(theme);
        g_free(font);
        g_free(screenshot);
        return 1;
    }

    size_t which = 0;
    for (size_t i = 0; i < WINDOW_COUNT; ++i)
        if (chosen[i]) {
            which = i;
            break;
        }

    Demo demo;
    demo.window = WINDOWS[which].create();
    demo.window->Init();
    GtkWidget* window = demo.window->GetWindow();
    if (!window) {
        g_printerr("kel-demo: the window could not be built\n");
        delete demo.window;
        return 1;
    }
    g_signal_connect(window, "destroy", G_CALLBACK(OnWindowDestroyed), NULL);
    if (screenshot) {
        demo.screenshot = screenshot;
        demo.deadline = g_get_monotonic_time() + SCREENSHOT_TIMEOUT_US;
        g_signal_connect_after(window, "expose-event", G_CALLBACK(OnExposed), &demo);
        /* A window its children cover whole (Add Application) gets no expose of its own. */
        g_signal_connect_after(window, "map-event", G_CALLBACK(OnExposed), &demo);
        gdk_threads_add_idle_full(G_PRIORITY_LOW, TakeScreenshot, &demo, NULL);
    }
    if (options.page > 0)
        ShowPage(window, options.page);
    demo.window->Show();

    gdk_threads_enter();
    gtk_main();
    gdk_threads_leave();

    delete demo.window;
    g_free(theme);
    g_free(font);
    g_free(screenshot);
    return demo.status;
}
