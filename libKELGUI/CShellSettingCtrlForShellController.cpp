/* Shell Settings window of the teacher's console. */
#include "CShellSettingCtrlForShellController.h"

#include "CMessageBox.h"
#include "KELConstants.h"
#include "KELDataTools.h"

using namespace LibKELData;

namespace LibKELGUI {

static const char* const CLS = "CShellSettingCtrlForShellController";

CShellSettingCtrlForShellController::CShellSettingCtrlForShellController()
{
    TraceStart(CLS, "CShellSettingCtrlForShellController");
    m_pAddApplicationWindow = NULL;
    TraceEnd(CLS, "CShellSettingCtrlForShellController");
}

CShellSettingCtrlForShellController::~CShellSettingCtrlForShellController()
{
    DetachCallBacks();
    TraceStart(CLS, "~CShellSettingCtrlForShellController");
    TraceEnd(CLS, "~CShellSettingCtrlForShellController");
}

int CShellSettingCtrlForShellController::Init()
{
    TraceStart(CLS, "Init");
    AttachBaseClassGTKHandler(this);
    if (m_pWindow) {
        std::string icon = KEL_RESOURCE_IMAGE_PATH + "shellcontroller_main.png";
        if (CKELDataTools::FileExist(icon) != 1)
            icon = KEL_IMAGE_APP_DEFAULT_ICON;
        gtk_window_set_icon_from_file(GTK_WINDOW(m_pWindow), icon.c_str(), NULL);
    }
    /* The teacher's console edits no system settings: drop that page. */
    if (m_pNotebook)
        gtk_notebook_remove_page(GTK_NOTEBOOK(m_pNotebook), -1);
    LoadXMLData();
    m_bInitialized = true;
    TraceEnd(CLS, "Init");
    return 0;
}

int CShellSettingCtrlForShellController::LoadXMLData()
{
    TraceStart(CLS, "LoadXMLData");
    m_TabNavData.LoadFromFile(CONFIG_FILE_DIR + TAB_NAVIGATION);
    m_ScheduleData.LoadFromFile(CONFIG_FILE_DIR + LOCK_SCHEDULE);
    ShowTabNavPolicy();
    ShowSchedulePolicy();
    TraceEnd(CLS, "LoadXMLData");
    return 0;
}

int CShellSettingCtrlForShellController::OnApply()
{
    TraceStart(CLS, "OnApply");
    FetchScheuleData();
    if (m_bScheduleDirty) {
        if (m_ScheduleData.Save2File(CONFIG_FILE_DIR + LOCK_SCHEDULE) == 0) {
            m_bScheduleDirty = false;
        } else {
            /* The edits stay in the window and count as unsaved. */
            FailureLine("Save Schedule Policy Failure!");
            ShowMessage(Tr("The lock schedule could not be saved."), GTK_MESSAGE_ERROR, GTK_BUTTONS_OK,
                        GTK_DIALOG_MODAL);
        }
    }
    FetchTabNavData();
    if (m_bTabNavDirty) {
        if (m_TabNavData.Save2File(CONFIG_FILE_DIR + TAB_NAVIGATION) == 0) {
            m_bTabNavDirty = false;
        } else {
            FailureLine("Save TabNav Policy Failure!");
            ShowMessage(Tr("The program registration could not be saved."), GTK_MESSAGE_ERROR, GTK_BUTTONS_OK,
                        GTK_DIALOG_MODAL);
        }
    }
    TraceEnd(CLS, "OnApply");
    return 0;
}

int CShellSettingCtrlForShellController::OnClose()
{
    /* Traced under the frame's name, as the console's log readers expect. */
    TraceStart("CShellSettingCtrl", "OnClose");
    FetchTabNavData();
    FetchScheuleData();
    if (IsDataDirty()) {
        int answer = ShowMessage(Tr("The shell settings have been changed. Do you want to save?"), GTK_MESSAGE_INFO,
                                 GTK_BUTTONS_YES_NO, GTK_DIALOG_MODAL);
        if (answer == GTK_RESPONSE_YES)
            OnApply();
    }
    int result = Close();
    TraceEnd("CShellSettingCtrl", "OnClose");
    return result;
}

int CShellSettingCtrlForShellController::OnAddProgram()
{
    TraceStart(CLS, "OnAddProgram");
    OpenAddApplicationWindow(true, G_CALLBACK(AddProgramCallback));
    TraceEnd(CLS, "OnAddProgram");
    return 0;
}

void CShellSettingCtrlForShellController::AddProgramCallback(GtkWidget* widget, gpointer data)
{
    (void)widget;
    TraceStart(CLS, "AddProgramCallback");
    if (data)
        static_cast<CShellSettingCtrlForShellController*>(data)->AddProgramsChosenInAddApplicationWindow();
    TraceEnd(CLS, "AddProgramCallback");
}

} // namespace LibKELGUI
