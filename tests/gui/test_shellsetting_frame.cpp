/* The Shell Settings window's frame: building, OK/Apply/Cancel/close routing, dirty flags and
 * the sensitivity of the Program Registration buttons. */
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "CAddApplicationWindow.h"
#include "shellsetting_fixture.h"

using keltest::CTestShellSetting;

namespace {

std::vector<std::string> TabLabels(GtkWidget* notebook)
{
    std::vector<std::string> out;
    for (int i = 0; i < gtk_notebook_get_n_pages(GTK_NOTEBOOK(notebook)); ++i)
        out.push_back(gtk_notebook_get_tab_label_text(GTK_NOTEBOOK(notebook),
                                                      gtk_notebook_get_nth_page(GTK_NOTEBOOK(notebook), i)));
    return out;
}

/* The button row's labels, from the left as laid out. */
std::vector<std::string> RowFromLeft(GtkWidget* row)
{
    GList* children = gtk_container_get_children(GTK_CONTAINER(row));
    std::vector<GtkWidget*> buttons;
    for (GList* l = children; l; l = l->next)
        buttons.push_back(GTK_WIDGET(l->data));
    g_list_free(children);
    std::sort(buttons.begin(), buttons.end(),
              [](GtkWidget* a, GtkWidget* b) { return a->allocation.x < b->allocation.x; });
    std::vector<std::string> out;
    for (GtkWidget* b : buttons)
        out.push_back(gtk_button_get_label(GTK_BUTTON(b)));
    return out;
}

void SendDelete(GtkWidget* window)
{
    GdkEvent* event = gdk_event_new(GDK_DELETE);
    event->any.window = GDK_WINDOW(g_object_ref(window->window));
    event->any.send_event = TRUE;
    gtk_main_do_event(event);
    gdk_event_free(event);
    keltest::Drain();
}

void WritePolicyWithPrograms()
{
    ASSERT_TRUE(keltest::WriteTabNavigation({
        {"Office", "", {{"Writer", "/usr/bin/writer", "", 1}, {"Calc", "/usr/bin/calc", "", 1}}},
        {"Empty", "", {}},
    }));
}

} // namespace

TEST(ShellSettingFrame, BuildsThreePagesAndTheButtonRow)
{
    CTestShellSetting unowned;
    EXPECT_EQ(-1, unowned.AttachBaseClassGTKHandler(NULL));
    EXPECT_EQ(NULL, unowned.GetWindow());

    CTestShellSetting w;
    ASSERT_EQ(0, w.Init());
    GtkWidget* window = w.GetWindow();
    ASSERT_TRUE(window);
    std::vector<std::string> tabs = {"Shell Lock Settings", "Program Registration", "System Settings"};
    EXPECT_EQ(tabs, TabLabels(w.m_pNotebook));
    EXPECT_STREQ("Shell Settings", gtk_window_get_title(GTK_WINDOW(window)));
    EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(window)));
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(window)));
    int width = 0, height = 0;
    gtk_widget_get_size_request(window, &width, &height);
    EXPECT_EQ(525, width);
    EXPECT_EQ(350, height);

    EXPECT_EQ(1, w.Show());
    keltest::Drain();
    std::vector<std::string> row = {"Cancel", "Apply", "OK"};
    EXPECT_EQ(row, RowFromLeft(w.m_pButtonRow));
    EXPECT_STREQ("button-panel.GtkEventBox", gtk_widget_get_name(gtk_widget_get_parent(w.m_pButtonRow)));
    EXPECT_STREQ("font-white", gtk_widget_get_name(w.m_pButtonRow));
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
    std::vector<std::string> applyThenClose = {"LoadXMLData", "OnApply", "OnClose"};
    {
        CTestShellSetting w;
        w.Init();
        w.Show();
        keltest::Click(keltest::FindButtonByLabel(w.GetWindow(), "OK"));
        EXPECT_EQ(applyThenClose, w.calls);
        EXPECT_EQ(NULL, w.GetWindow());
    }
    {
        CTestShellSetting w;
        w.Init();
        w.Show();
        keltest::Click(keltest::FindButtonByLabel(w.GetWindow(), "Apply"));
        EXPECT_EQ(1, w.Count("OnApply"));
        EXPECT_EQ(0, w.Count("OnClose"));
        ASSERT_TRUE(w.GetWindow());
        keltest::Click(keltest::FindButtonByLabel(w.GetWindow(), "Cancel"));
        EXPECT_EQ(1, w.Count("OnApply"));
        EXPECT_EQ(1, w.Count("OnClose"));
        EXPECT_EQ(NULL, w.GetWindow());
    }
    {
        CTestShellSetting w;
        w.Init();
        w.Show();
        keltest::Drain();
        keltest::LogCapture log;
        SendDelete(w.GetWindow());
        EXPECT_EQ(1, w.Count("OnClose"));
        EXPECT_EQ(0, w.Count("OnApply"));
        EXPECT_EQ(NULL, w.GetWindow());
        EXPECT_TRUE(log.Has("CShellSettingCtrl::OnCloseBtnClicked >>Start"));
        EXPECT_TRUE(log.Has("CShellSettingCtrl::OnCloseBtnClicked <<End"));
    }
    /* Without a window the handlers only log. */
    keltest::LogCapture log;
    EXPECT_FALSE(CTestShellSetting::OnCloseBtnClicked(NULL, NULL, NULL));
    CTestShellSetting::OnOKBtnClicked(NULL, NULL);
    CTestShellSetting::OnCancelBtnClicked(NULL, NULL);
    CTestShellSetting::OnApplyBtnClicked(NULL, NULL);
    EXPECT_TRUE(log.Has("CShellSettingCtrl::OnOKBtnClicked <<End"));
}

TEST(ShellSettingFrame, IsDataDirtyWhenAnyOneFlagIsSet)
{
    CTestShellSetting w;
    EXPECT_FALSE(w.IsDataDirty());
    w.m_bScheduleDirty = true;
    EXPECT_TRUE(w.IsDataDirty());
    w.m_bScheduleDirty = false;
    w.m_bTabNavDirty = true;
    EXPECT_TRUE(w.IsDataDirty());
    w.m_bTabNavDirty = false;
    w.m_bSystemSettingDirty = true;
    EXPECT_TRUE(w.IsDataDirty());
}

TEST(ShellSettingFrame, ProgramRegistrationButtonsFollowTheSelection)
{
    struct Expect {
        bool category;
        bool program;
    };
    auto check = [](CTestShellSetting& w, Expect e, const char* situation) {
        SCOPED_TRACE(situation);
        EXPECT_EQ(e.category, keltest::Sensitive(w.m_pDeleteCategoryBtn));
        EXPECT_EQ(e.category, keltest::Sensitive(w.m_pEditCategoryBtn));
        EXPECT_EQ(e.category, keltest::Sensitive(w.m_pAddProgramBtn));
        EXPECT_EQ(e.program, keltest::Sensitive(w.m_pDeleteProgramBtn));
        EXPECT_EQ(e.program, keltest::Sensitive(w.m_pEditProgramBtn));
        EXPECT_TRUE(keltest::Sensitive(w.m_pAddCategoryBtn));
        EXPECT_TRUE(keltest::Sensitive(w.m_pDefaultBtn));
    };
    {
        CTestShellSetting w; /* no policy file: no categories */
        w.Init();
        check(w, {false, false}, "no categories");
    }
    WritePolicyWithPrograms();
    CTestShellSetting w;
    w.Init();
    w.Show();
    keltest::Drain();
    EXPECT_EQ(0, keltest::SelectedRow(w.m_pCategoryView));
    check(w, {true, false}, "first category shown, no program selected");

    keltest::SetCursorRow(w.m_pProgramView, 1);
    check(w, {true, true}, "a program selected");
    EXPECT_EQ("Calc", w.m_CurProgramName);

    keltest::SetCursorRow(w.m_pCategoryView, 1);
    EXPECT_EQ(0, gtk_tree_model_iter_n_children(GTK_TREE_MODEL(w.m_pProgramStore), NULL));
    check(w, {true, false}, "a category without programs");

    keltest::SetCursorRow(w.m_pCategoryView, 0);
    check(w, {true, false}, "back to a category with programs, none selected");

    gtk_tree_selection_unselect_all(gtk_tree_view_get_selection(GTK_TREE_VIEW(w.m_pCategoryView)));
    w.UpdateBtnStatus();
    check(w, {false, false}, "categories, none selected");
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
    EXPECT_EQ(NULL, w->GetWindow());
    /* With the widgets gone every page operation finds nothing to act on. */
    w->FetchScheuleData();
    w->ShowSchedulePolicy();
    EXPECT_TRUE(w->ShowTabNavPolicy());
    w->UpdateBtnStatus();
    w->FetchUSBData();
    w->GTKShowDlgCheckBox();
    EXPECT_FALSE(w->GTKHideUSBCheckBox());
    keltest::LogCapture log;
    delete w;
    EXPECT_TRUE(log.Has("CShellSettingCtrl::~CShellSettingCtrl <<End"));

    /* Deleted while shown: the window goes with the object. */
    CTestShellSetting* shown = new CTestShellSetting;
    shown->Init();
    shown->Show();
    keltest::Drain();
    GtkWidget* window = shown->GetWindow();
    g_object_add_weak_pointer(G_OBJECT(window), reinterpret_cast<gpointer*>(&window));
    delete shown;
    keltest::Drain();
    EXPECT_EQ(NULL, window);
}
