/* Reads the result texts of program searches and adds them up. */
#include "CSearchOutcome.h"

#include <algorithm>
#include <cstdio>

#include "IPCAPI.h"

namespace LibKELGUI {

CSearchOutcome::CSearchOutcome()
    : m_Total(0)
    , m_Answered(0)
    , m_Failed(0)
    , m_Found(0)
    , m_New(0)
    , m_Listed(-1)
    , m_Counted(false)
{
}

void CSearchOutcome::Start(int total)
{
    *this = CSearchOutcome();
    m_Total = total > 0 ? total : 0;
}

void CSearchOutcome::Start(const std::vector<std::string>& students)
{
    Start((int)students.size());
    m_Silent = students;
}

void CSearchOutcome::Add(const std::string& result, const std::string& student)
{
    ++m_Answered;
    std::vector<std::string>::iterator asked = std::find(m_Silent.begin(), m_Silent.end(), student);
    if (asked != m_Silent.end())
        m_Silent.erase(asked);
    static const std::string ERROR_PREFIX = "error:";
    if (result.compare(0, ERROR_PREFIX.size(), ERROR_PREFIX) == 0) {
        ++m_Failed;
        const size_t start = result.find_first_not_of(' ', ERROR_PREFIX.size());
        m_Reason = start == std::string::npos ? "" : result.substr(start);
        if (!student.empty())
            m_Failures.push_back(std::make_pair(student, m_Reason));
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

std::string CSearchOutcome::TranslateReason(const std::string& reason)
{
    const size_t blank = reason.find(' ');
    const std::string code = reason.substr(0, blank);
    const std::string param = blank == std::string::npos ? "" : reason.substr(blank + 1);
    if (code == IPCAPI::SEARCH_ERR_FOLDER)
        return param.empty() ? Tr("the folder cannot be opened")
                             : Format(Tr("the folder %s cannot be opened"), Printable(param).c_str());
    if (code == IPCAPI::SEARCH_ERR_FAILED)
        return Tr("the search broke off");
    if (code == IPCAPI::SEARCH_ERR_TIMEOUT)
        return Tr("the search took too long");
    if (code == IPCAPI::SEARCH_ERR_SAVE)
        return Tr("the results cannot be saved");
    if (code == IPCAPI::SEARCH_ERR_ANSWER)
        return Tr("the student's answer cannot be read");
    if (code == IPCAPI::SEARCH_ERR_SEND)
        return Tr("the programs found cannot be sent");
    /* Translators: a search failed and its service gave no reason. */
    if (reason.empty())
        return Tr("reason unknown");
    /* An older peer's plain words: translated where the catalogue knows them. */
    return Printable(Tr(reason.c_str()));
}

std::string CSearchOutcome::Reason() const
{
    return TranslateReason(m_Reason);
}

std::string CSearchOutcome::LossText() const
{
    std::string text;
    for (size_t i = 0; i < m_Silent.size(); ++i)
        /* Translators: a student whose machine never answered a class search. */
        text += (text.empty() ? "" : "; ") + Format(Tr("%s did not answer"), Printable(m_Silent[i]).c_str());
    for (size_t i = 0; i < m_Failures.size(); ++i)
        text += (text.empty() ? "" : "; ") + Printable(m_Failures[i].first) + ": " +
                TranslateReason(m_Failures[i].second);
    return text;
}

std::string CSearchOutcome::CountsText() const
{
    std::string text;
    if (m_Total > 0)
        /* Translators: counts the student machines that answered a program search. */
        text = Format(TrN("%d of %d student answered", "%d of %d students answered", m_Total), m_Answered,
                      m_Total);
    if (m_Total > 0 && m_Listed >= 0 && m_Counted) {
        /* Students find the same programs: the list counts each once. */
        /* Translators: the programs listed after a class search, and how many of them it added. */
        text += ", " + Format(TrN("%d program in the list, %d new", "%d programs in the list, %d new", m_Listed),
                              m_Listed, m_New);
    } else if (m_Total > 0 && m_Counted) {
        /* Translators: programs a class search added to the list so far. */
        text += ", " + Format(TrN("%d new program", "%d new programs", m_New), m_New);
    } else if (m_Counted) {
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
