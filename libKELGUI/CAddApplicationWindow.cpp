/* Placeholder until the Add Application window lands: builds nothing. */
#include "CAddApplicationWindow.h"

namespace LibKELGUI {

CAddApplicationWindow::CAddApplicationWindow(bool remote)
    : m_pMainBox(NULL), m_pButtonPanel(NULL), m_pButtonRow(NULL), m_pSearchBtn(NULL), m_pOKBtn(NULL),
      m_pCancelBtn(NULL), m_pResultStore(NULL), m_pResultView(NULL), m_pScrolledWindow(NULL), m_bRemote(remote),
      m_ResultCount(0), m_pSearchDlg(NULL)
{
}
CAddApplicationWindow::~CAddApplicationWindow() {}
int CAddApplicationWindow::Init() { return 0; }
int CAddApplicationWindow::Close() { return CKELWindowBase::Close(); }
int CAddApplicationWindow::LoadXMLData() { return 0; }
int CAddApplicationWindow::OnSearchBtnClicked() { return 0; }
int CAddApplicationWindow::GetSelectApplicationList(std::list<LibKELData::CApplicationInfo>& out)
{
    out = m_SelectedPrograms;
    return (int)out.size();
}
int CAddApplicationWindow::AddNewApplication(const LibKELData::CApplicationInfo& info)
{
    m_SelectedPrograms.push_back(info);
    return (int)m_SelectedPrograms.size();
}
gboolean CAddApplicationWindow::GtkOnCloseBtnClicked(GtkWidget*, GdkEvent*, void*) { return FALSE; }
void CAddApplicationWindow::GtkCancelBtnClicked(GtkWidget*, void*) {}
void CAddApplicationWindow::GtkOKBtnClicked(GtkWidget*, void*) {}
void CAddApplicationWindow::GtkSearchBtnClicked(GtkWidget*, void*) {}
void CAddApplicationWindow::GtkSearchProgramDlgClosed(GtkWidget*, void*) {}
void CAddApplicationWindow::GtkTreeSelectionForeachFunc(GtkTreeModel*, GtkTreePath*, GtkTreeIter*, void*) {}

} // namespace LibKELGUI
