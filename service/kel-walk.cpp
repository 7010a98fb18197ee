/* kel-walk: the walk of one program search. The policy service starts it with the caller's user
 * and groups; it links only GLib besides the walk, so that starting it costs little. Of its
 * environment it needs KEL_ROOT and the locale's variables only: the session's PATH and data
 * folders are fixed, the caller's home comes from the user's account. */
#include "ProgramSearch.h"
#include "SearchWalk.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool WriteAll(int fd, const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

/* The record that follows the programs (SearchWalk.h). */
std::string SkippedRecord(const IPCAPI::SkippedEntries& skipped)
{
    std::string counts;
    for (size_t n : skipped.count)
        counts += (counts.empty() ? "" : " ") + std::to_string(n);
    return std::string(1, '\0') + counts + '\0' + '\0';
}

} // namespace

int main(int argc, char** argv)
{
    using namespace KelService;
    bool svg = !(argc == 3 && strcmp(argv[1], walk::NO_SVG) == 0);
    if (argc != 2 && svg) {
        fprintf(stderr,
                "usage: %s [%s] FOLDER\n  Writes the programs offered by the desktop entries below FOLDER to "
                "stdout.\n",
                argv[0], walk::NO_SVG);
        return 2;
    }
    const std::string folder = argv[argc - 1];
    /* The pipe carries the programs only: log lines, which GLib may print to stdout, go to stderr. */
    int results = dup(STDOUT_FILENO);
    if (results < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return 1;
    IPCAPI::ProgramSearchEnvironment env = IPCAPI::ProgramSearchEnvironment::FromVariables(svg);
    IPCAPI::CProgramSearch search(env, nullptr);
    std::vector<IPCAPI::FoundProgram> found;
    if (search.Run(folder, found) == IPCAPI::CProgramSearch::FOLDER_UNUSABLE)
        return walk::FOLDER_UNUSABLE;
    std::string out;
    for (const IPCAPI::FoundProgram& p : found) {
        out += p.name;
        out += '\0';
        out += p.command;
        out += '\0';
        out += p.icon;
        out += '\0';
    }
    out += SkippedRecord(search.Skipped());
    return WriteAll(results, out) ? walk::DONE : 1;
}
