/* The Search Program dialog of the local administrator tool: searches a folder of this machine. */
#ifndef CSEARCH_PROGRAM_FOR_ADMIN_TOOL_H
#define CSEARCH_PROGRAM_FOR_ADMIN_TOOL_H

#include <gtk/gtk.h>

#include <string>

#include "CSearchProgramBase.h"
#include "IPCAPI.h"

namespace LibKELGUI {

class KELGUI_EXPORT CSearchProgramForAdminTool : public CSearchProgramBase, public IPCAPI::CStudentAPICallbackBase {
public:
    /* clearResults: 1 = the search discards the earlier results, 0 = adds to them. */
    explicit CSearchProgramForAdminTool(int clearResults);
    virtual ~CSearchProgramForAdminTool();

    virtual int Init();
    /* 0 when a search was started, -1 otherwise. */
    virtual int OnSearchBtnClicked();
    /* 1 cancelled, 0 nothing to cancel, otherwise the error value of CancelOperation. */
    virtual int CancelSearch();
    /* The local search has ended; called on an IPC thread. */
    virtual void SearchLocalProgramCallBack(std::string result);
    /* Lets the user pick the folder to search. */
    int OnBrowseBtnClicked();

    static void GtkBrowseBtnClicked(GtkWidget* widget, void* target);

private:
    void OnBrowseBtnRouted();
    /* Opens the chooser in the folder the entry names. */
    void OpenAtPath(GtkWidget* chooser);

    GtkWidget* m_pBrowseBtn;
};

} // namespace LibKELGUI

#endif
