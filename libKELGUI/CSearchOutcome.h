/* What a search's answers add up to, without a widget: the service's result texts read and
 * counted, and told in the user's words. */
#ifndef CSEARCH_OUTCOME_H
#define CSEARCH_OUTCOME_H

#include <string>

#include "KELGuiCommon.h"

namespace LibKELGUI {

class KELGUI_EXPORT CSearchOutcome {
public:
    CSearchOutcome();

    /* Forgets earlier answers; total = students asked, 0 for a search of this machine. */
    void Start(int total);
    /* One answer: "found N, new M", "error: REASON", or a text without counts (taken as
     * a success that says no number). */
    void Add(const std::string& result);

    int Answered() const { return m_Answered; }
    int Total() const { return m_Total; }
    /* Every answer so far was a failure (false while none came). */
    bool AllFailed() const { return m_Answered > 0 && m_Failed == m_Answered; }
    /* The reason of the last failure, translated when the catalogue knows it. */
    std::string Reason() const;
    /* "3 of 4 students answered, 12 programs found, 2 new, 1 failed", each part only when
     * there is something to tell; empty when there is nothing. */
    std::string CountsText() const;

private:
    int m_Total;
    int m_Answered;
    int m_Failed;
    int m_Found;
    int m_New;
    bool m_Counted;
    std::string m_Reason;
};

} // namespace LibKELGUI

#endif
