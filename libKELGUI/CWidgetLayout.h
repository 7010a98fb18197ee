/* Helpers that let a window follow its font and its language: least sizes instead of fixed
 * ones, list headings that fit, whole names in row tooltips, and mnemonics that leave labels as
 * they are. */
#ifndef CWIDGET_LAYOUT_H
#define CWIDGET_LAYOUT_H

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

#include "KELGuiCommon.h"

namespace LibKELGUI {

class CWidgetLayout {
public:
    /* The given size is the least the widget takes: a larger font or a longer translation gets
     * the room it needs (a plain size request would cut it). -1 keeps the natural size. */
    static void KeepMinimumSize(GtkWidget* widget, int width, int height);
    /* A fixed-width column (as fixed-height lists need) whose width is the least: FitHeadings
     * widens it to its heading at the view's font. */
    static void AppendFixedColumn(GtkWidget* view, const char* title, GtkCellRenderer* renderer, const char* attribute,
                                  int column, int width, bool expand);
    static void FitHeadings(GtkWidget* view);
    /* A page of the Shell Settings notebook under its tab, whose text takes the tab font; the
     * page's "destroy" goes to onDestroy with data. */
    static void AppendPage(GtkWidget* notebook, GtkWidget* page, const char* title, GCallback onDestroy, gpointer data);
    /* The coloured panel at the foot of a dialog, packed at the end of box (the panel in *panel);
     * returns the row its buttons go in. */
    static GtkWidget* AppendButtonPanel(GtkWidget* box, GtkWidget** panel);
    /* A row's tooltip shows its whole name, which the column may cut. */
    static void AddNameTooltips(GtkWidget* view, int nameColumn);
    /* The drawn, sensitive button or check box under roots whose mnemonic is keyval: each takes,
     * in order, the first letter of its label not taken yet. */
    static GtkWidget* MnemonicTarget(const std::vector<GtkWidget*>& roots, guint keyval);
    /* Underlines the letter MnemonicTarget gives each of them. */
    static void UnderlineMnemonics(const std::vector<GtkWidget*>& roots);

private:
    /* Each button under roots with its label, the byte offset and the letter it takes; stops
     * when visit says false. */
    static void ForEachMnemonic(const std::vector<GtkWidget*>& roots,
                                const std::function<bool(GtkWidget*, const std::string&, size_t, gunichar)>& visit);
    static gboolean GtkOnQueryTooltip(GtkWidget* view, gint x, gint y, gboolean keyboard, GtkTooltip* tooltip,
                                      gpointer data);
};

} // namespace LibKELGUI

#endif
