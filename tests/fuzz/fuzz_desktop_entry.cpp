/* Fuzz target: the program search's reading of a desktop entry, and the quoting of the command it makes. */
#include <glib.h>

#include <atomic>
#include <unistd.h>

#include "FuzzRecord.h"
#include "KELDataTools.h"
#include "ProgramSearch.h"

using namespace IPCAPI;

extern "C" int LLVMFuzzerInitialize(int*, char***) { return kelfuzz::SilenceLog(), 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    static const ProgramSearchEnvironment env = [] {
        ProgramSearchEnvironment e;
        e.programDirs = {"/usr/bin", "/bin"};
        e.pixmapDirs = {"/usr/share/pixmaps"};
        return e;
    }();
    std::atomic<bool> cancel(false);
    CProgramSearch search(env, &cancel); /* per input: its caches would look like leaks */

    FoundProgram program;
    if (search.ReadDesktopEntry(text, program)) {
        using LibKELData::CKELDataTools;
        if (program.name.empty() || program.name.find_first_of("\r\n\t") != std::string::npos || !CKELDataTools::IsStorableText(program.name) ||
            program.name.size() > MAX_NAME_BYTES)
            kelfuzz::Fault("a found program's name cannot go into a list or a policy file");
        if (program.command.empty() || program.command[0] != '/' || !CKELDataTools::IsStorableText(program.command) ||
            program.command.size() > MAX_COMMAND_BYTES)
            kelfuzz::Fault("a found program's command is not an absolute, storable path");
        std::vector<std::string> argv;
        if (!SplitExec(program.command, argv) || access(argv[0].c_str(), X_OK) != 0)
            kelfuzz::Fault("a found program's command does not name an executable");
        if (!program.icon.empty() && (program.icon[0] != '/' || !CKELDataTools::IsStorableText(program.icon) ||
                                      CheckIconFile(program.icon) == ICON_NONE))
            kelfuzz::Fault("a found program's icon is not an absolute, storable path to a PNG, SVG or XPM picture");
    }

    /* Any text taken as an Exec value: the command made of its words reads back as the same words. */
    std::vector<std::string> words;
    if (SplitExec(text, words)) {
        std::string joined = JoinCommand(words);
        gchar** back = nullptr;
        gint count = 0;
        if (!g_shell_parse_argv(joined.c_str(), &count, &back, nullptr))
            kelfuzz::Fault("a joined command does not parse");
        bool same = (size_t)count == words.size();
        for (gint i = 0; same && i < count; ++i)
            same = words[(size_t)i] == back[i];
        g_strfreev(back);
        if (!same)
            kelfuzz::Fault("a joined command reads back as other words");
    }
    return 0;
}
