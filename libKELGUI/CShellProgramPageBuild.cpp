/* The Program Registration page's widgets: the two lists, their icon columns and the buttons. */
#include "CShellProgramPage.h"

#include <gdk/gdkkeysyms.h>

#include "CIconCache.h"
#include "CWidgetLayout.h"
#include "KELConstants.h"

using namespace LibKELData;

namespace {

const char* const CLS = "CShellSettingCtrl";

/* The lists' columns, as the shared edit path numbers them. */
typedef LibKELGUI::CShellItemEdit Col;

const int ICON_SIZE = LibKELGUI::CIconCache::LIST_ICON_SIZE;

/* A row's icon is decoded when the row is drawn, not when it is added: the lists are filled
 * while their page may not be shown yet, and most rows of a long category are out of sight.
 * A row without its own picture in the store shows its record's icon file through the cache
 * (one decode per file, and a file replaced on disk is noticed). */
void IconWhenDrawn(GtkTreeViewColumn*, GtkCellRenderer* cell, GtkTreeModel* model, GtkTreeIter* iter,
                   gpointer isCategoryList)
{
    const bool categories = isCategoryList != NULL;
    const int iconColumn = categories ? (int)Col::CAT_COL_ICON : (int)Col::PROG_COL_ICON;
    const int recordColumn = categories ? (int)Col::CAT_COL_POINTER : (int)Col::PROG_COL_POINTER;
    GdkPixbuf* icon = NULL;
    gpointer record = NULL;
    gtk_tree_model_get(model, iter, iconColumn, &icon, recordColumn, &record, -1);
    if (!icon && record)
        icon = LibKELGUI::CIconCache::LoadAtSize(categories ? static_cast<CCategory*>(record)->GetCategoryIcon()
                                                            : static_cast<CApplicationInfo*>(record)->GetCustomIcon(),
                                                 ICON_SIZE);
    g_object_set(cell, "pixbuf", icon, NULL);
    if (icon)
        g_object_unref(icon);
}

GtkCellRenderer* NewIconRenderer()
{
    GtkCellRenderer* renderer = gtk_cell_renderer_pixbuf_new();
    gtk_cell_renderer_set_fixed_size(renderer, ICON_SIZE, ICON_SIZE);
    return renderer;
}

/* Gives the icon column appended last its draw-time decoding. */
void DecodeIconsWhenDrawn(GtkWidget* view, GtkCellRenderer* renderer, bool categories)
{
    GList* columns = gtk_tree_view_get_columns(GTK_TREE_VIEW(view));
    GtkTreeViewColumn* column = GTK_TREE_VIEW_COLUMN(g_list_last(columns)->data);
    g_list_free(columns);
    gtk_tree_view_column_set_cell_data_func(column, renderer, IconWhenDrawn, categories ? GINT_TO_POINTER(1) : NULL,
                                            NULL);
}

GtkCellRenderer* NewNameRenderer()
{
    GtkCellRenderer* renderer = gtk_cell_renderer_text_new();
    g_object_set(renderer, "ellipsize", PANGO_ELLIPSIZE_END, NULL);
    return renderer;
}

} // namespace

namespace LibKELGUI {

void CShellProgramPage::Build(GtkWidget* notebook)
{
    TraceStart(CLS, "initProgramRegistration");
    m_pProgramPageBox = gtk_vbox_new(FALSE, 5);
    KeepMinimumSize(m_pProgramPageBox, 480, 265);
    CWidgetLayout::AppendPage(notebook, m_pProgramPageBox, Tr("Program Registration"), G_CALLBACK(GtkOnPageDestroy), this);

    GtkWidget* listsRow = gtk_hbox_new(FALSE, 5);
    /* Both lists grow with the window: taller, and the program list wider too. */
    gtk_box_pack_start(GTK_BOX(m_pProgramPageBox), listsRow, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(listsRow), BuildCategoryList(), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(listsRow), BuildProgramList(), TRUE, TRUE, 0);
    BuildButtons();
    gtk_widget_show_all(m_pProgramPageBox);
    TraceEnd(CLS, "initProgramRegistration");
}

GtkWidget* CShellProgramPage::NewList(GtkListStore* store, int width, GtkWidget* box)
{
    KeepMinimumSize(box, width, 225);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(box), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
    GtkWidget* view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
    gtk_container_add(GTK_CONTAINER(box), view);
    CWidgetLayout::FitHeadings(view);
    return view;
}

GtkWidget* CShellProgramPage::BuildCategoryList()
{
    GtkWidget* scroll = gtk_scrolled_window_new(NULL, NULL);
    m_pCategoryStore = gtk_list_store_new(Col::CAT_N_COLS, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_POINTER);
    m_pCategoryView = NewList(m_pCategoryStore, 160, scroll);
    CWidgetLayout::AddNameTooltips(m_pCategoryView, Col::CAT_COL_NAME);
    gtk_tree_view_set_search_column(GTK_TREE_VIEW(m_pCategoryView), Col::CAT_COL_NAME); /* typing jumps to a name */
    gtk_tree_selection_set_mode(gtk_tree_view_get_selection(GTK_TREE_VIEW(m_pCategoryView)), GTK_SELECTION_SINGLE);
    g_signal_connect(m_pCategoryView, "row-activated", G_CALLBACK(GtkOnRowActivated), this);
    g_signal_connect(m_pCategoryView, "cursor-changed", G_CALLBACK(GtkOnCategoryCursor), this);
    GtkCellRenderer* icons = NewIconRenderer();
    CWidgetLayout::AppendFixedColumn(m_pCategoryView, "", icons, "pixbuf", Col::CAT_COL_ICON, ICON_SIZE + 8, false);
    DecodeIconsWhenDrawn(m_pCategoryView, icons, true);
    m_pCategoryNameRenderer = NewNameRenderer();
    g_signal_connect(m_pCategoryNameRenderer, "edited", G_CALLBACK(GtkOnCategoryNameEdited), this);
    CWidgetLayout::AppendFixedColumn(m_pCategoryView, Tr("Category"), m_pCategoryNameRenderer, "text",
                                     Col::CAT_COL_NAME, 100, true);
    gtk_tree_view_set_fixed_height_mode(GTK_TREE_VIEW(m_pCategoryView), TRUE);
    return scroll;
}

GtkWidget* CShellProgramPage::BuildProgramList()
{
    GtkWidget* scroll = gtk_scrolled_window_new(NULL, NULL);
    m_pProgramStore =
        gtk_list_store_new(Col::PROG_N_COLS, G_TYPE_BOOLEAN, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_POINTER);
    m_pProgramView = NewList(m_pProgramStore, 340, scroll);
    CWidgetLayout::AddNameTooltips(m_pProgramView, Col::PROG_COL_NAME);
    gtk_tree_view_set_search_column(GTK_TREE_VIEW(m_pProgramView), Col::PROG_COL_NAME);
    g_signal_connect(m_pProgramView, "row-activated", G_CALLBACK(GtkOnRowActivated), this);
    g_signal_connect(m_pProgramView, "cursor-changed", G_CALLBACK(GtkOnProgramCursor), this);
    /* Enter edits the program and Space shows or hides it, whichever cell has the focus. */
    g_signal_connect(m_pProgramView, "key-press-event", G_CALLBACK(GtkOnProgramKey), this);

    GtkCellRenderer* toggle = gtk_cell_renderer_toggle_new();
    g_signal_connect(toggle, "toggled", G_CALLBACK(GtkOnProgramToggled), this);
    /* Translators: heading of a 50-pixel column: whether the student shell offers the program. */
    CWidgetLayout::AppendFixedColumn(m_pProgramView, Tr("Show"), toggle, "active", Col::PROG_COL_SHOW, 50, false);
    GtkCellRenderer* icons = NewIconRenderer();
    CWidgetLayout::AppendFixedColumn(m_pProgramView, "", icons, "pixbuf", Col::PROG_COL_ICON, ICON_SIZE + 8, false);
    DecodeIconsWhenDrawn(m_pProgramView, icons, false);
    CWidgetLayout::AppendFixedColumn(m_pProgramView, Tr("Program name"), NewNameRenderer(), "text", Col::PROG_COL_NAME,
                                     200, true);
    gtk_tree_view_set_fixed_height_mode(GTK_TREE_VIEW(m_pProgramView), TRUE);
    return scroll;
}

void CShellProgramPage::BuildButtons()
{
    GtkWidget* buttonsRow = gtk_hbox_new(FALSE, 5);
    gtk_widget_set_name(buttonsRow, KEL_STYLE_SMALL_BUTTON.c_str());
    gtk_container_set_border_width(GTK_CONTAINER(buttonsRow), 3);
    gtk_box_pack_start(GTK_BOX(m_pProgramPageBox), buttonsRow, FALSE, FALSE, 0);
    struct ButtonSpec {
        GtkWidget** slot;
        const char* label;
        const char* tooltip;
        int width;
        guint padding;
        int group;
    };
    const ButtonSpec buttons[] = {
        /* Translators: "+" and "-" label the add and remove buttons (32 pixels wide). */
        {&m_pAddCategoryBtn, Tr("+"), Tr("Add"), 32, 0, 0},
        {&m_pDeleteCategoryBtn, Tr("-"), Tr("Delete"), 32, 0, 0},
        /* Translators: the label of a button 55 pixels wide (about five letters, or a symbol) that
           opens the name-and-icon dialog; its tooltip is the plain "Edit". */
        {&m_pEditCategoryBtn, TrCtx("narrow button", "Edit"), Tr("Edit"), 55, 12, 1},
        {&m_pAddProgramBtn, Tr("+"), Tr("Add"), 32, 0, 1},
        {&m_pDeleteProgramBtn, Tr("-"), Tr("Delete"), 32, 10, 1},
        {&m_pEditProgramBtn, TrCtx("narrow button", "Edit"), Tr("Edit"), 55, 3, 1},
        {&m_pDefaultBtn, Tr("Restore to Default"), Tr("Restore to Default"), 155, 0, 2},
    };
    GtkWidget* groups[3];
    const int spacing[3] = {5, 3, 20};
    for (int g = 0; g < 3; ++g) {
        groups[g] = gtk_hbox_new(FALSE, spacing[g]);
        if (g < 2)
            gtk_box_pack_start(GTK_BOX(buttonsRow), groups[g], FALSE, FALSE, g == 0 ? 3 : 0);
        else
            gtk_box_pack_end(GTK_BOX(buttonsRow), groups[g], FALSE, FALSE, 0);
    }
    for (size_t i = 0; i < sizeof(buttons) / sizeof(buttons[0]); ++i) {
        const ButtonSpec& spec = buttons[i];
        GtkWidget* button = gtk_button_new_with_label(spec.label);
        /* The sizes are the smallest: a larger font or a longer translation widens a button. */
        KeepMinimumSize(button, spec.width, 32);
        SetTooltip(button, spec.tooltip);
        if (spec.group == 2)
            gtk_box_pack_end(GTK_BOX(groups[spec.group]), button, FALSE, FALSE, spec.padding);
        else
            gtk_box_pack_start(GTK_BOX(groups[spec.group]), button, FALSE, FALSE, spec.padding);
        g_signal_connect(button, "clicked", G_CALLBACK(GtkOnButtonClicked), this);
        *spec.slot = button;
    }
}

/* ---------------------------------------------------------------- the page's own handlers */

void CShellProgramPage::GtkOnButtonClicked(GtkWidget* button, gpointer data)
{
    CShellProgramPage* self = static_cast<CShellProgramPage*>(data);
    TraceStart(CLS, "OnProgramPageButton");
    if (button == self->m_pAddCategoryBtn)
        self->OnAddCategory();
    else if (button == self->m_pDeleteCategoryBtn)
        self->OnDeleteCategory();
    else if (button == self->m_pEditCategoryBtn)
        self->m_Host.OnPageRequest(CShellPageHost::EDIT_CATEGORY);
    else if (button == self->m_pAddProgramBtn)
        self->m_Host.OnPageRequest(CShellPageHost::ADD_PROGRAMS);
    else if (button == self->m_pDeleteProgramBtn)
        self->OnDeleteProgram();
    else if (button == self->m_pEditProgramBtn)
        self->m_Host.OnPageRequest(CShellPageHost::EDIT_PROGRAM);
    else if (button == self->m_pDefaultBtn &&
             self->ShowMessage(Tr("Do you want to restore the default configuration?"), GTK_MESSAGE_INFO,
                               GTK_BUTTONS_YES_NO, GTK_DIALOG_DESTROY_WITH_PARENT) == GTK_RESPONSE_YES)
        self->m_Host.OnPageRequest(CShellPageHost::RESTORE_DEFAULTS);
    TraceEnd(CLS, "OnProgramPageButton");
}

void CShellProgramPage::GtkOnRowActivated(GtkTreeView* view, GtkTreePath*, GtkTreeViewColumn*, gpointer data)
{
    CShellProgramPage* self = static_cast<CShellProgramPage*>(data);
    self->m_Host.OnPageRequest(GTK_WIDGET(view) == self->m_pCategoryView ? CShellPageHost::EDIT_CATEGORY
                                                                          : CShellPageHost::EDIT_PROGRAM);
}

void CShellProgramPage::GtkOnCategoryCursor(GtkTreeView*, gpointer data)
{
    static_cast<CShellProgramPage*>(data)->OnChangeCategory();
}

void CShellProgramPage::GtkOnProgramCursor(GtkTreeView*, gpointer data)
{
    static_cast<CShellProgramPage*>(data)->OnChangeProgram();
}

void CShellProgramPage::GtkOnProgramToggled(GtkCellRendererToggle*, gchar* path, gpointer data)
{
    static_cast<CShellProgramPage*>(data)->OnEnableDisableProgram(path);
}

void CShellProgramPage::GtkOnCategoryNameEdited(GtkCellRendererText*, const gchar* path, const gchar* text,
                                                gpointer data)
{
    CShellProgramPage* self = static_cast<CShellProgramPage*>(data);
    if (text && *text)
        self->OnEditCategoryName(path, text);
    else if (self->ShowMessage(Tr("Please enter category name!"), GTK_MESSAGE_INFO, GTK_BUTTONS_OK,
                               GTK_DIALOG_DESTROY_WITH_PARENT) == GTK_RESPONSE_OK)
        self->m_Host.OnPageRequest(CShellPageHost::EDIT_CATEGORY);
}

gboolean CShellProgramPage::GtkOnProgramKey(GtkWidget* view, GdkEventKey* event, gpointer data)
{
    bool enter = event->keyval == GDK_Return || event->keyval == GDK_KP_Enter || event->keyval == GDK_ISO_Enter;
    bool space = event->keyval == GDK_space || event->keyval == GDK_KP_Space;
    if ((!enter && !space) || (event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)))
        return FALSE;
    GtkTreePath* path = NULL;
    gtk_tree_view_get_cursor(GTK_TREE_VIEW(view), &path, NULL);
    if (!path)
        return FALSE;
    if (enter) {
        gtk_tree_view_row_activated(GTK_TREE_VIEW(view), path, gtk_tree_view_get_column(GTK_TREE_VIEW(view), 2));
    } else {
        gchar* text = gtk_tree_path_to_string(path);
        static_cast<CShellProgramPage*>(data)->OnEnableDisableProgram(text);
        g_free(text);
    }
    gtk_tree_path_free(path);
    return TRUE;
}

} // namespace LibKELGUI
