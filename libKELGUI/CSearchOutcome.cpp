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
    if (std::sscanf(result.c_str(), "found %d, new %d%n", &found, &added, &used) != 2 || found < 0 || added < 0 ||
        added > found)
        return;
    int skipped = 0, main = 0, rest = 0;
    char code[32] = "";
    if ((size_t)used != result.size() &&
        (std::sscanf(result.c_str() + used, ", skipped %d %31[a-z-] %d%n", &skipped, code, &main, &rest) != 3 ||
         (size_t)(used + rest) != result.size() || skipped <= 0 || main <= 0 || main > skipped))
        return;
    m_Found += found;
    m_New += added;
    m_Counted = true;
    /* Of a class, only who found nothing: the others' lists tell enough. */
    if (skipped > 0 && (student.empty() || found == 0))
        m_Skipped.push_back(std::make_pair(student, SkippedText(skipped, code, main)));
}

std::string CSearchOutcome::SkippedText(int skipped, const std::string& code, int main)
{
    /* The reason speaks of the entries skipped: "their" for several, even when most is one. */
    const unsigned long n = (unsigned long)skipped;
    std::string reason;
    /* Translators: why desktop entries a search met offer no program ("8 entries skipped: ..."). */
    if (code == IPCAPI::SEARCH_SKIP_NOT_INSTALLED)
        reason = TrN("its program is not installed", "their program is not installed", n);
    else if (code == IPCAPI::SEARCH_SKIP_OTHER_DESKTOP)
        reason = TrN("it is meant for another desktop", "they are meant for another desktop", n);
    else if (code == IPCAPI::SEARCH_SKIP_HIDDEN)
        reason = TrN("it is hidden from menus", "they are hidden from menus", n);
    else if (code == IPCAPI::SEARCH_SKIP_TERMINAL)
        reason = TrN("it needs a terminal", "they need a terminal", n);
    else if (code == IPCAPI::SEARCH_SKIP_NOT_APPLICATION)
        reason = TrN("it is no program", "they are no programs", n);
    else if (code == IPCAPI::SEARCH_SKIP_UNREADABLE)
        reason = TrN("it is damaged or too long", "they are damaged or too long", n);
    if (reason.empty())
        /* Translators: desktop entries a search met but offers no program for. */
        return Format(TrN("%d entry skipped", "%d entries skipped", skipped), skipped);
    if (main == skipped)
        /* Translators: "8 entries skipped: their program is not installed". */
        return Format(TrN("%d entry skipped: %s", "%d entries skipped: %s", skipped), skipped, reason.c_str());
    /* Translators: "8 entries skipped, most often: their program is not installed". */
    return Format(TrN("%d entry skipped, most often: %s", "%d entries skipped, most often: %s", skipped), skipped,
                  reason.c_str());
}

std::string CSearchOutcome::SkippedText() const
{
    std::string text;
    for (size_t i = 0; i < m_Skipped.size(); ++i)
        text += (text.empty() ? "" : "; ") +
                (m_Skipped[i].first.empty() ? "" : Printable(m_Skipped[i].first) + ": ") + m_Skipped[i].second;
    return text;
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
