/* The About box a host program shows with its own heading, name, icon and version. */
#ifndef CABOUT_DLG_H
#define CABOUT_DLG_H

#include <gtk/gtk.h>

#include <string>

#include "CKELWindowBase.h"

namespace LibKELGUI {

class KELGUI_EXPORT CAboutDlg : public CKELWindowBase {
public:
    /* No texts and no defaults: Init then shows only the frame, the background, the
     * default program icon and OK. */
    CAboutDlg();
    /* Empty heading, product name or version get defaults; an empty icon path means the
     * default program icon. */
    CAboutDlg(const std::string& heading, const std::string& productName, const std::string& iconPath,
              const std::string& version);
    virtual ~CAboutDlg();

    /* Builds the window; 0, or -1 when there is no display to build it on. */
    virtual int Init();

    void OnOKBtnClicked();

    static void ClickOKBtn(GtkWidget* button, gpointer data);

private:
    /* Init's parts: the background picture and the title, the texts and the program's
     * picture, OK (with Enter and Escape). */
    void BuildBackgroundAndTitle();
    void BuildTexts(const std::string& fallbackIcon);
    void BuildOKButton();
    /* Moves the texts and OK down as far as larger texts need. */
    static void GtkLayOut(GtkWidget* layout, GtkRequisition* requisition, gpointer self);
    void LayOut(GtkWidget* layout, GtkRequisition* requisition);

private:
    CAboutDlg(const CAboutDlg&);
    CAboutDlg& operator=(const CAboutDlg&);

    std::string m_Heading;
    std::string m_ProductName;
    std::string m_WindowTitle;
    std::string m_BackgroundPath;
    std::string m_IconPath;
    std::string m_Version;
    std::string m_VersionLine;
    std::string m_LegalNotice;
    std::string m_DefaultIconPath;
    GdkPixbuf* m_pProgramImage = NULL;
    GtkWidget* m_pLayout = NULL;
    GtkWidget* m_pHeadingLabel = NULL;
    GtkWidget* m_pVersionLabel = NULL;
    GtkWidget* m_pNoticeLabel = NULL;
    GtkWidget* m_pOKBtn = NULL;
    GtkWidget* m_pIconImage = NULL;
    GtkWidget* m_pBackgroundImage = NULL;
    GtkWidget* m_pDivider = NULL;
};

} // namespace LibKELGUI

#endif
