/* The library's one way of asking or telling the user something. */
#ifndef CMESSAGE_BOX_H
#define CMESSAGE_BOX_H

#include <gtk/gtk.h>

#include <string>

#include "KELGuiCommon.h"

namespace LibKELGUI {

class KELGUI_EXPORT CMessageBox {
public:
    CMessageBox() {}
    virtual ~CMessageBox() {}

    /* Runs a modal message dialog; returns its response id, GTK_RESPONSE_NONE when no
     * dialog could be made. */
    static int Show(std::string text, GtkWidget* parent, GtkMessageType type, GtkButtonsType buttons,
                    GtkDialogFlags flags, std::string iconPath);
    /* A Yes/No question that may also be left unanswered: a Cancel button, and Escape or the
     * close box, answer GTK_RESPONSE_CANCEL. */
    static int AskYesNoCancel(const std::string& text, GtkWidget* parent, GtkDialogFlags flags,
                              const std::string& iconPath);

private:
    static int Run(const std::string& text, GtkWidget* parent, GtkMessageType type, GtkButtonsType buttons,
                   GtkDialogFlags flags, const std::string& iconPath, bool withCancel);
};

} // namespace LibKELGUI

#endif
