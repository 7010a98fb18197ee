/* The Shell Settings window's frame: OK, close box and Escape routing, building once, and deletion
 * with a dialog still open. */
#include <gtest/gtest.h>

#include <gdk/gdkkeysyms.h>

#include "shellsetting_fixture.h"

using keltest::CTestShellSetting;
typedef std::vector<std::string> Texts;

namespace {

void WritePolicyWithPrograms()
{
    ASSERT_TRUE(keltest::WriteTabNavigation(
        {{"Office", {{"Writer", "/usr/bin/writer", "", 1}, {"Calc", "/usr/bin/calc", "", 1}}}, {"Empty", {}}}));
}

} // namespace

TEST(ShellSettingFrame, EachButtonKeyAndTheCloseRequestReachTheirOperationsOnce)
{
    for (const std::string action : {"OK", "frame", "Escape"}) {
        CTestShellSetting w;
        keltest::Open(w);
        action == "frame"    ? keltest::CloseFromFrame(w.GetWindow())
        : action == "Escape" ? keltest::PressKey(w.GetWindow(), GDK_Escape)
                             : keltest::Click(keltest::FindButtonByLabel(w.GetWindow(), action));
        const Texts calls = action == "OK" ? Texts{"LoadXMLData", "OnApply", "OnClose"} : Texts{"LoadXMLData", "OnClose"};
        EXPECT_EQ(calls, w.calls) << action;
        EXPECT_EQ(NULL, w.GetWindow());
    }
}

TEST(ShellSettingFrame, DeletingWithTheEditDialogOpenLeavesDestroyedWidgetsAlone)
{
    WritePolicyWithPrograms();
    CTestShellSetting* w = new CTestShellSetting;
    keltest::Open(*w);
    w->OnEditCategoryBtnClicked();
    ASSERT_EQ(1u, keltest::ToplevelsWithTitle("Edit Category").size());
    GtkWidget* window = w->GetWindow();
    EXPECT_EQ(0, w->AttachBaseClassGTKHandler(w));
    EXPECT_EQ(window, w->GetWindow()) << "built once only";
    w->Close();
    EXPECT_EQ(-1, w->AttachBaseClassGTKHandler(w)) << "nothing built again after Close";
    /* With the widgets gone every page operation finds nothing to act on. */
    w->FetchScheuleData();
    EXPECT_TRUE(w->ShowTabNavPolicy());
    w->GTKShowDlgCheckBox();
    EXPECT_FALSE(w->GTKHideUSBCheckBox());
    delete w;
    keltest::Drain();
    EXPECT_TRUE(keltest::ToplevelsWithTitle("Edit Category").empty());
}
