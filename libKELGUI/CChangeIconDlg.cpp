/* Placeholder until the name-and-icon dialog lands: builds nothing. */
#include "CChangeIconDlg.h"

namespace LibKELGUI {

CChangeIconDlg::CChangeIconDlg(std::string iconDir, std::string iconPath, std::string name, std::string title)
    : m_IconDir(iconDir), m_Title(title), m_pMainBox(NULL), m_pRowBox(NULL), m_pButtonPanel(NULL),
      m_pIconStore(NULL), m_pScroller(NULL), m_pIconView(NULL), m_pOKBtn(NULL), m_pCancelBtn(NULL),
      m_pBrowseBtn(NULL), m_pLastImage(NULL), m_pIconDirText(NULL), m_pNameLabel(NULL), m_pNameEntry(NULL),
      m_pIconPathLabel(NULL), m_pIconPathEntry(NULL), m_IconPath(iconPath), m_Name(name), m_ReturnStatus(0)
{
}
CChangeIconDlg::~CChangeIconDlg() {}
int CChangeIconDlg::Init() { return 0; }
int CChangeIconDlg::FetchReturnStatus() { return m_ReturnStatus; }
int CChangeIconDlg::FetchData(std::string& name, std::string& iconPath)
{
    name = m_Name;
    iconPath = m_IconPath;
    return 0;
}
void CChangeIconDlg::initIconView(GtkListStore*) {}
void CChangeIconDlg::OnIconViewSelectionChanged() {}
void CChangeIconDlg::OnBROWSEBtnClicked() {}
void CChangeIconDlg::OnOKBtnClicked() {}
void CChangeIconDlg::GtkOnIconViewSelectionChanged(GtkIconView*, gpointer) {}
void CChangeIconDlg::GTK_BROWSE_BTN_CLICKED(GtkWidget*, gpointer) {}
void CChangeIconDlg::GTK_OK_BTN_CLICKED(GtkWidget*, gpointer) {}
void CChangeIconDlg::GTK_CANCEL_BTN_CLICKED(GtkWidget*, gpointer) {}

} // namespace LibKELGUI
