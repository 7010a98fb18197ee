/* A student's search answer, checked and merged on the teacher's side. */
#include "TeacherSearch.h"

#include "Classroom.h"
#include "KELData.h"
#include "KELPaths.h"
#include "KELUtf8.h"
#include "LocalService.h"
#include "ProgramSearch.h"
#include "SearchResultFile.h"

#include <glib.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

using LibKELData::CApplicationInfo;
using LibKELData::CSearchResultData;

namespace IPCAPI {

std::map<std::string, std::string> RosterNames()
{
    std::map<std::string, std::string> names;
    std::string file = LibKELData::CONFIG_FILE_DIR + LibKELData::STUDENT_INFO;
    struct stat st;
    LibKELData::CStudentInfoData roster;
    if (stat(file.c_str(), &st) != 0 || roster.LoadFromFile(file) != 0)
        return names;
    for (const auto& s : roster.GetStudents()) {
        if (!s.address.empty() && !s.name.empty())
            names[s.address] = s.name;
        if (!s.name.empty())
            names.emplace(s.name, s.name);
    }
    return names;
}

std::string DisplayName(const std::map<std::string, std::string>& names, const std::string& id)
{
    auto it = names.find(id);
    return it == names.end() ? id : it->second;
}

namespace {

bool Printable(const std::string& text, size_t max)
{
    return text.size() <= max && LibKELData::utf8::IsXmlStorable(text) && PrintableText(text, max) == text;
}

/* What a local search would have stored; empty when the program passes, else why not. These
 * lists are deployed to the whole class: a program that only a hand-made answer can bring is
 * never taken. */
std::string Refusal(const FoundProgram& p)
{
    if (p.name.empty() || !Printable(p.name, MAX_NAME_BYTES))
        return "a name that is empty, too long or not printable";
    gchar** argv = NULL;
    bool parsed = Printable(p.command, MAX_COMMAND_BYTES) && g_shell_parse_argv(p.command.c_str(), NULL, &argv, NULL);
    std::vector<std::string> words;
    for (gchar** w = argv; w && *w; ++w)
        words.push_back(*w);
    g_strfreev(argv);
    if (!parsed || words.empty() || words[0][0] != '/' || !IsPlainWord(words[0]))
        return "a command that does not start with a program's absolute path";
    if (JoinCommand(words) != p.command)
        return "a command written otherwise than a search writes it";
    if (p.icon.empty())
        return "";
    bool inside = false;
    for (const char* system : {"/proc/", "/dev/", "/sys/"})
        inside = inside || p.icon.compare(0, strlen(system), system) == 0;
    if (p.icon[0] != '/' || inside || !Printable(p.icon, MAX_PATH_BYTES) || p.icon.find("//") != std::string::npos ||
        p.icon.find("/./") != std::string::npos || p.icon.find("/../") != std::string::npos ||
        IconFormatOfName(p.icon) == ICON_NONE)
        return "an icon that is no image file of its own";
    return "";
}

/* ", skipped K CODE L" from a student's "K CODE L"; empty when it is not that. */
std::string SkippedSuffix(const std::string& field)
{
    int skipped = 0, main = 0, used = 0;
    char code[32] = "";
    if (std::sscanf(field.c_str(), "%d %31[a-z-] %d%n", &skipped, code, &main, &used) != 3 ||
        (size_t)used != field.size() || main <= 0 || main > skipped)
        return "";
    for (int r = 0; r < SKIP_REASONS; ++r)
        if (strcmp(code, SkipReasonCode(r)) == 0)
            return ", skipped " + std::to_string(skipped) + " " + code + " " + std::to_string(main);
    return "";
}

std::string Key(const FoundProgram& program)
{
    return program.command.empty() ? "\n" + program.name : program.command;
}

} // namespace

bool MergeAnswer(RemoteSearch& s, const std::string& body, std::string& result, const std::string& skipped)
{
    /* Clearing is the first merge's business, later ones add to it. */
    const bool first = !s.merged;
    /* Like notebooks send the same list: one already merged is neither parsed nor merged again. */
    gchar* sum = g_compute_checksum_for_string(G_CHECKSUM_SHA256, body.c_str(), static_cast<gssize>(body.size()));
    std::string checksum = sum;
    g_free(sum);
    auto known = s.mergedAnswers.find(checksum);
    if (!first && known != s.mergedAnswers.end()) {
        result = "found " + std::to_string(known->second) + ", new 0" + SkippedSuffix(skipped);
        return true;
    }
    CSearchResultData programs;
    if (!body.empty() && (programs.LoadFromString(body) != 0 || !programs.GetPApplicationInfoList())) {
        result = std::string("error: ") + SEARCH_ERR_ANSWER;
        return false;
    }
    std::vector<FoundProgram> found;
    size_t refused = 0;
    std::string why;
    if (programs.GetPApplicationInfoList())
        for (const CApplicationInfo* app : *programs.GetPApplicationInfoList()) {
            FoundProgram program{app->GetName(), app->GetPath(), app->GetCustomIcon()};
            std::string refusal = Refusal(program);
            if (!refusal.empty() && refused++ == 0)
                why = refusal;
            found.push_back(program);
        }
    if (refused > 0) {
        result = "error: the answer was refused: " + std::to_string(refused) + " of " + std::to_string(found.size()) +
                 " programs are not what a search finds (" + why + ")";
        return false;
    }
    std::string capped;
    if (found.size() > MAX_ANSWER_PROGRAMS) {
        capped = " (only the first " + std::to_string(MAX_ANSWER_PROGRAMS) + " of a student's programs are taken)";
        found.resize(MAX_ANSWER_PROGRAMS);
    }
    /* A class of like notebooks mostly finds what the others found: only the rest goes to
     * the file, which is then neither read nor written for an answer that brings nothing. */
    std::vector<FoundProgram> unseen;
    for (const FoundProgram& program : found) {
        if (s.mergedPaths.count(Key(program)))
            continue;
        if (s.mergedPaths.size() >= MAX_SEARCH_PROGRAMS) {
            capped = " (the search's limit of " + std::to_string(MAX_SEARCH_PROGRAMS) + " programs was reached)";
            break;
        }
        s.mergedPaths.insert(Key(program));
        unseen.push_back(program);
    }
    int added = 0;
    if ((first || !unseen.empty()) &&
        MergeSearchResults(unseen, first ? s.clear : 0, LibKELData::SearchResultFile(), &added) != IPC_OK) {
        result = std::string("error: ") + SEARCH_ERR_SAVE;
        /* The next answer that brings them tries again. */
        for (const FoundProgram& program : unseen)
            s.mergedPaths.erase(Key(program));
        return false;
    }
    result = "found " + std::to_string(found.size()) + ", new " + std::to_string(added) + SkippedSuffix(skipped) + capped;
    s.mergedAnswers[checksum] = found.size();
    s.merged = true;
    return true;
}

} // namespace IPCAPI
