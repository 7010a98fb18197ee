/* The administrator tool's window used like a person would, from end to end: the real
 * name-and-icon dialog, a real search through the local service, Apply through the service,
 * and the edits found in the policy files on disk. */
#include <gtest/gtest.h>

#include "CShellSettingForAdminTool.h"
#include "SearchTestHelpers.h"
#include "shellsetting_fixture.h"

using namespace LibKELData;
typedef keltest::Exposed<LibKELGUI::CShellSettingForAdminTool> Window;

namespace {
GtkWidget* OnlyWindowTitled(const char* title)
{
    std::vector<GtkWindow*> found = keltest::ToplevelsWithTitle(title);
    return found.size() == 1 ? GTK_WIDGET(found[0]) : NULL;
}
} // namespace

TEST(AdminEndToEnd, CategoryProgramsScheduleAndUsbEditedThroughTheWindowReachTheFiles)
{
    keltest::CopySampleRoot();
    ASSERT_TRUE(keltest::WriteSystemSetting(0, 0));
    std::string folder = keltest::Root() + "/opt/lab";
    searchtest::Install(folder, "planets", "Planet Viewer");
    searchtest::Install(folder, "wordbuilder", "Word Builder");
    Window w;
    w.Init();
    ASSERT_EQ(1, w.Show());
    keltest::Drain();

    /* A new category, renamed through the name-and-icon dialog. */
    keltest::Click(w.m_pAddCategoryBtn);
    keltest::Click(w.m_pEditCategoryBtn);
    GtkWidget* edit = OnlyWindowTitled("Edit Category");
    ASSERT_TRUE(edit);
    gtk_entry_set_text(GTK_ENTRY(keltest::FindByType(edit, GTK_TYPE_ENTRY)), "  Science Club \n");
    keltest::Click(keltest::FindButtonByLabel(edit, "OK"));

    /* Two programs found by a real search of a folder of this machine. */
    keltest::Click(w.m_pAddProgramBtn);
    GtkWidget* add = OnlyWindowTitled("Add Application");
    ASSERT_TRUE(add);
    keltest::Click(keltest::FindButtonByLabel(add, "Search"));
    GtkWidget* search = OnlyWindowTitled("Search Program");
    ASSERT_TRUE(search);
    searchtest::SetPath(search, folder);
    keltest::Click(searchtest::ActionButton(search));
    ASSERT_TRUE(keltest::PumpUntil([search] { return searchtest::StatusText(search) == "Search program is done!"; }, 20000));
    keltest::CloseFromFrame(search);
    /* The earlier results of the sample root are listed too; pick the two new programs. */
    std::vector<std::string> found = searchtest::ListNames(add);
    GtkTreeView* results = GTK_TREE_VIEW(keltest::FindByType(add, GTK_TYPE_TREE_VIEW));
    for (size_t i = 0; i < found.size(); ++i)
        if (found[i] == "Planet Viewer" || found[i] == "Word Builder") {
            GtkTreePath* path = gtk_tree_path_new_from_indices(i, -1);
            gtk_tree_selection_select_path(gtk_tree_view_get_selection(results), path);
            gtk_tree_path_free(path);
        }
    ASSERT_EQ(2, gtk_tree_selection_count_selected_rows(gtk_tree_view_get_selection(results)));
    keltest::Click(keltest::FindButtonByLabel(add, "OK"));

    /* Monday 8 to 10 locked; USB storage no longer disabled. */
    for (int hour = 8; hour < 10; ++hour)
        if (!keltest::Active(w.m_TimeGrid[0][hour]))
            keltest::Click(w.m_TimeGrid[0][hour]);
    ASSERT_TRUE(keltest::Active(w.m_pUSBCheckBox));
    keltest::Click(w.m_pUSBCheckBox);

    /* OK applies through the service and closes; a question, should one come, is answered Yes. */
    keltest::MessageBoxAnswerer yes(GTK_RESPONSE_YES, 2000);
    yes.AnswerAll(true);
    keltest::Click(keltest::FindButtonByLabel(w.GetWindow(), "OK"));
    EXPECT_FALSE(w.GetWindow());
    EXPECT_FALSE(yes.Answered()) << "nothing should be left to ask about: " << yes.Text();

    Window again;
    again.Init();
    const CCategory* club = NULL;
    for (size_t i = 0; keltest::CategoryAt(again.m_TabNavData, i); ++i)
        if (keltest::CategoryAt(again.m_TabNavData, i)->GetName() == "Science Club")
            club = keltest::CategoryAt(again.m_TabNavData, i);
    ASSERT_TRUE(club) << "the renamed category was not saved";
    EXPECT_EQ((std::vector<std::string>{"Planet Viewer", "Word Builder"}), keltest::ProgramNames(club));
    for (const CApplicationInfo* app : *club->GetPApplicationInfoList())
        EXPECT_EQ(1, app->GetEnable());
    int monday8to10 = 0;
    for (const keltest::SectionSpec& s : keltest::Sections(again.m_ScheduleData.GetPAutomaticLockTimeList()))
        monday8to10 += s == keltest::SectionSpec{0, 8, 9} || s == keltest::SectionSpec{0, 9, 10};
    EXPECT_EQ(2, monday8to10);
    EXPECT_EQ(1, again.m_SystemSettingData.GetUSBStorageenabled());

    /* Reopened, the window shows the edits and has nothing to save. */
    EXPECT_TRUE(keltest::Active(again.m_TimeGrid[0][9]));
    EXPECT_FALSE(keltest::Active(again.m_pUSBCheckBox));
    again.FetchTabNavData();
    again.FetchScheuleData();
    again.FetchUSBData();
    EXPECT_FALSE(again.IsDataDirty());
}
