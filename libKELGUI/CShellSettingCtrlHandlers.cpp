/* The Shell Settings window's own signal handlers, and the ones it keeps for its callers: the
 * pages connect their widgets to handlers of their own. Each traces its operation and hands it
 * on, the page operations the way the pages do. */
#include "CShellSettingCtrl.h"

#include <gdk/gdkkeysyms.h>

#include "CShellPolicy.h"
#include "CShellProgramPage.h"

using namespace LibKELData;

namespace {

const char* const CLS = "CShellSettingCtrl";

/* Trace lines around a handler's call, which is made only when the handler has a window. */
template <typename Call>
void Dispatch(gpointer data, const char* operation, Call call)
{
    LibKELGUI::TraceStart(CLS, operation);
    if (data)
        call(static_cast<LibKELGUI::CShellSettingCtrl*>(data));
    LibKELGUI::TraceEnd(CLS, operation);
}

} // namespace

namespace LibKELGUI {

void CShellSettingCtrl::OnOKBtnClicked(GtkWidget*, gpointer data)
{
    Dispatch(data, "OnOKBtnClicked", [](CShellSettingCtrl* self) { self->OnOK(); });
}

void CShellSettingCtrl::OnApplyBtnClicked(GtkWidget*, gpointer data)
{
    Dispatch(data, "OnApplyBtnClicked", [](CShellSettingCtrl* self) { self->OnApply(); });
}

void CShellSettingCtrl::OnCancelBtnClicked(GtkWidget*, gpointer data)
{
    Dispatch(data, "OnCancelBtnClicked", [](CShellSettingCtrl* self) { self->OnCancel(); });
}

void CShellSettingCtrl::GtkOnCloseDestroyed(GtkWidget*, gpointer data)
{
    *static_cast<bool*>(data) = true;
}

gboolean CShellSettingCtrl::OnCloseBtnClicked(GtkWidget* widget, GdkEvent*, gpointer data)
{
    /* OnClose may keep the window (a save failed): GTK must not destroy it then. Whether it did
     * close is read from the widget, since the object may be gone by then. */
    bool destroyed = false;
    gulong watch = widget ? g_signal_connect(widget, "destroy", G_CALLBACK(GtkOnCloseDestroyed), &destroyed) : 0;
    Dispatch(data, "OnCloseBtnClicked", [](CShellSettingCtrl* self) { self->OnClose(); });
    if (watch && !destroyed)
        g_signal_handler_disconnect(widget, watch);
    return widget && !destroyed ? TRUE : FALSE;
}

gboolean CShellSettingCtrl::GtkOnWindowKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer data)
{
    CShellSettingCtrl* self = static_cast<CShellSettingCtrl*>(data);
    if (!self)
        return FALSE;
    guint modifiers = event->state & gtk_accelerator_get_default_mod_mask();
    if (event->keyval == GDK_Escape && modifiers == 0) {
        OnCloseBtnClicked(widget, NULL, data);
        return TRUE;
    }
    if (modifiers == GDK_MOD1_MASK) {
        GtkWidget* target = self->MnemonicTarget(event->keyval);
        if (target)
            return gtk_widget_mnemonic_activate(target, FALSE);
    }
    return FALSE;
}

void CShellSettingCtrl::GtkOnWeekLabelClicked(GtkWidget* widget, gpointer data)
{
    Dispatch(data, "OnClickWeekLabel", [widget](CShellSettingCtrl* self) { self->OnWeekLabelClicked(widget); });
}

void CShellSettingCtrl::ChangeCategory(GtkTreeView*, gpointer data)
{
    Dispatch(data, "ChangeCategory", [](CShellSettingCtrl* self) { self->m_ProgramPage.OnChangeCategory(); });
}

void CShellSettingCtrl::AddCategory(GtkWidget*, gpointer data)
{
    Dispatch(data, "AddCategory", [](CShellSettingCtrl* self) { self->m_ProgramPage.OnAddCategory(); });
}

void CShellSettingCtrl::DeleteCategory(GtkWidget*, gpointer data)
{
    Dispatch(data, "DeleteCategory", [](CShellSettingCtrl* self) { self->m_ProgramPage.OnDeleteCategory(); });
}

void CShellSettingCtrl::GtkOnEditCateoryBtnClicked(GtkWidget*, gpointer data)
{
    Dispatch(data, "GtkOnEditCateoryBtnClicked",
             [](CShellSettingCtrl* self) { self->m_PageHost.OnPageRequest(CShellPageHost::EDIT_CATEGORY); });
}

void CShellSettingCtrl::GtkOnCategoryTreeRowActivated(GtkTreeView*, GtkTreePath*, GtkTreeViewColumn*, gpointer data)
{
    Dispatch(data, "GtkOnCategoryTreeRowActivated",
             [](CShellSettingCtrl* self) { self->m_PageHost.OnPageRequest(CShellPageHost::EDIT_CATEGORY); });
}

void CShellSettingCtrl::GetDataFromIconDlgCallBack(GtkWidget*, gpointer data)
{
    if (data)
        static_cast<CShellSettingCtrl*>(data)->GetDataFromIconDlg();
}

void CShellSettingCtrl::GtkEditCategory(GtkCellRendererText*, const gchar* path, const gchar* text, gpointer data)
{
    Dispatch(data, "GtkEditCategory", [path, text](CShellSettingCtrl* self) {
        if (text && *text)
            self->m_ProgramPage.OnEditCategoryName(path, text);
        else if (self->ShowMessage(Tr("Please enter category name!"), GTK_MESSAGE_INFO, GTK_BUTTONS_OK,
                                   GTK_DIALOG_DESTROY_WITH_PARENT) == GTK_RESPONSE_OK)
            self->OnEditCategoryBtnClicked();
    });
}

void CShellSettingCtrl::GtkOnDefaultBtnClicked(GtkWidget*, gpointer data)
{
    Dispatch(data, "GtkOnDefaultBtnClicked", [](CShellSettingCtrl* self) {
        if (self->ShowMessage(Tr("Do you want to restore the default configuration?"), GTK_MESSAGE_INFO,
                              GTK_BUTTONS_YES_NO, GTK_DIALOG_DESTROY_WITH_PARENT) == GTK_RESPONSE_YES)
            self->m_PageHost.OnPageRequest(CShellPageHost::RESTORE_DEFAULTS);
    });
}

void CShellSettingCtrl::ChangeProgrm(GtkTreeView*, gpointer data)
{
    Dispatch(data, "ChangeProgrm", [](CShellSettingCtrl* self) { self->OnChangeProgrm(); });
}

void CShellSettingCtrl::EnableDisableProgram(GtkCellRendererToggle*, gchar* path, gpointer data)
{
    Dispatch(data, "EnableDisableProgram",
             [path](CShellSettingCtrl* self) { self->m_ProgramPage.OnEnableDisableProgram(path); });
}

void CShellSettingCtrl::GtkAddProgramBtnClicked(GtkWidget*, gpointer data)
{
    Dispatch(data, "GtkAddProgramBtnClicked",
             [](CShellSettingCtrl* self) { self->m_PageHost.OnPageRequest(CShellPageHost::ADD_PROGRAMS); });
}

void CShellSettingCtrl::GtkDeleteProgramBtnClicked(GtkWidget*, gpointer data)
{
    Dispatch(data, "GtkDeleteProgramBtnClicked",
             [](CShellSettingCtrl* self) { self->m_ProgramPage.OnDeleteProgram(); });
}

void CShellSettingCtrl::GtkAddProgramButtonClicked(GtkWidget*, gpointer data)
{
    Dispatch(data, "GtkAddProgramButtonClicked", [](CShellSettingCtrl* self) { self->OnAddProgramButtonClicked(); });
}

void CShellSettingCtrl::GtkOnApplicationTreeRowActivated(GtkTreeView*, GtkTreePath*, GtkTreeViewColumn*, gpointer data)
{
    Dispatch(data, "GtkOnApplicationTreeRowActivated",
             [](CShellSettingCtrl* self) { self->OnAddProgramButtonClicked(); });
}

void CShellSettingCtrl::GetDataFromEditIconDlgCallBack(GtkWidget*, gpointer data)
{
    if (data)
        static_cast<CShellSettingCtrl*>(data)->GetDataFromEditIconDlg();
}

void CShellSettingCtrl::GtkOnWindowDestroy(GtkWidget*, gpointer data)
{
    static_cast<CShellSettingCtrl*>(data)->OnWindowDestroyed();
}

void CShellSettingCtrl::GtkOnWindowMap(GtkWidget*, gpointer data)
{
    /* A damaged policy file is told once the window is on the screen, so the box has a parent. */
    CShellSettingCtrl* self = static_cast<CShellSettingCtrl*>(data);
    if (!self->m_bDamageTold && !self->m_NoticeSource && !self->m_Policy.DamageNotice().empty())
        self->m_NoticeSource = gdk_threads_add_idle(GtkTellDamage, self);
}

gboolean CShellSettingCtrl::GtkTellDamage(gpointer data)
{
    CShellSettingCtrl* self = static_cast<CShellSettingCtrl*>(data);
    self->m_NoticeSource = 0;
    self->m_bDamageTold = true;
    std::string notice = self->m_Policy.DamageNotice();
    if (!notice.empty() && self->m_pWindow)
        self->ShowMessage(notice.c_str(), GTK_MESSAGE_WARNING, GTK_BUTTONS_OK, GTK_DIALOG_MODAL);
    return FALSE;
}

} // namespace LibKELGUI
