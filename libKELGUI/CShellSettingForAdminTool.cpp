/* Shell Settings window of the local administrator tool. */
#include "CShellSettingForAdminTool.h"

#include "CAddApplicationWindow.h"
#include "CShellPolicy.h"
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
    if (m_pWindow)
        SetWindowIcon(KEL_ADMIN_TOOL_ICON);
    LoadXMLData();
    m_bInitialized = true;
    TraceEnd(CLS, "Init");
    return 0;
}

int CShellSettingForAdminTool::LoadXMLData()
{
    TraceStart(CLS, "LoadXMLData");
    LoadPolicy(CShellPolicy::ALL_RECORDS);
    ShowTabNavPolicy();
    ShowSchedulePolicy();
    ShowUSBPolicy();
    TraceEnd(CLS, "LoadXMLData");
    return 0;
}

int CShellSettingForAdminTool::OnApply()
{
    TraceStart(CLS, "OnApply");
    int statusBefore = m_ScheduleData.GetLockStatus();
    FetchScheuleData();
    /* Adjusted after the dirty test: the service decides the lock state from these. */
    m_Policy.KeepLockStateForService(statusBefore);
    FetchTabNavData();
    FetchUSBData();
    CShellPolicy::ServiceSink service(GetStudentAPIObject());
    ApplyPolicy(service, CShellPolicy::ALL_RECORDS);
    TraceEnd(CLS, "OnApply");
    return service.LastError();
}

int CShellSettingForAdminTool::OnClose()
{
    TraceStart(CLS, "OnClose");
    FetchTabNavData();
    FetchScheuleData();
    FetchUSBData();
    int result = CloseAsking(Tr("Are you sure you want to save?"));
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
