/* The Shell Settings window's frame: building, OK/Apply/Cancel/close routing, dirty flags, the
 * sensitivity of the Program Registration buttons, and deletion with dialogs still open. */
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "CAddApplicationWindow.h"
#include "shellsetting_fixture.h"

using keltest::CTestShellSetting;
typedef std::vector<std::string> Texts;

namespace {

/* The button row's labels, from the left as laid out. */
Texts RowFromLeft(GtkWidget* row)
{
    GList* children = gtk_container_get_children(GTK_CONTAINER(row));
    std::vector<GtkWidget*> buttons;
    for (GList* l = children; l; l = l->next)
        buttons.push_back(GTK_WIDGET(l->data));
    g_list_free(children);
    std::sort(buttons.begin(), buttons.end(),
              [](GtkWidget* a, GtkWidget* b) { return a->allocation.x < b->allocation.x; });
    Texts out;
    for (GtkWidget* b : buttons)
        out.push_back(gtk_button_get_label(GTK_BUTTON(b)));
    return out;
}

void WritePolicyWithPrograms()
{
    ASSERT_TRUE(keltest::WriteTabNavigation({
        {"Office", "", {{"Writer", "/usr/bin/writer", "", 1}, {"Calc", "/usr/bin/calc", "", 1}}},
        {"Empty", "", {}},
    }));
}

} // namespace

TEST(ShellSettingFrame, BuildsThreePagesAndTheButtonRowOnceOnly)
{
    CTestShellSetting unowned;
    EXPECT_EQ(-1, unowned.AttachBaseClassGTKHandler(NULL));

    CTestShellSetting w;
    ASSERT_EQ(0, w.Init());
    GtkWidget* window = w.GetWindow();
    GtkNotebook* nb = GTK_NOTEBOOK(w.m_pNotebook);
    Texts tabs;
    for (int i = 0; i < gtk_notebook_get_n_pages(nb); ++i)
        tabs.push_back(gtk_notebook_get_tab_label_text(nb, gtk_notebook_get_nth_page(nb, i)));
    EXPECT_EQ((Texts{"Shell Lock Settings", "Program Registration", "System Settings"}), tabs);
    EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(window)));
    int width = 0, height = 0;
    gtk_widget_get_size_request(window, &width, &height);
    EXPECT_EQ(525, width);
    EXPECT_EQ(350, height);
    EXPECT_EQ(1, w.Show());
    keltest::Drain();
    EXPECT_EQ((Texts{"Cancel", "Apply", "OK"}), RowFromLeft(w.m_pButtonRow));
    EXPECT_EQ(keltest::FindButtonByLabel(window, "OK"), gtk_window_get_focus(GTK_WINDOW(window)));

    /* Building twice would leave a first window behind; after Close nothing is built again. */
    EXPECT_EQ(0, w.AttachBaseClassGTKHandler(&w));
    EXPECT_EQ(window, w.GetWindow());
    w.Close();
    EXPECT_EQ(-1, w.AttachBaseClassGTKHandler(&w));
    EXPECT_EQ(NULL, w.GetWindow());
}

TEST(ShellSettingFrame, EachButtonAndTheCloseRequestReachTheirOperationsOnce)
{
    struct Case {
        std::vector<const char*> clicks; /* "frame" closes from the frame */
        Texts calls;
    } const cases[] = {
        {{"OK"}, {"LoadXMLData", "OnApply", "OnClose"}},
        {{"Apply", "Cancel"}, {"LoadXMLData", "OnApply", "OnClose"}},
        {{"Cancel"}, {"LoadXMLData", "OnClose"}},
        {{"frame"}, {"LoadXMLData", "OnClose"}},
    };
    for (const Case& c : cases) {
        CTestShellSetting w;
        w.Init();
        w.Show();
        keltest::Drain();
        for (const char* click : c.clicks) {
            ASSERT_TRUE(w.GetWindow()) << click;
            if (std::string(click) == "frame")
                keltest::CloseFromFrame(w.GetWindow());
            else
                keltest::Click(keltest::FindButtonByLabel(w.GetWindow(), click));
        }
        EXPECT_EQ(c.calls, w.calls) << c.clicks[0];
        EXPECT_EQ(NULL, w.GetWindow());
    }
    /* Without a window the handlers do nothing. */
    EXPECT_FALSE(CTestShellSetting::OnCloseBtnClicked(NULL, NULL, NULL));
    CTestShellSetting::OnOKBtnClicked(NULL, NULL);
    CTestShellSetting::OnCancelBtnClicked(NULL, NULL);
    CTestShellSetting::OnApplyBtnClicked(NULL, NULL);

    CTestShellSetting w;
    EXPECT_FALSE(w.IsDataDirty());
    for (bool* flag : {&w.m_bScheduleDirty, &w.m_bTabNavDirty, &w.m_bSystemSettingDirty}) {
        *flag = true;
        EXPECT_TRUE(w.IsDataDirty());
        *flag = false;
    }
}

TEST(ShellSettingFrame, ProgramRegistrationButtonsFollowTheSelection)
{
    auto check = [](CTestShellSetting& w, bool category, bool program, const char* situation) {
        SCOPED_TRACE(situation);
        for (GtkWidget* b : {w.m_pDeleteCategoryBtn, w.m_pEditCategoryBtn, w.m_pAddProgramBtn})
            EXPECT_EQ(category, keltest::Sensitive(b));
        for (GtkWidget* b : {w.m_pDeleteProgramBtn, w.m_pEditProgramBtn})
            EXPECT_EQ(program, keltest::Sensitive(b));
        EXPECT_TRUE(keltest::Sensitive(w.m_pAddCategoryBtn) && keltest::Sensitive(w.m_pDefaultBtn));
    };
    {
        CTestShellSetting w; /* no policy file: no categories */
        w.Init();
        check(w, false, false, "no categories");
    }
    WritePolicyWithPrograms();
    CTestShellSetting w;
    w.Init();
    w.Show();
    keltest::Drain();
    EXPECT_EQ(0, keltest::SelectedRow(w.m_pCategoryView));
    check(w, true, false, "first category shown, no program selected");
    keltest::SetCursorRow(w.m_pProgramView, 1);
    check(w, true, true, "a program selected");
    EXPECT_EQ("Calc", w.m_CurProgramName);
    keltest::SetCursorRow(w.m_pCategoryView, 1);
    check(w, true, false, "a category without programs");
    keltest::SetCursorRow(w.m_pCategoryView, 0);
    check(w, true, false, "back to a category with programs, none selected");
    gtk_tree_selection_unselect_all(gtk_tree_view_get_selection(GTK_TREE_VIEW(w.m_pCategoryView)));
    w.UpdateBtnStatus();
    check(w, false, false, "categories, none selected");
}

TEST(ShellSettingFrame, DeletingAfterCloseLeavesDestroyedWidgetsAlone)
{
    WritePolicyWithPrograms();
    CTestShellSetting* w = new CTestShellSetting;
    w->Init();
    w->Show();
    keltest::Drain();
    w->OnEditCategoryBtnClicked();
    ASSERT_TRUE(w->m_pIconDlg);
    w->m_pAddApplicationWindow = new LibKELGUI::CAddApplicationWindow(false);
    w->Close();
    /* With the widgets gone every page operation finds nothing to act on. */
    w->FetchScheuleData();
    w->ShowSchedulePolicy();
    EXPECT_TRUE(w->ShowTabNavPolicy());
    w->UpdateBtnStatus();
    w->FetchUSBData();
    w->GTKShowDlgCheckBox();
    EXPECT_FALSE(w->GTKHideUSBCheckBox());
    delete w;

    /* Deleted while shown: the window goes with the object. */
    w = new CTestShellSetting;
    w->Init();
    w->Show();
    keltest::Drain();
    keltest::WidgetWatch window(w->GetWindow());
    delete w;
    keltest::Drain();
    EXPECT_FALSE(window.Alive());
}
