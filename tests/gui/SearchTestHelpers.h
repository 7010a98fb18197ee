/* Lookups and fixtures shared by the search dialog, Add Application window and name-and-icon
 * dialog tests. */
#ifndef KEL_SEARCH_TEST_HELPERS_H
#define KEL_SEARCH_TEST_HELPERS_H

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <list>
#include <string>
#include <vector>

#include "KELConstants.h"
#include "KELData.h"
#include "KelTest.h"
#include "shellsetting_fixture.h"

namespace searchtest {

/* The status line: the only wrapping label of the dialog. */
inline GtkWidget* StatusLabel(GtkWidget* window)
{
    return keltest::FindWidget(window, [](GtkWidget* w) { return GTK_IS_LABEL(w) && gtk_label_get_line_wrap(GTK_LABEL(w)); });
}
inline std::string StatusText(GtkWidget* window)
{
    return StatusLabel(window) ? gtk_label_get_text(GTK_LABEL(StatusLabel(window))) : "<no label>";
}
/* The status text colour set on the label, as "red", "black" or "none". */
inline std::string StatusColour(GtkWidget* window)
{
    GtkRcStyle* style = gtk_widget_get_modifier_style(StatusLabel(window));
    const GdkColor c = style && (style->color_flags[GTK_STATE_NORMAL] & GTK_RC_FG) ? style->fg[GTK_STATE_NORMAL] : GdkColor{0, 1, 1, 1};
    return c.green || c.blue ? "none or other" : c.red == 0xffff ? "red" : c.red ? "other" : "black";
}
/* The Search/Cancel button: the button of the button panel. */
inline GtkWidget* ActionButton(GtkWidget* window)
{
    GtkWidget* panel = keltest::FindByName(window, LibKELData::KEL_STYLE_BUTTON_PANEL);
    return panel ? keltest::FindByType(panel, GTK_TYPE_BUTTON) : NULL;
}
inline std::string ActionLabel(GtkWidget* window)
{
    const gchar* l = ActionButton(window) ? gtk_button_get_label(GTK_BUTTON(ActionButton(window))) : NULL;
    return l ? l : "<no button>";
}
inline GtkProgressBar* Bar(GtkWidget* window) { return GTK_PROGRESS_BAR(keltest::FindByType(window, GTK_TYPE_PROGRESS_BAR)); }
inline double Progress(GtkWidget* window) { return gtk_progress_bar_get_fraction(Bar(window)); }
/* The counts the bar shows. */
inline std::string BarText(GtkWidget* window) { const gchar* t = gtk_progress_bar_get_text(Bar(window)); return t ? t : ""; }
inline void SetPath(GtkWidget* window, const std::string& path)
{
    gtk_entry_set_text(GTK_ENTRY(keltest::FindByType(window, GTK_TYPE_ENTRY)), path.c_str());
}
/* A plain top-level window to be the parent of modal dialogs. */
inline GtkWidget* NewParent() { GtkWidget* parent = gtk_window_new(GTK_WINDOW_TOPLEVEL); gtk_widget_show(parent); return parent; }
/* Counts close callbacks; the user data is an int. */
inline void CountClose(GtkWidget*, gpointer counter) { ++*static_cast<int*>(counter); }

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
    results.Save2File(LibKELData::SearchResultFile());
}

/* Answers the next file chooser from a timeout: notes the folder it opened in (once loaded),
 * goes to file (selecting it) or else to folder, waits until the chooser holds it and
 * responds; one that never takes it is cancelled. */
struct ChooserAnswerer {
    std::string folder, file, openedIn;
    int response, polls = 0;
    bool answered = false, started = false;
    guint source = gdk_threads_add_timeout(10, Poll, this);

    ChooserAnswerer(const std::string& fo, const std::string& fi, int r) : folder(fo), file(fi), response(r) {}
    ~ChooserAnswerer() { source && g_source_remove(source); }
    static gboolean Poll(gpointer self)
    {
        ChooserAnswerer* a = static_cast<ChooserAnswerer*>(self);
        GtkFileChooser* c = NULL;
        for (GtkWindow* w : keltest::ToplevelsWithTitle(""))
            if (GTK_IS_FILE_CHOOSER_DIALOG(w) && GTK_WIDGET_VISIBLE(w))
                c = GTK_FILE_CHOOSER(w);
        gchar* at = c && !a->started ? gtk_file_chooser_get_current_folder(c) : NULL;
        if (!c || (!a->started && !at && ++a->polls < 500))
            return TRUE;
        if (!a->started)
            a->openedIn = at ? at : "", a->started = true, a->file.empty() ? gtk_file_chooser_set_current_folder(c, a->folder.c_str())
                                                                            : gtk_file_chooser_set_filename(c, a->file.c_str());
        else if (!a->file.empty())
            gtk_file_chooser_select_filename(c, a->file.c_str()); /* once the folder is loaded */
        g_free(at);
        gchar* now = a->file.empty() ? gtk_file_chooser_get_current_folder(c) : gtk_file_chooser_get_filename(c);
        bool ready = a->response != GTK_RESPONSE_ACCEPT || (now && (a->file.empty() ? a->folder : a->file) == now);
        g_free(now);
        if (!ready && ++a->polls < 1000)
            return TRUE;
        a->answered = ready;
        a->source = 0;
        gtk_dialog_response(GTK_DIALOG(c), ready ? a->response : GTK_RESPONSE_CANCEL);
        return FALSE;
    }
};

} // namespace searchtest

#endif
