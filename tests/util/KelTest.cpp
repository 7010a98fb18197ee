/* Test utilities shared by the suites. */
#include "KelTest.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "KELLog.h"

namespace keltest {

static std::string Env(const char* name)
{
    const char* value = getenv(name);
    return value ? value : "";
}

std::string Root() { return Env("KEL_ROOT"); }
std::string Home() { return Env("HOME"); }
std::string EtcKel() { return Root() + "/etc/KEL/"; }

/* Every "/etc/KEL/" of text becomes newPrefix, XML-escaped. */
static std::string RewriteEtcKelPrefix(std::string text, const std::string& newPrefix)
{
    gchar* escaped = g_markup_escape_text(newPrefix.c_str(), -1);
    for (size_t at = 0; (at = text.find("/etc/KEL/", at)) != std::string::npos; at += strlen(escaped))
        text.replace(at, strlen("/etc/KEL/"), escaped);
    g_free(escaped);
    return text;
}

void CopySampleRoot()
{
    std::string cmd = "cp -a '" KEL_SOURCE_DIR "/data/root/.' '" + Root() + "/'";
    if (system(cmd.c_str()) != 0)
        g_printerr("could not copy the sample root\n");
    GDir* dir = g_dir_open(EtcKel().c_str(), 0, NULL); /* the policies lie at its top */
    while (const gchar* name = dir ? g_dir_read_name(dir) : NULL)
        if (g_str_has_suffix(name, ".xml"))
            WriteFile(EtcKel() + name, RewriteEtcKelPrefix(ReadFile(EtcKel() + name), EtcKel()));
    if (dir)
        g_dir_close(dir);
}

bool UseGerman()
{
    if (!setlocale(LC_ALL, "de_DE.UTF-8"))
        return false;
    for (const char* domain : {"libKELGUI", "libKELData"}) {
        bool ok = false;
        std::string mo = ReadFile(std::string(KEL_BINARY_DIR "/locale/de/LC_MESSAGES/") + domain + ".mo", &ok);
        EXPECT_TRUE(ok && !mo.empty()) << domain << ".mo is missing: build the translations target";
        EXPECT_TRUE(WriteFile(Root() + "/usr/share/locale/de/LC_MESSAGES/" + domain + ".mo", mo));
    }
    setenv("LANGUAGE", "de", 1);
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    return setlocale(LC_ALL, "") != NULL;
}

bool MakeDirs(const std::string& path) { return g_mkdir_with_parents(path.c_str(), 0755) == 0; }

void FreePorts(int& first, int& second)
{
    GSocketListener* ports = g_socket_listener_new();
    first = g_socket_listener_add_any_inet_port(ports, nullptr, nullptr);
    second = g_socket_listener_add_any_inet_port(ports, nullptr, nullptr);
    g_object_unref(ports);
}

static void MakeParent(const std::string& path)
{
    gchar* dir = g_path_get_dirname(path.c_str());
    MakeDirs(dir);
    g_free(dir);
}

bool WriteFile(const std::string& path, const std::string& content)
{
    MakeParent(path);
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out << content;
    return out.good();
}

std::string ReadFile(const std::string& path, bool* ok)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    if (ok)
        *ok = in.good();
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool WritePng(const std::string& path, int size, guint32 rgba)
{
    GdkPixbuf* pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, size, size);
    gdk_pixbuf_fill(pb, rgba);
    MakeParent(path);
    gboolean ok = gdk_pixbuf_save(pb, path.c_str(), "png", NULL, NULL);
    g_object_unref(pb);
    return ok;
}

void Drain()
{
    gdk_threads_leave(); /* GDK's event dispatch takes the lock itself */
    for (int i = 0; i < 1000 && g_main_context_iteration(NULL, FALSE); ++i) {
    }
    gdk_threads_enter();
}

bool PumpUntil(const std::function<bool()>& cond, int timeoutMs)
{
    gint64 deadline = g_get_monotonic_time() + (gint64)timeoutMs * 1000;
    while (!cond() && g_get_monotonic_time() < deadline) {
        gdk_threads_leave();
        if (!g_main_context_iteration(NULL, FALSE))
            g_usleep(1000);
        gdk_threads_enter();
    }
    return cond();
}

namespace {
/* Never destroyed: a late callback may notify while the process ends. */
struct Changes {
    std::mutex mutex;
    std::condition_variable changed;
    unsigned long count = 0;
};
Changes& TheChanges()
{
    static Changes* changes = new Changes;
    return *changes;
}
} // namespace

void Notify()
{
    Changes& c = TheChanges();
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        ++c.count;
    }
    c.changed.notify_all();
}

bool WaitUntil(const std::function<bool()>& cond, int timeoutMs)
{
    Changes& c = TheChanges();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        unsigned long seen;
        {
            std::lock_guard<std::mutex> lock(c.mutex);
            seen = c.count;
        }
        if (cond())
            return true;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return false;
        std::unique_lock<std::mutex> lock(c.mutex);
        c.changed.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(50)),
                             [&] { return c.count != seen; });
    }
}

void Heard::Add(const std::string& text)
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Texts.push_back(text);
    }
    Notify();
}

std::vector<std::string> Heard::WaitFor(size_t n)
{
    std::vector<std::string> copy;
    WaitUntil([&] {
        std::lock_guard<std::mutex> lock(m_Mutex);
        copy = m_Texts;
        return copy.size() >= n;
    });
    return copy;
}

gboolean MessageBoxAnswerer::Poll(gpointer self)
{
    MessageBoxAnswerer* a = static_cast<MessageBoxAnswerer*>(self);
    GList* tops = gtk_window_list_toplevels();
    bool done = false;
    for (GList* l = tops; l && !done; l = l->next) {
        GtkWidget* w = GTK_WIDGET(l->data);
        if (!GTK_IS_MESSAGE_DIALOG(w) || !GTK_WIDGET_VISIBLE(w) || g_object_get_data(G_OBJECT(w), "keltest-answered"))
            continue;
        g_object_set_data(G_OBJECT(w), "keltest-answered", w);
        gchar* text = NULL;
        g_object_get(w, "text", &text, "message-type", &a->m_Type, NULL);
        a->m_Text = text ? text : "";
        g_free(text);
        a->m_Count++;
        done = !a->m_All;
        gtk_dialog_response(GTK_DIALOG(w), a->m_Response);
    }
    g_list_free(tops);
    /* No deadline: a box that comes late on a loaded machine must still be answered. */
    if (done)
        a->m_Source = 0;
    return a->m_Source != 0;
}

static void Collect(GtkWidget* w, const std::function<bool(GtkWidget*)>& pred, std::vector<GtkWidget*>& out)
{
    if (pred(w))
        out.push_back(w);
    if (!GTK_IS_CONTAINER(w))
        return;
    /* gtk_container_forall also reaches internal children (the label inside a button). */
    std::vector<GtkWidget*> children;
    gtk_container_forall(
        GTK_CONTAINER(w),
        [](GtkWidget* c, gpointer list) { static_cast<std::vector<GtkWidget*>*>(list)->push_back(c); }, &children);
    for (GtkWidget* c : children)
        Collect(c, pred, out);
}

std::vector<GtkWidget*> FindAll(GtkWidget* root, const std::function<bool(GtkWidget*)>& pred)
{
    std::vector<GtkWidget*> out;
    if (root)
        Collect(root, pred, out);
    return out;
}

GtkWidget* FindWidget(GtkWidget* root, const std::function<bool(GtkWidget*)>& pred)
{
    std::vector<GtkWidget*> all = FindAll(root, pred);
    return all.empty() ? NULL : all[0];
}

GtkWidget* FindByType(GtkWidget* root, GType type, int index)
{
    std::vector<GtkWidget*> all = FindAll(root, [type](GtkWidget* w) { return G_TYPE_CHECK_INSTANCE_TYPE(w, type); });
    return index < (int)all.size() ? all[index] : NULL;
}

static bool Is(const gchar* have, const std::string& want) { return have && want == have; }

GtkWidget* FindButtonByLabel(GtkWidget* root, const std::string& label)
{
    return FindWidget(root, [&](GtkWidget* w) { return GTK_IS_BUTTON(w) && Is(gtk_button_get_label(GTK_BUTTON(w)), label); });
}

GtkWidget* FindByName(GtkWidget* root, const std::string& widgetName)
{
    return FindWidget(root, [&](GtkWidget* w) { return Is(gtk_widget_get_name(w), widgetName); });
}

std::vector<GtkWindow*> ToplevelsWithTitle(const std::string& title)
{
    std::vector<GtkWindow*> out;
    GList* tops = gtk_window_list_toplevels();
    for (GList* l = tops; l; l = l->next)
        if (title.empty() || Is(gtk_window_get_title(GTK_WINDOW(l->data)), title))
            out.push_back(GTK_WINDOW(l->data));
    g_list_free(tops);
    return out;
}

GtkWidget* AwaitToplevel(const std::string& title)
{
    PumpUntil([&] { return !ToplevelsWithTitle(title).empty(); });
    std::vector<GtkWindow*> found = ToplevelsWithTitle(title);
    return found.empty() ? NULL : GTK_WIDGET(found[0]);
}

void Click(GtkWidget* button)
{
    gtk_button_clicked(GTK_BUTTON(button));
    Drain();
}

void CloseFromFrame(GtkWidget* window)
{
    GdkEvent* event = gdk_event_new(GDK_DELETE);
    event->any.window = GDK_WINDOW(g_object_ref(window->window));
    event->any.send_event = TRUE;
    gtk_main_do_event(event);
    gdk_event_free(event);
    Drain();
}

double StyleFontPoints(GtkWidget* widget)
{
    GtkStyle* style = gtk_widget_get_style(widget);
    return style && style->font_desc ? (double)pango_font_description_get_size(style->font_desc) / PANGO_SCALE : 0;
}

LogCapture::LogCapture() { LibKELData::CKELLog::SetCapture(Sink, this); }
LogCapture::~LogCapture() { LibKELData::CKELLog::SetCapture(NULL, NULL); }

void LogCapture::Sink(int level, int tag, const std::string& text, void* self)
{
    LogCapture* c = static_cast<LogCapture*>(self);
    std::lock_guard<std::mutex> lock(c->m_Mutex);
    c->m_Lines.push_back(Line{level, tag, text});
}

std::vector<LogCapture::Line> LogCapture::Lines() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Lines;
}

int LogCapture::Count(const std::string& text) const
{
    const std::vector<Line> lines = Lines();
    return std::count_if(lines.begin(), lines.end(), [&text](const Line& l) { return l.text == text; });
}

} // namespace keltest
