/* What a search's answers add up to, without a widget: the service's result texts read and
 * counted, and told in the user's words. */
#ifndef CSEARCH_OUTCOME_H
#define CSEARCH_OUTCOME_H

#include <string>
#include <utility>
#include <vector>

#include "KELGuiCommon.h"

namespace LibKELGUI {

class KELGUI_EXPORT CSearchOutcome {
public:
    CSearchOutcome();

    /* Forgets earlier answers; total = students asked, 0 for a search of this machine. */
    void Start(int total);
    /* A class search: the names of the students asked, as their answers name them. */
    void Start(const std::vector<std::string>& students);
    /* One answer: "found N, new M" (maybe with ", skipped K CODE L"), "error: REASON", or a
     * text without counts (taken as a success that says no number); student: who answered,
     * empty on this machine. */
    void Add(const std::string& result, const std::string& student = std::string());
    /* A class search ended: the number of programs its list holds now. */
    void SetListed(int programs) { m_Listed = programs; }

    int Answered() const { return m_Answered; }
    int Total() const { return m_Total; }
    /* Every answer so far was a failure (false while none came). */
    bool AllFailed() const { return m_Answered > 0 && m_Failed == m_Answered; }
    /* The reason of the last failure, in the user's language. */
    std::string Reason() const;
    /* "Ben did not answer; Chloe: the folder /x cannot be opened": who of a class search is
     * missing from its result and why; empty when nobody is. */
    std::string LossText() const;
    /* "3 of 4 students answered, 12 programs found, 2 new, 1 failed", each part only when
     * there is something to tell; empty when there is nothing. */
    std::string CountsText() const;
    /* "8 entries skipped: their program is not installed": what this machine's search
     * skipped; of a class search, for each student that found nothing ("Ben: ..."). Empty
     * when nothing is to be told. */
    std::string SkippedText() const;
    /* Every answer counted programs, and none found any. */
    bool NothingFound() const { return m_Counted && m_Found == 0; }
    /* "K entries skipped" with the reason CODE of L of them, in the user's language. */
    static std::string SkippedText(int skipped, const std::string& code, int main);
    /* A reason as sent ("CODE PARAM", or older plain words) in the user's language, printable. */
    static std::string TranslateReason(const std::string& reason);

private:
    int m_Total;
    int m_Answered;
    int m_Failed;
    int m_Found;
    int m_New;
    int m_Listed;
    bool m_Counted;
    std::string m_Reason;
    std::vector<std::string> m_Silent;                           /* asked, not answered yet */
    std::vector<std::pair<std::string, std::string> > m_Failures; /* student, reason as sent */
    std::vector<std::pair<std::string, std::string> > m_Skipped;  /* student, what it skipped, told */
};

} // namespace LibKELGUI

#endif
