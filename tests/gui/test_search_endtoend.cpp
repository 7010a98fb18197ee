/* Real searches from end to end: the Add Application window, its search dialog and the local
 * service, over a folder with a couple of installed programs. */
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "CAddApplicationWindow.h"
#include "KELData.h"
#include "KelTest.h"
#include "SearchTestHelpers.h"

using namespace searchtest;

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
        EXPECT_TRUE(keltest::PumpUntil([dialog, &seen] {
            double p = Progress(dialog);
            if (seen.empty() || seen.back() != p)
                seen.push_back(p);
            return StatusText(dialog) == "Search program is done!";
        }, 20000)) << "status: " << StatusText(dialog);
        EXPECT_DOUBLE_EQ(Progress(dialog), 1.0);
        EXPECT_TRUE(ListNames(win->GetWindow()).empty()) << "not shown before the dialog closes";
        keltest::CloseFromFrame(dialog);
    }
    std::vector<std::string> names = ListNames(win->GetWindow());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Fraction Trainer", "World Atlas"}));
    GtkTreeModel* model = gtk_tree_view_get_model(GTK_TREE_VIEW(keltest::FindByType(win->GetWindow(), GTK_TYPE_TREE_VIEW)));
    for (size_t i = 0; i < names.size(); ++i) {
        GdkPixbuf* icon = keltest::CellAt<GdkPixbuf*>(model, i, 0);
        EXPECT_TRUE(icon && gdk_pixbuf_get_width(icon) == 32) << "the program's own icon, not the 48-pixel default";
    }
    win.reset();
    gtk_widget_destroy(parent);
    return seen;
}

} // namespace

TEST(SearchEndToEnd, ALocalSearchFindsTheProgramsOfAFolderAndTheWindowListsThem)
{
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
