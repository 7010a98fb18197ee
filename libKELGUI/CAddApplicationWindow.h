/* The Add Application window: lists the programs found by searches and hands the chosen
 * ones back to its opener. */
#ifndef CADD_APPLICATION_WINDOW_H
#define CADD_APPLICATION_WINDOW_H

#include <gtk/gtk.h>

#include <list>

#include "CKELWindowBase.h"
#include "KELData.h"

namespace LibKELGUI {

class CSearchProgramBase;

class KELGUI_EXPORT CAddApplicationWindow : public CKELWindowBase {
public:
    /* remote: search on every connected student (teacher's console) instead of this machine. */
    explicit CAddApplicationWindow(bool remote);
    virtual ~CAddApplicationWindow();

    virtual int Init();
    virtual int Close();

    int LoadXMLData();
    int OnSearchBtnClicked();
    int GetSelectApplicationList(std::list<LibKELData::CApplicationInfo>& out);
    int AddNewApplication(const LibKELData::CApplicationInfo& info);

    static gboolean GtkOnCloseBtnClicked(GtkWidget* widget, GdkEvent* event, void* data);
    static void GtkCancelBtnClicked(GtkWidget* widget, void* data);
    static void GtkOKBtnClicked(GtkWidget* widget, void* data);
    static void GtkSearchBtnClicked(GtkWidget* widget, void* data);
    static void GtkSearchProgramDlgClosed(GtkWidget* widget, void* data);
    static void GtkTreeSelectionForeachFunc(GtkTreeModel* model, GtkTreePath* path, GtkTreeIter* iter,
                                            void* data);

private:
    /* Init's parts: the list of results (growing with the window), then Search, OK, Cancel. */
    void BuildResultList();
    void BuildButtonPanel();
    void OnCancelBtnClicked(const char* handler);
    void OnOKBtnClicked();
    void OnSearchBtnRouted();
    void OnSearchProgramDlgClosed();
    void OnSelectedRow(GtkTreeModel* model, GtkTreeIter* iter);
    void OnWindowDestroyed();
    static void GtkOnWindowDestroyed(GtkWidget* widget, void* data);

    GtkWidget* m_pMainBox;
    GtkWidget* m_pButtonPanel;
    GtkWidget* m_pButtonRow;
    GtkWidget* m_pSearchBtn;
    GtkWidget* m_pOKBtn;
    GtkWidget* m_pCancelBtn;
    /* Our own reference: the store outlives the window, so Close can still empty it. */
    GtkListStore* m_pResultStore;
    GtkWidget* m_pResultView;
    GtkTreeViewColumn* m_pIconColumn;
    GtkCellRenderer* m_pIconRenderer;
    GtkTreeIter m_RowIter;
    GtkWidget* m_pScrolledWindow;
    bool m_bRemote;
    int m_ResultCount;
    CSearchProgramBase* m_pSearchDlg;
    /* The rows point at its records. */
    LibKELData::CSearchResultData m_SearchResults;
    /* The result file as last read whole: found unchanged, it is not parsed again. */
    struct FileStamp {
        bool known;
        unsigned long long device, inode, size, mtimeNs, ctimeNs;
    };
    FileStamp m_ResultStamp;
    std::list<LibKELData::CApplicationInfo> m_SelectedPrograms;
    /* Cleared by the destructor, so that code after a nested main loop learns we are gone. */
    bool* m_pAliveGuard;

    CAddApplicationWindow(const CAddApplicationWindow&);
    CAddApplicationWindow& operator=(const CAddApplicationWindow&);
};

} // namespace LibKELGUI

#endif
