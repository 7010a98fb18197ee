/* Saves pictures of the Search Program dialog during a search and of the Add Application
 * window for the README. Runs only when KEL_SCREENSHOT_DIR names the folder to write to. */
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "CAddApplicationWindow.h"
#include "CSearchProgramForShellController.h"
#include "KelTest.h"
#include "ScriptedIPC.h"
#include "SearchTestHelpers.h"

using namespace searchtest;

namespace {

std::string ScreenshotDir()
{
    const char* dir = getenv("KEL_SCREENSHOT_DIR");
    return dir ? dir : "";
}

/* Waits until the window is on screen and drawn, then saves what it shows. */
void Save(GtkWidget* window, const std::string& file)
{
    ASSERT_TRUE(keltest::PumpUntil([window] { return GTK_WIDGET_MAPPED(window) && window->window; }));
    keltest::Drain();
    gdk_window_process_all_updates();
    gdk_flush();
    keltest::Drain();
    int w = 0, h = 0;
    gdk_drawable_get_size(window->window, &w, &h);
    GdkPixbuf* shot = gdk_pixbuf_get_from_drawable(NULL, window->window, NULL, 0, 0, 0, 0, w, h);
    ASSERT_NE(shot, nullptr);
    EXPECT_TRUE(gdk_pixbuf_save(shot, (ScreenshotDir() + "/" + file).c_str(), "png", NULL, NULL));
    g_object_unref(shot);
}

/* Uses the sample root's theme and icons when it is there. */
void UseSampleRoot()
{
    keltest::CopySampleRoot();
    std::string rc = keltest::EtcKel() + "theme/" + LibKELData::KEL_DEFAULT_THEME + "/gtkrc";
    if (g_file_test(rc.c_str(), G_FILE_TEST_EXISTS))
        gtk_rc_parse(rc.c_str());
}

/* An icon file for a program: the sample root's when it has one, else a stock picture. */
std::string IconFor(const char* sampleName, const char* stock)
{
    std::string sample = LibKELData::ICON_PATH + sampleName;
    if (g_file_test(sample.c_str(), G_FILE_TEST_EXISTS))
        return sample;
    std::string path = keltest::Root() + "/shots/" + stock + ".png";
    GtkWidget* w = gtk_invisible_new();
    GdkPixbuf* pb = gtk_widget_render_icon(w, stock, GTK_ICON_SIZE_DND, NULL);
    if (pb) {
        keltest::MakeDirs(keltest::Root() + "/shots");
        gdk_pixbuf_save(pb, path.c_str(), "png", NULL, NULL);
        g_object_unref(pb);
    }
    gtk_widget_destroy(w);
    return path;
}

} // namespace

TEST(SearchScreenshots, SearchDialogDuringASearch)
{
    if (ScreenshotDir().empty())
        GTEST_SKIP() << "set KEL_SCREENSHOT_DIR to write the pictures";
    UseSampleRoot();
    keltest::ScriptedIPC ipc;
    ipc.studentCount = 5;
    GtkWidget* parent = NewParent();
    std::unique_ptr<LibKELGUI::CSearchProgramForShellController> dlg(
        new LibKELGUI::CSearchProgramForShellController(0));
    dlg->Init();
    dlg->ShowModal(parent, NULL, NULL);
    SetPath(dlg->GetWindow(), "/usr/share/applications");
    keltest::Click(ActionButton(dlg->GetWindow()));
    for (const char* s : {"s1", "s2", "s3"})
        ipc.DeliverStudentAnswer(s);
    ASSERT_TRUE(ipc.WaitDelivered(3));
    Save(dlg->GetWindow(), "search-program.png");
    dlg.reset();
    gtk_widget_destroy(parent);
}

TEST(SearchScreenshots, AddApplicationListingFoundPrograms)
{
    if (ScreenshotDir().empty())
        GTEST_SKIP() << "set KEL_SCREENSHOT_DIR to write the pictures";
    UseSampleRoot();
    keltest::ScriptedIPC ipc;
    WriteResults({
        LibKELData::CApplicationInfo("Text Editor", "/usr/bin/editor", IconFor("texteditor.png", GTK_STOCK_EDIT), 1),
        LibKELData::CApplicationInfo("Calculator", "/usr/bin/calculator", IconFor("calculator.png", GTK_STOCK_ADD), 1),
        LibKELData::CApplicationInfo("World Atlas", "/usr/bin/atlas", IconFor("atlas.png", GTK_STOCK_ZOOM_FIT), 1),
        LibKELData::CApplicationInfo("Web Browser", "/usr/bin/browser", IconFor("browser.png", GTK_STOCK_NETWORK), 1),
        LibKELData::CApplicationInfo("Music Player", "/usr/bin/player", IconFor("music.png", GTK_STOCK_MEDIA_PLAY), 1),
        LibKELData::CApplicationInfo("Word Processor", "/usr/bin/writer", IconFor("writer.png", GTK_STOCK_EDIT), 1),
    });
    GtkWidget* parent = NewParent();
    std::unique_ptr<LibKELGUI::CAddApplicationWindow> win(new LibKELGUI::CAddApplicationWindow(false));
    win->Init();
    win->ShowModal(parent, NULL, NULL);
    GtkTreeView* view = GTK_TREE_VIEW(keltest::FindByType(win->GetWindow(), GTK_TYPE_TREE_VIEW));
    GtkTreePath* path = gtk_tree_path_new_from_indices(1, -1);
    gtk_tree_selection_select_path(gtk_tree_view_get_selection(view), path);
    gtk_tree_path_free(path);
    Save(win->GetWindow(), "add-application.png");
    win.reset();
    gtk_widget_destroy(parent);
}
