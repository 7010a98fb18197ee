/* One real search from end to end: the Add Application window, its local search dialog and
 * the local service, over a folder with a couple of installed programs. */
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "CAddApplicationWindow.h"
#include "IPCAPI.h"
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

} // namespace

TEST(SearchEndToEnd, ALocalSearchFindsTheProgramsOfAFolderAndTheWindowListsThem)
{
    if (!IPCAPI::GetStudentAPI())
        GTEST_SKIP() << "no local service in this build";
    ASSERT_TRUE(keltest::WritePng(LibKELData::KEL_IMAGE_APP_DEFAULT_ICON, 32, 0x808080ff));
    std::string folder = keltest::Root() + "/opt/classroom";
    Install(folder, "fractions", "Fraction Trainer", 0xcc3333ff);
    Install(folder, "atlas", "World Atlas", 0x33cc33ff);

    GtkWidget* parent = NewParent();
    std::unique_ptr<LibKELGUI::CAddApplicationWindow> win(new LibKELGUI::CAddApplicationWindow(false));
    win->Init();
    win->ShowModal(parent, NULL, NULL);
    EXPECT_TRUE(Names(win->GetWindow()).empty());

    keltest::Click(keltest::FindButtonByLabel(win->GetWindow(), "Search"));
    std::vector<GtkWindow*> dialogs = keltest::ToplevelsWithTitle("Search Program");
    ASSERT_EQ(dialogs.size(), 1u);
    GtkWidget* dialog = GTK_WIDGET(dialogs[0]);
    SetPath(dialog, folder);
    keltest::Click(ActionButton(dialog));
    ASSERT_TRUE(keltest::PumpUntil([dialog] { return StatusText(dialog) == "Search program is done!"; }, 20000))
        << "status: " << StatusText(dialog);
    EXPECT_DOUBLE_EQ(Progress(dialog), 1.0);
    EXPECT_EQ(ActionLabel(dialog), "Search");
    /* Not shown before the dialog closes. */
    EXPECT_TRUE(Names(win->GetWindow()).empty());

    CloseFromFrame(dialog);
    std::vector<std::string> names = Names(win->GetWindow());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Fraction Trainer", "World Atlas"}));
    GtkTreeModel* model = gtk_tree_view_get_model(GTK_TREE_VIEW(keltest::FindByType(win->GetWindow(), GTK_TYPE_TREE_VIEW)));
    GtkTreeIter iter;
    for (gboolean ok = gtk_tree_model_get_iter_first(model, &iter); ok; ok = gtk_tree_model_iter_next(model, &iter)) {
        GdkPixbuf* icon = NULL;
        gtk_tree_model_get(model, &iter, 0, &icon, -1);
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(gdk_pixbuf_get_width(icon), 32);
        g_object_unref(icon);
    }

    win.reset();
    gtk_widget_destroy(parent);
}
