/* Life cycle shared by all windows: build, show, show modally, hide, close. */
#include "CKELWindowBase.h"

#include <gdk/gdkkeysyms.h>

#include "KELConstants.h"
#include "KELDataTools.h"

namespace LibKELGUI {

static const char* const CLS = "CKELWindowBase";

CKELWindowBase::CKELWindowBase()
    : m_pWindow(NULL)
    , m_bInitialized(false)
    , m_bModal(false)
    , m_bDestroying(false)
    , m_pWatched(NULL)
    , m_WatchHandler(0)
    , m_pAliveFlag(NULL)
    , m_pEscapeButton(NULL)
{
    TraceStart(CLS, "CKELWindowBase");
    /* Threads are always on since GLib 2.32; the calls stay for older GLib. */
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    if (!g_threads_got_initialized)
        g_thread_init(NULL);
    gdk_threads_init();
    G_GNUC_END_IGNORE_DEPRECATIONS
    TraceEnd(CLS, "CKELWindowBase");
}

CKELWindowBase::~CKELWindowBase()
{
    TraceStart(CLS, "~CKELWindowBase");
    if (m_pAliveFlag)
        *m_pAliveFlag = false; /* deleted from inside our own close callback */
    if (m_pWatched) {
        /* Nothing of ours may run on this window once we are gone, close callbacks included:
         * the derived members they would read are already destroyed. */
        g_signal_handlers_disconnect_matched(m_pWatched, G_SIGNAL_MATCH_DATA, 0, 0, NULL, NULL, this);
        for (size_t i = 0; i < m_CloseHandlers.size(); ++i)
            if (g_signal_handler_is_connected(m_pWatched, m_CloseHandlers[i]))
                g_signal_handler_disconnect(m_pWatched, m_CloseHandlers[i]);
        m_CloseHandlers.clear();
        m_WatchHandler = 0;
        m_pWatched = NULL;
    }
    DestoryWindow();
    TraceEnd(CLS, "~CKELWindowBase");
}

void CKELWindowBase::WatchWindow()
{
    if (!m_pWindow || m_pWatched == m_pWindow)
        return;
    m_pWatched = m_pWindow;
    /* Connected after, so that close callbacks still find the window and our data. */
    m_WatchHandler = g_signal_connect_after(m_pWindow, "destroy", G_CALLBACK(GtkOnWindowDestroyed), this);
}

void CKELWindowBase::GtkOnWindowDestroyed(GtkWidget* widget, gpointer self)
{
    CKELWindowBase* base = static_cast<CKELWindowBase*>(self);
    if (!base || base->m_pWatched != widget)
        return;
    /* GTK destroyed the window (from the frame, or through us): forget it. */
    base->m_pWatched = NULL;
    base->m_WatchHandler = 0;
    base->m_CloseHandlers.clear();
    base->m_pEscapeButton = NULL;
    if (base->m_pWindow == widget) {
        base->m_pWindow = NULL;
        base->m_bInitialized = false;
    }
}

void CKELWindowBase::CloseOnEscape(GtkWidget* button)
{
    if (!m_pWindow)
        return;
    m_pEscapeButton = button;
    g_signal_connect(m_pWindow, "key-press-event", G_CALLBACK(GtkOnKeyPress), this);
}

gboolean CKELWindowBase::GtkOnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self)
{
    return static_cast<CKELWindowBase*>(self)->OnKeyPress(widget, event);
}

gboolean CKELWindowBase::OnKeyPress(GtkWidget* widget, GdkEventKey* event)
{
    if (event->keyval != GDK_Escape || (event->state & gtk_accelerator_get_default_mod_mask()))
        return FALSE;
    if (m_pEscapeButton) {
        if (gtk_widget_is_sensitive(m_pEscapeButton))
            gtk_button_clicked(GTK_BUTTON(m_pEscapeButton));
        return TRUE; /* we may be closed now: touch nothing of ours */
    }
    /* The frame's way: "delete-event" first, so that the window's own close rules apply. */
    if (widget->window) {
        GdkEvent* close = gdk_event_new(GDK_DELETE);
        close->any.window = GDK_WINDOW(g_object_ref(widget->window));
        close->any.send_event = TRUE;
        gtk_main_do_event(close);
        gdk_event_free(close);
    }
    return TRUE;
}

int CKELWindowBase::Show()
{
    TraceStart(CLS, "Show");
    int result = 0;
    if (m_pWindow && m_bInitialized) {
        WatchWindow();
        gtk_widget_show_all(m_pWindow);
        m_bModal = false;
        result = 1;
    }
    TraceEnd(CLS, "Show");
    return result;
}

int CKELWindowBase::ShowModal(GtkWidget* parent, GCallback callback, void* data)
{
    TraceStart(CLS, "ShowModal");
    int result = 0;
    if (m_pWindow && m_bInitialized && parent) {
        WatchWindow();
        gtk_window_set_transient_for(GTK_WINDOW(m_pWindow), GTK_WINDOW(parent));
        gtk_window_set_modal(GTK_WINDOW(m_pWindow), TRUE);
        gtk_widget_show_all(m_pWindow);
        m_bModal = true;
        if (callback && data)
            m_CloseHandlers.push_back(g_signal_connect(m_pWindow, "destroy", callback, data));
        result = 1;
    }
    TraceEnd(CLS, "ShowModal");
    return result;
}

int CKELWindowBase::Hidden()
{
    TraceStart(CLS, "Hidden");
    int result = 0;
    if (m_pWindow) {
        gtk_widget_hide(m_pWindow);
        result = 1;
    }
    TraceEnd(CLS, "Hidden");
    return result;
}

int CKELWindowBase::Close()
{
    TraceStart(CLS, "Close");
    DestoryWindow();
    TraceEnd(CLS, "Close");
    return 0;
}

void CKELWindowBase::DestoryWindow()
{
    TraceStart(CLS, "DestoryWindow");
    if (m_pWindow && !m_bDestroying && (GTK_OBJECT_FLAGS(m_pWindow) & GTK_IN_DESTRUCTION)) {
        /* GTK is already destroying it (closed from the frame, and we are being deleted from
         * its close callback): destroying it again would touch a dying widget; just forget it. */
        m_bDestroying = true;
        m_pWindow = NULL;
        m_bInitialized = false;
    } else if (m_pWindow && !m_bDestroying) {
        m_bDestroying = true;
        GtkWidget* window = m_pWindow;
        bool alive = true;
        bool* outerFlag = m_pAliveFlag;
        m_pAliveFlag = &alive;
        gtk_widget_destroy(window); /* close callbacks run here */
        if (!alive) {
            /* The owner deleted us inside a close callback: touch nothing of ours. */
            if (outerFlag)
                *outerFlag = false;
            TraceEnd(CLS, "DestoryWindow");
            return;
        }
        m_pAliveFlag = outerFlag;
        m_pWindow = NULL;
        m_bInitialized = false;
    }
    TraceEnd(CLS, "DestoryWindow");
}

void CKELWindowBase::SetWindowIcon(const std::string& icon, const std::string& fallback)
{
    for (const std::string& file : {icon, fallback.empty() ? LibKELData::KEL_IMAGE_APP_DEFAULT_ICON : fallback})
        if (LibKELData::CKELDataTools::FileExist(file) == 1 &&
            gtk_window_set_icon_from_file(GTK_WINDOW(m_pWindow), file.c_str(), NULL))
            return;
}

} // namespace LibKELGUI
