/* The shared edit path of categories and programs. */
#include "CShellItemEdit.h"

#include "CCategoryNaming.h"
#include "CChangeIconDlg.h"
#include "CIconCache.h"
#include "CMessageBox.h"
#include "KELConstants.h"

using namespace LibKELData;

namespace LibKELGUI {

CShellItemEdit::CShellItemEdit(Lists& lists, CShellPageHost& host, CShellPolicy& policy)
    : m_pIconDlg(NULL)
    , m_EditTarget(CATEGORY)
    , m_Lists(lists)
    , m_Host(host)
    , m_Policy(policy)
{
}

CShellItemEdit::~CShellItemEdit()
{
    CloseDialog();
}

void CShellItemEdit::CloseDialog()
{
    if (m_pIconDlg) {
        delete m_pIconDlg;
        m_pIconDlg = NULL;
    }
}

void CShellItemEdit::OpenDialog(Target target)
{
    CloseDialog();
    /* The dialog starts from the selected item, whatever was shown or under the cursor last. */
    GtkTreeIter categoryIter;
    GtkTreeIter programIter;
    CCategory* category = NULL;
    CApplicationInfo* program = NULL;
    bool isCategory = target == CATEGORY;
    if (isCategory && m_Lists.Selected(&categoryIter, &category, NULL, NULL) && category) {
        m_CurCategoryName = category->GetName();
        m_CurCategoryIcon = category->GetCategoryIcon();
    } else if (!isCategory && m_Lists.Selected(&categoryIter, NULL, &programIter, &program) && program) {
        m_CurProgramName = program->GetName();
        m_CurProgramIcon = program->GetCustomIcon();
    }
    m_pIconDlg = new CChangeIconDlg(ICON_PATH, isCategory ? m_CurCategoryIcon : m_CurProgramIcon,
                                    isCategory ? m_CurCategoryName : m_CurProgramName,
                                    isCategory ? Tr("Edit Category") : Tr("Edit Application"));
    m_pIconDlg->Init();
    /* A refused name keeps the dialog open with the text selected and the reason shown;
     * Apply below stays as the last guard. */
    m_EditTarget = target;
    m_pIconDlg->SetNameCheck(CheckDialogName, this);
    m_pIconDlg->ShowModal(m_Host.PageParentWindow(), G_CALLBACK(GtkOnDialogClosed), this);
}

void CShellItemEdit::GtkOnDialogClosed(GtkWidget*, gpointer data)
{
    CShellItemEdit* self = static_cast<CShellItemEdit*>(data);
    self->Finish(self->m_EditTarget);
}

bool CShellItemEdit::CheckDialogName(const std::string& name, std::string& reason, void* data)
{
    CShellItemEdit* self = static_cast<CShellItemEdit*>(data);
    bool isCategory = self->m_EditTarget == CATEGORY;
    CCategory* category = NULL;
    GtkTreeIter categoryIter;
    if (!isCategory && !self->m_Lists.Selected(&categoryIter, &category, NULL, NULL))
        category = NULL;
    return CCategoryNaming::CheckName(self->m_Policy.TabNav(), category,
                                      isCategory ? self->m_CurCategoryName : self->m_CurProgramName, name,
                                      reason) != 1;
}

void CShellItemEdit::Finish(Target target)
{
    if (!m_pIconDlg || m_pIconDlg->FetchReturnStatus() == 0)
        return;
    std::string name;
    std::string icon;
    m_pIconDlg->FetchData(name, icon);
    Apply(target, name, icon);
}

void CShellItemEdit::Apply(Target target, const std::string& name, const std::string& icon)
{
    GtkTreeIter categoryIter;
    GtkTreeIter programIter;
    CCategory* category = NULL;
    if (target == PROGRAM && name != m_CurProgramName &&
        (!m_Lists.Selected(&categoryIter, &category, &programIter, NULL) || !category))
        return;
    std::string reason;
    int check = CCategoryNaming::CheckName(m_Policy.TabNav(), category,
                                           target == CATEGORY ? m_CurCategoryName : m_CurProgramName, name, reason);
    if (check == 0)
        Update(target, name, icon);
    else if (check == 1)
        CMessageBox::Show(reason.c_str(), m_Host.PageParentWindow(), GTK_MESSAGE_ERROR, GTK_BUTTONS_OK,
                          GTK_DIALOG_MODAL, KEL_SHELL_CONTROLLER_ICON);
    else
        FailureLine("ASSERT!!!");
}

int CShellItemEdit::Update(Target target, const std::string& name, const std::string& icon)
{
    GtkTreeIter categoryIter;
    GtkTreeIter programIter;
    CCategory* category = NULL;
    CApplicationInfo* program = NULL;
    bool isCategory = target == CATEGORY;
    if (name.empty() || !m_Lists.Selected(&categoryIter, &category, isCategory ? NULL : &programIter, &program) ||
        (!isCategory && !category))
        return -1;
    GdkPixbuf* pixbuf = CIconCache::LoadAtSize(icon, CIconCache::LIST_ICON_SIZE);
    if (isCategory)
        gtk_list_store_set(m_Lists.Store(target), &categoryIter, CAT_COL_NAME, name.c_str(), CAT_COL_ICON, pixbuf, -1);
    else
        gtk_list_store_set(m_Lists.Store(target), &programIter, PROG_COL_NAME, name.c_str(), PROG_COL_ICON, pixbuf,
                           -1);
    if (pixbuf)
        g_object_unref(pixbuf);
    if (isCategory && category) {
        category->SetName(name);
        category->SetCategoryIcon(icon);
        m_CurCategoryName = name;
        m_CurCategoryIcon = icon;
    } else if (program) {
        program->SetName(name);
        program->SetCustomIcon(icon);
        m_CurProgramName = name;
        m_CurProgramIcon = icon;
    }
    m_Host.OnPageEdited(CShellPolicy::TAB_NAVIGATION);
    return 1;
}

} // namespace LibKELGUI
