/* The System Settings page: building, its check boxes to the record and back. */
#include "CShellSystemPage.h"

#include "CWidgetLayout.h"
#include "KELConstants.h"

using namespace LibKELData;

namespace {
const char* const CLS = "CShellSettingCtrl";
}

namespace LibKELGUI {

CShellSystemPage::CShellSystemPage(CShellPageHost& host, CShellPolicy& policy)
    : m_pSystemPageBox(NULL)
    , m_pSystemHeadingLabel(NULL)
    , m_pSettingsRow(NULL)
    , m_pUSBCheckBox(NULL)
    , m_pNewStudentCheckBox(NULL)
    , m_Host(host)
    , m_Policy(policy)
{
}

CShellSystemPage::~CShellSystemPage()
{
    Detach();
}

void CShellSystemPage::Detach()
{
    if (m_pSystemPageBox)
        g_signal_handlers_disconnect_matched(m_pSystemPageBox, G_SIGNAL_MATCH_DATA, 0, 0, NULL, NULL, this);
    OnPageDestroyed();
}

void CShellSystemPage::Build(GtkWidget* notebook, GtkWidget* programPageBox)
{
    TraceStart(CLS, "initSystemSetting");
    if (programPageBox) {
        GtkWidget* spacer = gtk_hbox_new(FALSE, 5);
        gtk_box_pack_end(GTK_BOX(programPageBox), spacer, FALSE, FALSE, 0);
        gtk_widget_show(spacer);
    }
    m_pSystemPageBox = gtk_vbox_new(FALSE, 5);
    /* The teacher's window takes this page out again, which destroys it. */
    CWidgetLayout::AppendPage(notebook, m_pSystemPageBox, Tr("System Settings"), G_CALLBACK(GtkOnPageDestroy), this);

    GtkWidget* headingRow = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(m_pSystemPageBox), headingRow, FALSE, FALSE, 0);
    m_pSystemHeadingLabel = gtk_label_new(Tr("System Settings"));
    gtk_box_pack_start(GTK_BOX(headingRow), m_pSystemHeadingLabel, FALSE, FALSE, 10);
    m_pSettingsRow = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(m_pSystemPageBox), m_pSettingsRow, FALSE, FALSE, 10);
    GtkWidget* usb = gtk_check_button_new_with_label(Tr("Disable USB Storage"));
    gtk_box_pack_start(GTK_BOX(m_pSettingsRow), usb, FALSE, FALSE, 10);
    Track(&m_pUSBCheckBox, usb);
    g_signal_connect(usb, "toggled", G_CALLBACK(GtkOnBoxToggled), this);
    gtk_widget_show_all(m_pSystemPageBox);
    TraceEnd(CLS, "initSystemSetting");
}

void CShellSystemPage::ShowUSBPolicy()
{
    TraceStart(CLS, "ShowUSBPolicy");
    if (m_pUSBCheckBox)
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(m_pUSBCheckBox),
                                     m_Policy.SystemSetting().GetUSBStorageenabled() == 1 ? FALSE : TRUE);
    TraceEnd(CLS, "ShowUSBPolicy");
}

void CShellSystemPage::FetchUSBData()
{
    TraceStart(CLS, "FetchUSBData");
    if (m_pUSBCheckBox) {
        bool disabled = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(m_pUSBCheckBox));
        m_Policy.SystemSetting().SetUSBStorageenabled(disabled ? 0 : 1);
        m_Policy.TestDirty(CShellPolicy::SYSTEM_SETTING);
    }
    TraceEnd(CLS, "FetchUSBData");
}

void CShellSystemPage::ShowTeacherPolicy()
{
    TraceStart(CLS, "ShowTeacherPolicy");
    if (m_pNewStudentCheckBox)
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(m_pNewStudentCheckBox),
                                     m_Policy.SystemSetting().GetNewStudentConnectDialogEnable() == 1 ? TRUE : FALSE);
    TraceEnd(CLS, "ShowTeacherPolicy");
}

void CShellSystemPage::FetchTeacherPolicy()
{
    TraceLine(std::string(" ") + CLS + "::FetchTeacherPolicy >>Start");
    if (m_pNewStudentCheckBox) {
        bool shown = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(m_pNewStudentCheckBox));
        m_Policy.SystemSetting().SetNewStudentConnectDialogEnable(shown ? 1 : 0);
        m_Policy.TestDirty(CShellPolicy::SYSTEM_SETTING);
    }
    TraceEnd(CLS, "FetchTeacherPolicy");
}

void CShellSystemPage::ShowDlgCheckBox()
{
    /* Nothing to add to once the page is gone; one such box is enough. */
    if (!m_pSettingsRow || m_pNewStudentCheckBox)
        return;
    GtkWidget* box = gtk_check_button_new_with_label(Tr("Show new student connect notify dialog"));
    KeepMinimumSize(box, 400, 75);
    gtk_box_pack_start(GTK_BOX(m_pSettingsRow), box, FALSE, FALSE, 10);
    gtk_widget_show(box);
    Track(&m_pNewStudentCheckBox, box);
    g_signal_connect(box, "toggled", G_CALLBACK(GtkOnBoxToggled), this);
}

void CShellSystemPage::GtkOnBoxToggled(GtkToggleButton*, gpointer data)
{
    CShellSystemPage* self = static_cast<CShellSystemPage*>(data);
    self->m_Host.OnPageEdited(CShellPolicy::SYSTEM_SETTING);
}

bool CShellSystemPage::HideUSBCheckBox()
{
    if (!m_pUSBCheckBox)
        return false;
    GtkWidget* box = m_pUSBCheckBox;
    Forget(&m_pUSBCheckBox);
    gtk_widget_destroy(box);
    return true;
}

void CShellSystemPage::Track(GtkWidget** slot, GtkWidget* widget)
{
    Forget(slot);
    *slot = widget;
    if (widget)
        g_object_add_weak_pointer(G_OBJECT(widget), reinterpret_cast<gpointer*>(slot));
}

void CShellSystemPage::Forget(GtkWidget** slot)
{
    if (*slot) {
        g_object_remove_weak_pointer(G_OBJECT(*slot), reinterpret_cast<gpointer*>(slot));
        *slot = NULL;
    }
}

void CShellSystemPage::OnPageDestroyed()
{
    m_pSystemPageBox = NULL;
    m_pSystemHeadingLabel = NULL;
    m_pSettingsRow = NULL;
    Forget(&m_pUSBCheckBox);
    Forget(&m_pNewStudentCheckBox);
}

void CShellSystemPage::GtkOnPageDestroy(GtkWidget*, gpointer data)
{
    static_cast<CShellSystemPage*>(data)->OnPageDestroyed();
}

} // namespace LibKELGUI
