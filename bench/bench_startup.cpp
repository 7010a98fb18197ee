/* Start-up and exit figures, each a fresh process: exec to the first expose of the
 * administrator tool's Shell Settings window on the sample root, against a plain GTK program
 * mapping an empty window of the same size with the same theme; and the window's destruction
 * to the end of the process, plain, after a local search and with one still running. The
 * policy service runs on a private bus as in the demo. Runs under a display (Xvfb). */
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "Harness.h"
#include "Inputs.h"
#include "Service.h"

using namespace kelbench;

namespace {

std::string g_Root;

struct Run {
    double exposeMs = -1; /* exec to first expose */
    double exitMs = -1;   /* destroy to the process reaped */
};

/* Runs one program in a fresh process and reads its reports; content is the plain program's
 * KELBENCH_CONTENT (none: the empty window). */
Run RunOnce(const char* program, const char* mode, const char* content = nullptr)
{
    Run run;
    int fds[2];
    if (pipe(fds) != 0)
        return run;
    double start = NowMs();
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        setenv("KELBENCH_FD", std::to_string(fds[1]).c_str(), 1);
        setenv("KELBENCH_MODE", mode, 1);
        if (content)
            setenv("KELBENCH_CONTENT", content, 1);
        else
            unsetenv("KELBENCH_CONTENT");
        execl(program, program, (char*)nullptr);
        _exit(127);
    }
    close(fds[1]);
    std::string text;
    char buf[256];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        text.append(buf, n);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    double end = NowMs();
    long long e = 0, d = 0;
    const char* p = strstr(text.c_str(), "E ");
    if (p)
        e = atoll(p + 2);
    p = strstr(text.c_str(), "D ");
    if (p)
        d = atoll(p + 2);
    if (e)
        run.exposeMs = e / 1e6 - start;
    if (d)
        run.exitMs = end - d / 1e6;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fprintf(stderr, "%s (%s) ended with status %d\n", program, mode, status);
    return run;
}

/* The sample root as the demo lays it out: the policies' installed paths point into the copy. */
bool MakeSampleRoot()
{
    std::string cmd = "cp -a '" KEL_SOURCE_DIR "/data/root/.' '" + g_Root +
                      "/' && find '" + g_Root + "/etc/KEL' -type f -name '*.xml' -print0 | NEW_PREFIX='" + g_Root +
                      "/etc/KEL/' xargs -0 -r perl -pi -e 'BEGIN { $r = $ENV{NEW_PREFIX} } s{/etc/KEL/}{$r}g'";
    return system(cmd.c_str()) == 0;
}

const char* const HOST = KELBENCH_HOST;
const char* const RAW = KELBENCH_RAW;
const char* const RAW_NAME = "plain GTK 2 program mapping an empty 525 x 350 window, same rc file";

void BM_Startup(benchmark::State& state)
{
    for (auto _ : state) {
        Comparison c = Interleave([] { return RunOnce(RAW, "start").exposeMs; },
                                  [] { return RunOnce(HOST, "start").exposeMs; });
        AddTimeRow(state, "Start the administrator tool's window on the sample root: exec to first expose", RAW_NAME,
                   c, 1.5);
    }
}

/* The floor of what the window shows, for information: the plain program with one text label
 * (the empty window starts no fontconfig) and with a plain table of the 168 hour buttons. */
void StartupFloor(benchmark::State& state, const char* content, const char* figure)
{
    for (auto _ : state) {
        Comparison c = Interleave([] { return RunOnce(RAW, "start").exposeMs; },
                                  [content] { return RunOnce(RAW, "start", content).exposeMs; });
        AddInfoRow(state, figure, RAW_NAME, c, "");
    }
}

void BM_StartupLabel(benchmark::State& state)
{
    StartupFloor(state, "label", "Start the plain program with one text label instead: exec to first expose");
}
void BM_StartupGrid(benchmark::State& state)
{
    StartupFloor(state, "grid",
                 "Start the plain program with a 7 x 24 table of toggle buttons in the grid's colours instead: exec to "
                 "first expose");
}

void Exit(benchmark::State& state, const char* mode, const char* figure)
{
    for (auto _ : state) {
        Comparison c = Interleave([] { return RunOnce(RAW, "exit").exitMs; },
                                  [mode] { return RunOnce(HOST, mode).exitMs; });
        AddLimitRow(state, figure, "the same plain program: destroy to process end", c, 50);
    }
}

void BM_Exit(benchmark::State& state) { Exit(state, "exit", "Exit: window destroyed to process end"); }
void BM_ExitSearched(benchmark::State& state)
{
    Exit(state, "exit-searched", "Exit after a local search of 10,000 files: window destroyed to process end");
}
void BM_ExitSearching(benchmark::State& state)
{
    Exit(state, "exit-searching", "Exit with a local search still running: window destroyed to process end");
}

#define KEL_BENCH(fn) BENCHMARK(fn)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond)
KEL_BENCH(BM_Startup);
KEL_BENCH(BM_StartupLabel);
KEL_BENCH(BM_StartupGrid);
KEL_BENCH(BM_Exit);
KEL_BENCH(BM_ExitSearched);
KEL_BENCH(BM_ExitSearching);

} // namespace

int main(int argc, char** argv)
{
    g_Root = EnterPrivateRoot(argc, argv);
    SetRoot(g_Root);
    if (!MakeSampleRoot()) {
        fprintf(stderr, "cannot lay out the sample root\n");
        return 2;
    }
    GenerateOnce("search tree", GenerateSearchTree);
    setenv("KELBENCH_SEARCH_DIR", P().searchDir.c_str(), 1);
    /* The per-user rc file the host writes, which the plain program parses too. */
    setenv("KELBENCH_RC", (g_Root + "/home/.kel/gtkrc-2.0").c_str(), 1);
    if (!StartService(g_Root)) {
        fprintf(stderr, "the policy service did not start\n");
        StopService();
        return 2;
    }
    /* The host writes the rc file on its first start; the plain program needs it from round 0. */
    RunOnce(HOST, "start");
    int rc = RunBenchmarks(argc, argv);
    StopService();
    return rc;
}
