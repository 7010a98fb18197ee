/* kel-session: the student session's lock agent. It follows the notebook's lock state on the
 * system bus: locked, a window over every monitor that takes the keyboard and the pointer and
 * says why and until when; unlocked, nothing. A notice from the teacher opens a small window. */
#include <gio/gio.h>
#include <libintl.h>
#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "IPCAPI.h"
#include "KELDataTools.h"
#include "kel-policy-glue.h"
#include "KELLog.h"
#include "KELPaths.h"

using LibKELData::CKELLog;

namespace {

const char* const BUS_NAME = "org.kelproject.Policy1";
const char* const OBJECT_PATH = "/org/kelproject/Policy1";
const char* const DOMAIN = "libKELGUI";
/* The service's agents' exit status when their display is gone (the session ended). */
const int EXIT_NO_DISPLAY = 3;
/* The lock windows' name for tools that look for them; no frame ever shows it. */
const char* const LOCK_WINDOW_NAME = "kel-session lock";
/* Another program holds the keyboard or the pointer: asked again this often until it lets go. */
const guint REGRAB_MS = 100;

const char* Tr(const char* text)
{
    return g_dgettext(DOMAIN, text);
}

struct Agent {
    KelPolicy1* policy = nullptr; /* the service's current owner, once its state is loaded */
    GCancellable* cancel = nullptr;
    int status = 0;
    gint64 until = 0;
    std::string notice;
    std::vector<GtkWidget*> screens; /* one lock window per monitor */
    GtkWidget* noticeWindow = nullptr;
    GtkWidget* noticeHeading = nullptr;
    GtkWidget* noticeLabel = nullptr;
    guint regrab = 0;
};
Agent g_Agent;

bool Locked()
{
    return (g_Agent.status & IPCAPI::STUDENT_LOCKED) != 0;
}

std::string Reason()
{
    if (!(g_Agent.status & IPCAPI::STUDENT_LOCKED_BY_TIMETABLE))
        return Tr("Locked by your teacher");
    if (g_Agent.until <= 0)
        return Tr("Locked by the timetable");
    GDateTime* until = g_date_time_new_from_unix_local(g_Agent.until);
    GDateTime* now = g_date_time_new_now_local();
    /* Another day's end names the day too. */
    bool today = g_date_time_get_day_of_year(until) == g_date_time_get_day_of_year(now) &&
                 g_date_time_get_year(until) == g_date_time_get_year(now);
    gchar* when = g_date_time_format(until, today ? "%H:%M" : "%A %H:%M");
    gchar* text = g_strdup_printf(Tr("Locked until %s by the timetable"), when);
    std::string reason = text;
    g_free(text);
    g_free(when);
    g_date_time_unref(now);
    g_date_time_unref(until);
    return reason;
}

gboolean Swallow(GtkWidget*, GdkEvent*, gpointer)
{
    return TRUE; /* Alt+F4, Escape, a close request: the lock stays */
}

/* Raises the first lock window and takes the keyboard and the pointer; false while another
 * program holds either. */
bool TryGrab()
{
    if (!Locked() || g_Agent.screens.empty())
        return true;
    GdkWindow* window = g_Agent.screens[0]->window;
    gdk_window_raise(window);
    bool keyboard = gdk_keyboard_grab(window, FALSE, GDK_CURRENT_TIME) == GDK_GRAB_SUCCESS;
    return gdk_pointer_grab(window, TRUE, GdkEventMask(GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK), nullptr,
                            nullptr, GDK_CURRENT_TIME) == GDK_GRAB_SUCCESS &&
           keyboard;
}

gboolean GrabAgain(gpointer)
{
    if (!TryGrab())
        return G_SOURCE_CONTINUE;
    g_Agent.regrab = 0;
    return G_SOURCE_REMOVE;
}

void Grab()
{
    if (!TryGrab() && !g_Agent.regrab)
        g_Agent.regrab = g_timeout_add(REGRAB_MS, GrabAgain, nullptr);
}

/* Another window raised over ours or a grab taken away: ours again. */
gboolean Reclaim(GtkWidget*, GdkEvent*, gpointer)
{
    Grab();
    return FALSE;
}

void HideLock()
{
    gdk_keyboard_ungrab(GDK_CURRENT_TIME);
    gdk_pointer_ungrab(GDK_CURRENT_TIME);
    for (GtkWidget* w : g_Agent.screens)
        gtk_widget_destroy(w);
    g_Agent.screens.clear();
    if (g_Agent.regrab)
        g_source_remove(g_Agent.regrab);
    g_Agent.regrab = 0;
}

/* A label in the lock window, wrapped rather than cut at max pixels (a narrow monitor, a large
 * font), its lines centred. GTK 2 draws a wrapped label from the left of its width request, so
 * the request is the text's own width where it fits. Call once the label is in its window. */
void CentreWrapped(GtkWidget* label, int max)
{
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_CENTER);
    gtk_widget_ensure_style(label);
    PangoLayout* layout = pango_layout_copy(gtk_label_get_layout(GTK_LABEL(label)));
    pango_layout_set_width(layout, -1);
    int width = 0;
    pango_layout_get_pixel_size(layout, &width, nullptr);
    g_object_unref(layout);
    gtk_widget_set_size_request(label, std::min(width, max), -1);
}

GtkWidget* LockWindow(const GdkRectangle& area)
{
    GtkWidget* window = gtk_window_new(GTK_WINDOW_POPUP);
    gtk_widget_set_name(window, "kel-lock-screen");
    gtk_window_set_title(GTK_WINDOW(window), LOCK_WINDOW_NAME);
    gtk_window_move(GTK_WINDOW(window), area.x, area.y);
    gtk_window_set_default_size(GTK_WINDOW(window), area.width, area.height);
    gtk_widget_set_size_request(window, area.width, area.height);
    gtk_widget_add_events(window, GDK_KEY_PRESS_MASK | GDK_BUTTON_PRESS_MASK | GDK_VISIBILITY_NOTIFY_MASK);
    g_signal_connect(window, "key-press-event", G_CALLBACK(Swallow), nullptr);
    g_signal_connect(window, "delete-event", G_CALLBACK(Swallow), nullptr);
    g_signal_connect(window, "grab-broken-event", G_CALLBACK(Reclaim), nullptr);
    g_signal_connect(window, "visibility-notify-event", G_CALLBACK(Reclaim), nullptr);

    GtkWidget* box = gtk_vbox_new(FALSE, 18);
    gtk_container_add(GTK_CONTAINER(window), box);
    gtk_box_pack_start(GTK_BOX(box), gtk_alignment_new(0.5, 1.0, 0, 0), TRUE, TRUE, 0);
    GtkWidget* reason = gtk_label_new(nullptr);
    gtk_widget_set_name(reason, "kel-lock-reason");
    gchar* markup = g_markup_printf_escaped("<span size='xx-large' weight='bold'>%s</span>", Reason().c_str());
    gtk_label_set_markup(GTK_LABEL(reason), markup);
    g_free(markup);
    gtk_box_pack_start(GTK_BOX(box), reason, FALSE, FALSE, 0);
    CentreWrapped(reason, area.width - 40);
    GtkWidget* notice = gtk_label_new(g_Agent.notice.c_str());
    gtk_widget_set_name(notice, "kel-lock-notice");
    GtkWidget* bottom = gtk_alignment_new(0.5, 0.0, 0, 0);
    gtk_container_add(GTK_CONTAINER(bottom), notice);
    gtk_box_pack_start(GTK_BOX(box), bottom, TRUE, TRUE, 0);
    CentreWrapped(notice, std::min(area.width - 40, 800));
    gtk_widget_show_all(window);
    return window;
}

void ShowLock()
{
    HideLock();
    GdkScreen* screen = gdk_screen_get_default();
    for (int m = 0; m < gdk_screen_get_n_monitors(screen); ++m) {
        GdkRectangle area;
        gdk_screen_get_monitor_geometry(screen, m, &area);
        g_Agent.screens.push_back(LockWindow(area));
    }
    gdk_flush();
    Grab();
}

void Apply(int status, gint64 until)
{
    bool was = Locked();
    if (status == g_Agent.status && until == g_Agent.until && was == !g_Agent.screens.empty())
        return;
    g_Agent.status = status;
    g_Agent.until = until;
    if (Locked())
        ShowLock();
    else
        HideLock();
    if (was != Locked())
        CKELLog::WriteLine(std::string("Session agent: ") + (Locked() ? "locked: " + Reason() : "unlocked"), 1, "",
                           false);
}

void ShowNotice(const std::string& title, const std::string& text)
{
    if (!g_Agent.noticeWindow) {
        GtkWidget* window = g_Agent.noticeWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_widget_set_name(window, "kel-notice");
        gtk_window_set_keep_above(GTK_WINDOW(window), TRUE);
        gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
        gtk_container_set_border_width(GTK_CONTAINER(window), 12);
        g_signal_connect(window, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer) {
                             g_Agent.noticeWindow = g_Agent.noticeHeading = g_Agent.noticeLabel = nullptr;
                         }),
                         nullptr);
        /* Laid out as a message box: an icon, the title as a heading (a frame may show no
         * title), the text. */
        GtkWidget* box = gtk_vbox_new(FALSE, 12);
        gtk_container_add(GTK_CONTAINER(window), box);
        GtkWidget* row = gtk_hbox_new(FALSE, 12);
        gtk_box_pack_start(GTK_BOX(box), row, TRUE, TRUE, 0);
        GtkWidget* icon = gtk_image_new_from_stock(GTK_STOCK_DIALOG_INFO, GTK_ICON_SIZE_DIALOG);
        gtk_misc_set_alignment(GTK_MISC(icon), 0.5, 0.0);
        gtk_box_pack_start(GTK_BOX(row), icon, FALSE, FALSE, 0);
        GtkWidget* texts = gtk_vbox_new(FALSE, 6);
        gtk_box_pack_start(GTK_BOX(row), texts, TRUE, TRUE, 0);
        for (GtkWidget** label : {&g_Agent.noticeHeading, &g_Agent.noticeLabel}) {
            *label = gtk_label_new(nullptr);
            gtk_label_set_line_wrap(GTK_LABEL(*label), TRUE);
            gtk_misc_set_alignment(GTK_MISC(*label), 0.0, 0.0);
            gtk_widget_set_size_request(*label, 360, -1);
            gtk_box_pack_start(GTK_BOX(texts), *label, FALSE, FALSE, 0);
        }
        GtkWidget* buttons = gtk_hbutton_box_new();
        gtk_button_box_set_layout(GTK_BUTTON_BOX(buttons), GTK_BUTTONBOX_END);
        GtkWidget* close = gtk_button_new_with_label(Tr("Close"));
        g_signal_connect_swapped(close, "clicked", G_CALLBACK(gtk_widget_destroy), window);
        gtk_container_add(GTK_CONTAINER(buttons), close);
        gtk_box_pack_start(GTK_BOX(box), buttons, FALSE, FALSE, 0);
    }
    gtk_window_set_title(GTK_WINDOW(g_Agent.noticeWindow), title.c_str());
    gchar* heading = g_markup_printf_escaped("<b>%s</b>", title.c_str());
    gtk_label_set_markup(GTK_LABEL(g_Agent.noticeHeading), heading);
    g_free(heading);
    gtk_label_set_text(GTK_LABEL(g_Agent.noticeLabel), text.c_str());
    gtk_widget_show_all(g_Agent.noticeWindow);
    gtk_window_present(GTK_WINDOW(g_Agent.noticeWindow));
}

void OnLockStatusChanged(KelPolicy1*, gint status, gint64 until, gpointer)
{
    Apply(status, until);
}

void OnNotice(KelPolicy1*, const gchar* text, gpointer)
{
    g_Agent.notice = text;
    ShowNotice(Tr("Notice from your teacher"), text);
    if (Locked())
        ShowLock(); /* the notice shows on the lock too: its own window is under it */
}

void OnRegistered(GObject* source, GAsyncResult* result, gpointer)
{
    GError* error = nullptr;
    if (!kel_policy1_call_register_session_agent_finish(KEL_POLICY1(source), result, &error)) {
        CKELLog::WriteLine(std::string("Session agent: not watched by the service: ") + error->message, 2, "", false);
        g_error_free(error);
    }
}

/* The proxy comes with the properties loaded, and heard the owner's signals while loading
 * them: its cache is the state now, and every later change reaches the handlers. */
void OnProxy(GObject*, GAsyncResult* result, gpointer)
{
    GError* error = nullptr;
    KelPolicy1* policy = kel_policy1_proxy_new_finish(result, &error);
    if (!policy) {
        /* Cancelled: the service went away meanwhile, and its vanishing is handled on its own. */
        if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
            CKELLog::WriteLine(std::string("Session agent: cannot follow the service: ") + error->message, 2, "",
                               false);
        g_error_free(error);
        return;
    }
    g_Agent.policy = policy;
    g_signal_connect(policy, "lock-status-changed", G_CALLBACK(OnLockStatusChanged), nullptr);
    g_signal_connect(policy, "notice", G_CALLBACK(OnNotice), nullptr);
    Apply(kel_policy1_get_lock_status(policy), kel_policy1_get_locked_until(policy));
    const char* xauthority = g_getenv("XAUTHORITY");
    const char* language = g_getenv("LANG");
    kel_policy1_call_register_session_agent(policy, gdk_display_get_name(gdk_display_get_default()),
                                            xauthority ? xauthority : "", language ? language : "",
                                            G_DBUS_CALL_FLAGS_NONE, -1, g_Agent.cancel, OnRegistered, nullptr);
}

void OnAppeared(GDBusConnection* bus, const gchar*, const gchar* owner, gpointer)
{
    /* Bound to the owner that appeared: a later owner is a new appearance, with a proxy of its own. */
    g_Agent.cancel = g_cancellable_new();
    kel_policy1_proxy_new(bus, G_DBUS_PROXY_FLAGS_DO_NOT_AUTO_START, owner, OBJECT_PATH, g_Agent.cancel, OnProxy,
                          nullptr);
}

void OnVanished(GDBusConnection*, const gchar*, gpointer)
{
    if (g_Agent.cancel) {
        g_cancellable_cancel(g_Agent.cancel);
        g_object_unref(g_Agent.cancel);
        g_Agent.cancel = nullptr;
    }
    if (g_Agent.policy) {
        g_signal_handlers_disconnect_by_func(g_Agent.policy, gpointer(OnLockStatusChanged), nullptr);
        g_signal_handlers_disconnect_by_func(g_Agent.policy, gpointer(OnNotice), nullptr);
        g_object_unref(g_Agent.policy);
        g_Agent.policy = nullptr;
    }
    /* No screen stays locked without a service that could unlock it. */
    if (Locked()) {
        Apply(0, 0);
        ShowNotice(Tr("Screen lock"), Tr("The lock service cannot be reached: the screen is unlocked."));
    }
    CKELLog::WriteLine("Session agent: the lock service cannot be reached", 2, "", false);
}

} // namespace

int main(int argc, char** argv)
{
    if (!gtk_init_check(&argc, &argv))
        return EXIT_NO_DISPLAY;
    bindtextdomain(DOMAIN, LibKELData::LOCALEDIR.c_str());
    bind_textdomain_codeset(DOMAIN, "UTF-8");
    /* The classroom's theme, which styles the lock window by its widget names. */
    std::string theme, font, other;
    if (LibKELData::CKELDataTools::GetCurrentThemeName(theme, font, other) != 0 || theme.empty())
        theme = "Blue";
    gtk_rc_parse((LibKELData::KEL_RESOURCE_THEME_PATH + theme + "/gtkrc").c_str());
    /* A monitor plugged in while locked is covered too. */
    for (const char* signal : {"monitors-changed", "size-changed"})
        g_signal_connect(gdk_screen_get_default(), signal, G_CALLBACK(+[](GdkScreen*, gpointer) {
                             if (Locked())
                                 ShowLock();
                         }),
                         nullptr);
    g_bus_watch_name(G_BUS_TYPE_SYSTEM, BUS_NAME, G_BUS_NAME_WATCHER_FLAGS_NONE, OnAppeared, OnVanished, nullptr,
                     nullptr);
    gtk_main();
    return 0;
}
