/* Peak memory with 10,000 rows shown, icons from 8 or from 1,000 paths, against the empty editor
 * window; each figure in fresh processes of the same kind. Runs under a display (Xvfb). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>

#include "BenchEditor.h"
#include "CAddApplicationWindow.h"
#include "GuiWait.h"
#include "Harness.h"
#include "Inputs.h"
#include "RawGui.h"
#include "RawXml.h"

using namespace kelbench;

namespace {

/* ------------------------------------------------------------------ in the child */

double ShowAndMeasure(const std::string& mode)
{
    const bool add = mode.find("add") != std::string::npos;
    if (mode.compare(0, 4, "raw-") == 0) {
        raw::Policy policy;
        raw::Schedule schedule;
        int usb = 1, dialog = 0;
        /* Streamed, as the library reads its lists: the rows and icons are what is compared. */
        raw::StreamPolicy(P().etc + "TabNavigation.xml", policy);
        raw::LoadSchedule(P().etc + "LockSchedule.xml", schedule);
        raw::LoadSystemSettings(P().etc + "KELSystemSetting.xml", usb, dialog);
        raw::IconCache icons(P().image + "gui_default_app.png", 32);
        raw::Editor editor = raw::BuildEditor(policy, schedule, usb, dialog, icons, P().image);
        gtk_widget_show_all(editor.window);
        gtk_notebook_set_current_page(GTK_NOTEBOOK(editor.notebook), 1);
        WaitIdle();
        std::vector<raw::App> apps;
        raw::IconCache fullSize(P().image + "gui_default_app.png", 0);
        raw::ListWindow list;
        if (add) {
            raw::StreamApps(P().etc + "SearchResult.xml", apps);
            list = raw::NewResultListWindow(48);
            raw::FillResults(list.store, apps, fullSize);
            gtk_window_set_transient_for(GTK_WINDOW(list.window), GTK_WINDOW(editor.window));
            gtk_widget_show_all(list.window);
            WaitIdle();
        }
        return PeakRssMiB();
    }
    std::unique_ptr<BenchEditor> editor(new BenchEditor);
    editor->Init();
    editor->Show();
    gtk_notebook_set_current_page(GTK_NOTEBOOK(editor->Notebook()), 1);
    WaitIdle();
    std::unique_ptr<LibKELGUI::CAddApplicationWindow> window;
    if (add) {
        window.reset(new LibKELGUI::CAddApplicationWindow(false));
        window->Init();
        window->ShowModal(editor->GetWindow(), NULL, NULL);
        WaitIdle();
    }
    return PeakRssMiB();
}

/* ------------------------------------------------------------------ in the parent */

/* Peak of a fresh process showing this mode; the median of three. */
double Peak(const std::string& mode, const char* policy, const char* results)
{
    std::vector<double> peaks;
    for (int i = 0; i < 3; ++i) {
        UseFile(policy, "TabNavigation.xml");
        UseFile(results, "SearchResult.xml");
        std::string out = RunSelf({"--mem=" + mode}, {});
        if (out.empty())
            return -1;
        peaks.push_back(atof(out.c_str()));
    }
    return Median(peaks);
}

void Figure(benchmark::State& state, const std::string& figure, const std::string& kind, const char* policy,
            const char* results, double limit)
{
    double empty = Peak("editor-empty", POLICY_EMPTY, RESULTS_1000);
    double shown = Peak("editor-" + kind, policy, results);
    double rawEmpty = Peak("raw-empty", POLICY_EMPTY, RESULTS_1000);
    double rawShown = Peak("raw-" + kind, policy, results);
    if (empty < 0 || shown < 0 || rawEmpty < 0 || rawShown < 0) {
        state.SkipWithError("a measuring process failed");
        return;
    }
    char note[128];
    snprintf(note, sizeof note, "raw plain GTK: +%.1f MiB over its empty window (%.1f MiB)", rawShown - rawEmpty,
             rawEmpty);
    AddMemoryRow(state, figure, shown, empty, limit, note);
}

void BM_PeakProgramList8(benchmark::State& state)
{
    for (auto _ : state)
        Figure(state, "Peak RSS, program list of 10,000 rows shown, icons from 8 paths", "list", POLICY_LIST_8_PATHS,
               RESULTS_1000, 8);
}

void BM_PeakProgramList1000(benchmark::State& state)
{
    for (auto _ : state)
        Figure(state, "Peak RSS, program list of 10,000 rows shown, icons from 1,000 paths", "list",
               POLICY_LIST_1000_PATHS, RESULTS_1000, 14);
}

void BM_PeakAddApplication8(benchmark::State& state)
{
    for (auto _ : state)
        Figure(state, "Peak RSS, Add Application with 10,000 results over the editor, icons from 8 paths", "add",
               POLICY_EMPTY, RESULTS_10000, 8);
}

void BM_PeakAddApplication1000(benchmark::State& state)
{
    for (auto _ : state)
        Figure(state, "Peak RSS, Add Application with 10,000 results over the editor, icons from 1,000 paths", "add",
               POLICY_EMPTY, RESULTS_10000_1000_PATHS, 14);
}

#define KEL_BENCH(fn) BENCHMARK(fn)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond)
KEL_BENCH(BM_PeakProgramList8);
KEL_BENCH(BM_PeakProgramList1000);
KEL_BENCH(BM_PeakAddApplication8);
KEL_BENCH(BM_PeakAddApplication1000);

} // namespace

int main(int argc, char** argv)
{
    SetRoot(EnterPrivateRoot(argc, argv));
    if (argc > 1 && strncmp(argv[1], "--mem=", 6) == 0) {
        std::string mode = argv[1] + 6;
        int childArgc = 1;
        if (!StartGtk(&childArgc, &argv))
            return 1;
        printf("%.3f\n", ShowAndMeasure(mode));
        return 0;
    }
    GenerateOnce("basics", GenerateBasics);
    GenerateOnce("policies", GeneratePolicies);
    GenerateOnce("results", GenerateSearchResults);
    const char* display = getenv("DISPLAY");
    if (!display || !*display) {
        fprintf(stderr, "bench_memory needs a display (scripts/bench.sh starts Xvfb)\n");
        return 1;
    }
    if (!IconsDecode())
        return 1;
    return RunBenchmarks(argc, argv);
}
