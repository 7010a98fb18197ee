/* The Program Registration page: building, categories, programs, and their shared edit path. */
#include "CShellProgramPage.h"

#include <gdk/gdkkeysyms.h>

#include <cstring>

#include "CCategoryNaming.h"
#include "CIconCache.h"
#include "CMessageBox.h"
#include "CShellSettingCtrl.h"
#include "CWidgetLayout.h"
#include "KELConstants.h"
#include "KELDataTools.h"

using namespace LibKELData;

namespace {

const char* const CLS = "CShellSettingCtrl";

enum { CAT_COL_ICON = LibKELGUI::CShellItemEdit::CAT_COL_ICON, CAT_COL_NAME = LibKELGUI::CShellItemEdit::CAT_COL_NAME,
       CAT_COL_POINTER = LibKELGUI::CShellItemEdit::CAT_COL_POINTER, CAT_N_COLS = LibKELGUI::CShellItemEdit::CAT_N_COLS };
enum { PROG_COL_SHOW = LibKELGUI::CShellItemEdit::PROG_COL_SHOW, PROG_COL_ICON = LibKELGUI::CShellItemEdit::PROG_COL_ICON,
       PROG_COL_NAME = LibKELGUI::CShellItemEdit::PROG_COL_NAME,
       PROG_COL_POINTER = LibKELGUI::CShellItemEdit::PROG_COL_POINTER,
       PROG_N_COLS = LibKELGUI::CShellItemEdit::PROG_N_COLS };

const int ICON_SIZE = LibKELGUI::CIconCache::LIST_ICON_SIZE;

std::string DefaultIconPath()
{
    return KEL_RESOURCE_IMAGE_PATH + "gui_default_app.png";
}

void SetSensitive(GtkWidget* widget, gboolean sensitive)
{
    if (widget)
        gtk_widget_set_sensitive(widget, sensitive);
}



/* A row's icon is decoded when the row is drawn, not when it is added: the lists are filled
 * while their page may not be shown yet, and most rows of a long category are out of sight.
 * A row without its own picture in the store shows its record's icon file through the cache
 * (one decode per file, and a file replaced on disk is noticed). */
void IconWhenDrawn(GtkTreeViewColumn*, GtkCellRenderer* cell, GtkTreeModel* model, GtkTreeIter* iter,
                   gpointer isCategoryList)
{
    const bool categories = isCategoryList != NULL;
    const int iconColumn = categories ? (int)CAT_COL_ICON : (int)PROG_COL_ICON;
    const int recordColumn = categories ? (int)CAT_COL_POINTER : (int)PROG_COL_POINTER;
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

CShellProgramPage::CShellProgramPage(CShellPageHost& host, CShellPolicy& policy)
    : m_pCategoryList(NULL)
    , m_Edit(*this, host, policy)
    , m_pProgramPageBox(NULL)
    , m_pCategoryView(NULL)
    , m_pProgramView(NULL)
    , m_pCategoryStore(NULL)
    , m_pProgramStore(NULL)
    , m_pCategoryNameRenderer(NULL)
    , m_pAddCategoryBtn(NULL)
    , m_pDeleteCategoryBtn(NULL)
    , m_pEditCategoryBtn(NULL)
    , m_pAddProgramBtn(NULL)
    , m_pDeleteProgramBtn(NULL)
    , m_pEditProgramBtn(NULL)
    , m_pDefaultBtn(NULL)
    , m_Host(host)
    , m_Policy(policy)
{
    memset(&m_RowIter, 0, sizeof(m_RowIter));
}

CShellProgramPage::~CShellProgramPage()
{
    Detach();
}

void CShellProgramPage::Detach()
{
    m_Edit.CloseDialog();
    if (m_pProgramPageBox)
        g_signal_handlers_disconnect_matched(m_pProgramPageBox, G_SIGNAL_MATCH_DATA, 0, 0, NULL, NULL, this);
    OnPageDestroyed();
}

/* ---------------------------------------------------------------- building */

void CShellProgramPage::Build(GtkWidget* notebook, CShellSettingCtrl* owner)
{
    TraceStart(CLS, "initProgramRegistration");
    m_pProgramPageBox = gtk_vbox_new(FALSE, 5);
    KeepMinimumSize(m_pProgramPageBox, 480, 265);
    GtkWidget* tabLabel = gtk_label_new(Tr("Program Registration"));
    gtk_widget_set_name(tabLabel, KEL_STYLE_LABEL_FONT.c_str());
    gtk_widget_show(tabLabel);
    gtk_notebook_append_page(GTK_NOTEBOOK(notebook), m_pProgramPageBox, tabLabel);
    g_signal_connect(m_pProgramPageBox, "destroy", G_CALLBACK(GtkOnPageDestroy), this);

    GtkWidget* listsRow = gtk_hbox_new(FALSE, 5);
    gtk_box_pack_start(GTK_BOX(m_pProgramPageBox), listsRow, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(listsRow), BuildCategoryList(owner), FALSE, FALSE, 0);
    /* The program list takes what room a larger window gives. */
    gtk_box_pack_start(GTK_BOX(listsRow), BuildProgramList(owner), TRUE, TRUE, 0);
    BuildButtons(owner);
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

GtkWidget* CShellProgramPage::BuildCategoryList(CShellSettingCtrl* owner)
{
    GtkWidget* scroll = gtk_scrolled_window_new(NULL, NULL);
    m_pCategoryStore = gtk_list_store_new(CAT_N_COLS, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_POINTER);
    m_pCategoryView = NewList(m_pCategoryStore, 160, scroll);
    CWidgetLayout::AddNameTooltips(m_pCategoryView, CAT_COL_NAME);
    gtk_tree_view_set_search_column(GTK_TREE_VIEW(m_pCategoryView), CAT_COL_NAME); /* typing jumps to a name */
    gtk_tree_selection_set_mode(gtk_tree_view_get_selection(GTK_TREE_VIEW(m_pCategoryView)), GTK_SELECTION_SINGLE);
    g_signal_connect(m_pCategoryView, "row-activated", G_CALLBACK(CShellSettingCtrl::GtkOnCategoryTreeRowActivated),
                     owner);
    g_signal_connect(m_pCategoryView, "cursor-changed", G_CALLBACK(CShellSettingCtrl::ChangeCategory), owner);
    GtkCellRenderer* icons = NewIconRenderer();
    CWidgetLayout::AppendFixedColumn(m_pCategoryView, "", icons, "pixbuf", CAT_COL_ICON, ICON_SIZE + 8, false);
    DecodeIconsWhenDrawn(m_pCategoryView, icons, true);
    m_pCategoryNameRenderer = NewNameRenderer();
    g_signal_connect(m_pCategoryNameRenderer, "edited", G_CALLBACK(CShellSettingCtrl::GtkEditCategory), owner);
    CWidgetLayout::AppendFixedColumn(m_pCategoryView, Tr("Category"), m_pCategoryNameRenderer, "text", CAT_COL_NAME, 100, true);
    gtk_tree_view_set_fixed_height_mode(GTK_TREE_VIEW(m_pCategoryView), TRUE);
    return scroll;
}

GtkWidget* CShellProgramPage::BuildProgramList(CShellSettingCtrl* owner)
{
    GtkWidget* scroll = gtk_scrolled_window_new(NULL, NULL);
    m_pProgramStore = gtk_list_store_new(PROG_N_COLS, G_TYPE_BOOLEAN, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_POINTER);
    m_pProgramView = NewList(m_pProgramStore, 340, scroll);
    CWidgetLayout::AddNameTooltips(m_pProgramView, PROG_COL_NAME);
    gtk_tree_view_set_search_column(GTK_TREE_VIEW(m_pProgramView), PROG_COL_NAME);
    g_signal_connect(m_pProgramView, "row-activated",
                     G_CALLBACK(CShellSettingCtrl::GtkOnApplicationTreeRowActivated), owner);
    g_signal_connect(m_pProgramView, "cursor-changed", G_CALLBACK(CShellSettingCtrl::ChangeProgrm), owner);
    /* Enter edits the program and Space shows or hides it, whichever cell has the focus. */
    g_signal_connect(m_pProgramView, "key-press-event", G_CALLBACK(GtkOnProgramKey), owner);

    GtkCellRenderer* toggle = gtk_cell_renderer_toggle_new();
    g_signal_connect(toggle, "toggled", G_CALLBACK(CShellSettingCtrl::EnableDisableProgram), owner);
    /* Translators: heading of a 50-pixel column: whether the student shell offers the program. */
    CWidgetLayout::AppendFixedColumn(m_pProgramView, Tr("Show"), toggle, "active", PROG_COL_SHOW, 50, false);
    GtkCellRenderer* icons = NewIconRenderer();
    CWidgetLayout::AppendFixedColumn(m_pProgramView, "", icons, "pixbuf", PROG_COL_ICON, ICON_SIZE + 8, false);
    DecodeIconsWhenDrawn(m_pProgramView, icons, false);
    CWidgetLayout::AppendFixedColumn(m_pProgramView, Tr("Program name"), NewNameRenderer(), "text", PROG_COL_NAME, 200, true);
    gtk_tree_view_set_fixed_height_mode(GTK_TREE_VIEW(m_pProgramView), TRUE);
    return scroll;
}

void CShellProgramPage::BuildButtons(CShellSettingCtrl* owner)
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
        GCallback handler;
        int group;
    };
    const ButtonSpec buttons[] = {
        /* Translators: "+" and "-" label the add and remove buttons (32 pixels wide). */
        {&m_pAddCategoryBtn, Tr("+"), Tr("Add"), 32, 0, G_CALLBACK(CShellSettingCtrl::AddCategory), 0},
        {&m_pDeleteCategoryBtn, Tr("-"), Tr("Delete"), 32, 0, G_CALLBACK(CShellSettingCtrl::DeleteCategory), 0},
        /* Translators: the label of a button 55 pixels wide (about five letters, or a symbol) that
           opens the name-and-icon dialog; its tooltip is the plain "Edit". */
        {&m_pEditCategoryBtn, TrCtx("narrow button", "Edit"), Tr("Edit"), 55, 12,
         G_CALLBACK(CShellSettingCtrl::GtkOnEditCateoryBtnClicked), 1},
        {&m_pAddProgramBtn, Tr("+"), Tr("Add"), 32, 0, G_CALLBACK(CShellSettingCtrl::GtkAddProgramBtnClicked), 1},
        {&m_pDeleteProgramBtn, Tr("-"), Tr("Delete"), 32, 10, G_CALLBACK(CShellSettingCtrl::GtkDeleteProgramBtnClicked),
         1},
        {&m_pEditProgramBtn, TrCtx("narrow button", "Edit"), Tr("Edit"), 55, 3,
         G_CALLBACK(CShellSettingCtrl::GtkAddProgramButtonClicked), 1},
        {&m_pDefaultBtn, Tr("Restore to Default"), Tr("Restore to Default"), 155, 0,
         G_CALLBACK(CShellSettingCtrl::GtkOnDefaultBtnClicked), 2},
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
        g_signal_connect(button, "clicked", spec.handler, owner);
        *spec.slot = button;
    }
}

/* ---------------------------------------------------------------- categories */

void CShellProgramPage::AppendCategoryRow(CCategory* category, const std::string& iconPath)
{
    /* The record's own icon is decoded when the row is drawn; another one is kept in the row. */
    GdkPixbuf* icon = iconPath == category->GetCategoryIcon() ? NULL : CIconCache::LoadAtSize(iconPath, ICON_SIZE);
    gtk_list_store_insert_with_values(m_pCategoryStore, &m_RowIter, -1, CAT_COL_ICON, icon, CAT_COL_NAME,
                                      category->GetName().c_str(), CAT_COL_POINTER, category, -1);
    if (icon)
        g_object_unref(icon);
}

bool CShellProgramPage::ShowTabNavPolicy()
{
    TraceStart(CLS, "ShowTabNavPolicy");
    m_pCategoryList = m_Policy.TabNav().GetPCategoryInfoList();
    bool result = m_pCategoryList && !m_pCategoryList->empty();
    /* Shown again after a reload or a restore: start from empty lists. */
    if (m_pProgramStore)
        gtk_list_store_clear(m_pProgramStore);
    if (m_pCategoryStore && m_pCategoryList) {
        gtk_list_store_clear(m_pCategoryStore);
        for (CategoryInfoList::iterator it = m_pCategoryList->begin(); it != m_pCategoryList->end(); ++it)
            if (*it)
                AppendCategoryRow(*it, (*it)->GetCategoryIcon());
        GtkTreeIter first;
        if (gtk_tree_model_get_iter_first(GTK_TREE_MODEL(m_pCategoryStore), &first)) {
            CCategory* category = NULL;
            gtk_tree_model_get(GTK_TREE_MODEL(m_pCategoryStore), &first, CAT_COL_POINTER, &category, -1);
            SelectCategoryRow(&first);
            ShowPrograms(category);
        }
    } else if (m_pCategoryStore) {
        gtk_list_store_clear(m_pCategoryStore);
    }
    UpdateBtnStatus();
    TraceEnd(CLS, "ShowTabNavPolicy");
    return result;
}

void CShellProgramPage::Fetch()
{
    /* Every edit went into the record when it was made: only the dirty test is left. */
    m_Policy.TestDirty(CShellPolicy::TAB_NAVIGATION);
}

void CShellProgramPage::UpdateBtnStatus()
{
    /* Decided first and set once: a button whose sensitivity changes makes GTK lay the whole
     * window out again, so one that keeps it is not switched off and on. */
    gboolean category = FALSE;
    gboolean program = FALSE;
    /* The record's list itself: the cached pointer may predate a reload. */
    CategoryInfoList* categories = m_Policy.TabNav().GetPCategoryInfoList();
    GtkTreeIter iter;
    CCategory* selected = NULL;
    if (categories && !categories->empty() && GetSelectedCategory(&iter, &selected)) {
        category = TRUE;
        GtkTreeIter programIter;
        ApplicationInfoList* programs = selected ? selected->GetPApplicationInfoList() : NULL;
        program = programs && !programs->empty() && GetSelectedProgram(&programIter, NULL) ? TRUE : FALSE;
    }
    SetSensitive(m_pDeleteCategoryBtn, category);
    SetSensitive(m_pAddProgramBtn, category);
    SetSensitive(m_pEditCategoryBtn, category);
    SetSensitive(m_pDeleteProgramBtn, program);
    SetSensitive(m_pEditProgramBtn, program);
}

void CShellProgramPage::SelectCategoryRow(GtkTreeIter* iter)
{
    if (!m_pCategoryView || !m_pCategoryStore)
        return;
    /* The cursor follows the selection (keyboard, scrolling to a new row); the caller shows the
     * programs itself, so the cursor handler is held back. */
    GtkTreePath* path = gtk_tree_model_get_path(GTK_TREE_MODEL(m_pCategoryStore), iter);
    g_signal_handlers_block_matched(m_pCategoryView, G_SIGNAL_MATCH_FUNC, 0, 0, NULL,
                                    (gpointer)CShellSettingCtrl::ChangeCategory, NULL);
    gtk_tree_view_set_cursor(GTK_TREE_VIEW(m_pCategoryView), path, NULL, FALSE);
    g_signal_handlers_unblock_matched(m_pCategoryView, G_SIGNAL_MATCH_FUNC, 0, 0, NULL,
                                      (gpointer)CShellSettingCtrl::ChangeCategory, NULL);
    gtk_tree_selection_select_iter(gtk_tree_view_get_selection(GTK_TREE_VIEW(m_pCategoryView)), iter);
    gtk_tree_path_free(path);
}

bool CShellProgramPage::GetSelectedCategory(GtkTreeIter* iter, CCategory** category)
{
    if (category)
        *category = NULL;
    GtkTreeModel* model = NULL;
    if (!m_pCategoryView ||
        !gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(m_pCategoryView)), &model, iter))
        return false;
    if (category)
        gtk_tree_model_get(model, iter, CAT_COL_POINTER, category, -1);
    return true;
}

bool CShellProgramPage::GetSelectedProgram(GtkTreeIter* iter, CApplicationInfo** program)
{
    if (program)
        *program = NULL;
    GtkTreeModel* model = NULL;
    if (!m_pProgramView ||
        !gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(m_pProgramView)), &model, iter))
        return false;
    if (program)
        gtk_tree_model_get(model, iter, PROG_COL_POINTER, program, -1);
    return true;
}

void CShellProgramPage::OnChangeCategory()
{
    if (!m_pCategoryView || !m_pCategoryStore)
        return;
    GtkTreePath* path = NULL;
    gtk_tree_view_get_cursor(GTK_TREE_VIEW(m_pCategoryView), &path, NULL);
    GtkTreeIter iter;
    if (path && gtk_tree_model_get_iter(GTK_TREE_MODEL(m_pCategoryStore), &iter, path)) {
        CCategory* category = NULL;
        gtk_tree_model_get(GTK_TREE_MODEL(m_pCategoryStore), &iter, CAT_COL_POINTER, &category, -1);
        if (category)
            ShowPrograms(category);
        UpdateBtnStatus();
    } else {
        UpdateBtnStatus();
        if (m_pProgramStore)
            gtk_list_store_clear(m_pProgramStore);
    }
    if (path)
        gtk_tree_path_free(path);
}

int CShellProgramPage::BuildNewCategoryName(const std::string& base, std::string& name)
{
    CTabNavigationData& policy = m_Policy.TabNav();
    CategoryInfoList* categories = policy.GetPCategoryInfoList();
    int count = categories ? (int)categories->size() : 0;
    name = CCategoryNaming::Build(
        base, [&policy](const std::string& candidate) { return policy.IsCategoryExist(candidate); }, count + 1);
    return 1;
}

void CShellProgramPage::OnAddCategory()
{
    CCategory* category = new CCategory;
    std::string name;
    BuildNewCategoryName(Tr("New Category"), name);
    category->SetName(name);
    category->SetCategoryIcon(DefaultIconPath());
    /* A policy without a category list gets one, so that the new category is kept. */
    CTabNavigationData& policy = m_Policy.TabNav();
    if (!policy.GetPCategoryInfoList())
        policy.SetPCategoryInfoList(new CategoryInfoList);
    m_pCategoryList = policy.GetPCategoryInfoList();
    m_pCategoryList->push_back(category);
    if (m_pCategoryStore) {
        AppendCategoryRow(category, CKELDataTools::FileExist(category->GetCategoryIcon()) == 1
                                        ? category->GetCategoryIcon()
                                        : DefaultIconPath());
        GtkTreeIter added = m_RowIter;
        SelectCategoryRow(&added);
        ShowPrograms(category);
    }
    m_Host.OnPageEdited(CShellPolicy::TAB_NAVIGATION);
}

void CShellProgramPage::OnDeleteCategory()
{
    GtkTreeIter iter;
    CCategory* category = NULL;
    /* The program rows point into the category: empty them before it goes. */
    if (m_pProgramStore)
        gtk_list_store_clear(m_pProgramStore);
    if (GetSelectedCategory(&iter, &category)) {
        gtk_list_store_remove(m_pCategoryStore, &iter);
        if (category)
            m_Policy.TabNav().RemoveCategory(category);
        gtk_tree_selection_unselect_all(gtk_tree_view_get_selection(GTK_TREE_VIEW(m_pCategoryView)));
    }
    m_Host.OnPageEdited(CShellPolicy::TAB_NAVIGATION);
}

void CShellProgramPage::OnEditCategoryName(const gchar* path, const gchar* text)
{
    GtkTreeIter iter;
    if (!m_pCategoryStore || !path || !gtk_tree_model_get_iter_from_string(GTK_TREE_MODEL(m_pCategoryStore), &iter, path))
        return;
    CCategory* category = NULL;
    gtk_tree_model_get(GTK_TREE_MODEL(m_pCategoryStore), &iter, CAT_COL_POINTER, &category, -1);
    /* Typed names obey the dialog's rule: no two categories share a name. */
    std::string reason;
    if (category && CCategoryNaming::CheckName(m_Policy.TabNav(), NULL, category->GetName(), text, reason) != 0) {
        ShowMessage(Tr("The specified category name already exists!"), GTK_MESSAGE_ERROR, GTK_BUTTONS_OK,
                    GTK_DIALOG_MODAL);
        return;
    }
    gtk_list_store_set(m_pCategoryStore, &iter, CAT_COL_NAME, text, -1);
    if (category)
        category->SetName(text);
    m_Host.OnPageEdited(CShellPolicy::TAB_NAVIGATION);
}

void CShellProgramPage::RestoreDefaults()
{
    TraceStart(CLS, "OnDefaultBtnClicked");
    /* The rows point into the categories about to be replaced. */
    if (m_pProgramStore)
        gtk_list_store_clear(m_pProgramStore);
    if (m_pCategoryStore)
        gtk_list_store_clear(m_pCategoryStore);
    CDefaultConfigData& defaults = m_Policy.Defaults();
    defaults.LoadFromFile(CONFIG_FILE_DIR + DEFAULT_CONFIG);
    CategoryInfoList* categories = defaults.CloneCategoryInfoList();
    if (categories)
        m_Policy.TabNav().SetPCategoryInfoList(categories);
    /* Without defaults the record keeps its categories, and the page shows them again rather
     * than an empty list that no longer matches the record. */
    ShowTabNavPolicy();
    TraceEnd(CLS, "OnDefaultBtnClicked");
}

void CShellProgramPage::OnPageDestroyed()
{
    m_pProgramPageBox = NULL;
    m_pCategoryView = NULL;
    m_pProgramView = NULL;
    m_pCategoryNameRenderer = NULL;
    m_pAddCategoryBtn = NULL;
    m_pDeleteCategoryBtn = NULL;
    m_pEditCategoryBtn = NULL;
    m_pAddProgramBtn = NULL;
    m_pDeleteProgramBtn = NULL;
    m_pEditProgramBtn = NULL;
    m_pDefaultBtn = NULL;
    if (m_pCategoryStore) {
        g_object_unref(m_pCategoryStore);
        m_pCategoryStore = NULL;
    }
    if (m_pProgramStore) {
        g_object_unref(m_pProgramStore);
        m_pProgramStore = NULL;
    }
}

/* ---------------------------------------------------------------- programs */

void CShellProgramPage::AppendProgramRow(CApplicationInfo* program)
{
    /* No icon yet: it is decoded when the row is drawn, from the shared cache (a category
     * shown again decodes nothing). */
    gtk_list_store_insert_with_values(m_pProgramStore, &m_RowIter, -1, PROG_COL_SHOW,
                                      program->GetEnable() ? TRUE : FALSE, PROG_COL_NAME,
                                      program->GetName().c_str(), PROG_COL_POINTER, program, -1);
}

int CShellProgramPage::ShowPrograms(CCategory* category)
{
    TraceStart(CLS, "showPrograms");
    if (!category)
        return -1;
    m_Edit.m_CurCategoryName = category->GetName();
    m_Edit.m_CurCategoryIcon = category->GetCategoryIcon();
    if (m_pProgramStore) {
        gtk_list_store_clear(m_pProgramStore);
        ApplicationInfoList* programs = category->GetPApplicationInfoList();
        if (programs)
            for (ApplicationInfoList::iterator it = programs->begin(); it != programs->end(); ++it)
                if (*it)
                    AppendProgramRow(*it);
    }
    TraceEnd(CLS, "showPrograms");
    return 0;
}

void CShellProgramPage::OnChangeProgram()
{
    GtkTreeIter categoryIter;
    CCategory* category = NULL;
    if (!GetSelectedCategory(&categoryIter, &category))
        return;
    GtkTreePath* path = NULL;
    if (category && m_pProgramView)
        gtk_tree_view_get_cursor(GTK_TREE_VIEW(m_pProgramView), &path, NULL);
    GtkTreeIter iter;
    if (path && gtk_tree_model_get_iter(GTK_TREE_MODEL(m_pProgramStore), &iter, path)) {
        CApplicationInfo* program = NULL;
        gtk_tree_model_get(GTK_TREE_MODEL(m_pProgramStore), &iter, PROG_COL_POINTER, &program, -1);
        if (program) {
            m_Edit.m_CurProgramName = program->GetName();
            m_Edit.m_CurProgramIcon = program->GetCustomIcon();
        }
    }
    if (path)
        gtk_tree_path_free(path);
    UpdateBtnStatus();
}

void CShellProgramPage::OnEnableDisableProgram(const gchar* path)
{
    GtkTreeIter iter;
    if (m_pProgramStore && path && gtk_tree_model_get_iter_from_string(GTK_TREE_MODEL(m_pProgramStore), &iter, path)) {
        gboolean shown = FALSE;
        CApplicationInfo* program = NULL;
        gtk_tree_model_get(GTK_TREE_MODEL(m_pProgramStore), &iter, PROG_COL_SHOW, &shown, PROG_COL_POINTER, &program,
                           -1);
        shown = !shown;
        gtk_list_store_set(m_pProgramStore, &iter, PROG_COL_SHOW, shown, -1);
        if (program)
            program->SetEnable(shown ? 1 : 0);
    }
    m_Host.OnPageEdited(CShellPolicy::TAB_NAVIGATION);
}

int CShellProgramPage::AddPrograms(const std::list<CApplicationInfo>& programs)
{
    TraceStart(CLS, "AddPrograms");
    GtkTreeIter iter;
    CCategory* category = NULL;
    if (!GetSelectedCategory(&iter, &category) || programs.empty())
        return -1;
    if (!category) {
        FailureLine("Cannot fetch category pointer!");
        TraceEnd(CLS, "AddPrograms");
        return 0;
    }
    bool filtered = false;
    {
        /* Rows only: their icons are decoded when drawn. */
        for (std::list<CApplicationInfo>::const_iterator it = programs.begin(); it != programs.end(); ++it) {
            /* Each accepted entry is in the list before the next is tested: duplicates within one
             * call are filtered too. */
            if (category->IsApplicationExist(it->GetName(), it->GetPath()) != 0) {
                filtered = true;
                continue;
            }
            CApplicationInfo* program = new CApplicationInfo(it->GetName(), it->GetPath(), it->GetCustomIcon(), 1);
            category->AddApplication(program); /* creates the category's list when it has none */
            if (m_pProgramStore)
                AppendProgramRow(program);
        }
    }
    if (filtered)
        ShowMessage(Tr("The same applications have been filtered!"), GTK_MESSAGE_INFO, GTK_BUTTONS_OK,
                    GTK_DIALOG_MODAL);
    TraceEnd(CLS, "AddPrograms");
    return 0;
}

void CShellProgramPage::OnDeleteProgram()
{
    GtkTreeIter categoryIter;
    GtkTreeIter programIter;
    CCategory* category = NULL;
    CApplicationInfo* program = NULL;
    if (GetSelectedCategory(&categoryIter, &category) && GetSelectedProgram(&programIter, &program) && category &&
        program) {
        gtk_list_store_remove(m_pProgramStore, &programIter);
        m_Policy.TabNav().RemoveProgram(category, program);
    }
    m_Host.OnPageEdited(CShellPolicy::TAB_NAVIGATION);
}

/* ---------------------------------------------------------------- what the edit path asks */

bool CShellProgramPage::Selected(GtkTreeIter* categoryIter, CCategory** category, GtkTreeIter* programIter,
                                 CApplicationInfo** program)
{
    bool found = GetSelectedCategory(categoryIter, category);
    if (programIter && !GetSelectedProgram(programIter, program))
        return false;
    return found;
}

GtkListStore* CShellProgramPage::Store(CShellItemEdit::Target target)
{
    return target == CShellItemEdit::CATEGORY ? m_pCategoryStore : m_pProgramStore;
}

int CShellProgramPage::ShowMessage(const char* text, GtkMessageType type, GtkButtonsType buttons,
                                   GtkDialogFlags flags)
{
    return CMessageBox::Show(text, m_Host.PageParentWindow(), type, buttons, flags, KEL_SHELL_CONTROLLER_ICON);
}

/* ---------------------------------------------------------------- handlers */

void CShellProgramPage::GtkOnPageDestroy(GtkWidget*, gpointer data)
{
    static_cast<CShellProgramPage*>(data)->OnPageDestroyed();
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
        CShellSettingCtrl::EnableDisableProgram(NULL, text, data);
        g_free(text);
    }
    gtk_tree_path_free(path);
    return TRUE;
}


} // namespace LibKELGUI
