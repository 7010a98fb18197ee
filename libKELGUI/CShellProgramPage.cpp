/* The Program Registration page: categories, programs, and their shared edit path. */
#include "CShellProgramPage.h"

#include <cstring>

#include "CCategoryNaming.h"
#include "CIconCache.h"
#include "CMessageBox.h"
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

/* The selected row of a single-selection list and the record in its pointer column. */
bool SelectedRecord(GtkWidget* view, GtkTreeIter* iter, int pointerColumn, gpointer* record)
{
    GtkTreeIter row;
    GtkTreeModel* model = NULL;
    *record = NULL;
    if (!iter)
        iter = &row;
    if (!view || !gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(view)), &model, iter))
        return false;
    gtk_tree_model_get(model, iter, pointerColumn, record, -1);
    return true;
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
    g_signal_handlers_block_matched(m_pCategoryView, G_SIGNAL_MATCH_FUNC, 0, 0, NULL, (gpointer)GtkOnCategoryCursor,
                                    NULL);
    gtk_tree_view_set_cursor(GTK_TREE_VIEW(m_pCategoryView), path, NULL, FALSE);
    g_signal_handlers_unblock_matched(m_pCategoryView, G_SIGNAL_MATCH_FUNC, 0, 0, NULL, (gpointer)GtkOnCategoryCursor,
                                      NULL);
    gtk_tree_selection_select_iter(gtk_tree_view_get_selection(GTK_TREE_VIEW(m_pCategoryView)), iter);
    gtk_tree_path_free(path);
}

bool CShellProgramPage::GetSelectedCategory(GtkTreeIter* iter, CCategory** category)
{
    gpointer record = NULL;
    bool found = SelectedRecord(m_pCategoryView, iter, CAT_COL_POINTER, &record);
    if (category)
        *category = static_cast<CCategory*>(record);
    return found;
}

bool CShellProgramPage::GetSelectedProgram(GtkTreeIter* iter, CApplicationInfo** program)
{
    gpointer record = NULL;
    bool found = SelectedRecord(m_pProgramView, iter, PROG_COL_POINTER, &record);
    if (program)
        *program = static_cast<CApplicationInfo*>(record);
    return found;
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
    /* Programs go with their category: asked first, as they are not easily added again. */
    const bool selected = GetSelectedCategory(&iter, &category);
    const size_t programs = selected && category && category->GetPApplicationInfoList()
                                ? category->GetPApplicationInfoList()->size()
                                : 0;
    if (programs > 0 &&
        ShowMessage(Format(TrN("The category %s holds %d program. Delete the category and its program?",
                               "The category %s holds %d programs. Delete the category and its programs?", programs),
                           category->GetName().c_str(), (int)programs)
                        .c_str(),
                    GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO, GTK_DIALOG_MODAL) != GTK_RESPONSE_YES)
        return;
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
    m_Host.OnPageEdited(CShellPolicy::TAB_NAVIGATION);
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
            m_Host.OnPageEdited(CShellPolicy::TAB_NAVIGATION);
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

} // namespace LibKELGUI
