/* Start-up host of the teacher's console: opens, as kel-teacher does (threads, GTK, the user's
 * theme, Init, show, main loop), either the console or, as the baseline, the console's Shell
 * Settings window, and reports to the benchmark through the pipe in KELBENCH_FD:
 *   "E <ns>"  first Expose of a window inside the toplevel (CLOCK_MONOTONIC)
 *   "O <ns>"  console only: the rows of students l0 .. l<KELBENCH_STUDENTS - 1> show them online
 * KELBENCH_MODE: console or settings. Ends by itself after its last report (30 s at most). */
#include <gtk/gtk.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "CShellSettingCtrlForShellController.h"
#include "CTeacherConsole.h"
#include "CUtility.h"
#include "KELGuiCommon.h"

namespace {

int g_Fd = -1;
int g_Students = 0;
GtkWidget* g_Top = nullptr;
CTeacherConsole* g_Console = nullptr;
bool g_Exposed = false;

void Report(char what)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    char line[64];
    int n = snprintf(line, sizeof line, "%c %lld\n", what, (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec);
    if (g_Fd >= 0 && write(g_Fd, line, n) != n)
        _exit(3);
}

/* Every 5 ms until the class is shown online; the pipe's reader takes the missing line as a failure. */
gboolean CountOnline(gpointer)
{
    static int polls = 0;
    int online = 0;
    for (int i = 0; i < g_Students; ++i)
        online += g_Console->RowText("l" + std::to_string(i), CTeacherConsole::COL_ONLINE) == LibKELGUI::Tr("Online");
    if (online < g_Students && ++polls < 6000)
        return TRUE;
    if (online >= g_Students)
        Report('O');
    _exit(0);
}

void OnEvent(GdkEvent* event, gpointer)
{
    gtk_main_do_event(event);
    if (g_Exposed || event->type != GDK_EXPOSE || !g_Top || !g_Top->window ||
        gdk_window_get_toplevel(event->expose.window) != g_Top->window)
        return;
    g_Exposed = true;
    Report('E');
    if (!g_Console)
        _exit(0);
    gdk_threads_add_timeout(5, CountOnline, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    const char* fd = getenv("KELBENCH_FD");
    g_Fd = fd ? atoi(fd) : -1;
    const char* students = getenv("KELBENCH_STUDENTS");
    g_Students = students ? atoi(students) : 0;
    std::string mode = getenv("KELBENCH_MODE") ? getenv("KELBENCH_MODE") : "console";

    gdk_threads_init();
    if (!gtk_init_check(&argc, &argv))
        return 1;
    gdk_event_handler_set(OnEvent, nullptr, nullptr);
    LibKELGUI::CUtility::ParseRCFile();
    gdk_threads_enter();
    LibKELGUI::CShellSettingCtrlForShellController* settings = nullptr;
    if (mode == "settings") {
        settings = new LibKELGUI::CShellSettingCtrlForShellController;
        settings->Init();
        g_Top = settings->GetWindow();
        settings->Show();
    } else {
        g_Console = new CTeacherConsole;
        g_Console->Init();
        g_Top = g_Console->GetWindow();
        gtk_widget_show_all(g_Top);
    }
    gtk_main();
    gdk_threads_leave();
    return 0;
}
