/* Storage figures on the 10,000-program policy: load, whole-or-nothing save, save to text, dirty test. */
#include <stdio.h>
#include <string.h>

#include <memory>

#include "Harness.h"
#include "Inputs.h"
#include "KELData.h"
#include "RawXml.h"

using namespace kelbench;
using LibKELData::CTabNavigationData;

namespace {

std::string PolicyFile()
{
    return P().inputs + POLICY_40X250;
}

void BM_LoadFromFile(benchmark::State& state)
{
    for (auto _ : state) {
        const std::string file = PolicyFile();
        /* The records are freed after the clock stops, in both. */
        Comparison c = Interleave(
            [&] {
                std::unique_ptr<raw::Policy> policy(new raw::Policy);
                double t0 = NowMs();
                raw::LoadPolicy(file, *policy);
                return NowMs() - t0;
            },
            [&] {
                std::unique_ptr<CTabNavigationData> data(new CTabNavigationData);
                double t0 = NowMs();
                data->LoadFromFile(file);
                return NowMs() - t0;
            });
        AddTimeRow(state, "LoadFromFile, 10,000 programs (warm)", "xmlReadFile + walk into structs + free tree", c,
                   1.3);
    }
}

/* A fresh process per load: the first parse pays its page faults. */
void BM_LoadFromFileFresh(benchmark::State& state)
{
    for (auto _ : state) {
        auto run = [](const char* which) {
            std::string out = RunSelf({std::string("--first-load=") + which}, {});
            return out.empty() ? 0.0 : atof(out.c_str());
        };
        Comparison c = Interleave([&] { return run("raw"); }, [&] { return run("library"); });
        AddInfoRow(state, "LoadFromFile, 10,000 programs, first in a fresh process", "the same, raw", c,
                   "for information");
    }
}

void BM_Save2File(benchmark::State& state)
{
    for (auto _ : state) {
        raw::Policy policy;
        raw::LoadPolicy(PolicyFile(), policy);
        CTabNavigationData data;
        data.LoadFromFile(PolicyFile());
        const std::string rawTarget = P().work + "raw-TabNavigation.xml";
        const std::string target = P().work + "TabNavigation.xml";
        Comparison c = Interleave(
            [&] {
                double t0 = NowMs();
                raw::SavePolicy(policy, rawTarget);
                return NowMs() - t0;
            },
            [&] {
                double t0 = NowMs();
                data.Save2File(target);
                return NowMs() - t0;
            });
        AddTimeRow(state, "Save2File (whole or nothing), 10,000 programs",
                   "tree + formatted dump + write + fsync + rename", c, 1.3);
    }
}

void BM_Save2String(benchmark::State& state)
{
    for (auto _ : state) {
        raw::Policy policy;
        raw::LoadPolicy(PolicyFile(), policy);
        CTabNavigationData data;
        data.LoadFromFile(PolicyFile());
        std::string rawText, text;
        Comparison c = Interleave(
            [&] {
                double t0 = NowMs();
                raw::DumpPolicy(policy, rawText);
                return NowMs() - t0;
            },
            [&] {
                double t0 = NowMs();
                data.Save2String(text);
                return NowMs() - t0;
            });
        AddTimeRow(state, "Save2String, 10,000 programs", "tree build + xmlDocDumpFormatMemoryEnc", c, 1.3);
    }
}

/* What the editor does before it closes: the file loaded afresh and compared with the records
 * held; the file holds the same policy, so every program is compared. */
void BM_DirtyTest(benchmark::State& state)
{
    for (auto _ : state) {
        const std::string file = PolicyFile();
        raw::Policy heldRaw;
        raw::LoadPolicy(file, heldRaw);
        CTabNavigationData held;
        held.LoadFromFile(file);
        bool rawSame = false, same = false;
        auto rawCheck = [&] {
            double t0 = NowMs();
            {
                raw::Policy onDisk;
                raw::LoadPolicy(file, onDisk);
                rawSame = onDisk == heldRaw;
            }
            return NowMs() - t0;
        };
        auto check = [&] {
            double t0 = NowMs();
            {
                CTabNavigationData onDisk;
                onDisk.LoadFromFile(file);
                same = onDisk.IsEqual(held) != 0;
            }
            return NowMs() - t0;
        };
        /* Each side is timed right after a discarded run of its own: otherwise each load starts
         * by merging the freed chunks of the other side's tree, which decides the ratio more
         * than either side's work does. */
        Comparison c = Interleave(
            [&] {
                rawCheck();
                return rawCheck();
            },
            [&] {
                check();
                return check();
            });
        if (!rawSame || !same)
            state.SkipWithError("the dirty test did not find the file equal");
        AddTimeRow(state, "Dirty test (fresh load + IsEqual), 10,000 programs", "read + compare structs", c, 1.2);
    }
}

#define KEL_BENCH(fn) BENCHMARK(fn)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond)
KEL_BENCH(BM_LoadFromFile);
KEL_BENCH(BM_LoadFromFileFresh);
KEL_BENCH(BM_Save2File);
KEL_BENCH(BM_Save2String);
KEL_BENCH(BM_DirtyTest);

} // namespace

int main(int argc, char** argv)
{
    SetRoot(EnterPrivateRoot(argc, argv));
    if (argc > 1 && strncmp(argv[1], "--first-load=", 13) == 0) {
        double ms;
        if (strcmp(argv[1] + 13, "raw") == 0) {
            raw::Policy policy;
            double t0 = NowMs();
            raw::LoadPolicy(PolicyFile(), policy);
            ms = NowMs() - t0;
        } else {
            CTabNavigationData data;
            double t0 = NowMs();
            data.LoadFromFile(PolicyFile());
            ms = NowMs() - t0;
        }
        printf("%.3f\n", ms);
        return 0;
    }
    GenerateOnce("basics", GenerateBasics);
    GenerateOnce("policies", GeneratePolicies);
    return RunBenchmarks(argc, argv);
}
