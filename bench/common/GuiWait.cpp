/* First expose through gdk_event_handler_set, and idle: no source ready and no event pending. */
#include "GuiWait.h"

#include <stdio.h>

#include "Harness.h"

namespace kelbench {

namespace {
GdkWindow* g_Exactly = NULL;
GtkWidget* g_Toplevel = NULL;
bool g_Armed = false;
bool g_Caught = false;
double g_ShownAt = 0;

bool Matches(GdkWindow* window)
{
    if (g_Exactly)
        return window == g_Exactly;
    if (g_Toplevel) {
        GdkWindow* top = gtk_widget_get_window(g_Toplevel);
        return top && window && gdk_window_get_toplevel(window) == top;
    }
    return false;
}

/* Every event passes through here. An expose is handed to GTK first, so that the time taken
 * is that of the content painted, then compared with what is watched. GDK also delivers the
 * exposes of its client-side child windows (a tree view's rows) through this hook. */
void Hook(GdkEvent* event, gpointer)
{
    gtk_main_do_event(event);
    if (g_Armed && !g_Caught && event->type == GDK_EXPOSE && Matches(event->expose.window)) {
        g_Caught = true;
        g_ShownAt = NowMs();
    }
}

/* One main loop iteration; GDK's event source takes the lock itself. */
bool Iterate(bool mayBlock)
{
    gdk_threads_leave();
    bool dispatched = g_main_context_iteration(NULL, mayBlock ? TRUE : FALSE);
    gdk_threads_enter();
    return dispatched;
}

gboolean Timeout(gpointer flag)
{
    *static_cast<bool*>(flag) = true;
    return FALSE;
}
} // namespace

bool StartGtk(int* argc, char*** argv)
{
    /* GDK's lock from the start, held by the main thread outside the main loop, as in a GTK 2
     * host: the library's windows turn it on, and GTK calls such as gtk_events_pending
     * release and take it again. */
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    if (!g_threads_got_initialized)
        g_thread_init(NULL);
    G_GNUC_END_IGNORE_DEPRECATIONS
    gdk_threads_init();
    if (!gtk_init_check(argc, argv))
        return false;
    gdk_threads_enter();
    gdk_event_handler_set(Hook, NULL, NULL);
    return true;
}

void ArmExpose(GdkWindow* exactly)
{
    g_Exactly = exactly;
    g_Toplevel = NULL;
    g_Armed = true;
    g_Caught = false;
}

void ArmExposeIn(GtkWidget* toplevel)
{
    g_Exactly = NULL;
    g_Toplevel = toplevel;
    g_Armed = true;
    g_Caught = false;
}

double WaitShown()
{
    bool timedOut = false;
    guint timer = g_timeout_add(20000, Timeout, &timedOut);
    while (!g_Caught && !timedOut)
        Iterate(true);
    if (!timedOut)
        g_source_remove(timer);
    g_Armed = false;
    g_Exactly = NULL;
    g_Toplevel = NULL;
    if (!g_Caught) {
        fprintf(stderr, "no expose within 20 s\n");
        return -1;
    }
    return g_ShownAt;
}

double WaitIdle()
{
    for (;;) {
        while (Iterate(false)) {
        }
        /* A round trip: whatever the server still had to say is queued now. */
        gdk_flush();
        if (!gtk_events_pending())
            break;
    }
    return NowMs();
}

} // namespace kelbench
