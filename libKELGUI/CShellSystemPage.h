/* The System Settings page: the USB storage switch and, on a host's request, the new-student
 * notice switch. */
#ifndef CSHELL_SYSTEM_PAGE_H
#define CSHELL_SYSTEM_PAGE_H

#include <gtk/gtk.h>

#include "CShellPageHost.h"

namespace LibKELGUI {

class CShellSystemPage {
public:
    CShellSystemPage(CShellPageHost& host, CShellPolicy& policy);
    ~CShellSystemPage();

    /* Appends the page to the notebook; first adds the spacer the Program Registration page ends with. */
    void Build(GtkWidget* notebook, GtkWidget* programPageBox);
    /* Every operation does nothing once the page or its box is gone. */
    void ShowUSBPolicy();
    void FetchUSBData();
    void ShowTeacherPolicy();
    void FetchTeacherPolicy();
    void ShowDlgCheckBox();
    bool HideUSBCheckBox();
    /* Stops calling back into the window. */
    void Detach();

    /* Widgets, reachable as the window's members; weak, since a host may remove the page or a box. */
    GtkWidget* m_pSystemPageBox;
    GtkWidget* m_pSystemHeadingLabel;
    GtkWidget* m_pSettingsRow;
    GtkWidget* m_pUSBCheckBox;
    GtkWidget* m_pNewStudentCheckBox;

private:
    static void GtkOnPageDestroy(GtkWidget* widget, gpointer data);
    static void GtkOnBoxToggled(GtkToggleButton* box, gpointer data);
    void Track(GtkWidget** slot, GtkWidget* widget);
    void Forget(GtkWidget** slot);
    void OnPageDestroyed();

    CShellPageHost& m_Host;
    CShellPolicy& m_Policy;
};

} // namespace LibKELGUI

#endif
