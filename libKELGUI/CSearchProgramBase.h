/* The Search Program dialog shared by the local and the remote program search. */
#ifndef CSEARCH_PROGRAM_BASE_H
#define CSEARCH_PROGRAM_BASE_H

#include <gtk/gtk.h>

#include <string>

#include "CKELWindowBase.h"

namespace LibKELGUI {

class KELGUI_EXPORT CSearchProgramBase : public CKELWindowBase {
public:
    CSearchProgramBase();
    virtual ~CSearchProgramBase();

    /* Starts a search when none runs, cancels the running one otherwise. */
    virtual int OnSearchBtnClicked() = 0;
    /* >0 cancelled, 0 nothing to cancel, otherwise the error value of the IPC API. */
    virtual int CancelSearch() = 0;
    /* Builds the window; target receives the Search button's clicks. -2 without a target. */
    virtual int AttachBaseClassGTKHandler(CSearchProgramBase* target);

    static gboolean GtkOnCloseBtnClicked(GtkWidget* widget, GdkEvent* event, void* self);
    static void GtkSearchBtnClicked(GtkWidget* widget, void* target);

protected:
    /* Presentation shared by both searches. Each does nothing once the window is gone, so
     * that a late IPC answer never touches a destroyed widget. Callers hold the GDK lock. */
    void ClearStatus();
    void ShowStatus(const char* text, const GdkColor& color);
    void SetSearchBtnLabel(const char* label);
    /* Kept within 0.0 .. 1.0 whatever the answers add up to. */
    void SetProgress(double fraction);
    /* The counts shown in the bar, and as its tooltip. */
    void SetProgressText(const std::string& text);
    /* Reads the entry into m_SearchPath and refuses, in red and before anything starts, a
     * path that is empty or not absolute; checkHere: also one that is no folder here. */
    bool AcceptPath(bool checkHere);
    /* The service refused to start; error is its result. */
    void ShowStartRefused(int error);
    /* A search ended: done with its counts, or failed with the reason (bar not full). What it
     * skipped goes on a line of its own, in the warning colour when nothing was found. */
    void ShowDone(const std::string& counts, const std::string& skipped = "", bool nothingFound = false);
    void ShowFailed(const std::string& reason, const std::string& counts);
    /* Ended with some of its answers missing: who, in the warning colour. */
    void ShowIncomplete(const std::string& lost, const std::string& counts, const std::string& skipped = "");
    /* The last step of a subclass's Init: mnemonics, Enter and Escape. */
    void FinishBuild();
    /* The search state after the service answered a cancel with rc and error; returns what
     * CancelSearch reports (1 cancelled, else the error). */
    int AfterCancelCall(int rc, int error);

    GtkWidget* m_pMainBox;
    GtkWidget* m_pPathLabel;
    GtkWidget* m_pPathEntry;
    GtkWidget* m_pStatusLabel;
    GtkWidget* m_pPathRow;
    GtkWidget* m_pProgressRow;
    GtkWidget* m_pStatusRow;
    GtkWidget* m_pButtonPanel;
    GtkWidget* m_pSearchBtn;
    GtkWidget* m_pProgressBar;
    GdkColor m_WarningColor;
    GdkColor m_NormalColor;
    CSearchProgramBase* m_pTarget;
    std::string m_SearchPath;
    std::string m_BrowsedFolder;
    /* 0 while idle. Shared with the IPC thread: both sides touch it only under the GDK lock. */
    int m_OperationNumber;
    int m_ClearResults;

private:
    /* AttachBaseClassGTKHandler's parts, top to bottom. */
    void BuildPathAndProgressRows();
    void BuildStatusRow();
    void BuildButtonPanel();
    void OnSearchBtnRouted();
    void OnCloseRequested();
    void OnWindowDestroyed();
    static void GtkOnWindowDestroyed(GtkWidget* widget, void* self);
    static void GtkOnStatusStyleSet(GtkWidget* label, GtkStyle* previous, void* unused);

    CSearchProgramBase(const CSearchProgramBase&);
    CSearchProgramBase& operator=(const CSearchProgramBase&);
};

} // namespace LibKELGUI

#endif
