/* Shell Settings window of the teacher's console. */
#include "CShellSettingCtrlForShellController.h"

#include "CShellPolicy.h"
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
    if (m_pWindow)
        SetWindowIcon(KEL_SHELL_CONTROLLER_ICON);
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
    LoadPolicy(CShellPolicy::Bit(CShellPolicy::TAB_NAVIGATION) | CShellPolicy::Bit(CShellPolicy::SCHEDULE));
    ShowTabNavPolicy();
    ShowSchedulePolicy();
    TraceEnd(CLS, "LoadXMLData");
    return 0;
}

int CShellSettingCtrlForShellController::OnApply()
{
    TraceStart(CLS, "OnApply");
    /* The lock status stays as the fetch set it; the manual lock is not touched. */
    FetchScheuleData();
    FetchTabNavData();
    CShellPolicy::FileSink files;
    ApplyPolicy(files, CShellPolicy::Bit(CShellPolicy::SCHEDULE) | CShellPolicy::Bit(CShellPolicy::TAB_NAVIGATION));
    TraceEnd(CLS, "OnApply");
    return 0;
}

int CShellSettingCtrlForShellController::OnClose()
{
    /* Traced under the frame's name, as the console's log readers expect. */
    TraceStart("CShellSettingCtrl", "OnClose");
    FetchTabNavData();
    FetchScheuleData();
    int result = CloseAsking(Tr("The shell settings have been changed. Do you want to save?"));
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
