/* The Shell Settings window of the local administrator tool: edits all three policies of
 * this machine and hands the changed ones to the local service. */
#ifndef CSHELL_SETTING_FOR_ADMIN_TOOL_H
#define CSHELL_SETTING_FOR_ADMIN_TOOL_H

#include "CShellSettingCtrl.h"
#include "IPCAPI.h"

namespace LibKELGUI {

class KELGUI_EXPORT CShellSettingForAdminTool : public CShellSettingCtrl, public IPCAPI::CStudentAPICallbackBase {
public:
    CShellSettingForAdminTool();
    virtual ~CShellSettingForAdminTool();

    /* Builds the window, loads and shows the three policies. */
    virtual int Init();
    /* Asks when something differs from the policy files, maybe applies, then closes. */
    virtual int OnClose();
    /* Sends the changed policies to the local service; a policy it refused keeps its dirty
     * flag and the user is told. Returns the error of the last call made, 0 when none. */
    virtual int OnApply();
    virtual int LoadXMLData();
    /* Opens the Add Application window searching on this machine. */
    virtual int OnAddProgram();

    static void AddProgramCallback(GtkWidget* widget, gpointer data);

private:
    CShellSettingForAdminTool(const CShellSettingForAdminTool&);
    CShellSettingForAdminTool& operator=(const CShellSettingForAdminTool&);
};

} // namespace LibKELGUI

#endif
