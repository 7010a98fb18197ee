/* Modal message dialogs with the product's titles. */
#include "CMessageBox.h"

namespace LibKELGUI {

int CMessageBox::Show(std::string text, GtkWidget* parent, GtkMessageType type, GtkButtonsType buttons,
                      GtkDialogFlags flags, std::string iconPath)
{
    return Run(text, parent, type, buttons, flags, iconPath, false);
}

int CMessageBox::AskYesNoCancel(const std::string& text, GtkWidget* parent, GtkDialogFlags flags,
                                const std::string& iconPath)
{
    int response = Run(text, parent, GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE, flags, iconPath, true);
    return response == GTK_RESPONSE_YES || response == GTK_RESPONSE_NO ? response : (int)GTK_RESPONSE_CANCEL;
}

int CMessageBox::Run(const std::string& text, GtkWidget* parent, GtkMessageType type, GtkButtonsType buttons,
                     GtkDialogFlags flags, const std::string& iconPath, bool withCancel)
{
    /* A widget inside a window stands for its window; anything else for no parent. */
    if (parent && GTK_IS_WIDGET(parent) && !GTK_IS_WINDOW(parent))
        parent = gtk_widget_get_toplevel(parent);
    if (parent && !GTK_IS_WINDOW(parent))
        parent = NULL;
    /* "%s" keeps a "%" of the text from being read as a directive. */
    GtkWidget* dialog = gtk_message_dialog_new(parent ? GTK_WINDOW(parent) : NULL, flags, type, buttons, "%s",
                                               text.c_str());
    if (!dialog)
        return GTK_RESPONSE_NONE;

    const char* title;
    switch (type) {
    case GTK_MESSAGE_INFO:
    case GTK_MESSAGE_QUESTION:
        title = Tr("Information");
        break;
    case GTK_MESSAGE_WARNING:
        title = Tr("Warning");
        break;
    case GTK_MESSAGE_ERROR:
        title = Tr("Error");
        break;
    default:
        title = Tr("Unknown");
        break;
    }
    gtk_window_set_title(GTK_WINDOW(dialog), title);
    if (withCancel) {
        /* Cancel, No, Yes from the left; Yes answers Enter. */
        gtk_dialog_add_buttons(GTK_DIALOG(dialog), GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, GTK_STOCK_NO,
                               GTK_RESPONSE_NO, GTK_STOCK_YES, GTK_RESPONSE_YES, NULL);
        gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_YES);
    }

    if (!parent) {
        gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
        /* A missing icon file simply leaves the dialog without icon. */
        GdkPixbuf* icon = iconPath.empty() ? NULL : gdk_pixbuf_new_from_file(iconPath.c_str(), NULL);
        if (icon) {
            gtk_window_set_icon(GTK_WINDOW(dialog), icon);
            g_object_unref(icon);
        }
    }

    int response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return response;
}

} // namespace LibKELGUI
