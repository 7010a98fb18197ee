/* Start-up and exit host: opens the administrator tool's Shell Settings window exactly as the
 * demo host does (threads, GTK, the user's theme, Init, Show, main loop, delete), and reports
 * to the benchmark through the pipe in KELBENCH_FD:
 *   "E <ns>"  first Expose of a window inside the toplevel (CLOCK_MONOTONIC)
 *   "D <ns>"  just before the window is destroyed (exit runs only)
 * KELBENCH_MODE: start (ends at once after the first expose), exit, exit-searched (a local
 * search of KELBENCH_SEARCH_DIR has ended first), exit-searching (one is still running). */
#include <gtk/gtk.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "CSearchProgramForAdminTool.h"
#include "CShellSettingForAdminTool.h"
#include "CUtility.h"

using namespace LibKELGUI;

namespace {

/* The Search Program dialog, driven as a user would: folder typed in, Search clicked. */
class BenchSearch : public CSearchProgramForAdminTool {
public:
    BenchSearch()
        : CSearchProgramForAdminTool(1)
    {
    }
    void Start(const char* folder)
    {
        gtk_entry_set_text(GTK_ENTRY(m_pPathEntry), folder);
        OnSearchBtnClicked();
    }
    bool Running() const { return m_OperationNumber != 0; }
};

int g_Fd = -1;
std::string g_Mode = "start";
CShellSettingForAdminTool* g_Window = nullptr;
BenchSearch* g_Search = nullptr;
bool g_Exposed = false;
int g_Polls = 0;

/* Phase times for profiling (KELBENCH_VERBOSE): milliseconds since the previous phase. */
void Phase(const char* name)
{
    static gint64 last = 0;
    gint64 now = g_get_monotonic_time();
    /* The first phase counts from the exec when the caller gave its time (CLOCK_MONOTONIC, ns). */
    const char* start = getenv("KELBENCH_START_NS");
    if (!last && start)
        last = atoll(start) / 1000;
    if (getenv("KELBENCH_VERBOSE") && last)
        fprintf(stderr, "%-12s %7.2f ms\n", name, (now - last) / 1000.0);
    last = now;
}

void Report(char what)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    char line[64];
    int n = snprintf(line, sizeof line, "%c %lld\n", what, (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec);
    if (g_Fd >= 0 && write(g_Fd, line, n) != n)
        _exit(3);
}

void DestroyWindow()
{
    Report('D');
    gtk_widget_destroy(g_Window->GetWindow());
}

/* Waits (bounded: 60 s of 5 ms polls) for the local search to end, then closes the window. */
gboolean WaitSearched(gpointer)
{
    if (g_Search->Running() && ++g_Polls < 12000)
        return TRUE;
    if (getenv("KELBENCH_VERBOSE"))
        fprintf(stderr, "search ended after %d polls of 5 ms\n", g_Polls);
    DestroyWindow();
    return FALSE;
}

gboolean AfterExpose(gpointer)
{
    if (g_Mode == "exit") {
        DestroyWindow();
    } else {
        g_Search = new BenchSearch();
        g_Search->Init();
        g_Search->Show();
        g_Search->Start(getenv("KELBENCH_SEARCH_DIR"));
        if (!g_Search->Running())
            fprintf(stderr, "the local search did not start\n");
        if (g_Mode == "exit-searching")
            DestroyWindow();
        else
            gdk_threads_add_timeout(5, WaitSearched, nullptr);
    }
    return FALSE;
}

void OnEvent(GdkEvent* event, gpointer)
{
    if (!g_Exposed && event->type == GDK_EXPOSE && g_Window && g_Window->GetWindow()) {
        GtkWidget* top = g_Window->GetWindow();
        if (top->window && gdk_window_get_toplevel(event->expose.window) == top->window) {
            g_Exposed = true;
            Report('E');
            Phase("expose");
            if (g_Mode == "start")
                _exit(0);
            gtk_main_do_event(event);
            gdk_threads_add_idle(AfterExpose, nullptr);
            return;
        }
    }
    gtk_main_do_event(event);
}

void OnWindowDestroyed(GtkWidget*, gpointer) { gtk_main_quit(); }

} // namespace

int main(int argc, char** argv)
{
    const char* fd = getenv("KELBENCH_FD");
    g_Fd = fd ? atoi(fd) : -1;
    const char* mode = getenv("KELBENCH_MODE");
    if (mode)
        g_Mode = mode;

    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    if (!g_threads_got_initialized)
        g_thread_init(NULL);
    G_GNUC_END_IGNORE_DEPRECATIONS
    gdk_threads_init();
    Phase("main");
    if (!gtk_init_check(&argc, &argv))
        return 1;
    gdk_event_handler_set(OnEvent, nullptr, nullptr);
    Phase("gtk_init");
    CUtility::ParseRCFile();
    Phase("rc file");

    g_Window = new CShellSettingForAdminTool();
    Phase("construct");
    g_Window->Init();
    Phase("Init");
    GtkWidget* window = g_Window->GetWindow();
    if (!window)
        return 1;
    g_signal_connect(window, "destroy", G_CALLBACK(OnWindowDestroyed), NULL);
    g_Window->Show();
    Phase("Show");

    gdk_threads_enter();
    gtk_main();
    gdk_threads_leave();

    /* As a host closes: the search dialog with the window (a running search is cancelled). */
    delete g_Search;
    delete g_Window;
    return 0;
}
