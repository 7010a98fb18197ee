/* The name-and-icon dialog: renames an item and picks its icon. */
#ifndef CCHANGE_ICON_DLG_H
#define CCHANGE_ICON_DLG_H

#include <gtk/gtk.h>

#include <string>

#include "CKELWindowBase.h"

namespace LibKELGUI {

class KELGUI_EXPORT CChangeIconDlg : public CKELWindowBase {
public:
    /* iconDir: folder whose images fill the grid; iconPath and name: the item's current
     * values (iconPath may be empty); title: the window title. */
    CChangeIconDlg(std::string iconDir, std::string iconPath, std::string name, std::string title);
    virtual ~CChangeIconDlg();

    virtual int Init();

    /* 1 after OK with an accepted name, else 0 (a rejected OK leaves it 0). */
    int FetchReturnStatus();
    /* The name, and the icon path the user chose (the item's own path when none). Always 0. */
    int FetchData(std::string& name, std::string& iconPath);

    void initIconView(GtkListStore* store);
    void OnIconViewSelectionChanged();
    void OnBROWSEBtnClicked();
    void OnOKBtnClicked();

    static void GtkOnIconViewSelectionChanged(GtkIconView* view, gpointer data);
    static void GTK_BROWSE_BTN_CLICKED(GtkWidget* button, gpointer data);
    static void GTK_OK_BTN_CLICKED(GtkWidget* button, gpointer data);
    static void GTK_CANCEL_BTN_CLICKED(GtkWidget* button, gpointer data);

private:
    void OnCancelBtnClicked();
    void OnWindowDestroyed();
    static void GtkOnWindowDestroyed(GtkWidget* window, gpointer data);

    /* The icon path entry and its tooltip follow m_IconPath. */
    void ShowIconPath();
    /* Our handlers must not outlive us on widgets that may outlive us. */
    void DisconnectHandlers();

    std::string m_IconDir;
    std::string m_Title;
    GtkWidget* m_pMainBox;
    GtkWidget* m_pRowBox;
    GtkWidget* m_pButtonPanel;
    GtkListStore* m_pIconStore; /* our own reference, released by the destructor */
    GtkWidget* m_pScroller;
    GtkWidget* m_pIconView;
    GtkWidget* m_pOKBtn;
    GtkWidget* m_pCancelBtn;
    GtkWidget* m_pBrowseBtn;
    gchar* m_pIconDirText;
    GtkWidget* m_pNameLabel;
    GtkWidget* m_pNameEntry;
    GtkWidget* m_pIconPathLabel;
    GtkWidget* m_pIconPathEntry;
    /* The item's own icon path until the user picks one; empty when it has none (the entry
     * then shows the "Default Icon" placeholder, which is never handed back). */
    std::string m_IconPath;
    std::string m_Name;
    int m_ReturnStatus;

    CChangeIconDlg(const CChangeIconDlg&) = delete;
    CChangeIconDlg& operator=(const CChangeIconDlg&) = delete;
};

} // namespace LibKELGUI

#endif
