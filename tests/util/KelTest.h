/* Test utilities: the per-test sandbox (KEL_ROOT and HOME), files, the main loop,
 * message boxes, widget lookup and log capture. */
#ifndef KEL_TEST_H
#define KEL_TEST_H

#include <gtk/gtk.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace keltest {

/* The per-process sandbox made by the test main. */
std::string Root();  /* KEL_ROOT */
std::string Home();  /* HOME */
std::string EtcKel(); /* Root() + "/etc/KEL/" */

/* Copies data/root of the source tree into the sandbox root. The sample policies name
 * installed paths ("/etc/KEL/..."); in the copied *.xml files that prefix is rewritten to
 * the sandbox's own etc/KEL/, so icon paths in them resolve inside the sandbox. */
void CopySampleRoot();
/* The same prefix rewrite on one text: every "/etc/KEL/" becomes newPrefix (XML-escaped). */
std::string RewriteEtcKelPrefix(const std::string& text, const std::string& newPrefix);
bool WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path, bool* ok = nullptr);
bool MakeDirs(const std::string& path);
/* Writes a small valid PNG of the given size and colour. */
bool WritePng(const std::string& path, int size = 32, guint32 rgba = 0x3366ccff);
/* Root reads and writes whatever the modes say: give that up for this thread and those it starts. */
bool DropFileCapabilities();

/* Runs pending main-loop work (GDK lock released meanwhile, as gtk_main does). */
void Drain();
/* Pumps the main loop until cond holds or timeoutMs passes; returns cond(). */
bool PumpUntil(const std::function<bool()>& cond, int timeoutMs = 5000);
/* Waits, without pumping and keeping the GDK lock, until cond holds or timeoutMs passes; returns cond(). */
bool WaitUntil(const std::function<bool()>& cond, int timeoutMs = 20000);

/* Answers the next message box that appears (within timeoutMs) with response.
 * The box's text, title and parent are recorded. Install before the action that shows it. */
class MessageBoxAnswerer {
public:
    explicit MessageBoxAnswerer(int response, int timeoutMs = 5000);
    ~MessageBoxAnswerer();
    bool Answered() const { return m_Answered; }
    const std::string& Text() const { return m_Text; }
    const std::string& Title() const { return m_Title; }
    GtkMessageType Type() const { return m_Type; }
    GtkWindow* Parent() const { return m_Parent; }
    int Count() const { return m_Count; }
    /* Keep answering every box that appears, not only the first. */
    void AnswerAll(bool all) { m_All = all; }
    /* Called with each box just before it is answered (read its position, icon...). */
    void Inspect(const std::function<void(GtkWidget* dialog)>& inspect) { m_Inspect = inspect; }

private:
    static gboolean Poll(gpointer self);
    int m_Response;
    guint m_Source;
    gint64 m_Deadline;
    bool m_Answered;
    bool m_All;
    int m_Count;
    std::string m_Text;
    std::string m_Title;
    GtkMessageType m_Type;
    GtkWindow* m_Parent;
    std::function<void(GtkWidget*)> m_Inspect;
};

/* Tells whether a widget still exists, without keeping it alive. */
class WidgetWatch {
public:
    explicit WidgetWatch(GtkWidget* widget);
    ~WidgetWatch();
    bool Alive() const { return m_pWidget != NULL; }

private:
    WidgetWatch(const WidgetWatch&);
    WidgetWatch& operator=(const WidgetWatch&);
    GtkWidget* m_pWidget;
};

/* Widget lookup inside a widget tree (the root included). */
GtkWidget* FindWidget(GtkWidget* root, const std::function<bool(GtkWidget*)>& pred);
std::vector<GtkWidget*> FindAll(GtkWidget* root, const std::function<bool(GtkWidget*)>& pred);
GtkWidget* FindByType(GtkWidget* root, GType type, int index = 0);
GtkWidget* FindButtonByLabel(GtkWidget* root, const std::string& label);
GtkWidget* FindLabel(GtkWidget* root, const std::string& text);
GtkWidget* FindByName(GtkWidget* root, const std::string& widgetName);
GtkWidget* FindByTooltip(GtkWidget* root, const std::string& tooltip);
/* Top-level windows currently open whose title is title (any when empty). */
std::vector<GtkWindow*> ToplevelsWithTitle(const std::string& title);
/* Clicks a button and drains the main loop. */
void Click(GtkWidget* button);
/* Closes a top-level window the way its frame's close box does: a delete event, which GTK
 * answers by destroying the window unless a "delete-event" handler stops it. */
void CloseFromFrame(GtkWidget* window);
/* The font size (in points) of a widget's current style; 0 when it has none. */
double StyleFontPoints(GtkWidget* widget);

/* Captures every log line while alive. */
class LogCapture {
public:
    struct Line {
        int level;
        int tag;
        std::string text;
    };
    LogCapture();
    ~LogCapture();
    std::vector<Line> Lines() const;
    bool Has(const std::string& text) const;
    int Count(const std::string& text) const;
    int IndexOf(const std::string& text) const; /* first index, -1 when absent */
    void Clear();

private:
    static void Sink(int level, int tag, const std::string& text, void* self);
    mutable std::mutex m_Mutex;
    std::vector<Line> m_Lines;
};

} // namespace keltest

#endif
