/* Benchmark harness: interleaved rounds against a raw baseline, medians, and the table rows. */
#ifndef KELBENCH_HARNESS_H
#define KELBENCH_HARNESS_H

#include <benchmark/benchmark.h>

#include <functional>
#include <string>
#include <vector>

namespace kelbench {

double NowMs();

/* Rounds per figure (BENCH_ROUNDS, at least 7; the first round is dropped). Figures of a few
 * milliseconds take more, since the machine's noise is of their size. */
int Rounds();
int ShortRounds();

struct Comparison {
    double candidateMs = 0; /* medians of the kept rounds */
    double baselineMs = 0;
    double ratio = 0;       /* median of the per-round ratios candidate / baseline */
    double ratioMin = 0;    /* spread of the kept per-round ratios, for the log */
    double ratioMax = 0;
    int kept = 0;
};

/* Each function does its own untimed set-up and tear-down and returns the milliseconds of
 * its timed section. Per round: baseline, then candidate (A B A B ...); round 0 is dropped. */
Comparison Interleave(const std::function<double()>& baseline, const std::function<double()>& candidate,
                      int rounds = Rounds());
/* Several timed end points per run (for instance first expose and idle): each function
 * fills one value per end point. */
std::vector<Comparison> InterleaveMulti(const std::function<void(std::vector<double>&)>& baseline,
                                        const std::function<void(std::vector<double>&)>& candidate,
                                        size_t points, int rounds = Rounds());

double Median(std::vector<double> values);

/* A line of the final table. kind: "time" (ms, ratio against target), "count" (exact),
 * "memory" (MiB, delta against a limit), "info" (no target). */
struct Row {
    std::string figure;
    std::string kind;
    double candidate = 0;
    double baseline = 0;
    double ratio = 0;
    double target = 0;
    std::string baselineName;
    std::string note;
    bool met = true;
};

void AddTimeRow(benchmark::State& state, const std::string& figure, const std::string& baselineName,
                const Comparison& c, double target);
/* A time with an absolute limit in ms (the ratio to the baseline is shown for information). */
void AddLimitRow(benchmark::State& state, const std::string& figure, const std::string& baselineName,
                 const Comparison& c, double limitMs);
void AddInfoRow(benchmark::State& state, const std::string& figure, const std::string& baselineName,
                const Comparison& c, const std::string& note);
void AddCountRow(benchmark::State& state, const std::string& figure, double counted, double expected,
                 const std::string& note);
void AddMemoryRow(benchmark::State& state, const std::string& figure, double candidateMiB, double baselineMiB,
                  double limitMiB, const std::string& note);

/* Adds to the note of the row added last. */
void AppendNote(const std::string& text);

/* Prints the rows as "ROW\t..." lines (read by scripts/bench.sh). */
void PrintRows();

/* Runs the program in a private KEL_ROOT (temporary, removed afterwards) with a known
 * environment. In the parent this never returns; in the re-executed child it returns the
 * root. The constants read KEL_ROOT when the library loads, hence the new process. */
std::string EnterPrivateRoot(int argc, char** argv);

/* Google Benchmark's main, with the rows printed at the end. */
int RunBenchmarks(int argc, char** argv);

/* Peak resident memory of this process (VmHWM), in MiB. */
double PeakRssMiB();

/* Runs this program again with extra arguments and environment and returns its standard
 * output; empty on failure. */
std::string RunSelf(const std::vector<std::string>& args, const std::vector<std::string>& env);

} // namespace kelbench

#endif
