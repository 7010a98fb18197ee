/* Remote program search: every connected student searches the same folder; the bar counts answers. */
#include "CSearchProgramForShellController.h"

#include <list>
#include <vector>

#include "KELConstants.h"
#include "KELData.h"
#include "KELDataTools.h"
#include "KELLog.h"

using LibKELData::CKELLog;

namespace LibKELGUI {

static const char* const CLS = "CSearchProgramForShellController";
static const int LOG_TAG = 6;

CSearchProgramForShellController::CSearchProgramForShellController(int clearResults)
    : CSearchProgramBase()
    , IPCAPI::CTeacherAPICallbackBase()
    , m_AnsweredCount(0)
    , m_StudentTotal(0)
{
    TraceStart(CLS, "CSearchProgramForShellController");
    m_ClearResults = clearResults;
    TraceEnd(CLS, "CSearchProgramForShellController");
}

CSearchProgramForShellController::~CSearchProgramForShellController()
{
    TraceStart(CLS, "~CSearchProgramForShellController");
    /* No answer may reach us once our members start to go. */
    DetachCallBacks();
    /* Deleting the dialog while it searches closes it: stop the search as a close would. */
    if (m_OperationNumber != 0)
        CancelSearch();
    TraceEnd(CLS, "~CSearchProgramForShellController");
}

int CSearchProgramForShellController::Init()
{
    TraceStart(CLS, "Init");
    AttachBaseClassGTKHandler(this);
    if (!m_pWindow) {
        TraceEnd(CLS, "Init");
        return 0;
    }

    SetWindowIcon(LibKELData::KEL_SHELL_CONTROLLER_ICON);

    /* No Browse button: the folder names a place on the student machines, not here. */
    /* Wide enough for a usual folder such as /usr/share/applications, wider as the dialog grows. */
    gtk_entry_set_width_chars(GTK_ENTRY(m_pPathEntry), 24);
    SetMinimumSize(m_pPathEntry, 0, 25);
    gtk_box_pack_end(GTK_BOX(m_pPathRow), m_pPathEntry, TRUE, TRUE, 5);
    gtk_widget_show(m_pPathEntry);

    if (m_pTeacherAPI) {
        int err = 0;
        m_pTeacherAPI->RegisterCallBack(this, err);
    }
    FinishBuild();
    m_bInitialized = true;
    TraceEnd(CLS, "Init");
    return 0;
}

int CSearchProgramForShellController::OnSearchBtnClicked()
{
    TraceStart(CLS, "OnSearchBtnClicked");
    static const char* const END = "CSearchProgramForShellController::OnSearchBtnClicked  <<End";
    ClearStatus();

    if (m_OperationNumber != 0) {
        if (CancelSearch() > 0) {
            SetSearchBtnLabel(Tr("Search"));
            SetProgress(0.0);
        }
        TraceLine(END);
        return -1;
    }

    /* The folder is on the students' machines: only its form can be checked here. */
    if (!AcceptPath(false)) {
        TraceLine(END);
        return -1;
    }
    if (!m_pTeacherAPI) {
        FailureLine("Cannot start search!");
        ShowStartRefused(IPCAPI::IPC_ERR_NOT_RUNNING);
        TraceLine(END);
        return -1;
    }

    /* Only the number of students counts; the call's own result says nothing more. */
    std::list<IPCAPI::tagStudent_t> students;
    int err = 0;
    m_pTeacherAPI->GetStudentList(students, err);
    if (students.empty()) {
        m_StudentTotal = 0;
        SetProgress(0.0);
        if (err == IPCAPI::IPC_ERR_NOT_RUNNING || err == IPCAPI::IPC_ERR_NOT_ALLOWED)
            ShowClassRefused(err);
        else
            ShowNoStudents(err);
        TraceLine(END);
        return -1;
    }
    m_StudentTotal = (int)students.size();
    m_AnsweredCount = 0;
    std::vector<std::string> names;
    for (std::list<IPCAPI::tagStudent_t>::const_iterator it = students.begin(); it != students.end(); ++it)
        names.push_back(it->name);

    int op = 0;
    CKELLog::WriteLine(LOG_TAG, "CSearchProgramForShellController::OnSearchBtnClicked Call API >>Start", "");
    int result = m_pTeacherAPI->SearchProgram(std::string(m_SearchPath), op, m_ClearResults);
    CKELLog::WriteLine(LOG_TAG, "CSearchProgramForShellController::OnSearchBtnClicked Call API <<End", "");
    /* A started search needs a number to be cancelled by; without one it cannot be followed. */
    if (result != 0 || op == 0) {
        FailureLine("Cannot start search!");
        ShowClassRefused(result);
        TraceLine(END);
        return -1;
    }
    m_OperationNumber = op;
    m_Outcome.Start(names);
    SetProgress(0.0);
    SetProgressText(m_Outcome.CountsText());
    /* Translators: the Search button while a search runs; a click stops the search. */
    SetSearchBtnLabel(Tr("Cancel"));
    TraceLine(END);
    return 0;
}

int CSearchProgramForShellController::CancelSearch()
{
    TraceStart(CLS, "CancelSearch");
    int result = 0;
    if (m_OperationNumber == 0 || !m_pTeacherAPI) {
        TraceEnd(CLS, "CancelSearch");
        return 0;
    }
    CKELLog::WriteLine(LOG_TAG, "CSearchProgramForShellController::CancelSearch Cancel Remote Search >>Start", "");
    int rc = m_pTeacherAPI->CancelOperation(m_OperationNumber, result);
    CKELLog::WriteLine(LOG_TAG, "CSearchProgramForShellController::CancelSearch Cancel Remote Search <<End", "");
    result = AfterCancelCall(rc, result);
    TraceEnd(CLS, "CancelSearch");
    return result;
}

void CSearchProgramForShellController::SearchProgramCallBack(std::string student, std::string result)
{
    TraceStart(CLS, "SearchProgramCallBack");
    CKELLog::WriteLine(LOG_TAG, "CSearchProgramForShellController::SearchProgramCallBack one student search result return", "");
    if (!EnterGdkForCallBack()) {
        TraceEnd(CLS, "SearchProgramCallBack");
        return; /* being destroyed: touch nothing of ours */
    }
    /* With no student total there is no search to count this answer against (none was
     * started, or the last one is complete): dividing by it would leave the bar's range. */
    if (m_StudentTotal > 0) {
        if (!student.empty()) {
            ++m_AnsweredCount;
            m_Outcome.Add(result, student);
            SetProgress((double)m_AnsweredCount / (double)m_StudentTotal);
            SetProgressText(m_Outcome.CountsText());
            if (m_AnsweredCount >= m_StudentTotal) {
                CompleteSearch();
                CKELLog::WriteLine(LOG_TAG, "CSearchProgramForShellController::SearchProgramCallBack All Students have been searched.", "");
                TraceLine("All Students have been searched.");
            }
        } else {
            CompleteSearch();
        }
    }
    gdk_threads_leave();
    TraceEnd(CLS, "SearchProgramCallBack");
}

void CSearchProgramForShellController::CompleteSearch()
{
    SetSearchBtnLabel(Tr("Search"));
    m_AnsweredCount = 0;
    m_StudentTotal = 0;
    m_OperationNumber = 0;
    /* The list counts a program once however many students found it. */
    LibKELData::CSearchResultData listed;
    if (listed.LoadFromFile(LibKELData::SearchResultFile()) == 0 &&
        listed.GetPApplicationInfoList())
        m_Outcome.SetListed((int)listed.GetPApplicationInfoList()->size());
    /* Told as the students told it, naming whoever is missing from the result. */
    const std::string lost = m_Outcome.LossText();
    if (m_Outcome.AllFailed() && m_Outcome.Total() <= 1)
        ShowFailed(m_Outcome.Reason(), m_Outcome.CountsText());
    else if (m_Outcome.AllFailed() || m_Outcome.Answered() == 0)
        ShowFailed(lost.empty() ? std::string(Tr("no student answered")) : lost, m_Outcome.CountsText());
    else if (!lost.empty())
        ShowIncomplete(lost, m_Outcome.CountsText(), m_Outcome.SkippedText());
    else
        ShowDone(m_Outcome.CountsText(), m_Outcome.SkippedText(), m_Outcome.NothingFound());
}

void CSearchProgramForShellController::ShowClassRefused(int error)
{
    std::string reason;
    int state = 0;
    bool link = error == IPCAPI::IPC_ERR_NOT_RUNNING || error == IPCAPI::IPC_ERR_NOT_ALLOWED;
    if (!link || !m_pTeacherAPI || m_pTeacherAPI->GetConnectionState(reason, state) == 0 || reason.empty()) {
        ShowStartRefused(error);
        return;
    }
    SetProgress(0.0);
    SetProgressText("");
    /* Translators: %s tells why, in English, naming the broker or file. */
    ShowStatus(Format(Tr("The class cannot be reached: %s"), reason.c_str()).c_str(), m_WarningColor);
}

void CSearchProgramForShellController::ShowNoStudents(int error)
{
    /* Without usable classroom settings the library reports no student at all: say which. */
    const std::string conf = LibKELData::CONFIG_FILE_DIR + "classroom.conf";
    std::string text;
    if (error == IPCAPI::IPC_ERR_NOT_CONNECTED && !g_file_test(conf.c_str(), G_FILE_TEST_EXISTS))
        /* Translators: the teacher's machine has no classroom settings file; %s is its path. */
        text = Format(Tr("The classroom is not set up on this computer (%s is missing)."), conf.c_str());
    else if (error == IPCAPI::IPC_ERR_NOT_CONNECTED)
        text = Format(Tr("The classroom settings %s cannot be read."), conf.c_str());
    else
        text = Tr("No student is online!");
    ShowStatus(text.c_str(), m_WarningColor);
}

} // namespace LibKELGUI
