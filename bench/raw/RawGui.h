/* Raw baselines of the window figures: plain GTK 2 and gdk-pixbuf, the same widgets as the editor. */
#ifndef KELBENCH_RAW_GUI_H
#define KELBENCH_RAW_GUI_H

#include <gtk/gtk.h>

#include <map>
#include <string>
#include <vector>

#include "RawXml.h"

namespace raw {

/* One decode per distinct path; the fallback picture decoded once, when first needed.
 * size 0 keeps the file's own size. */
class IconCache {
public:
    IconCache(const std::string& fallback, int size);
    ~IconCache();
    /* Borrowed; null when neither the file nor the fallback loads. */
    GdkPixbuf* Get(const std::string& path);
    size_t Decodes() const { return m_Decodes; }

private:
    GdkPixbuf* Decode(const std::string& path);
    std::string m_Fallback;
    int m_Size;
    size_t m_Decodes;
    bool m_FallbackTried;
    GdkPixbuf* m_FallbackPixbuf;
    std::map<std::string, GdkPixbuf*> m_Pixbufs;
    IconCache(const IconCache&);
    IconCache& operator=(const IconCache&);
};

/* A toplevel with one scrolled list, as the editor's program list or the Add Application
 * list is configured: fixed-size columns and rows. */
struct ListWindow {
    GtkWidget* window = NULL;
    GtkWidget* view = NULL;
    GtkListStore* store = NULL; /* one reference of ours: the view may be detached from it */
};
ListWindow NewProgramListWindow();
ListWindow NewResultListWindow(int iconSize);
void DestroyListWindow(ListWindow& w);
void FillPrograms(GtkListStore* store, const std::vector<App>& apps, IconCache& icons);
void FillResults(GtkListStore* store, const std::vector<App>& apps, IconCache& icons);

/* The editor composite: window, notebook with the lock grid, the two lists and the system
 * settings, and the button row; filled from the structs, not yet shown. */
struct Editor {
    GtkWidget* window = NULL;
    GtkWidget* notebook = NULL;
    GtkListStore* categories = NULL;
    GtkListStore* programs = NULL;
    GtkWidget* categoryView = NULL;
    GtkWidget* programView = NULL;
};
Editor BuildEditor(const Policy& policy, const Schedule& schedule, int usb, int dialog, IconCache& icons,
                   const std::string& imageDir);

/* The window frame with only the lock page: the grid of 7 x 24 coloured toggle buttons. */
GtkWidget* BuildLockFrame(const std::string& imageDir);

} // namespace raw

#endif
