/* Test utilities: the per-test sandbox (KEL_ROOT and HOME), files, the main loop, message boxes,
 * widget lookup and log capture. */
#ifndef KEL_TEST_H
#define KEL_TEST_H

#include <gtk/gtk.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace keltest {

std::string Root();   /* KEL_ROOT of this test process */
std::string Home();   /* HOME of this test process */
std::string EtcKel(); /* Root() + "/etc/KEL/" */
/* Copies data/root into the sandbox; "/etc/KEL/" in its *.xml files then names the sandbox's copy. */
void CopySampleRoot();
/* The built German catalogues under the sandbox root and a German environment, before any lookup;
 * false when the German locale is not installed. */
bool UseGerman();
bool WriteFile(const std::string& path, const std::string& content); /* makes the folders */
std::string ReadFile(const std::string& path, bool* ok = nullptr);
bool MakeDirs(const std::string& path);
/* Two distinct TCP ports free now (the kernel's choice), for a broker's two listeners. */
void FreePorts(int& first, int& second);
bool WritePng(const std::string& path, int size = 32, guint32 rgba = 0x3366ccff);

/* Runs pending main-loop work, with the GDK lock released meanwhile as gtk_main does. */
void Drain();
/* Pumps the main loop until cond holds or timeoutMs passes; returns cond(). The bounds only end
 * a wait that failed: under the sanitizers on a busy machine, a program's start alone can take
 * ten seconds, so waits for other programs keep these defaults. */
bool PumpUntil(const std::function<bool()>& cond, int timeoutMs = 60000);
/* Waits without pumping, keeping the GDK lock, until cond holds or timeoutMs passes; returns cond().
 * Notify() wakes it at once; a condition that nothing notifies (another process's output) is
 * looked at again every 50 ms. */
bool WaitUntil(const std::function<bool()>& cond, int timeoutMs = 60000);
/* Tells WaitUntil that what it waits for may have changed (a callback was heard); any thread. */
void Notify();

/* Texts that callbacks on other threads heard, in order. */
class Heard {
public:
    void Add(const std::string& text);
    /* What was heard once n texts were, or when the wait (bounded) gave up. */
    std::vector<std::string> WaitFor(size_t n);

private:
    std::mutex m_Mutex;
    std::vector<std::string> m_Texts;
};

/* Answers the next message box that appears while it lives (every one with AnswerAll) with
 * response, recording what it showed. Install it before the action that shows the box. */
class MessageBoxAnswerer {
public:
    explicit MessageBoxAnswerer(int response) : m_Response(response) {}
    ~MessageBoxAnswerer() { m_Source && g_source_remove(m_Source); }
    bool Answered() const { return m_Count > 0; }
    int Count() const { return m_Count; }
    const std::string& Text() const { return m_Text; }
    GtkMessageType Type() const { return m_Type; }
    void AnswerAll(bool all) { m_All = all; }

private:
    static gboolean Poll(gpointer self);
    int m_Response;
    guint m_Source = gdk_threads_add_timeout(10, Poll, this);
    bool m_All = false;
    int m_Count = 0;
    std::string m_Text;
    GtkMessageType m_Type = GTK_MESSAGE_OTHER;
};

/* Tells whether a widget still exists, without keeping it alive. */
class WidgetWatch {
public:
    explicit WidgetWatch(GtkWidget* widget) : m_pWidget(widget) { Weak(g_object_add_weak_pointer); }
    ~WidgetWatch() { Weak(g_object_remove_weak_pointer); }
    WidgetWatch(const WidgetWatch&) = delete;
    WidgetWatch& operator=(const WidgetWatch&) = delete;
    bool Alive() const { return m_pWidget != nullptr; }

private:
    void Weak(void (*f)(GObject*, gpointer*)) { m_pWidget ? f(G_OBJECT(m_pWidget), (gpointer*)&m_pWidget) : void(); }
    GtkWidget* m_pWidget;
};

/* Widget lookup in a widget tree, the root and internal children included. */
std::vector<GtkWidget*> FindAll(GtkWidget* root, const std::function<bool(GtkWidget*)>& pred);
GtkWidget* FindWidget(GtkWidget* root, const std::function<bool(GtkWidget*)>& pred);
GtkWidget* FindByType(GtkWidget* root, GType type, int index = 0);
GtkWidget* FindButtonByLabel(GtkWidget* root, const std::string& label);
GtkWidget* FindByName(GtkWidget* root, const std::string& widgetName);
/* Top-level windows open now whose title is title (any when empty). */
std::vector<GtkWindow*> ToplevelsWithTitle(const std::string& title);
/* Pumps the main loop until a top-level window of this title exists (10 s at most); null if none came. */
GtkWidget* AwaitToplevel(const std::string& title);
void Click(GtkWidget* button); /* then drains */
/* A delete event, as the frame's close box sends: GTK destroys the window unless a handler stops it. */
void CloseFromFrame(GtkWidget* window);
double StyleFontPoints(GtkWidget* widget); /* of the widget's style; 0 without a font */

/* Captures every log line while alive. */
class LogCapture {
public:
    struct Line { int level, tag; std::string text; };
    LogCapture();
    ~LogCapture();
    std::vector<Line> Lines() const;
    int Count(const std::string& text) const;

private:
    static void Sink(int level, int tag, const std::string& text, void* self);
    mutable std::mutex m_Mutex;
    std::vector<Line> m_Lines;
};

} // namespace keltest

#endif
