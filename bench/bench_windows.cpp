/* Window figures: opening the editor, filling the lists, switching back to a category, the lock
 * grid, and the icon decodes of one window's life. Runs under a display (Xvfb). */
#include <stdio.h>

#include <memory>

#include "BenchEditor.h"
#include "CAddApplicationWindow.h"
#include "CIconCache.h"
#include "CShellSettingForAdminTool.h"
#include "GuiWait.h"
#include "Harness.h"
#include "Inputs.h"
#include "RawGui.h"
#include "RawXml.h"

using namespace kelbench;
using LibKELGUI::CAddApplicationWindow;
using LibKELGUI::CIconCache;

namespace {

std::string Policy(const char* file)
{
    return P().etc + file;
}

/* Selects a row of a list as a click does: the cursor moves and "cursor-changed" runs. */
void SelectRow(GtkWidget* view, int row)
{
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    gtk_tree_view_set_cursor(GTK_TREE_VIEW(view), path, NULL, FALSE);
    gtk_tree_path_free(path);
}

GtkWidget* FindTreeView(GtkWidget* widget)
{
    if (GTK_IS_TREE_VIEW(widget))
        return widget;
    if (!GTK_IS_CONTAINER(widget))
        return NULL;
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    GtkWidget* found = NULL;
    for (GList* l = children; l && !found; l = l->next)
        found = FindTreeView(GTK_WIDGET(l->data));
    g_list_free(children);
    return found;
}

/* Brings every row into sight once, a few rows at a time, each drawn before the next step. */
void ScrollThrough(GtkWidget* view)
{
    GtkTreeModel* model = gtk_tree_view_get_model(GTK_TREE_VIEW(view));
    const int rows = model ? gtk_tree_model_iter_n_children(model, NULL) : 0;
    for (int row = 0; row < rows; row += 3) {
        GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
        gtk_tree_view_scroll_to_cell(GTK_TREE_VIEW(view), path, NULL, TRUE, 0, 0);
        gtk_tree_path_free(path);
        WaitIdle();
    }
}

GdkWindow* BinWindow(GtkWidget* view)
{
    return gtk_tree_view_get_bin_window(GTK_TREE_VIEW(view));
}

/* ------------------------------------------------------------------ opening the editor */

void BM_OpenEditor(benchmark::State& state)
{
    for (auto _ : state) {
        UseFile(POLICY_40X250, "TabNavigation.xml");
        auto baseline = [](std::vector<double>& v) {
            raw::Policy policy;
            raw::Schedule schedule;
            int usb = 1, dialog = 0;
            double t0 = NowMs();
            raw::LoadPolicy(Policy("TabNavigation.xml"), policy);
            raw::LoadSchedule(Policy("LockSchedule.xml"), schedule);
            raw::LoadSystemSettings(Policy("KELSystemSetting.xml"), usb, dialog);
            raw::IconCache icons(P().image + "gui_default_app.png", 32);
            raw::Editor e = raw::BuildEditor(policy, schedule, usb, dialog, icons, P().image);
            ArmExposeIn(e.window);
            gtk_widget_show_all(e.window);
            v[0] = WaitShown() - t0;
            v[1] = WaitIdle() - t0;
            gtk_widget_destroy(e.window);
            WaitIdle();
        };
        auto candidate = [](std::vector<double>& v) {
            CIconCache::Clear(); /* every opening decodes its icons, as the first one in a host does */
            double t0 = NowMs();
            std::unique_ptr<LibKELGUI::CShellSettingForAdminTool> editor(new LibKELGUI::CShellSettingForAdminTool);
            editor->Init();
            ArmExposeIn(editor->GetWindow());
            editor->Show();
            v[0] = WaitShown() - t0;
            v[1] = WaitIdle() - t0;
            editor.reset();
            WaitIdle();
        };
        std::vector<Comparison> c = InterleaveMulti(baseline, candidate, 2);
        const char* base = "libxml2 load into structs + notebook, grid, 40 + 250 rows with icons, shown";
        AddTimeRow(state, "Open the editor on 40 x 250 programs: construct, Init, Show, first expose", base, c[0], 1.5);
        AddInfoRow(state, "Open the editor on 40 x 250 programs: to idle", base, c[1], "for information");
    }
}

/* ------------------------------------------------------------------ filling the lists */

/* The program list: the user selects a category of n programs (icons from 8 paths). */
void FillProgramList(benchmark::State& state, int row, size_t n)
{
    const int rounds = n < 10000 ? ShortRounds() : Rounds();
    UseFile(POLICY_LISTS, "TabNavigation.xml");
    raw::Policy policy;
    raw::LoadPolicy(Policy("TabNavigation.xml"), policy);
    const std::vector<raw::App>& apps = policy.categories[row].apps;

    raw::ListWindow list = raw::NewProgramListWindow();
    gtk_widget_show_all(list.window);
    std::unique_ptr<BenchEditor> editor(new BenchEditor);
    editor->Init();
    editor->Show();
    gtk_notebook_set_current_page(GTK_NOTEBOOK(editor->Notebook()), 1);
    WaitIdle();

    auto baseline = [&](std::vector<double>& v) {
        gtk_list_store_clear(list.store);
        WaitIdle();
        ArmExpose(BinWindow(list.view));
        double t0 = NowMs();
        raw::IconCache icons(P().image + "gui_default_app.png", 32);
        raw::FillPrograms(list.store, apps, icons);
        v[0] = WaitShown() - t0;
        v[1] = WaitIdle() - t0;
    };
    auto candidate = [&](std::vector<double>& v) {
        SelectRow(editor->CategoryView(), 0); /* the small category: the list is near empty */
        WaitIdle();
        CIconCache::Clear();
        ArmExpose(BinWindow(editor->ProgramView()));
        double t0 = NowMs();
        SelectRow(editor->CategoryView(), row);
        v[0] = WaitShown() - t0;
        v[1] = WaitIdle() - t0;
    };
    std::vector<Comparison> c = InterleaveMulti(baseline, candidate, 2, rounds);
    gint rows = gtk_tree_model_iter_n_children(gtk_tree_view_get_model(GTK_TREE_VIEW(editor->ProgramView())), NULL);
    if ((size_t)rows != n)
        state.SkipWithError("the program list does not show the category");
    const std::string what = "Program list: select a category of " + std::to_string(n) + " programs (8 icon paths)";
    const char* base = "same store filled from structs, one decode per distinct path";
    AddTimeRow(state, what + ", first expose", base, c[0], 1.3);
    AddTimeRow(state, what + ", idle", base, c[1], 1.3);
    editor.reset();
    raw::DestroyListWindow(list);
    WaitIdle();
}

void BM_FillProgramList1000(benchmark::State& state)
{
    for (auto _ : state)
        FillProgramList(state, 1, 1000);
}

void BM_FillProgramList10000(benchmark::State& state)
{
    for (auto _ : state)
        FillProgramList(state, 2, 10000);
}

/* The Add Application list: reloaded from a search-result file of n programs (icons from 8
 * paths, at the size of their files), as after a search. The reload parses the file too. */
void FillAddApplication(benchmark::State& state, const char* results, size_t n)
{
    const int rounds = n < 10000 ? ShortRounds() : Rounds();
    UseFile(results, "SearchResult.xml");
    std::vector<raw::App> apps;
    raw::LoadApps(Policy("SearchResult.xml"), apps);

    raw::ListWindow list = raw::NewResultListWindow(48);
    gtk_widget_show_all(list.window);
    std::unique_ptr<CAddApplicationWindow> window(new CAddApplicationWindow(false));
    window->Init();
    window->Show();
    GtkWidget* view = FindTreeView(window->GetWindow());
    WaitIdle();

    /* Refilled detached, as the window does: the view neither tracks nor redraws each row.
     * The second refill also reads the file (libxml2 tree and walk), for the note. */
    auto refill = [&](const std::vector<raw::App>& from, bool parse, double* shown, double* idle) {
        std::vector<raw::App> parsed;
        ArmExpose(BinWindow(list.view));
        double t0 = NowMs();
        if (parse)
            raw::LoadApps(Policy("SearchResult.xml"), parsed);
        raw::IconCache icons(P().image + "gui_default_app.png", 0);
        gtk_tree_view_set_model(GTK_TREE_VIEW(list.view), NULL);
        gtk_list_store_clear(list.store);
        raw::FillResults(list.store, parse ? parsed : from, icons);
        gtk_tree_view_set_model(GTK_TREE_VIEW(list.view), GTK_TREE_MODEL(list.store));
        *shown = WaitShown() - t0;
        *idle = WaitIdle() - t0;
        /* The rows point into the records: emptied before those go. */
        if (parse) {
            gtk_list_store_clear(list.store);
            raw::FillResults(list.store, from, icons);
            WaitIdle();
        }
    };
    auto baseline = [&](std::vector<double>& v) {
        refill(apps, false, &v[0], &v[1]);
        refill(apps, true, &v[2], &v[3]);
    };
    int added = 0;
    auto candidate = [&](std::vector<double>& v) {
        CIconCache::Clear();
        ArmExpose(BinWindow(view));
        double t0 = NowMs();
        added = window->LoadXMLData();
        v[0] = v[2] = WaitShown() - t0;
        v[1] = v[3] = WaitIdle() - t0;
    };
    std::vector<Comparison> c = InterleaveMulti(baseline, candidate, 4, rounds);
    if ((size_t)added != n)
        state.SkipWithError("the Add Application list does not show the results");
    const std::string what = "Add Application list: reload " + std::to_string(n) + " results (8 icon paths)";
    const char* base = "same store filled from structs (no parse), one decode per distinct path";
    AddTimeRow(state, what + ", first expose", base, c[0], 1.3);
    AddTimeRow(state, what + ", idle", base, c[1], 1.3);
    AddInfoRow(state, what + ", first expose, against a baseline that reads the file too",
               "the same with libxml2 xmlReadFile + walk first", c[2], "how much of the ratio is reading the file");
    window.reset();
    raw::DestroyListWindow(list);
    WaitIdle();
}

void BM_FillAddApplication1000(benchmark::State& state)
{
    for (auto _ : state)
        FillAddApplication(state, RESULTS_1000, 1000);
}

void BM_FillAddApplication10000(benchmark::State& state)
{
    for (auto _ : state)
        FillAddApplication(state, RESULTS_10000, 10000);
}

/* ------------------------------------------------------------------ switching back */

void BM_SwitchBackCategory(benchmark::State& state)
{
    for (auto _ : state) {
        UseFile(POLICY_40X250, "TabNavigation.xml");
        raw::Policy policy;
        raw::LoadPolicy(Policy("TabNavigation.xml"), policy);

        raw::ListWindow list = raw::NewProgramListWindow();
        gtk_widget_show_all(list.window);
        raw::IconCache icons(P().image + "gui_default_app.png", 32);
        raw::FillPrograms(list.store, policy.categories[0].apps, icons); /* shown once: its icons are decoded */
        CIconCache::Clear();
        std::unique_ptr<BenchEditor> editor(new BenchEditor);
        editor->Init(); /* shows the first category */
        editor->Show();
        gtk_notebook_set_current_page(GTK_NOTEBOOK(editor->Notebook()), 1);
        WaitIdle();

        auto baseline = [&](std::vector<double>& v) {
            gtk_list_store_clear(list.store);
            raw::FillPrograms(list.store, policy.categories[1].apps, icons);
            WaitIdle();
            ArmExpose(BinWindow(list.view));
            double t0 = NowMs();
            gtk_list_store_clear(list.store);
            raw::FillPrograms(list.store, policy.categories[0].apps, icons);
            v[0] = WaitShown() - t0;
            v[1] = WaitIdle() - t0;
        };
        auto candidate = [&](std::vector<double>& v) {
            SelectRow(editor->CategoryView(), 1);
            WaitIdle();
            ArmExpose(BinWindow(editor->ProgramView()));
            double t0 = NowMs();
            SelectRow(editor->CategoryView(), 0);
            v[0] = WaitShown() - t0;
            v[1] = WaitIdle() - t0;
        };
        std::vector<Comparison> c = InterleaveMulti(baseline, candidate, 2, ShortRounds());
        const char* base = "refill of a visible list from cached pixbufs";
        AddTimeRow(state, "Switch back to a category already shown (250 programs), first expose", base, c[0], 1.3);
        AddInfoRow(state, "Switch back to a category already shown (250 programs), idle", base, c[1],
                   "for information");
        editor.reset();
        raw::DestroyListWindow(list);
        WaitIdle();
    }
}

/* ------------------------------------------------------------------ the lock grid */

void BM_LockGrid(benchmark::State& state)
{
    for (auto _ : state) {
        auto baseline = [](std::vector<double>& v) {
            double t0 = NowMs();
            GtkWidget* window = raw::BuildLockFrame(P().image);
            ArmExposeIn(window);
            gtk_widget_show_all(window);
            v[0] = WaitShown() - t0;
            v[1] = WaitIdle() - t0;
            gtk_widget_destroy(window);
            WaitIdle();
        };
        auto candidate = [](std::vector<double>& v) {
            double t0 = NowMs();
            std::unique_ptr<BenchEditor> editor(new BenchEditor);
            editor->BuildLockPageOnly();
            ArmExposeIn(editor->GetWindow());
            editor->Show();
            v[0] = WaitShown() - t0;
            v[1] = WaitIdle() - t0;
            editor.reset();
            WaitIdle();
        };
        std::vector<Comparison> c = InterleaveMulti(baseline, candidate, 2, ShortRounds());
        const char* base = "plain 7 x 24 table with the same colours, same frame";
        AddTimeRow(state, "Build and show the lock grid, first expose", base, c[0], 1.2);
        AddInfoRow(state, "Build and show the lock grid, idle", base, c[1], "for information");
    }
}

/* ------------------------------------------------------------------ decodes in one window's life */

void BM_DecodesEditor(benchmark::State& state)
{
    for (auto _ : state) {
        UseFile(POLICY_40X250, "TabNavigation.xml");
        IconCensus census = CountIcons(Policy("TabNavigation.xml"));
        CIconCache::Clear();
        unsigned before = CIconCache::DecodeCount();
        std::unique_ptr<BenchEditor> editor(new BenchEditor);
        editor->Init();
        editor->Show();
        gtk_notebook_set_current_page(GTK_NOTEBOOK(editor->Notebook()), 1);
        WaitIdle();
        /* Every category shown, then all of them again; icons are decoded as rows are drawn,
         * so each list is scrolled through from top to bottom. */
        for (int pass = 0; pass < 2; ++pass)
            for (int row = 0; row < 40; ++row) {
                SelectRow(editor->CategoryView(), row);
                WaitIdle();
                ScrollThrough(editor->ProgramView());
            }
        unsigned decodes = CIconCache::DecodeCount() - before;
        editor.reset();
        WaitIdle();
        AddCountRow(state, "Icon decodes in the editor's life (40 x 250, every category shown twice)", decodes,
                    census.existing + (census.needsDefault ? 1 : 0),
                    std::to_string(census.existing) + " distinct icon files" +
                        (census.needsDefault ? " + the default icon" : ""));
    }
}

void BM_DecodesAddApplication(benchmark::State& state)
{
    for (auto _ : state) {
        UseFile(RESULTS_5000_MIXED, "SearchResult.xml");
        IconCensus census = CountIcons(Policy("SearchResult.xml"));
        CIconCache::Clear();
        unsigned before = CIconCache::DecodeCount();
        std::unique_ptr<CAddApplicationWindow> window(new CAddApplicationWindow(false));
        window->Init();
        window->Show();
        WaitIdle();
        window->LoadXMLData(); /* as after a search that found nothing new */
        WaitIdle();
        unsigned decodes = CIconCache::DecodeCount() - before;
        window.reset();
        WaitIdle();
        AddCountRow(state, "Icon decodes in the Add Application window's life (5,000 results, reloaded once)",
                    decodes, census.existing + (census.needsDefault ? 1 : 0),
                    std::to_string(census.existing) + " distinct icon files" +
                        (census.needsDefault ? " + the default icon" : ""));
    }
}

/* ------------------------------------------------------------------ opening Add Application */

void BM_OpenAddApplication(benchmark::State& state)
{
    for (auto _ : state) {
        UseFile(RESULTS_5000_MIXED, "SearchResult.xml");
        auto baseline = [](std::vector<double>& v) {
            std::vector<raw::App> apps;
            double t0 = NowMs();
            raw::LoadApps(Policy("SearchResult.xml"), apps);
            raw::IconCache icons(P().image + "gui_default_app.png", 0);
            raw::ListWindow list = raw::NewResultListWindow(48);
            raw::FillResults(list.store, apps, icons);
            ArmExposeIn(list.window);
            gtk_widget_show_all(list.window);
            v[0] = WaitShown() - t0;
            v[1] = WaitIdle() - t0;
            raw::DestroyListWindow(list);
            WaitIdle();
        };
        auto candidate = [](std::vector<double>& v) {
            CIconCache::Clear();
            double t0 = NowMs();
            std::unique_ptr<CAddApplicationWindow> window(new CAddApplicationWindow(false));
            window->Init();
            ArmExposeIn(window->GetWindow());
            window->Show();
            v[0] = WaitShown() - t0;
            v[1] = WaitIdle() - t0;
            window.reset();
            WaitIdle();
        };
        std::vector<Comparison> c = InterleaveMulti(baseline, candidate, 2);
        const char* base = "libxml2 load + list window, one decode per distinct path";
        AddInfoRow(state, "Open Add Application on 5,000 results (2,000 distinct icons), first expose", base, c[0],
                   "for information");
        AddInfoRow(state, "Open Add Application on 5,000 results (2,000 distinct icons), idle", base, c[1],
                   "for information");
    }
}

#define KEL_BENCH(fn) BENCHMARK(fn)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond)
KEL_BENCH(BM_OpenEditor);
KEL_BENCH(BM_FillProgramList1000);
KEL_BENCH(BM_FillProgramList10000);
KEL_BENCH(BM_FillAddApplication1000);
KEL_BENCH(BM_FillAddApplication10000);
KEL_BENCH(BM_SwitchBackCategory);
KEL_BENCH(BM_LockGrid);
KEL_BENCH(BM_DecodesEditor);
KEL_BENCH(BM_DecodesAddApplication);
KEL_BENCH(BM_OpenAddApplication);

} // namespace

int main(int argc, char** argv)
{
    SetRoot(EnterPrivateRoot(argc, argv));
    if (!StartGtk(&argc, &argv)) {
        fprintf(stderr, "bench_windows needs a display (scripts/bench.sh starts Xvfb)\n");
        return 1;
    }
    GenerateOnce("basics", GenerateBasics);
    GenerateOnce("policies", GeneratePolicies);
    GenerateOnce("results", GenerateSearchResults);
    if (!IconsDecode())
        return 1;
    return RunBenchmarks(argc, argv);
}
