/* The Shell Settings window's frame: the window, its button row, OK/Apply/Cancel/close, and the
 * operations it hands to its pages and its policy. */
#include "CShellSettingCtrl.h"

#include <pango/pangocairo.h>

#include "CAddApplicationWindow.h"
#include "CChangeIconDlg.h"
#include "CMessageBox.h"
#include "CShellLockPage.h"
#include "CShellPolicy.h"
#include "CShellProgramPage.h"
#include "CShellSystemPage.h"
#include "CWidgetLayout.h"
#include "KELConstants.h"

using namespace LibKELData;

namespace {

const char* const CLS = "CShellSettingCtrl";

} // namespace

namespace LibKELGUI {

GtkWidget* CShellSettingCtrl::MnemonicTarget(guint keyval)
{
    /* The window's own buttons first: their letters stay the same whatever the pages hold. */
    std::vector<GtkWidget*> roots;
    roots.push_back(m_pButtonRow);
    roots.push_back(m_pNotebook);
    return m_pButtonRow && m_pNotebook ? CWidgetLayout::MnemonicTarget(roots, keyval) : NULL;
}

class CShellSettingCtrl::PageHost : public CShellPageHost {
public:
    explicit PageHost(CShellSettingCtrl& frame) : m_Frame(frame) {}
    GtkWidget* PageParentWindow();
    void OnPageEdited(CShellPolicy::Record record);
    void OnPageRequest(Request request);

private:
    CShellSettingCtrl& m_Frame;
};

/* In the order they must be built: the pages hold the host and the policy. */
struct CShellSettingCtrl::Parts {
    explicit Parts(CShellSettingCtrl& frame)
        : host(frame)
        , lockPage(host, policy)
        , programPage(host, policy)
        , systemPage(host, policy)
    {
    }
    CShellPolicy policy;
    PageHost host;
    CShellLockPage lockPage;
    CShellProgramPage programPage;
    CShellSystemPage systemPage;
};

GtkWidget* CShellSettingCtrl::PageHost::PageParentWindow()
{
    return m_Frame.m_pWindow;
}

void CShellSettingCtrl::PageHost::OnPageEdited(CShellPolicy::Record record)
{
    if (m_Frame.m_bShowing)
        return;
    m_Frame.m_Policy.Dirty(record) = true;
    if (m_Frame.m_pSavedLabel)
        gtk_widget_hide(m_Frame.m_pSavedLabel);
    m_Frame.UpdateBtnStatus();
}

void CShellSettingCtrl::PageHost::OnPageRequest(Request request)
{
    /* Through the owner, whose overrides of these operations apply. */
    CShellSettingCtrl* frame = m_Frame.m_pOwner ? m_Frame.m_pOwner : &m_Frame;
    switch (request) {
    case EDIT_CATEGORY: frame->OnEditCategoryBtnClicked(); break;
    case EDIT_PROGRAM: frame->OnAddProgramButtonClicked(); break;
    case ADD_PROGRAMS: frame->OnAddProgram(); break;
    case RESTORE_DEFAULTS:
        frame->OnDefaultBtnClicked();
        frame->UpdateBtnStatus();
        break;
    }
}

CShellSettingCtrl::CShellSettingCtrl()
    : m_pOwner(NULL)
    , m_pParts(new Parts(*this))
    , m_Policy(m_pParts->policy)
    , m_PageHost(m_pParts->host)
    , m_LockPage(m_pParts->lockPage)
    , m_ProgramPage(m_pParts->programPage)
    , m_SystemPage(m_pParts->systemPage)
    , m_bApplyFailed(false)
    , m_bShowing(false)
    , m_pApplyBtn(NULL)
    , m_pSavedLabel(NULL)
    , m_NoticeSource(0)
    , m_bDamageTold(false)
    , m_TabNavData(m_Policy.TabNav())
    , m_pCategoryList(m_ProgramPage.m_pCategoryList)
    , m_ScheduleData(m_Policy.Schedule())
    , m_SystemSettingData(m_Policy.SystemSetting())
    , m_DefaultConfigData(m_Policy.Defaults())
    , m_CurCategoryName(m_ProgramPage.m_Edit.m_CurCategoryName)
    , m_CurCategoryIcon(m_ProgramPage.m_Edit.m_CurCategoryIcon)
    , m_CurProgramName(m_ProgramPage.m_Edit.m_CurProgramName)
    , m_CurProgramIcon(m_ProgramPage.m_Edit.m_CurProgramIcon)
    , m_bScheduleDirty(m_Policy.Dirty(CShellPolicy::SCHEDULE))
    , m_bTabNavDirty(m_Policy.Dirty(CShellPolicy::TAB_NAVIGATION))
    , m_bSystemSettingDirty(m_Policy.Dirty(CShellPolicy::SYSTEM_SETTING))
    , m_pAddApplicationWindow(NULL)
    , m_pIconDlg(m_ProgramPage.m_Edit.m_pIconDlg)
    , m_pMainBox(NULL)
    , m_pNotebook(NULL)
    , m_pButtonPanel(NULL)
    , m_pButtonRow(NULL)
    , m_pLockPageBox(m_LockPage.m_pLockPageBox)
    , m_pAutoLockCheckBox(m_LockPage.m_pAutoLockCheckBox)
    , m_DayButtons(m_LockPage.m_DayButtons)
    , m_TimeGrid(m_LockPage.m_TimeGrid)
    , m_pProgramPageBox(m_ProgramPage.m_pProgramPageBox)
    , m_pCategoryView(m_ProgramPage.m_pCategoryView)
    , m_pProgramView(m_ProgramPage.m_pProgramView)
    , m_pCategoryStore(m_ProgramPage.m_pCategoryStore)
    , m_pProgramStore(m_ProgramPage.m_pProgramStore)
    , m_pCategoryNameRenderer(m_ProgramPage.m_pCategoryNameRenderer)
    , m_pAddCategoryBtn(m_ProgramPage.m_pAddCategoryBtn)
    , m_pDeleteCategoryBtn(m_ProgramPage.m_pDeleteCategoryBtn)
    , m_pEditCategoryBtn(m_ProgramPage.m_pEditCategoryBtn)
    , m_pAddProgramBtn(m_ProgramPage.m_pAddProgramBtn)
    , m_pDeleteProgramBtn(m_ProgramPage.m_pDeleteProgramBtn)
    , m_pEditProgramBtn(m_ProgramPage.m_pEditProgramBtn)
    , m_pDefaultBtn(m_ProgramPage.m_pDefaultBtn)
    , m_RowIter(m_ProgramPage.m_RowIter)
    , m_pSystemPageBox(m_SystemPage.m_pSystemPageBox)
    , m_pSettingsRow(m_SystemPage.m_pSettingsRow)
    , m_pUSBCheckBox(m_SystemPage.m_pUSBCheckBox)
    , m_pNewStudentCheckBox(m_SystemPage.m_pNewStudentCheckBox)
{
    TraceStart(CLS, "CShellSettingCtrl");
    TraceEnd(CLS, "CShellSettingCtrl");
}

CShellSettingCtrl::~CShellSettingCtrl()
{
    TraceStart(CLS, "~CShellSettingCtrl");
    if (m_pIconDlg) {
        delete m_pIconDlg;
        m_pIconDlg = NULL;
    }
    if (m_pAddApplicationWindow) {
        delete m_pAddApplicationWindow;
        m_pAddApplicationWindow = NULL;
    }
    /* The widgets' handlers act on this object: destroy them while its members still exist. */
    DestoryWindow();
    if (m_NoticeSource)
        g_source_remove(m_NoticeSource);
    m_NoticeSource = 0;
    m_LockPage.Detach();
    m_ProgramPage.Detach();
    m_SystemPage.Detach();
    TraceEnd(CLS, "~CShellSettingCtrl");
}

/* ---------------------------------------------------------------- building */

int CShellSettingCtrl::AttachBaseClassGTKHandler(CShellSettingCtrl* owner)
{
    TraceStart(CLS, "AttachBaseClassGTKHandler");
    if (!owner)
        return -1;
    if (m_pWindow) {
        /* Built already: a second window would orphan the first. */
        TraceEnd(CLS, "AttachBaseClassGTKHandler");
        return 0;
    }
    if (m_bDestroying) {
        /* Closed: a window object carries one window in its life. */
        FailureLine("The Shell Settings window has been closed already!");
        return -1;
    }
    m_pOwner = owner;
    /* gtk_init would end the host's process without a display; build nothing instead. */
    if (!gtk_init_check(NULL, NULL)) {
        FailureLine("Cannot open display!");
        return -1;
    }
    /* Pango reads the font configuration on a thread of its own once the font map exists, and
     * the first text measured waits for it. Made now, the reading overlaps building the pages
     * and loading the policy instead of holding up the window's first size request. */
    pango_cairo_font_map_get_default();
    initWindow();
    initShellLockSetting();
    initProgramRegistration();
    initSystemSetting();
    std::vector<GtkWidget*> roots;
    roots.push_back(m_pButtonRow);
    roots.push_back(m_pNotebook);
    CWidgetLayout::UnderlineMnemonics(roots);
    TraceEnd(CLS, "AttachBaseClassGTKHandler");
    return 0;
}

void CShellSettingCtrl::initWindow()
{
    TraceStart(CLS, "initWindow");
    m_pWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(m_pWindow);
    /* The smallest size: at a larger font, in a longer language or by the user the window grows. */
    KeepMinimumSize(m_pWindow, 525, 350);
    gtk_window_set_position(window, GTK_WIN_POS_CENTER_ON_PARENT);
    gtk_window_set_modal(window, TRUE);
    gtk_window_set_title(window, Tr("Shell Settings"));
    gtk_window_set_wmclass(window, Tr("Shell Settings"), "KEL");
    g_signal_connect(m_pWindow, "delete-event", G_CALLBACK(OnCloseBtnClicked), m_pOwner);
    g_signal_connect(m_pWindow, "key-press-event", G_CALLBACK(GtkOnWindowKeyPress), m_pOwner);
    g_signal_connect(m_pWindow, "destroy", G_CALLBACK(GtkOnWindowDestroy), this);
    g_signal_connect(m_pWindow, "map", G_CALLBACK(GtkOnWindowMap), this);

    m_pMainBox = gtk_vbox_new(FALSE, 5);
    gtk_container_add(GTK_CONTAINER(m_pWindow), m_pMainBox);
    m_pNotebook = gtk_notebook_new();
    gtk_container_set_border_width(GTK_CONTAINER(m_pNotebook), 8);
    gtk_notebook_set_tab_pos(GTK_NOTEBOOK(m_pNotebook), GTK_POS_TOP);
    gtk_box_pack_start(GTK_BOX(m_pMainBox), m_pNotebook, TRUE, TRUE, 0);
    m_pButtonPanel = gtk_event_box_new();
    gtk_box_pack_end(GTK_BOX(m_pMainBox), m_pButtonPanel, FALSE, TRUE, 0);
    gtk_widget_set_name(m_pButtonPanel, KEL_STYLE_BUTTON_PANEL.c_str());
    m_pButtonRow = gtk_hbox_new(FALSE, 5);
    gtk_widget_set_name(m_pButtonRow, KEL_STYLE_FONT_WHITE.c_str());
    gtk_container_set_border_width(GTK_CONTAINER(m_pButtonRow), 3);
    gtk_container_add(GTK_CONTAINER(m_pButtonPanel), m_pButtonRow);
    gtk_widget_show_all(m_pMainBox);

    /* Packed at the end one after the other: the row reads Cancel, Apply, OK. */
    struct {
        const char* label;
        GCallback handler;
    } const buttons[] = {
        {Tr("OK"), G_CALLBACK(OnOKBtnClicked)},
        {Tr("Apply"), G_CALLBACK(OnApplyBtnClicked)},
        {Tr("Cancel"), G_CALLBACK(OnCancelBtnClicked)},
    };
    for (size_t i = 0; i < sizeof(buttons) / sizeof(buttons[0]); ++i) {
        GtkWidget* button = gtk_button_new_with_label(buttons[i].label);
        KeepMinimumSize(button, 95, 32);
        gtk_box_pack_end(GTK_BOX(m_pButtonRow), button, FALSE, FALSE, 0);
        if (i == 0)
            gtk_widget_grab_focus(button);
        if (buttons[i].handler == G_CALLBACK(OnApplyBtnClicked)) {
            /* Nothing is changed yet. */
            m_pApplyBtn = button;
            gtk_widget_set_sensitive(button, FALSE);
        }
        gtk_widget_show(button);
        SetTooltip(button, buttons[i].label);
        g_signal_connect(button, "clicked", buttons[i].handler, m_pOwner);
    }
    /* Translators: shown beside the buttons after the changes were saved. */
    m_pSavedLabel = gtk_label_new(Tr("Saved"));
    gtk_misc_set_padding(GTK_MISC(m_pSavedLabel), 6, 0);
    gtk_widget_set_no_show_all(m_pSavedLabel, TRUE); /* the window's show leaves it hidden */
    gtk_box_pack_start(GTK_BOX(m_pButtonRow), m_pSavedLabel, FALSE, FALSE, 0);
    TraceEnd(CLS, "initWindow");
}

void CShellSettingCtrl::initShellLockSetting()
{
    m_LockPage.Build(m_pNotebook);
}

void CShellSettingCtrl::initProgramRegistration()
{
    m_ProgramPage.Build(m_pNotebook);
}

void CShellSettingCtrl::initSystemSetting()
{
    m_SystemPage.Build(m_pNotebook, m_pProgramPageBox);
}

void CShellSettingCtrl::OnWindowDestroyed()
{
    /* The pages clear their own members from their "destroy" handlers. */
    m_pMainBox = NULL;
    m_pNotebook = NULL;
    m_pButtonPanel = NULL;
    m_pButtonRow = NULL;
    m_pApplyBtn = NULL;
    m_pSavedLabel = NULL;
    if (m_NoticeSource)
        g_source_remove(m_NoticeSource);
    m_NoticeSource = 0;
}

/* ---------------------------------------------------------------- OK, Apply, Cancel, close */

int CShellSettingCtrl::OnOK()
{
    TraceStart(CLS, "OnOK");
    m_bApplyFailed = false;
    OnApply();
    /* What could not be saved stays in the open window, with the message already shown. */
    if (!m_bApplyFailed)
        OnClose();
    TraceEnd(CLS, "OnOK");
    return 0;
}

int CShellSettingCtrl::OnCancel()
{
    TraceStart(CLS, "OnCancel");
    OnClose();
    TraceEnd(CLS, "OnCancel");
    return 0;
}

bool CShellSettingCtrl::IsDataDirty()
{
    TraceStart(CLS, "IsDataDirty");
    return m_Policy.AnyDirty();
}

void CShellSettingCtrl::LoadPolicy(unsigned mask)
{
    for (int r = 0; r < CShellPolicy::RECORD_COUNT; ++r)
        if (mask & CShellPolicy::Bit(CShellPolicy::Record(r)))
            m_Policy.Load(CShellPolicy::Record(r));
    m_bDamageTold = false;
}

void CShellSettingCtrl::ApplyPolicy(CShellPolicySink& sink, unsigned mask)
{
    CShellPolicy::ApplyResult result = m_Policy.Apply(mask, sink, [this] {
        return ShowMessage(Tr("The policy was changed since you opened this window. Replace the other change with "
                              "yours?"),
                           GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO, GTK_DIALOG_MODAL) == GTK_RESPONSE_YES;
    });
    m_bApplyFailed = !result.Ok();
    if (m_pSavedLabel) {
        if (result.Ok())
            gtk_widget_show(m_pSavedLabel);
        else
            gtk_widget_hide(m_pSavedLabel);
    }
    UpdateApplyBtn();
    if (!result.failures.empty()) {
        std::string text;
        for (size_t i = 0; i < result.failures.size(); ++i)
            text += (i ? "\n\n" : "") + result.failures[i];
        ShowMessage(text.c_str(), GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, GTK_DIALOG_MODAL);
    }
}

int CShellSettingCtrl::CloseAsking(const char* question)
{
    if (!IsDataDirty())
        return Close();
    /* Left unanswered (Cancel, Escape, its close box) the question goes back to the window,
     * edits and all: only No throws them away. */
    int answer = CMessageBox::AskYesNoCancel(question, m_pWindow, GTK_DIALOG_MODAL, KEL_SHELL_CONTROLLER_ICON);
    if (answer == GTK_RESPONSE_CANCEL)
        return 0;
    if (answer == GTK_RESPONSE_YES) {
        m_bApplyFailed = false;
        OnApply();
        if (m_bApplyFailed)
            return 0;
    }
    return Close();
}

void CShellSettingCtrl::OpenAddApplicationWindow(bool remote, GCallback closeCallback)
{
    if (m_pAddApplicationWindow) {
        delete m_pAddApplicationWindow;
        m_pAddApplicationWindow = NULL;
    }
    m_pAddApplicationWindow = new CAddApplicationWindow(remote);
    m_pAddApplicationWindow->Init();
    m_pAddApplicationWindow->ShowModal(m_pWindow, closeCallback, this);
}

void CShellSettingCtrl::AddProgramsChosenInAddApplicationWindow()
{
    if (!m_pAddApplicationWindow)
        return;
    std::list<CApplicationInfo> programs;
    m_pAddApplicationWindow->GetSelectApplicationList(programs);
    if (!programs.empty()) {
        AddPrograms(programs);
        UpdateBtnStatus();
    }
}

int CShellSettingCtrl::ShowMessage(const char* text, GtkMessageType type, GtkButtonsType buttons, GtkDialogFlags flags)
{
    return CMessageBox::Show(text, m_pWindow, type, buttons, flags, KEL_SHELL_CONTROLLER_ICON);
}

/* ---------------------------------------------------------------- delegated to the pages */

void CShellSettingCtrl::UpdateBtnStatus()
{
    m_ProgramPage.UpdateBtnStatus();
    UpdateApplyBtn();
}

void CShellSettingCtrl::UpdateApplyBtn()
{
    if (m_pApplyBtn)
        gtk_widget_set_sensitive(m_pApplyBtn, IsDataDirty() ? TRUE : FALSE);
}

int CShellSettingCtrl::ShowSchedulePolicy()
{
    m_bShowing = true;
    m_LockPage.Show();
    m_bShowing = false;
    UpdateApplyBtn();
    return 0;
}

int CShellSettingCtrl::FetchScheuleData()
{
    m_LockPage.Fetch();
    return 0;
}

bool CShellSettingCtrl::IsScheduleDataDirty()
{
    return m_Policy.TestDirty(CShellPolicy::SCHEDULE);
}

int CShellSettingCtrl::CalculateDay(const char* day)
{
    return m_LockPage.CalculateDay(day);
}

void CShellSettingCtrl::OnWeekLabelClicked(GtkWidget* widget)
{
    m_LockPage.OnWeekLabelClicked(widget);
}

bool CShellSettingCtrl::ShowTabNavPolicy()
{
    m_bShowing = true;
    bool shown = m_ProgramPage.ShowTabNavPolicy();
    m_bShowing = false;
    UpdateApplyBtn();
    return shown;
}

int CShellSettingCtrl::FetchTabNavData()
{
    m_ProgramPage.Fetch();
    return 0;
}

bool CShellSettingCtrl::IsTabNavDataDirty()
{
    return m_Policy.TestDirty(CShellPolicy::TAB_NAVIGATION);
}

int CShellSettingCtrl::BuildNewCategoryName(std::string base, std::string& name)
{
    return m_ProgramPage.BuildNewCategoryName(base, name);
}

int CShellSettingCtrl::OnDefaultBtnClicked()
{
    m_ProgramPage.RestoreDefaults();
    return 0;
}

int CShellSettingCtrl::OnEditCategoryBtnClicked()
{
    TraceStart(CLS, "OnEditCategoryBtnClicked");
    m_ProgramPage.m_Edit.OpenDialog(CShellItemEdit::CATEGORY);
    TraceEnd(CLS, "OnEditCategoryBtnClicked");
    return 0;
}

void CShellSettingCtrl::GetDataFromIconDlg()
{
    m_ProgramPage.m_Edit.Finish(CShellItemEdit::CATEGORY);
}

void CShellSettingCtrl::ApplyCategoryEdit(const std::string& name, const std::string& icon)
{
    m_ProgramPage.m_Edit.Apply(CShellItemEdit::CATEGORY, name, icon);
}

int CShellSettingCtrl::UpdateCategory(std::string name, std::string icon)
{
    return m_ProgramPage.m_Edit.Update(CShellItemEdit::CATEGORY, name, icon);
}

int CShellSettingCtrl::showPrograms(CCategory* category)
{
    return m_ProgramPage.ShowPrograms(category);
}

void CShellSettingCtrl::OnChangeProgrm()
{
    m_ProgramPage.OnChangeProgram();
}

int CShellSettingCtrl::AddPrograms(const std::list<CApplicationInfo>& programs)
{
    return m_ProgramPage.AddPrograms(programs);
}

void CShellSettingCtrl::OnAddProgramButtonClicked()
{
    TraceStart(CLS, "OnAddProgramButtonClicked");
    m_ProgramPage.m_Edit.OpenDialog(CShellItemEdit::PROGRAM);
    TraceEnd(CLS, "OnAddProgramButtonClicked");
}

void CShellSettingCtrl::GetDataFromEditIconDlg()
{
    m_ProgramPage.m_Edit.Finish(CShellItemEdit::PROGRAM);
}

void CShellSettingCtrl::ApplyProgramEdit(const std::string& name, const std::string& icon)
{
    m_ProgramPage.m_Edit.Apply(CShellItemEdit::PROGRAM, name, icon);
}

int CShellSettingCtrl::UpdateApplication(std::string name, std::string icon)
{
    return m_ProgramPage.m_Edit.Update(CShellItemEdit::PROGRAM, name, icon);
}

int CShellSettingCtrl::ShowUSBPolicy()
{
    m_bShowing = true;
    m_SystemPage.ShowUSBPolicy();
    m_bShowing = false;
    UpdateApplyBtn();
    return 0;
}

int CShellSettingCtrl::FetchUSBData()
{
    m_SystemPage.FetchUSBData();
    return 0;
}

int CShellSettingCtrl::ShowTeacherPolicy()
{
    m_bShowing = true;
    m_SystemPage.ShowTeacherPolicy();
    m_bShowing = false;
    UpdateApplyBtn();
    return 0;
}

int CShellSettingCtrl::FetchTeacherPolicy()
{
    m_SystemPage.FetchTeacherPolicy();
    return 0;
}

bool CShellSettingCtrl::IsSystemSettingDirty()
{
    return m_Policy.TestDirty(CShellPolicy::SYSTEM_SETTING);
}

void CShellSettingCtrl::GTKShowDlgCheckBox()
{
    m_SystemPage.ShowDlgCheckBox();
}

bool CShellSettingCtrl::GTKHideUSBCheckBox()
{
    return m_SystemPage.HideUSBCheckBox();
}

} // namespace LibKELGUI
