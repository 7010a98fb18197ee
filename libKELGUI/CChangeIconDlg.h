/* The name-and-icon dialog: renames an item and picks its icon. */
#ifndef CCHANGE_ICON_DLG_H
#define CCHANGE_ICON_DLG_H

#include <gtk/gtk.h>

#include <string>

#include "CKELWindowBase.h"

namespace LibKELGUI {

class KELGUI_EXPORT CChangeIconDlg : public CKELWindowBase {
public:
    /* The owner's own rule for a name (for example: not the name of another item). false
     * refuses it; reason then says why, in the user's words. */
    typedef bool (*NameCheckFn)(const std::string& name, std::string& reason, void* data);

    /* iconDir: folder whose images fill the grid; iconPath and name: the item's current
     * values (iconPath may be empty); title: the window title. */
    CChangeIconDlg(std::string iconDir, std::string iconPath, std::string name, std::string title);
    virtual ~CChangeIconDlg();

    virtual int Init();

    /* 1 after OK with an accepted name, else 0 (a rejected OK leaves it 0). */
    int FetchReturnStatus();
    /* The name, and the icon path the user chose (the item's own path when none). Always 0. */
    int FetchData(std::string& name, std::string& iconPath);
    /* Asked on OK after the name's own validation; none by default. */
    void SetNameCheck(NameCheckFn fn, void* data);

    void initIconView(GtkListStore* store);
    void OnIconViewSelectionChanged();
    void OnBROWSEBtnClicked();
    void OnOKBtnClicked();

    static void GtkOnIconViewSelectionChanged(GtkIconView* view, gpointer data);
    static void GTK_BROWSE_BTN_CLICKED(GtkWidget* button, gpointer data);
    static void GTK_OK_BTN_CLICKED(GtkWidget* button, gpointer data);
    static void GTK_CANCEL_BTN_CLICKED(GtkWidget* button, gpointer data);

private:
    /* Init's parts, in order: the window, the name and icon-path rows, the icon grid (its
     * current icon selected), the button panel. */
    void BuildWindow();
    void BuildNameRows();
    void BuildIconGrid();
    void SelectCurrentIcon();
    void BuildButtons();
    void OnCancelBtnClicked();
    void OnWindowDestroyed();
    static void GtkOnWindowDestroyed(GtkWidget* window, gpointer data);

    /* The icon path entry and its tooltip follow m_IconPath. */
    void ShowIconPath();
    /* Tells why the name was refused; the dialog stays open with the user's text selected. */
    void RefuseName(const std::string& reason);
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
    NameCheckFn m_pNameCheck;
    void* m_pNameCheckData;

    CChangeIconDlg(const CChangeIconDlg&) = delete;
    CChangeIconDlg& operator=(const CChangeIconDlg&) = delete;
};

} // namespace LibKELGUI

#endif
