/* Benchmark harness: interleaved rounds, medians, table rows, private root, child processes. */
#include "Harness.h"

#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace kelbench {

namespace {
std::vector<Row> g_Rows;

void Publish(benchmark::State& state, const Row& row)
{
    state.counters["candidate"] = row.candidate;
    state.counters["baseline"] = row.baseline;
    state.counters["ratio"] = row.ratio;
    if (row.kind != "info")
        state.counters["target"] = row.target;
    g_Rows.push_back(row);
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
    remove(path);
    return 0;
}
} // namespace

double NowMs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

int Rounds()
{
    const char* value = getenv("BENCH_ROUNDS");
    int rounds = value ? atoi(value) : 9;
    return rounds < 7 ? 7 : rounds;
}

int ShortRounds()
{
    return 3 * Rounds();
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::vector<Comparison> InterleaveMulti(const std::function<void(std::vector<double>&)>& baseline,
                                        const std::function<void(std::vector<double>&)>& candidate, size_t points,
                                        int rounds)
{
    std::vector<std::vector<double> > base(points), cand(points), ratios(points);
    for (int round = 0; round < rounds; ++round) {
        std::vector<double> b(points, 0), c(points, 0);
        baseline(b);
        candidate(c);
        if (round == 0)
            continue; /* warms caches and the heap for both alike */
        for (size_t p = 0; p < points; ++p) {
            base[p].push_back(b[p]);
            cand[p].push_back(c[p]);
            ratios[p].push_back(b[p] > 0 ? c[p] / b[p] : 0);
        }
    }
    std::vector<Comparison> out(points);
    for (size_t p = 0; p < points; ++p) {
        out[p].candidateMs = Median(cand[p]);
        out[p].baselineMs = Median(base[p]);
        out[p].ratio = Median(ratios[p]);
        out[p].ratioMin = *std::min_element(ratios[p].begin(), ratios[p].end());
        out[p].ratioMax = *std::max_element(ratios[p].begin(), ratios[p].end());
        out[p].kept = (int)ratios[p].size();
    }
    return out;
}

Comparison Interleave(const std::function<double()>& baseline, const std::function<double()>& candidate, int rounds)
{
    return InterleaveMulti([&](std::vector<double>& v) { v[0] = baseline(); },
                           [&](std::vector<double>& v) { v[0] = candidate(); }, 1, rounds)[0];
}

void AddTimeRow(benchmark::State& state, const std::string& figure, const std::string& baselineName,
                const Comparison& c, double target)
{
    Row row;
    row.figure = figure;
    row.kind = "time";
    row.candidate = c.candidateMs;
    row.baseline = c.baselineMs;
    row.ratio = c.ratio;
    row.target = target;
    row.baselineName = baselineName;
    char spread[96];
    snprintf(spread, sizeof spread, "ratios %.2f-%.2f over %d rounds", c.ratioMin, c.ratioMax, c.kept);
    row.note = spread;
    row.met = c.ratio > 0 && c.ratio <= target; /* a failed run is never met */
    state.SetIterationTime(c.candidateMs / 1e3);
    Publish(state, row);
}

void AddLimitRow(benchmark::State& state, const std::string& figure, const std::string& baselineName,
                 const Comparison& c, double limitMs)
{
    AddTimeRow(state, figure, baselineName, c, limitMs);
    Row& row = g_Rows.back();
    row.kind = "limit";
    row.met = c.candidateMs > 0 && c.candidateMs <= limitMs;
}

void AddInfoRow(benchmark::State& state, const std::string& figure, const std::string& baselineName,
                const Comparison& c, const std::string& note)
{
    Row row;
    row.figure = figure;
    row.kind = "info";
    row.candidate = c.candidateMs;
    row.baseline = c.baselineMs;
    row.ratio = c.ratio;
    row.baselineName = baselineName;
    row.note = note;
    state.SetIterationTime(c.candidateMs / 1e3);
    Publish(state, row);
}

void AddCountRow(benchmark::State& state, const std::string& figure, double counted, double expected,
                 const std::string& note)
{
    Row row;
    row.figure = figure;
    row.kind = "count";
    row.candidate = counted;
    row.baseline = expected;
    row.ratio = expected > 0 ? counted / expected : 0;
    row.target = 1.0;
    row.baselineName = "distinct icon paths + default";
    row.note = note;
    row.met = counted == expected;
    state.SetIterationTime(1e-6);
    Publish(state, row);
}

void AddMemoryRow(benchmark::State& state, const std::string& figure, double candidateMiB, double baselineMiB,
                  double limitMiB, const std::string& note)
{
    Row row;
    row.figure = figure;
    row.kind = "memory";
    row.candidate = candidateMiB;
    row.baseline = baselineMiB;
    row.ratio = candidateMiB - baselineMiB; /* the delta is what the limit is about */
    row.target = limitMiB;
    row.baselineName = "empty editor window";
    row.note = note;
    row.met = row.ratio <= limitMiB;
    state.SetIterationTime(1e-6);
    Publish(state, row);
}

void AppendNote(const std::string& text)
{
    if (!g_Rows.empty())
        g_Rows.back().note += (g_Rows.back().note.empty() ? "" : "; ") + text;
}

void PrintRows()
{
    for (const Row& r : g_Rows)
        printf("ROW\t%s\t%s\t%.3f\t%.3f\t%.3f\t%.3f\t%s\t%s\t%s\n", r.kind.c_str(), r.figure.c_str(), r.candidate,
               r.baseline, r.ratio, r.target, r.met ? "met" : "MISSED", r.baselineName.c_str(), r.note.c_str());
    fflush(stdout);
}

std::string EnterPrivateRoot(int argc, char** argv)
{
    (void)argc;
    const char* child = getenv("KELBENCH_CHILD");
    if (child && *child) {
        const char* root = getenv("KEL_ROOT");
        return root ? root : "";
    }
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kelbench-XXXXXX";
    if (!mkdtemp(&pattern[0])) {
        perror("mkdtemp");
        exit(2);
    }
    const std::string root = pattern;
    mkdir((root + "/home").c_str(), 0700);
    /* A known environment: our own programs and icon theme, no user theme, no accessibility bus. */
    setenv("KEL_ROOT", root.c_str(), 1);
    setenv("KELBENCH_CHILD", "1", 1);
    setenv("HOME", (root + "/home").c_str(), 1);
    setenv("PATH", (root + "/usr/bin:/usr/local/bin:/usr/bin:/bin").c_str(), 1);
    /* Our icon theme first; the system's data stays, gdk-pixbuf needs its MIME database. */
    setenv("XDG_DATA_DIRS", (root + "/usr/share:/usr/share").c_str(), 1);
    setenv("GTK2_RC_FILES", "/dev/null", 1);
    setenv("NO_AT_BRIDGE", "1", 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    unsetenv("G_MESSAGES_DEBUG");

    /* The parent only waits and cleans up, also when the run is interrupted. */
    signal(SIGINT, SIG_IGN);
    signal(SIGTERM, SIG_IGN);
    pid_t pid = fork();
    if (pid == 0) {
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        execv("/proc/self/exe", argv);
        perror("execv");
        _exit(127);
    }
    int status = 0;
    if (pid > 0)
        waitpid(pid, &status, 0);
    nftw(root.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    exit(pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : 1);
}

int RunBenchmarks(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintRows();
    return 0;
}

double PeakRssMiB()
{
    FILE* f = fopen("/proc/self/status", "r");
    if (!f)
        return 0;
    char line[256];
    double kib = 0;
    while (fgets(line, sizeof line, f))
        if (strncmp(line, "VmHWM:", 6) == 0)
            kib = atof(line + 6);
    fclose(f);
    return kib / 1024.0;
}

std::string RunSelf(const std::vector<std::string>& args, const std::vector<std::string>& env)
{
    int fds[2];
    if (pipe(fds) != 0)
        return "";
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        for (const std::string& e : env) {
            size_t eq = e.find('=');
            if (eq != std::string::npos)
                setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>("self"));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    close(fds[1]);
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
        out.append(buffer, (size_t)n);
    close(fds[0]);
    int status = 0;
    if (pid > 0)
        waitpid(pid, &status, 0);
    if (pid <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "";
    return out;
}

} // namespace kelbench
