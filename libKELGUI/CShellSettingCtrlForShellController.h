/* The Shell Settings window of the teacher's console: edits the lock schedule and the
 * program registration and writes their policy files itself. */
#ifndef CSHELL_SETTING_CTRL_FOR_SHELL_CONTROLLER_H
#define CSHELL_SETTING_CTRL_FOR_SHELL_CONTROLLER_H

#include "CShellSettingCtrl.h"
#include "IPCAPI.h"

namespace LibKELGUI {

class KELGUI_EXPORT CShellSettingCtrlForShellController : public CShellSettingCtrl,
                                                          public IPCAPI::CTeacherAPICallbackBase {
public:
    CShellSettingCtrlForShellController();
    virtual ~CShellSettingCtrlForShellController();

    /* Builds the window without the System Settings page, loads and shows the policy. */
    virtual int Init();
    /* Asks when something differs from the policy files, maybe applies, then closes. */
    virtual int OnClose();
    /* Writes the policy files whose records differ from them; a file that could not be
     * written keeps its dirty flag and the user is told. Always 0. */
    virtual int OnApply();
    virtual int LoadXMLData();
    /* Opens the Add Application window searching on the connected students. */
    virtual int OnAddProgram();

    static void AddProgramCallback(GtkWidget* widget, gpointer data);

private:
    CShellSettingCtrlForShellController(const CShellSettingCtrlForShellController&);
    CShellSettingCtrlForShellController& operator=(const CShellSettingCtrlForShellController&);
};

} // namespace LibKELGUI

#endif
