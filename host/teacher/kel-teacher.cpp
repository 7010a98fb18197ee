/* kel-teacher: the teacher's console (Shell Controller). Shows the class and steers it. */
#include "CTeacherConsole.h"
#include "CUtility.h"
#include "KELGuiCommon.h"
#include "KELPaths.h"

#include <gtk/gtk.h>

#include <string>

namespace {

struct Shot {
    CTeacherConsole* console = nullptr;
    std::string file;
    bool exposed = false;
    gint64 deadline = 0;
    gint64 connectedAt = 0;
    int status = 0;
};

gboolean OnExposed(GtkWidget*, GdkEventExpose*, gpointer data)
{
    static_cast<Shot*>(data)->exposed = true;
    return FALSE;
}

/* Once drawn and, when the classroom is set up, connected (or after a while): the picture. */
gboolean TakeShot(gpointer data)
{
    Shot* shot = static_cast<Shot*>(data);
    GtkWidget* window = shot->console->GetWindow();
    bool connected = shot->console->ConnectionText() == LibKELGUI::Tr("Classroom: connected.") ||
                     !g_file_test((LibKELData::CONFIG_FILE_DIR + "classroom.conf").c_str(), G_FILE_TEST_EXISTS);
    bool ready = shot->exposed && !gtk_events_pending() && window && gdk_window_is_viewable(window->window);
    /* The class's presence follows the connection by a moment. */
    if (connected && !shot->connectedAt)
        shot->connectedAt = g_get_monotonic_time();
    bool settled = connected && g_get_monotonic_time() - shot->connectedAt > G_USEC_PER_SEC / 2;
    if ((!ready || !settled) && g_get_monotonic_time() < shot->deadline)
        return TRUE;
    shot->status = 1;
    if (ready) {
        gdk_window_process_all_updates();
        gint w = 0, h = 0;
        gdk_drawable_get_size(window->window, &w, &h);
        GdkPixbuf* picture = gdk_pixbuf_get_from_drawable(NULL, window->window, NULL, 0, 0, 0, 0, w, h);
        if (picture && gdk_pixbuf_save(picture, shot->file.c_str(), "png", NULL, NULL))
            shot->status = 0;
        if (picture)
            g_object_unref(picture);
    }
    if (shot->status)
        g_printerr("kel-teacher: could not save a screenshot to %s\n", shot->file.c_str());
    gtk_main_quit();
    return FALSE;
}

void OnDestroyed(GtkWidget*, gpointer)
{
    if (gtk_main_level() > 0)
        gtk_main_quit();
}

} // namespace

int main(int argc, char** argv)
{
    gdk_threads_init();
    gchar* screenshot = NULL;
    GOptionEntry entries[] = {
        {"screenshot", 0, 0, G_OPTION_ARG_FILENAME, &screenshot, "Save a PNG of the window to FILE, then exit", "FILE"},
        {NULL, 0, 0, G_OPTION_ARG_NONE, NULL, NULL, NULL}};
    GError* error = NULL;
    if (!gtk_init_with_args(&argc, &argv, "- the teacher's console", entries, NULL, &error)) {
        g_printerr("kel-teacher: %s\n", error ? error->message : "cannot start GTK (no display?)");
        return 1;
    }
    /* The theme and font of the console's user. */
    LibKELGUI::CUtility::ParseRCFile();
    gdk_threads_enter();
    CTeacherConsole* console = new CTeacherConsole;
    console->Init();
    g_signal_connect(console->GetWindow(), "destroy", G_CALLBACK(OnDestroyed), NULL);
    Shot shot;
    if (screenshot) {
        shot.console = console;
        shot.file = screenshot;
        shot.deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
        g_signal_connect_after(console->GetWindow(), "expose-event", G_CALLBACK(OnExposed), &shot);
        gdk_threads_add_timeout(50, TakeShot, &shot);
    }
    gtk_widget_show_all(console->GetWindow());
    gtk_main();
    delete console;
    gdk_threads_leave();
    g_free(screenshot);
    return shot.status;
}
