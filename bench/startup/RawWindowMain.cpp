/* Raw start-up and exit baseline: plain GTK 2 maps one empty window of the editor's size
 * (525 x 350) with the same rc file (KELBENCH_RC), and reports like the start-up host:
 * "E <ns>" at the first expose, "D <ns>" before the window is destroyed (KELBENCH_MODE exit).
 * KELBENCH_CONTENT puts something in the window, for the floor of what the editor shows:
 * "label" one text label (fontconfig's start and one measured text), "grid" a plain table of
 * 7 x 24 toggle buttons with the lock grid's size, name and colours (no text). */
#include <gtk/gtk.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static int g_Fd = -1;
static int g_Exit = 0;
static GtkWidget* g_Window = NULL;
static int g_Exposed = 0;

/* Phase times for profiling (KELBENCH_VERBOSE), as in the start-up host. */
static void Phase(const char* name)
{
    static gint64 last = 0;
    gint64 now = g_get_monotonic_time();
    const char* start = getenv("KELBENCH_START_NS");
    if (!last && start)
        last = atoll(start) / 1000;
    if (getenv("KELBENCH_VERBOSE") && last)
        fprintf(stderr, "%-12s %7.2f ms\n", name, (now - last) / 1000.0);
    last = now;
}

static void Report(char what)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    char line[64];
    int n = snprintf(line, sizeof line, "%c %lld\n", what, (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec);
    if (g_Fd >= 0 && write(g_Fd, line, n) != n)
        _exit(3);
}

static void AddContent(const char* content)
{
    if (!content)
        return;
    if (strcmp(content, "label") == 0) {
        gtk_container_add(GTK_CONTAINER(g_Window), gtk_label_new("Shell Lock Settings"));
    } else if (strcmp(content, "grid") == 0) {
        GdkColor freeColour = {0, 0xCC00, 0xCC00, 0x9900};
        GdkColor lockedColour = {0, 0x6600, 0x9A00, 0xCC00};
        GdkColor hoverColour = {0, 0xB800, 0xD000, 0xE800};
        GtkWidget* table = gtk_table_new(7, 26, TRUE);
        for (int day = 0; day < 7; ++day)
            for (int hour = 0; hour < 24; ++hour) {
                GtkWidget* b = gtk_toggle_button_new();
                gtk_widget_set_name(b, "admin-calendar-button.GtkToggleButton");
                gtk_widget_set_size_request(b, 17, 18);
                gtk_widget_modify_bg(b, GTK_STATE_NORMAL, &freeColour);
                gtk_widget_modify_bg(b, GTK_STATE_SELECTED, &lockedColour);
                gtk_widget_modify_bg(b, GTK_STATE_ACTIVE, &lockedColour);
                gtk_widget_modify_bg(b, GTK_STATE_PRELIGHT, &hoverColour);
                guint column = hour < 8 ? hour : hour < 16 ? 1 + hour : 2 + hour;
                gtk_table_attach_defaults(GTK_TABLE(table), b, column, column + 1, day, day + 1);
            }
        GtkWidget* align = gtk_alignment_new(0, 0, 0, 0);
        gtk_container_add(GTK_CONTAINER(align), table);
        gtk_container_add(GTK_CONTAINER(g_Window), align);
    }
}

static gboolean Close(gpointer)
{
    Report('D');
    gtk_widget_destroy(g_Window);
    return FALSE;
}

static void OnEvent(GdkEvent* event, gpointer)
{
    gtk_main_do_event(event);
    if (!g_Exposed && event->type == GDK_EXPOSE && g_Window && g_Window->window &&
        gdk_window_get_toplevel(event->expose.window) == g_Window->window) {
        g_Exposed = 1;
        Report('E');
        Phase("expose");
        if (!g_Exit)
            _exit(0);
        g_idle_add(Close, NULL);
    }
}

int main(int argc, char** argv)
{
    const char* fd = getenv("KELBENCH_FD");
    g_Fd = fd ? atoi(fd) : -1;
    const char* mode = getenv("KELBENCH_MODE");
    g_Exit = mode && strncmp(mode, "exit", 4) == 0;
    Phase("main");
    if (!gtk_init_check(&argc, &argv))
        return 1;
    Phase("gtk_init");
    gdk_event_handler_set(OnEvent, NULL, NULL);
    const char* rc = getenv("KELBENCH_RC");
    if (rc && *rc)
        gtk_rc_parse(rc);
    g_Window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(g_Window), 525, 350);
    g_signal_connect(g_Window, "destroy", G_CALLBACK(gtk_main_quit), NULL);
    AddContent(getenv("KELBENCH_CONTENT"));
    gtk_widget_show_all(g_Window);
    Phase("show");
    gtk_main();
    return 0;
}
