/* Real searches from end to end: the Add Application window, its search dialog and the
 * local service, over a folder with a couple of installed programs. */
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "CAddApplicationWindow.h"
#include "KELData.h"
#include "KelTest.h"
#include "SearchTestHelpers.h"

using namespace searchtest;

namespace {

/* An installed program: an executable and its .desktop entry naming it and its icon. */
void Install(const std::string& folder, const std::string& id, const std::string& name, guint32 colour)
{
    std::string exec = folder + "/bin/" + id;
    std::string icon = folder + "/icons/" + id + ".png";
    ASSERT_TRUE(keltest::WriteFile(exec, "#!/bin/sh\nexit 0\n"));
    ASSERT_EQ(chmod(exec.c_str(), 0755), 0);
    ASSERT_TRUE(keltest::WritePng(icon, 32, colour));
    ASSERT_TRUE(keltest::WriteFile(folder + "/applications/" + id + ".desktop",
                                   "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec +
                                       "\nIcon=" + icon + "\n"));
}

std::vector<std::string> Names(GtkWidget* window)
{
    std::vector<std::string> names;
    GtkTreeModel* model = gtk_tree_view_get_model(GTK_TREE_VIEW(keltest::FindByType(window, GTK_TYPE_TREE_VIEW)));
    GtkTreeIter iter;
    for (gboolean ok = model && gtk_tree_model_get_iter_first(model, &iter); ok;
         ok = gtk_tree_model_iter_next(model, &iter)) {
        gchar* name = NULL;
        gtk_tree_model_get(model, &iter, 1, &name, -1);
        names.push_back(name ? name : "");
        g_free(name);
    }
    return names;
}

/* Opens the Add Application window, searches the folder in its search dialog, waits for
 * the end and closes the dialog; returns the bar values seen while the answers came in. */
std::vector<double> SearchThrough(LibKELGUI::CAddApplicationWindow& win, const std::string& folder)
{
    std::vector<double> seen;
    keltest::Click(keltest::FindButtonByLabel(win.GetWindow(), "Search"));
    std::vector<GtkWindow*> dialogs = keltest::ToplevelsWithTitle("Search Program");
    EXPECT_EQ(dialogs.size(), 1u);
    if (dialogs.size() != 1)
        return seen;
    GtkWidget* dialog = GTK_WIDGET(dialogs[0]);
    SetPath(dialog, folder);
    keltest::Click(ActionButton(dialog));
    bool done = keltest::PumpUntil([dialog, &seen] {
        double p = Progress(dialog);
        if (seen.empty() || seen.back() != p)
            seen.push_back(p);
        return StatusText(dialog) == "Search program is done!";
    }, 20000);
    EXPECT_TRUE(done) << "status: " << StatusText(dialog);
    EXPECT_DOUBLE_EQ(Progress(dialog), 1.0);
    EXPECT_EQ(ActionLabel(dialog), "Search");
    /* Not shown before the dialog closes. */
    EXPECT_TRUE(Names(win.GetWindow()).empty());
    CloseFromFrame(dialog);
    return seen;
}

void ExpectTheTwoPrograms(GtkWidget* window)
{
    std::vector<std::string> names = Names(window);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Fraction Trainer", "World Atlas"}));
    GtkTreeModel* model = gtk_tree_view_get_model(GTK_TREE_VIEW(keltest::FindByType(window, GTK_TYPE_TREE_VIEW)));
    GtkTreeIter iter;
    for (gboolean ok = gtk_tree_model_get_iter_first(model, &iter); ok; ok = gtk_tree_model_iter_next(model, &iter)) {
        GdkPixbuf* icon = NULL;
        gtk_tree_model_get(model, &iter, 0, &icon, -1);
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(gdk_pixbuf_get_width(icon), 32) << "the program's own icon, not the 48-pixel default";
        g_object_unref(icon);
    }
}

} // namespace

TEST(SearchEndToEnd, ALocalSearchFindsTheProgramsOfAFolderAndTheWindowListsThem)
{
    ASSERT_TRUE(keltest::WritePng(LibKELData::KEL_IMAGE_APP_DEFAULT_ICON, 48, 0x808080ff));
    std::string folder = keltest::Root() + "/opt/classroom";
    Install(folder, "fractions", "Fraction Trainer", 0xcc3333ff);
    Install(folder, "atlas", "World Atlas", 0x33cc33ff);

    GtkWidget* parent = NewParent();
    std::unique_ptr<LibKELGUI::CAddApplicationWindow> win(new LibKELGUI::CAddApplicationWindow(false));
    win->Init();
    win->ShowModal(parent, NULL, NULL);
    EXPECT_TRUE(Names(win->GetWindow()).empty());

    SearchThrough(*win, folder);
    ExpectTheTwoPrograms(win->GetWindow());

    win.reset();
    gtk_widget_destroy(parent);
}

TEST(SearchEndToEnd, TheTeachersSearchCountsTheRosterAndListsWhatTheStudentsFound)
{
    ASSERT_TRUE(keltest::WritePng(LibKELData::KEL_IMAGE_APP_DEFAULT_ICON, 48, 0x808080ff));
    std::string folder = keltest::Root() + "/opt/classroom";
    Install(folder, "fractions", "Fraction Trainer", 0xcc3333ff);
    Install(folder, "atlas", "World Atlas", 0x33cc33ff);
    LibKELData::CStudentInfoData roster;
    int host = 20;
    for (const char* name : {"Anna", "Ben", "Chloe", "David"})
        roster.AddStudent(name, "192.168.10." + std::to_string(++host));
    ASSERT_EQ(roster.Save2File(LibKELData::CONFIG_FILE_DIR + LibKELData::STUDENT_INFO), 0);

    GtkWidget* parent = NewParent();
    std::unique_ptr<LibKELGUI::CAddApplicationWindow> win(new LibKELGUI::CAddApplicationWindow(true));
    win->Init();
    win->ShowModal(parent, NULL, NULL);
    std::vector<double> seen = SearchThrough(*win, folder);
    /* The bar only ever moves forward, within its range, in quarters. */
    for (size_t i = 1; i < seen.size(); ++i)
        EXPECT_GT(seen[i], seen[i - 1]);
    for (double p : seen)
        EXPECT_DOUBLE_EQ(p * 4, (double)(int)(p * 4)) << p;
    ExpectTheTwoPrograms(win->GetWindow());

    win.reset();
    gtk_widget_destroy(parent);
}
