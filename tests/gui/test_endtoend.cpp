/* Real searches from end to end through the local service: the Add Application window and its
 * search dialog over a folder with a couple of installed programs, and the administrator tool's
 * window used like a person would, its edits found in the policy files on disk. */
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "CAddApplicationWindow.h"
#include "CShellSettingForAdminTool.h"
#include "SearchTestHelpers.h"
#include "ServiceFixture.h"

using namespace searchtest;
using namespace LibKELData;
typedef keltest::Exposed<LibKELGUI::CShellSettingForAdminTool> AdminWindow;

namespace {

/* Installs two programs, opens the Add Application window, searches the folder in its search
 * dialog, closes the dialog and checks the list; returns the bar values seen meanwhile. */
std::vector<double> SearchThrough(bool remote)
{
    std::vector<double> seen;
    EXPECT_TRUE(keltest::WritePng(LibKELData::KEL_IMAGE_APP_DEFAULT_ICON, 48, 0x808080ff));
    std::string folder = keltest::Root() + "/opt/classroom";
    Install(folder, "fractions", "Fraction Trainer");
    Install(folder, "atlas", "World Atlas");
    GtkWidget* parent = NewParent();
    std::unique_ptr<LibKELGUI::CAddApplicationWindow> win(new LibKELGUI::CAddApplicationWindow(remote));
    win->Init();
    win->ShowModal(parent, NULL, NULL);
    keltest::Click(keltest::FindButtonByLabel(win->GetWindow(), "Search"));
    std::vector<GtkWindow*> dialogs = keltest::ToplevelsWithTitle("Search Program");
    EXPECT_EQ(dialogs.size(), 1u);
    if (dialogs.size() == 1) {
        GtkWidget* dialog = GTK_WIDGET(dialogs[0]);
        SetPath(dialog, folder);
        keltest::Click(ActionButton(dialog));
        EXPECT_TRUE(keltest::PumpUntil(
            [dialog, &seen] {
                double p = Progress(dialog);
                if (seen.empty() || seen.back() != p)
                    seen.push_back(p);
                return StatusText(dialog) == "Search program is done!";
            },
            20000))
            << "status: " << StatusText(dialog);
        EXPECT_DOUBLE_EQ(Progress(dialog), 1.0);
        EXPECT_TRUE(ListNames(win->GetWindow()).empty()) << "not shown before the dialog closes";
        keltest::CloseFromFrame(dialog);
    }
    std::vector<std::string> names = ListNames(win->GetWindow());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Fraction Trainer", "World Atlas"}));
    GtkTreeModel* model =
        gtk_tree_view_get_model(GTK_TREE_VIEW(keltest::FindByType(win->GetWindow(), GTK_TYPE_TREE_VIEW)));
    for (size_t i = 0; i < names.size(); ++i) {
        GdkPixbuf* icon = keltest::CellAt<GdkPixbuf*>(model, i, 0);
        EXPECT_TRUE(icon && gdk_pixbuf_get_width(icon) == 32) << "the program's own icon, not the 48-pixel default";
    }
    win.reset();
    gtk_widget_destroy(parent);
    return seen;
}

GtkWidget* OnlyWindowTitled(const char* title)
{
    std::vector<GtkWindow*> found = keltest::ToplevelsWithTitle(title);
    return found.size() == 1 ? GTK_WIDGET(found[0]) : NULL;
}
} // namespace

TEST(SearchEndToEnd, ALocalSearchFindsTheProgramsOfAFolderAndTheWindowListsThem)
{
    ASSERT_TRUE(KelTest::StartPolicyService());
    SearchThrough(false);
}

TEST(SearchEndToEnd, TheTeachersSearchCountsTheRosterAndListsWhatTheStudentsFound)
{
    LibKELData::CStudentInfoData roster;
    int host = 20;
    for (const char* name : {"Anna", "Ben", "Chloe", "David"})
        roster.AddStudent(name, "192.168.10." + std::to_string(++host));
    ASSERT_EQ(roster.Save2File(LibKELData::CONFIG_FILE_DIR + LibKELData::STUDENT_INFO), 0);
    std::vector<double> seen = SearchThrough(true);
    /* The bar only ever moves forward, within its range, in quarters. */
    for (size_t i = 1; i < seen.size(); ++i)
        EXPECT_GT(seen[i], seen[i - 1]);
    for (double p : seen)
        EXPECT_DOUBLE_EQ(p * 4, (double)(int)(p * 4)) << p;
}

TEST(AdminEndToEnd, CategoryProgramsScheduleAndUsbEditedThroughTheWindowReachTheFiles)
{
    ASSERT_TRUE(KelTest::StartPolicyService());
    keltest::CopySampleRoot();
    ASSERT_TRUE(keltest::WriteSystemSetting(0, 0));
    std::string folder = keltest::Root() + "/opt/lab";
    Install(folder, "planets", "Planet Viewer");
    Install(folder, "wordbuilder", "Word Builder");
    AdminWindow w;
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
    SetPath(search, folder);
    keltest::Click(ActionButton(search));
    ASSERT_TRUE(keltest::PumpUntil([search] { return StatusText(search) == "Search program is done!"; }, 20000));
    keltest::CloseFromFrame(search);
    /* The earlier results of the sample root are listed too; pick the two new programs. */
    std::vector<std::string> found = ListNames(add);
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

    AdminWindow again;
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
