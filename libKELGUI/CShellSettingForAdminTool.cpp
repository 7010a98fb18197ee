/* Shell Settings window of the local administrator tool. */
#include "CShellSettingForAdminTool.h"

#include "CAddApplicationWindow.h"
#include "CMessageBox.h"
#include "KELConstants.h"
#include "KELDataTools.h"

using namespace LibKELData;

namespace LibKELGUI {

static const char* const CLS = "CShellSettingForAdminTool";

CShellSettingForAdminTool::CShellSettingForAdminTool()
{
    TraceStart(CLS, "CShellSettingForAdminTool");
    m_pAddApplicationWindow = NULL;
    TraceEnd(CLS, "CShellSettingForAdminTool");
}

CShellSettingForAdminTool::~CShellSettingForAdminTool()
{
    DetachCallBacks();
    TraceStart(CLS, "~CShellSettingForAdminTool");
    if (m_pAddApplicationWindow) {
        delete m_pAddApplicationWindow;
        m_pAddApplicationWindow = NULL;
    }
    TraceEnd(CLS, "~CShellSettingForAdminTool");
}

int CShellSettingForAdminTool::Init()
{
    TraceStart(CLS, "Init");
    AttachBaseClassGTKHandler(this);
    if (m_pWindow) {
        std::string icon = KEL_RESOURCE_IMAGE_PATH + "admintool_main.png";
        if (CKELDataTools::FileExist(icon) != 1)
            icon = KEL_IMAGE_APP_DEFAULT_ICON;
        gtk_window_set_icon_from_file(GTK_WINDOW(m_pWindow), icon.c_str(), NULL);
    }
    LoadXMLData();
    m_bInitialized = true;
    TraceEnd(CLS, "Init");
    return 0;
}

int CShellSettingForAdminTool::LoadXMLData()
{
    TraceStart(CLS, "LoadXMLData");
    m_TabNavData.LoadFromFile(CONFIG_FILE_DIR + TAB_NAVIGATION);
    m_ScheduleData.LoadFromFile(CONFIG_FILE_DIR + LOCK_SCHEDULE);
    m_SystemSettingData.LoadFromFile(CONFIG_FILE_DIR + KEL_SYSTEM_SETTING);
    ShowTabNavPolicy();
    ShowSchedulePolicy();
    ShowUSBPolicy();
    TraceEnd(CLS, "LoadXMLData");
    return 0;
}

int CShellSettingForAdminTool::OnApply()
{
    TraceStart(CLS, "OnApply");
    int error = 0;
    IPCAPI::IPCStudentAPI* api = GetStudentAPIObject();

    int statusBefore = m_ScheduleData.GetLockStatus();
    FetchScheuleData();
    /* Adjusted after the dirty test: the service decides the lock state from these. */
    if (m_ScheduleData.IsAutoLockEnable())
        m_ScheduleData.SetManualLock(0);
    else
        m_ScheduleData.SetLockStatus(statusBefore);

    if (m_bScheduleDirty) {
        std::string xml;
        m_ScheduleData.Save2String(xml);
        int result = api ? api->SaveLocalSchedulePolicy(xml, error) : -1;
        if (!api)
            error = IPCAPI::IPC_ERR_NOT_CONNECTED;
        if (result == 0) {
            m_bScheduleDirty = false;
        } else {
            /* Kept dirty: the edits are not on disk, and the user must know it. */
            FailureLine("Save Schedule Policy Failure!");
            ShowMessage(Tr("The lock schedule could not be saved."), GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, GTK_DIALOG_MODAL);
        }
    }

    FetchTabNavData();
    if (m_bTabNavDirty) {
        std::string xml;
        m_TabNavData.Save2String(xml);
        int result = api ? api->SaveLocalTabNavPolicy(xml, error) : -1;
        if (!api)
            error = IPCAPI::IPC_ERR_NOT_CONNECTED;
        if (result == 0) {
            m_bTabNavDirty = false;
        } else {
            FailureLine("Save TabNav Policy Failure!");
            ShowMessage(Tr("The program registration could not be saved."), GTK_MESSAGE_ERROR, GTK_BUTTONS_OK,
                        GTK_DIALOG_MODAL);
        }
    }

    FetchUSBData();
    if (m_bSystemSettingDirty) {
        std::string xml;
        m_SystemSettingData.Save2String(xml);
        int result = api ? api->HardWareControl(xml, error) : -1;
        if (!api)
            error = IPCAPI::IPC_ERR_NOT_CONNECTED;
        if (result == 0) {
            m_bSystemSettingDirty = false;
        } else {
            FailureLine("Save USB Policy Failure!");
            ShowMessage(Tr("The system settings could not be saved."), GTK_MESSAGE_ERROR, GTK_BUTTONS_OK,
                        GTK_DIALOG_MODAL);
        }
    }
    TraceEnd(CLS, "OnApply");
    return error;
}

int CShellSettingForAdminTool::OnClose()
{
    TraceStart(CLS, "OnClose");
    FetchTabNavData();
    FetchScheuleData();
    FetchUSBData();
    if (IsDataDirty()) {
        int answer = ShowMessage(Tr("Are you sure you want to save?"), GTK_MESSAGE_INFO, GTK_BUTTONS_YES_NO,
                                 GTK_DIALOG_MODAL);
        if (answer == GTK_RESPONSE_YES)
            OnApply();
    }
    int result = Close();
    TraceEnd(CLS, "OnClose");
    return result;
}

int CShellSettingForAdminTool::OnAddProgram()
{
    TraceStart(CLS, "OnAddProgram");
    OpenAddApplicationWindow(false, G_CALLBACK(AddProgramCallback));
    TraceEnd(CLS, "OnAddProgram");
    return 0;
}

void CShellSettingForAdminTool::AddProgramCallback(GtkWidget* widget, gpointer data)
{
    (void)widget;
    TraceStart(CLS, "AddProgramCallback");
    if (data)
        static_cast<CShellSettingForAdminTool*>(data)->AddProgramsChosenInAddApplicationWindow();
    TraceEnd(CLS, "AddProgramCallback");
}

} // namespace LibKELGUI
