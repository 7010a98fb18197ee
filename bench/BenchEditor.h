/* The administrator tool's editor as the benchmarks drive it: the widgets a user clicks reachable. */
#ifndef KELBENCH_BENCH_EDITOR_H
#define KELBENCH_BENCH_EDITOR_H

#include <gtk/gtk.h>

#include "CShellSettingForAdminTool.h"

namespace kelbench {

class BenchEditor : public LibKELGUI::CShellSettingForAdminTool {
public:
    GtkWidget* Notebook() const { return m_pNotebook; }
    GtkWidget* CategoryView() const { return m_pCategoryView; }
    GtkWidget* ProgramView() const { return m_pProgramView; }

    /* Only what the lock grid figure measures: the window frame and the Shell Lock Settings page. */
    void BuildLockPageOnly()
    {
        m_pOwner = this;
        initWindow();
        initShellLockSetting();
        m_bInitialized = true;
    }
};

} // namespace kelbench

#endif
