/* Reads the result texts of program searches and adds them up. */
#include "CSearchOutcome.h"

#include <cstdio>

namespace LibKELGUI {

CSearchOutcome::CSearchOutcome()
    : m_Total(0)
    , m_Answered(0)
    , m_Failed(0)
    , m_Found(0)
    , m_New(0)
    , m_Counted(false)
{
}

void CSearchOutcome::Start(int total)
{
    *this = CSearchOutcome();
    m_Total = total > 0 ? total : 0;
}

void CSearchOutcome::Add(const std::string& result)
{
    ++m_Answered;
    static const std::string ERROR_PREFIX = "error:";
    if (result.compare(0, ERROR_PREFIX.size(), ERROR_PREFIX) == 0) {
        ++m_Failed;
        const size_t start = result.find_first_not_of(' ', ERROR_PREFIX.size());
        m_Reason = start == std::string::npos ? "" : result.substr(start);
        return;
    }
    int found = 0, added = 0, used = 0;
    /* Whole text or nothing: a text that only begins like a count is no count. */
    if (std::sscanf(result.c_str(), "found %d, new %d%n", &found, &added, &used) == 2 &&
        (size_t)used == result.size() && found >= 0 && added >= 0 && added <= found) {
        m_Found += found;
        m_New += added;
        m_Counted = true;
    }
}

std::string CSearchOutcome::Reason() const
{
    /* Translators: a search failed and its service gave no reason. */
    return m_Reason.empty() ? Tr("reason unknown") : Tr(m_Reason.c_str());
}

std::string CSearchOutcome::CountsText() const
{
    std::string text;
    if (m_Total > 0)
        /* Translators: counts the student machines that answered a program search. */
        text = Format(TrN("%d of %d student answered", "%d of %d students answered", m_Total), m_Answered,
                      m_Total);
    if (m_Counted) {
        if (!text.empty())
            text += ", ";
        /* Translators: programs a search found, and how many of them were not listed before. */
        text += Format(TrN("%d program found, %d new", "%d programs found, %d new", m_Found), m_Found, m_New);
    }
    if (m_Total > 0 && m_Failed > 0) {
        /* Translators: student machines whose program search failed. */
        text += ", " + Format(TrN("%d failed", "%d failed", m_Failed), m_Failed);
    }
    return text;
}

} // namespace LibKELGUI
