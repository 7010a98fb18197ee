/* The teacher's console: what its buttons, keys and dialogs do. */
#include "CTeacherConsole.h"

#include "CAboutDlg.h"
#include "CSearchProgramForShellController.h"
#include "CShellSettingCtrlForShellController.h"
#include "CUtility.h"
#include "KELConstants.h"
#include "KELData.h"
#include "KELGuiCommon.h"

#include <gdk/gdkkeysyms.h>

using LibKELGUI::Tr;

namespace {

/* The Shell Settings window of the console: after an Apply (or OK) has written the policy
 * files, they go to the class. */
class CConsoleSettings : public LibKELGUI::CShellSettingCtrlForShellController {
public:
    explicit CConsoleSettings(CTeacherConsole* console)
        : m_Console(console)
    {
    }
    ~CConsoleSettings() override { DetachCallBacks(); }
    int OnApply() override
    {
        int rc = CShellSettingCtrlForShellController::OnApply();
        /* A file that could not be written stays dirty: nothing half-saved leaves the machine. */
        if (!IsDataDirty())
            m_Console->DeployPolicy();
        return rc;
    }

private:
    CTeacherConsole* m_Console;
};

} // namespace

void CTeacherConsole::OnLock(GtkWidget*, gpointer self)
{
    static_cast<CTeacherConsole*>(self)->Lock(true);
}

void CTeacherConsole::OnUnlock(GtkWidget*, gpointer self)
{
    static_cast<CTeacherConsole*>(self)->Lock(false);
}

void CTeacherConsole::OnNotice(GtkWidget*, gpointer data)
{
    CTeacherConsole* self = static_cast<CTeacherConsole*>(data);
    GtkWidget* dialog = gtk_dialog_new_with_buttons(Tr("Send a Notice"), GTK_WINDOW(self->m_Window),
                                                    GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                                    GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, Tr("_Send"),
                                                    GTK_RESPONSE_OK, NULL);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    GtkWidget* label = gtk_label_new_with_mnemonic(Tr("_Text shown on the notebooks:"));
    GtkWidget* entry = gtk_entry_new();
    gtk_entry_set_max_length(GTK_ENTRY(entry), 1000);
    gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
    gtk_label_set_mnemonic_widget(GTK_LABEL(label), entry);
    GtkWidget* box = GTK_DIALOG(dialog)->vbox;
    gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 6);
    gtk_box_pack_start(GTK_BOX(box), entry, FALSE, FALSE, 6);
    gtk_widget_show_all(dialog);
    /* The nested loop may see the console's window go: the dialog goes with it. */
    g_object_add_weak_pointer(G_OBJECT(dialog), reinterpret_cast<gpointer*>(&dialog));
    gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    if (!dialog)
        return;
    std::string text = gtk_entry_get_text(GTK_ENTRY(entry));
    gtk_widget_destroy(dialog);
    if (response == GTK_RESPONSE_OK && !text.empty())
        self->SendNotice(text);
}

void CTeacherConsole::OnDialogClosed(GtkWidget*, gpointer slot)
{
    /* Deleted once the window's own destruction is over. */
    LibKELGUI::CKELWindowBase** window = static_cast<LibKELGUI::CKELWindowBase**>(slot);
    LibKELGUI::CKELWindowBase* closed = *window;
    *window = NULL;
    if (!closed)
        return;
    gdk_threads_add_idle(
        [](gpointer object) -> gboolean {
            delete static_cast<LibKELGUI::CKELWindowBase*>(object);
            return FALSE;
        },
        closed);
}

void CTeacherConsole::OnSettings(GtkWidget*, gpointer data)
{
    CTeacherConsole* self = static_cast<CTeacherConsole*>(data);
    if (self->m_Settings)
        return;
    self->m_Settings = new CConsoleSettings(self);
    self->m_Settings->Init();
    self->m_Settings->ShowModal(self->m_Window, G_CALLBACK(OnDialogClosed), &self->m_Settings);
}

void CTeacherConsole::OnSearch(GtkWidget*, gpointer data)
{
    CTeacherConsole* self = static_cast<CTeacherConsole*>(data);
    if (self->m_Search)
        return;
    self->m_Search = new LibKELGUI::CSearchProgramForShellController(1);
    self->m_Search->Init();
    self->m_Search->ShowModal(self->m_Window, G_CALLBACK(OnDialogClosed), &self->m_Search);
}

void CTeacherConsole::OnAbout(GtkWidget*, gpointer data)
{
    CTeacherConsole* self = static_cast<CTeacherConsole*>(data);
    if (self->m_About)
        return;
    self->m_About = new LibKELGUI::CAboutDlg(Tr("Shell Controller"), Tr("Shell Controller"),
                                             LibKELData::KEL_SHELL_CONTROLLER_ICON, LibKELData::KEL_VERSION);
    self->m_About->Init();
    self->m_About->ShowModal(self->m_Window, G_CALLBACK(OnDialogClosed), &self->m_About);
}

gboolean CTeacherConsole::OnViewKey(GtkWidget* view, GdkEventKey* event, gpointer)
{
    /* Escape: back to acting on the whole class. */
    GtkTreeSelection* selection = gtk_tree_view_get_selection(GTK_TREE_VIEW(view));
    if (event->keyval != GDK_Escape || gtk_tree_selection_count_selected_rows(selection) == 0)
        return FALSE;
    gtk_tree_selection_unselect_all(selection);
    return TRUE;
}

/* The console user's theme (a folder of the theme directory) and font, for every GTK program of
 * the user from now on. */
void CTeacherConsole::OnLook(GtkWidget*, gpointer data)
{
    CTeacherConsole* self = static_cast<CTeacherConsole*>(data);
    if (self->m_LookDialog)
        return gtk_window_present(GTK_WINDOW(self->m_LookDialog));
    GtkWidget* dialog = gtk_dialog_new_with_buttons(Tr("Theme and Font"), GTK_WINDOW(self->m_Window),
                                                    GTK_DIALOG_DESTROY_WITH_PARENT, GTK_STOCK_CANCEL,
                                                    GTK_RESPONSE_CANCEL, GTK_STOCK_OK, GTK_RESPONSE_OK, NULL);
    self->m_LookDialog = dialog;
    g_object_add_weak_pointer(G_OBJECT(dialog), reinterpret_cast<gpointer*>(&self->m_LookDialog));
    GtkWidget* table = gtk_table_new(2, 2, FALSE);
    gtk_table_set_row_spacings(GTK_TABLE(table), 6);
    gtk_table_set_col_spacings(GTK_TABLE(table), 12);
    gtk_container_set_border_width(GTK_CONTAINER(table), 12);
    GtkWidget* themes = gtk_combo_box_new_text();
    const std::string& folder = LibKELData::KEL_RESOURCE_THEME_PATH;
    const std::string& current = LibKELGUI::CUtility::m_ThemePath;
    GDir* dir = g_dir_open(folder.c_str(), 0, NULL);
    for (int n = 0; const gchar* name = dir ? g_dir_read_name(dir) : NULL;) {
        if (!g_file_test((folder + name).c_str(), G_FILE_TEST_IS_DIR))
            continue;
        gtk_combo_box_append_text(GTK_COMBO_BOX(themes), name);
        if (current.compare(0, folder.size() + strlen(name) + 1, folder + name + "/") == 0)
            gtk_combo_box_set_active(GTK_COMBO_BOX(themes), n);
        ++n;
    }
    if (dir)
        g_dir_close(dir);
    const std::string& font = LibKELGUI::CUtility::m_Font;
    GtkWidget* fonts = font.empty() ? gtk_font_button_new() : gtk_font_button_new_with_font(font.c_str());
    const char* labels[] = {Tr("T_heme:"), Tr("_Font:")};
    GtkWidget* fields[] = {themes, fonts};
    for (guint row = 0; row < 2; ++row) {
        GtkWidget* label = gtk_label_new_with_mnemonic(labels[row]);
        gtk_misc_set_alignment(GTK_MISC(label), 0, 0.5);
        gtk_label_set_mnemonic_widget(GTK_LABEL(label), fields[row]);
        gtk_table_attach(GTK_TABLE(table), label, 0, 1, row, row + 1, GTK_FILL, GTK_FILL, 0, 0);
        gtk_table_attach(GTK_TABLE(table), fields[row], 1, 2, row, row + 1, GtkAttachOptions(GTK_FILL | GTK_EXPAND),
                         GTK_FILL, 0, 0);
    }
    gtk_box_pack_start(GTK_BOX(GTK_DIALOG(dialog)->vbox), table, TRUE, TRUE, 0);
    g_object_set_data(G_OBJECT(dialog), "themes", themes);
    g_object_set_data(G_OBJECT(dialog), "fonts", fonts);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    g_signal_connect(dialog, "response", G_CALLBACK(OnLookAnswered), self);
    gtk_widget_show_all(dialog);
}

void CTeacherConsole::OnLookAnswered(GtkDialog* dialog, gint response, gpointer data)
{
    CTeacherConsole* self = static_cast<CTeacherConsole*>(data);
    gchar* theme = gtk_combo_box_get_active_text(GTK_COMBO_BOX(g_object_get_data(G_OBJECT(dialog), "themes")));
    std::string font = gtk_font_button_get_font_name(GTK_FONT_BUTTON(g_object_get_data(G_OBJECT(dialog), "fonts")));
    if (response == GTK_RESPONSE_OK) {
        int rc = LibKELGUI::CUtility::SwitchTheme(theme ? theme : "", font);
        /* Every program of the user is told to read its rc files again; this one at once. */
        if (rc == 0)
            gtk_rc_reparse_all();
        self->Tell(rc == 0 ? Tr("The theme and font are switched for all your programs.")
                           : Tr("The theme or font could not be switched; the log tells why."));
    }
    g_free(theme);
    gtk_widget_destroy(GTK_WIDGET(dialog));
}

void CTeacherConsole::OnSelectionChanged(GtkTreeSelection*, gpointer self)
{
    static_cast<CTeacherConsole*>(self)->UpdateTarget();
}
