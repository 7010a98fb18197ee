/* The Search Program dialog of the teacher's console: searches a folder on every connected student. */
#ifndef CSEARCH_PROGRAM_FOR_SHELL_CONTROLLER_H
#define CSEARCH_PROGRAM_FOR_SHELL_CONTROLLER_H

#include <gtk/gtk.h>

#include <string>

#include "CSearchOutcome.h"
#include "CSearchProgramBase.h"
#include "IPCAPI.h"

namespace LibKELGUI {

class KELGUI_EXPORT CSearchProgramForShellController : public CSearchProgramBase,
                                                       public IPCAPI::CTeacherAPICallbackBase {
public:
    /* clearResults: 1 = the search discards the earlier results, 0 = adds to them. */
    explicit CSearchProgramForShellController(int clearResults);
    virtual ~CSearchProgramForShellController();

    virtual int Init();
    /* 0 when a search was started, -1 otherwise. */
    virtual int OnSearchBtnClicked();
    /* 1 cancelled, 0 nothing to cancel, otherwise the error value of CancelOperation. */
    virtual int CancelSearch();
    /* One student's answer, on an IPC thread; an empty student ends the whole search. */
    virtual void SearchProgramCallBack(std::string student, std::string result);

private:
    /* A refusal of the class's broker, with the reason its client knows (wrong password,
     * broker down, untrusted certificate...). */
    void ShowClassRefused(int error);
    void CompleteSearch();
    /* The class search cannot start: no classroom settings, unreadable ones, or nobody online. */
    void ShowNoStudents(int error);

    /* Shared with the IPC thread, like the operation number: touched only under the GDK lock. */
    int m_AnsweredCount;
    int m_StudentTotal;
    /* What the answers of the running search said; same rule. */
    CSearchOutcome m_Outcome;
};

} // namespace LibKELGUI

#endif
