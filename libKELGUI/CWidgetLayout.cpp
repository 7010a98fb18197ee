/* Sizes, headings, row tooltips and mnemonics that let a window follow its font and language. */
#include "CWidgetLayout.h"

#include <functional>
#include <set>
#include <string>

#include "KELConstants.h"

namespace {

void KeepAtLeast(GtkWidget* widget, GtkRequisition* requisition, gpointer)
{
    int width = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), "kel-min-width"));
    int height = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), "kel-min-height"));
    requisition->width = MAX(requisition->width, width);
    requisition->height = MAX(requisition->height, height);
}

/* The text a button or check box is known by: its label, or the label that names it. */
std::string LabelOf(GtkWidget* widget)
{
    const gchar* label = gtk_button_get_label(GTK_BUTTON(widget));
    if (label)
        return label;
    std::string text;
    GList* labels = gtk_widget_list_mnemonic_labels(widget);
    if (labels)
        text = gtk_label_get_text(GTK_LABEL(labels->data));
    g_list_free(labels);
    return text;
}

void CollectButtons(GtkWidget* widget, gpointer list)
{
    if (GTK_IS_BUTTON(widget) && !GTK_IS_LINK_BUTTON(widget))
        static_cast<std::vector<GtkWidget*>*>(list)->push_back(widget);
    if (GTK_IS_CONTAINER(widget))
        gtk_container_forall(GTK_CONTAINER(widget), CollectButtons, list);
}

/* The columns' widths are the smallest: a heading at a larger font or in a longer language widens
 * its column, so that the heading is not cut. */
void FitHeadingsNow(GtkWidget* view, GtkStyle*, gpointer)
{
    GList* columns = gtk_tree_view_get_columns(GTK_TREE_VIEW(view));
    for (GList* l = columns; l; l = l->next) {
        GtkTreeViewColumn* column = GTK_TREE_VIEW_COLUMN(l->data);
        const gchar* title = gtk_tree_view_column_get_title(column);
        int width = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(column), "kel-min-width"));
        if (title && *title) {
            PangoLayout* layout = gtk_widget_create_pango_layout(view, title);
            int textWidth = 0;
            pango_layout_get_pixel_size(layout, &textWidth, NULL);
            g_object_unref(layout);
            width = MAX(width, textWidth + 24); /* the heading button's frame and padding */
        }
        gtk_tree_view_column_set_fixed_width(column, width);
    }
    g_list_free(columns);
}

} // namespace

namespace LibKELGUI {

void CWidgetLayout::KeepMinimumSize(GtkWidget* widget, int width, int height)
{
    g_object_set_data(G_OBJECT(widget), "kel-min-width", GINT_TO_POINTER(width));
    g_object_set_data(G_OBJECT(widget), "kel-min-height", GINT_TO_POINTER(height));
    if (!g_object_get_data(G_OBJECT(widget), "kel-min-connected")) {
        g_object_set_data(G_OBJECT(widget), "kel-min-connected", GINT_TO_POINTER(1));
        g_signal_connect_after(widget, "size-request", G_CALLBACK(KeepAtLeast), NULL);
    }
    gtk_widget_queue_resize(widget);
}

/* Every row is one 32 px icon high: fixed-height mode spares GTK measuring each row, which
 * dominates filling long lists. It needs fixed sizing on every column. */
void CWidgetLayout::AppendFixedColumn(GtkWidget* view, const char* title, GtkCellRenderer* renderer,
                                      const char* attribute, int column, int width, bool expand)
{
    GtkTreeViewColumn* c = gtk_tree_view_column_new_with_attributes(title, renderer, attribute, column, NULL);
    gtk_tree_view_column_set_sizing(c, GTK_TREE_VIEW_COLUMN_FIXED);
    gtk_tree_view_column_set_fixed_width(c, width);
    g_object_set_data(G_OBJECT(c), "kel-min-width", GINT_TO_POINTER(width));
    gtk_tree_view_column_set_expand(c, expand ? TRUE : FALSE);
    gtk_tree_view_append_column(GTK_TREE_VIEW(view), c);
}

void CWidgetLayout::AppendPage(GtkWidget* notebook, GtkWidget* page, const char* title, GCallback onDestroy,
                               gpointer data)
{
    GtkWidget* tabLabel = gtk_label_new(title);
    gtk_widget_set_name(tabLabel, LibKELData::KEL_STYLE_LABEL_FONT.c_str());
    gtk_widget_show(tabLabel);
    gtk_notebook_append_page(GTK_NOTEBOOK(notebook), page, tabLabel);
    g_signal_connect(page, "destroy", onDestroy, data);
}

GtkWidget* CWidgetLayout::AppendButtonPanel(GtkWidget* box, GtkWidget** panel)
{
    *panel = gtk_event_box_new();
    gtk_widget_set_name(*panel, LibKELData::KEL_STYLE_BUTTON_PANEL.c_str());
    gtk_box_pack_end(GTK_BOX(box), *panel, FALSE, FALSE, 0);
    gtk_widget_show(*panel);
    GtkWidget* row = gtk_hbox_new(FALSE, 0);
    gtk_container_set_border_width(GTK_CONTAINER(row), 5);
    gtk_widget_set_name(row, LibKELData::KEL_STYLE_FONT_WHITE.c_str());
    gtk_container_add(GTK_CONTAINER(*panel), row);
    gtk_widget_show(row);
    return row;
}

void CWidgetLayout::FitHeadings(GtkWidget* view)
{
    g_signal_connect(view, "style-set", G_CALLBACK(FitHeadingsNow), NULL);
}

void CWidgetLayout::AddNameTooltips(GtkWidget* view, int nameColumn)
{
    g_object_set_data(G_OBJECT(view), "kel-name-column", GINT_TO_POINTER(nameColumn));
    gtk_widget_set_has_tooltip(view, TRUE);
    g_signal_connect(view, "query-tooltip", G_CALLBACK(GtkOnQueryTooltip), NULL);
}

gboolean CWidgetLayout::GtkOnQueryTooltip(GtkWidget* view, gint x, gint y, gboolean keyboard, GtkTooltip* tooltip,
                                          gpointer)
{
    GtkTreeModel* model = NULL;
    GtkTreePath* path = NULL;
    GtkTreeIter iter;
    if (!gtk_tree_view_get_tooltip_context(GTK_TREE_VIEW(view), &x, &y, keyboard, &model, &path, &iter))
        return FALSE;
    gchar* name = NULL;
    gtk_tree_model_get(model, &iter, GPOINTER_TO_INT(g_object_get_data(G_OBJECT(view), "kel-name-column")), &name, -1);
    bool shown = name && *name;
    if (shown) {
        gtk_tooltip_set_text(tooltip, name);
        gtk_tree_view_set_tooltip_row(GTK_TREE_VIEW(view), tooltip, path);
    }
    g_free(name);
    gtk_tree_path_free(path);
    return shown ? TRUE : FALSE;
}

void CWidgetLayout::ForEachMnemonic(const std::vector<GtkWidget*>& roots,
                                    const std::function<bool(GtkWidget*, const std::string&, size_t, gunichar)>& visit)
{
    /* Letters are handed out in the window's order, each button or box taking the first letter
     * of its label not yet taken, so the labels stay as they are in every language. */
    std::vector<GtkWidget*> buttons;
    for (size_t i = 0; i < roots.size(); ++i)
        CollectButtons(roots[i], &buttons);
    std::set<gunichar> taken;
    for (size_t i = 0; i < buttons.size(); ++i) {
        std::string label = LabelOf(buttons[i]);
        for (const gchar* p = label.c_str(); g_utf8_validate(p, -1, NULL) && *p; p = g_utf8_next_char(p)) {
            gunichar c = g_unichar_tolower(g_utf8_get_char(p));
            if (!g_unichar_isalnum(c) || taken.count(c))
                continue;
            taken.insert(c);
            if (!visit(buttons[i], label, (size_t)(p - label.c_str()), c))
                return;
            break;
        }
    }
}

GtkWidget* CWidgetLayout::MnemonicTarget(const std::vector<GtkWidget*>& roots, guint keyval)
{
    gunichar wanted = g_unichar_tolower(gdk_keyval_to_unicode(keyval));
    GtkWidget* target = NULL;
    ForEachMnemonic(roots, [&](GtkWidget* button, const std::string&, size_t, gunichar c) {
        if (c == wanted && GTK_WIDGET_DRAWABLE(button) && GTK_WIDGET_IS_SENSITIVE(button))
            target = button;
        return target == NULL;
    });
    return target;
}

void CWidgetLayout::UnderlineMnemonics(const std::vector<GtkWidget*>& roots)
{
    /* Shown as the other dialogs show theirs, but as an attribute: the texts stay as they are,
     * and GTK's own mnemonics (which ignore the page shown) are not set up. */
    ForEachMnemonic(roots, [](GtkWidget* button, const std::string& text, size_t at, gunichar) {
        GtkWidget* child = gtk_bin_get_child(GTK_BIN(button));
        GtkLabel* label = child && GTK_IS_LABEL(child) ? GTK_LABEL(child) : NULL;
        if (!label) {
            GList* labels = gtk_widget_list_mnemonic_labels(button);
            label = labels ? GTK_LABEL(labels->data) : NULL;
            g_list_free(labels);
        }
        if (label && text == gtk_label_get_text(label)) {
            PangoAttrList* attrs = pango_attr_list_new();
            PangoAttribute* underline = pango_attr_underline_new(PANGO_UNDERLINE_SINGLE);
            underline->start_index = (guint)at;
            underline->end_index = (guint)(g_utf8_next_char(text.c_str() + at) - text.c_str());
            pango_attr_list_insert(attrs, underline);
            gtk_label_set_attributes(label, attrs);
            pango_attr_list_unref(attrs);
        }
        return true;
    });
}

} // namespace LibKELGUI
