/* Local program search: asks this machine's service to search a folder, with a folder chooser. */
#include "CSearchProgramForAdminTool.h"

#include "CSearchOutcome.h"
#include "KELConstants.h"
#include "KELDataTools.h"
#include "KELLog.h"

using LibKELData::CKELLog;

namespace LibKELGUI {

static const char* const CLS = "CSearchProgramForAdminTool";
static const int LOG_TAG = 1;

CSearchProgramForAdminTool::CSearchProgramForAdminTool(int clearResults)
    : CSearchProgramBase()
    , IPCAPI::CStudentAPICallbackBase()
    , m_pBrowseBtn(NULL)
{
    TraceStart(CLS, "CSearchProgramForAdminTool");
    m_ClearResults = clearResults;
    TraceEnd(CLS, "CSearchProgramForAdminTool");
}

CSearchProgramForAdminTool::~CSearchProgramForAdminTool()
{
    TraceStart(CLS, "~CSearchProgramForAdminTool");
    /* No answer may reach us once our members start to go. */
    DetachCallBacks();
    /* Deleting the dialog while it searches closes it: stop the search as a close would. */
    if (m_OperationNumber != 0)
        CancelSearch();
    if (m_pBrowseBtn)
        g_signal_handlers_disconnect_by_func(m_pBrowseBtn, (gpointer)gtk_widget_destroyed, &m_pBrowseBtn);
    TraceEnd(CLS, "~CSearchProgramForAdminTool");
}

int CSearchProgramForAdminTool::Init()
{
    TraceStart(CLS, "Init");
    AttachBaseClassGTKHandler(this);
    if (!m_pWindow) {
        TraceEnd(CLS, "Init");
        return 0;
    }

    SetWindowIcon(LibKELData::KEL_ADMIN_TOOL_ICON);

    /* Wide enough for a usual folder such as /usr/share/applications, wider as the dialog grows. */
    gtk_entry_set_width_chars(GTK_ENTRY(m_pPathEntry), 24);
    SetMinimumSize(m_pPathEntry, 0, 25);
    gtk_box_pack_start(GTK_BOX(m_pPathRow), m_pPathEntry, TRUE, TRUE, 0);
    gtk_widget_show(m_pPathEntry);

    m_pBrowseBtn = gtk_button_new_with_label(Tr("Browse..."));
    gtk_container_set_border_width(GTK_CONTAINER(m_pBrowseBtn), 0);
    SetMinimumSize(m_pBrowseBtn, 95, 32);
    gtk_box_pack_end(GTK_BOX(m_pPathRow), m_pBrowseBtn, FALSE, FALSE, 5);
    gtk_widget_show(m_pBrowseBtn);
    g_signal_connect(m_pBrowseBtn, "destroy", G_CALLBACK(gtk_widget_destroyed), &m_pBrowseBtn);
    g_signal_connect(m_pBrowseBtn, "clicked", G_CALLBACK(GtkBrowseBtnClicked), m_pTarget);

    if (m_pStudentAPI) {
        int err = 0;
        m_pStudentAPI->RegisterCallBack(this, err);
    }
    FinishBuild();
    m_bInitialized = true;
    TraceEnd(CLS, "Init");
    return 0;
}

int CSearchProgramForAdminTool::OnSearchBtnClicked()
{
    TraceStart(CLS, "OnSearchBtnClicked");
    ClearStatus();

    if (m_OperationNumber != 0) {
        if (CancelSearch() >= 0) {
            SetSearchBtnLabel(Tr("Search"));
            SetProgress(0.0);
        }
        TraceEnd(CLS, "OnSearchBtnClicked");
        return -1;
    }

    /* The folder is on this machine: a missing one is told before the service is asked. */
    if (!AcceptPath(true)) {
        TraceEnd(CLS, "OnSearchBtnClicked");
        return -1;
    }

    int result = IPCAPI::IPC_ERR_NOT_RUNNING;
    int op = 0;
    if (m_pStudentAPI) {
        CKELLog::WriteLine(LOG_TAG, "CSearchProgramForAdminTool::OnSearchBtnClicked Call API >>Start", "");
        result = m_pStudentAPI->SearchLocalProgram(std::string(m_SearchPath), op, m_ClearResults);
        CKELLog::WriteLine(LOG_TAG, "CSearchProgramForAdminTool::OnSearchBtnClicked Call API <<End", "");
    }
    /* A started search needs a number to be cancelled by; without one it cannot be followed. */
    if (result != 0 || op == 0) {
        FailureLine("SearchLocalProgram Failure!");
        ShowStartRefused(result);
        TraceEnd(CLS, "OnSearchBtnClicked");
        return -1;
    }
    m_OperationNumber = op;
    /* Translators: the Search button while a search runs; a click stops the search. */
    SetSearchBtnLabel(Tr("Cancel"));
    SetProgress(0.0);
    TraceEnd(CLS, "OnSearchBtnClicked");
    return 0;
}

int CSearchProgramForAdminTool::CancelSearch()
{
    TraceStart(CLS, "CancelSearch");
    int result = 0;
    if (m_OperationNumber == 0 || !m_pStudentAPI) {
        TraceEnd(CLS, "CancelSearch");
        return 0;
    }
    CKELLog::WriteLine(LOG_TAG, "CSearchProgramForAdminTool::CancelSearch Call API >>Start", "");
    int rc = m_pStudentAPI->CancelOperation(m_OperationNumber, result);
    CKELLog::WriteLine(LOG_TAG, "CSearchProgramForAdminTool::CancelSearch Call API <<End", "");
    result = AfterCancelCall(rc, result);
    TraceEnd(CLS, "CancelSearch");
    return result;
}

void CSearchProgramForAdminTool::SearchLocalProgramCallBack(std::string result)
{
    TraceStart(CLS, "SearchLocalProgramCallBack");
    CKELLog::WriteLine(LOG_TAG, "CSearchProgramForAdminTool::SearchLocalProgramCallBack Local Search Return.", "");
    if (!EnterGdkForCallBack()) {
        TraceEnd(CLS, "SearchLocalProgramCallBack");
        return; /* being destroyed: touch nothing of ours */
    }
    /* Read under the lock: the main thread changes it under the same lock. A completion
     * after a successful cancel finds 0 and changes nothing. */
    if (m_OperationNumber != 0) {
        CSearchOutcome outcome;
        outcome.Add(result);
        SetSearchBtnLabel(Tr("Search"));
        if (m_pSearchBtn)
            gtk_widget_set_sensitive(m_pSearchBtn, TRUE);
        if (outcome.AllFailed())
            ShowFailed(outcome.Reason(), "");
        else
            ShowDone(outcome.CountsText(), outcome.SkippedText(), outcome.NothingFound());
        m_OperationNumber = 0;
    }
    gdk_threads_leave();
    TraceEnd(CLS, "SearchLocalProgramCallBack");
}

void CSearchProgramForAdminTool::GtkBrowseBtnClicked(GtkWidget*, void* target)
{
    if (target) static_cast<CSearchProgramForAdminTool*>(static_cast<CSearchProgramBase*>(target))->OnBrowseBtnRouted();
}

void CSearchProgramForAdminTool::OnBrowseBtnRouted()
{
    TraceStart("CSearchProgramBase", "GtkBrowseBtnClicked");
    OnBrowseBtnClicked();
    TraceEnd("CSearchProgramBase", "GtkBrowseBtnClicked");
}

void CSearchProgramForAdminTool::OpenAtPath(GtkWidget* chooser)
{
    /* The folder in the entry, or the nearest folder above it that exists. */
    const char* typed = m_pPathEntry ? gtk_entry_get_text(GTK_ENTRY(m_pPathEntry)) : "";
    gchar* folder = typed[0] == '/' ? g_filename_from_utf8(typed, -1, NULL, NULL, NULL) : NULL;
    while (folder && !g_file_test(folder, G_FILE_TEST_IS_DIR)) {
        gchar* parent = g_path_get_dirname(folder);
        g_free(folder);
        folder = parent;
    }
    if (folder)
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), folder);
    g_free(folder);
}

int CSearchProgramForAdminTool::OnBrowseBtnClicked()
{
    TraceStart(CLS, "OnBrowseBtnClicked");
    GtkWidget* chooser = gtk_file_chooser_dialog_new(Tr("Browse"), m_pWindow ? GTK_WINDOW(m_pWindow) : NULL,
                                                     GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, GTK_STOCK_CANCEL,
                                                     GTK_RESPONSE_CANCEL, GTK_STOCK_OPEN, GTK_RESPONSE_ACCEPT, NULL);
    if (!chooser) {
        TraceEnd(CLS, "OnBrowseBtnClicked");
        return -1;
    }
    gtk_window_set_wmclass(GTK_WINDOW(chooser), Tr("Browse"), "KEL");
    OpenAtPath(chooser);

    if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
        /* The folder the user selected; the folder being shown only when none is selected
         * (the shown folder is the parent of a folder picked in the list). */
        gchar* folder = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
        if (!folder)
            folder = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(chooser));
        gchar* text = folder ? g_filename_to_utf8(folder, -1, NULL, NULL, NULL) : NULL;
        /* The dialog may have been closed while the chooser ran its own main loop. */
        if (text && m_pPathEntry) {
            m_BrowsedFolder = folder;
            gtk_entry_set_text(GTK_ENTRY(m_pPathEntry), text);
        } else if (folder && !text) {
            FailureLine("CSearchProgramForAdminTool::OnBrowseBtnClicked folder name is not UTF-8");
        }
        g_free(text);
        g_free(folder);
    }
    gtk_widget_destroy(chooser);
    TraceEnd(CLS, "OnBrowseBtnClicked");
    return -1;
}

} // namespace LibKELGUI
