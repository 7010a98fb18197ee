/* Lookups and fixtures shared by the search dialog and Add Application window tests. */
#ifndef KEL_SEARCH_TEST_HELPERS_H
#define KEL_SEARCH_TEST_HELPERS_H

#include <gtk/gtk.h>

#include <list>
#include <string>
#include <vector>

#include "KELConstants.h"
#include "KELData.h"
#include "KelTest.h"

namespace searchtest {

inline GtkWidget* StatusLabel(GtkWidget* window)
{
    /* The only ellipsized label of the dialog. */
    return keltest::FindWidget(window, [](GtkWidget* w) {
        return GTK_IS_LABEL(w) && gtk_label_get_ellipsize(GTK_LABEL(w)) == PANGO_ELLIPSIZE_END;
    });
}

inline std::string StatusText(GtkWidget* window)
{
    GtkWidget* label = StatusLabel(window);
    return label ? gtk_label_get_text(GTK_LABEL(label)) : "<no label>";
}

inline std::string StatusTooltip(GtkWidget* window)
{
    GtkWidget* label = StatusLabel(window);
    gchar* t = label ? gtk_widget_get_tooltip_text(label) : NULL;
    std::string s = t ? t : "";
    g_free(t);
    return s;
}

/* The status text colour set on the label, as "red", "black" or "none". */
inline std::string StatusColour(GtkWidget* window)
{
    GtkWidget* label = StatusLabel(window);
    GtkRcStyle* style = label ? gtk_widget_get_modifier_style(label) : NULL;
    if (!style || !(style->color_flags[GTK_STATE_NORMAL] & GTK_RC_FG))
        return "none";
    const GdkColor& c = style->fg[GTK_STATE_NORMAL];
    if (c.red == 0xffff && c.green == 0 && c.blue == 0)
        return "red";
    if (c.red == 0 && c.green == 0 && c.blue == 0)
        return "black";
    return "other";
}

/* The Search/Cancel button: the button of the button panel. */
inline GtkWidget* ActionButton(GtkWidget* window)
{
    GtkWidget* panel = keltest::FindByName(window, LibKELData::KEL_STYLE_BUTTON_PANEL);
    return panel ? keltest::FindByType(panel, GTK_TYPE_BUTTON) : NULL;
}

inline std::string ActionLabel(GtkWidget* window)
{
    GtkWidget* button = ActionButton(window);
    const gchar* l = button ? gtk_button_get_label(GTK_BUTTON(button)) : NULL;
    return l ? l : "<no button>";
}

inline double Progress(GtkWidget* window)
{
    GtkWidget* bar = keltest::FindByType(window, GTK_TYPE_PROGRESS_BAR);
    return bar ? gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(bar)) : -1.0;
}

inline void SetPath(GtkWidget* window, const std::string& path)
{
    gtk_entry_set_text(GTK_ENTRY(keltest::FindByType(window, GTK_TYPE_ENTRY)), path.c_str());
}

/* Asks the window to close as the window manager would (the close box of its frame). */
inline void CloseFromFrame(GtkWidget* window)
{
    GdkEvent* event = gdk_event_new(GDK_DELETE);
    event->any.window = GDK_WINDOW(g_object_ref(window->window));
    event->any.send_event = TRUE;
    gtk_main_do_event(event);
    gdk_event_free(event);
    keltest::Drain();
}

/* A plain top-level window to be the parent of modal dialogs. */
inline GtkWidget* NewParent()
{
    GtkWidget* parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_show(parent);
    return parent;
}

/* Counts close callbacks; the user data is an int. */
inline void CountClose(GtkWidget*, gpointer counter)
{
    ++*static_cast<int*>(counter);
}

inline LibKELData::CApplicationInfo Program(int i, const std::string& icon = "")
{
    std::string n = std::to_string(i);
    return LibKELData::CApplicationInfo("Program " + n, "/opt/app" + n + "/bin/app" + n, icon, 1);
}

/* Writes the search-result file as the service would. */
inline void WriteResults(const std::vector<LibKELData::CApplicationInfo>& programs)
{
    LibKELData::CSearchResultData results;
    LibKELData::ApplicationInfoList* list = new LibKELData::ApplicationInfoList;
    for (const LibKELData::CApplicationInfo& p : programs)
        list->push_back(new LibKELData::CApplicationInfo(p));
    results.SetPApplicationInfoList(list);
    results.Save2File(LibKELData::CONFIG_FILE_DIR + LibKELData::SEARCH_RESULT);
}

inline void WriteResultCount(int count)
{
    std::vector<LibKELData::CApplicationInfo> programs;
    for (int i = 0; i < count; ++i)
        programs.push_back(Program(i));
    WriteResults(programs);
}

} // namespace searchtest

#endif
