/* The Shell Settings window's frame: building, OK/Apply/Cancel/close routing, the keyboard, the
 * sensitivity of the Program Registration buttons, and deletion with a dialog still open. */
#include <gtest/gtest.h>

#include <gdk/gdkkeysyms.h>

#include <algorithm>

#include "shellsetting_fixture.h"

using keltest::CTestShellSetting;
typedef std::vector<std::string> Texts;

namespace {

GtkWidget* Nth(GtkWidget* window, const char* label, size_t n)
{
    std::vector<GtkWidget*> all = keltest::FindAll(window, [label](GtkWidget* w) {
        return GTK_IS_BUTTON(w) && g_strcmp0(gtk_button_get_label(GTK_BUTTON(w)), label) == 0;
    });
    return n < all.size() ? all[n] : NULL;
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
    GtkRequisition size;
    gtk_widget_size_request(window, &size);
    EXPECT_TRUE(size.width >= 525 && size.height >= 350) << size.width << "x" << size.height;
    EXPECT_EQ(1, w.Show());
    keltest::Drain();
    std::vector<GtkWidget*> row = {keltest::FindButtonByLabel(window, "Cancel"),
                                   keltest::FindButtonByLabel(window, "Apply"), keltest::FindButtonByLabel(window, "OK")};
    EXPECT_TRUE(row[0]->allocation.x < row[1]->allocation.x && row[1]->allocation.x < row[2]->allocation.x);
    EXPECT_EQ(row[2], gtk_window_get_focus(GTK_WINDOW(window)));

    /* Building twice would leave a first window behind; after Close nothing is built again. */
    EXPECT_EQ(0, w.AttachBaseClassGTKHandler(&w));
    EXPECT_EQ(window, w.GetWindow());
    w.Close();
    EXPECT_EQ(-1, w.AttachBaseClassGTKHandler(&w));
    EXPECT_EQ(NULL, w.GetWindow());
}

TEST(ShellSettingFrame, EachButtonKeyAndTheCloseRequestReachTheirOperationsOnce)
{
    struct Case {
        std::vector<const char*> actions; /* "frame" closes from the frame, "Escape" presses it */
        Texts calls;
    } const cases[] = {
        {{"OK"}, {"LoadXMLData", "OnApply", "OnClose"}},
        {{"Apply", "Cancel"}, {"LoadXMLData", "OnApply", "OnClose"}},
        {{"frame"}, {"LoadXMLData", "OnClose"}},
        {{"Escape"}, {"LoadXMLData", "OnClose"}},
    };
    for (const Case& c : cases) {
        CTestShellSetting w;
        w.Init();
        w.Show();
        keltest::Drain();
        for (const std::string action : c.actions) {
            ASSERT_TRUE(w.GetWindow()) << action;
            if (action == "frame")
                keltest::CloseFromFrame(w.GetWindow());
            else if (action == "Escape")
                keltest::PressKey(w.GetWindow(), GDK_Escape);
            else
                keltest::Click(keltest::FindButtonByLabel(w.GetWindow(), action));
        }
        EXPECT_EQ(c.calls, w.calls) << c.actions[0];
        EXPECT_EQ(NULL, w.GetWindow());
    }
    /* Without a window the handlers do nothing. */
    EXPECT_FALSE(CTestShellSetting::OnCloseBtnClicked(NULL, NULL, NULL));
    CTestShellSetting::OnOKBtnClicked(NULL, NULL);
    CTestShellSetting::OnCancelBtnClicked(NULL, NULL);
}

TEST(ShellSettingFrame, ProgramRegistrationButtonsFollowTheSelectionAndAltPressesThem)
{
    WritePolicyWithPrograms();
    CTestShellSetting w;
    w.Init();
    w.Show();
    keltest::Drain();
    GtkWidget* win = w.GetWindow();
    auto check = [win](bool category, bool program, const char* situation) {
        SCOPED_TRACE(situation);
        for (GtkWidget* b : {Nth(win, "-", 0), Nth(win, "Edit", 0), Nth(win, "+", 1)})
            EXPECT_EQ(category, keltest::Sensitive(b));
        for (GtkWidget* b : {Nth(win, "-", 1), Nth(win, "Edit", 1)})
            EXPECT_EQ(program, keltest::Sensitive(b));
        EXPECT_TRUE(keltest::Sensitive(Nth(win, "+", 0)) && keltest::Sensitive(Nth(win, "Restore to Default", 0)));
    };
    GtkTreeView* categories = keltest::List(win, 0);
    check(true, false, "first category shown, no program selected");
    keltest::SetCursorRow(keltest::List(win, 1), 1);
    check(true, true, "a program selected");
    keltest::SetCursorRow(categories, 1);
    check(true, false, "a category without programs");
    gtk_tree_selection_unselect_all(gtk_tree_view_get_selection(categories));
    w.UpdateBtnStatus();
    check(false, false, "categories, none selected");

    /* Alt and a label's first free letter presses the button, on the page shown only. */
    gtk_notebook_set_current_page(GTK_NOTEBOOK(w.m_pNotebook), 1);
    keltest::Drain();
    keltest::PressKey(win, GDK_a, GDK_MOD1_MASK); /* "Apply" */
    EXPECT_TRUE(keltest::PumpUntil([&w] { return w.calls.size() == 2; }, 2000));
    EXPECT_EQ((Texts{"LoadXMLData", "OnApply"}), w.calls);
}

TEST(ShellSettingFrame, DeletingWithTheEditDialogOpenLeavesDestroyedWidgetsAlone)
{
    WritePolicyWithPrograms();
    CTestShellSetting* w = new CTestShellSetting;
    w->Init();
    w->Show();
    keltest::Drain();
    w->OnEditCategoryBtnClicked();
    ASSERT_EQ(1u, keltest::ToplevelsWithTitle("Edit Category").size());
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
    keltest::Drain();
    EXPECT_TRUE(keltest::ToplevelsWithTitle("Edit Category").empty());
}
