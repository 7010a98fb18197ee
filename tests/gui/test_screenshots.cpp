/* The shipped sample root: its images load and its sandbox copy points into itself; pictures of
 * the windows on it for the README (kept in KEL_SCREENSHOT_DIR when it is set, else in the
 * sandbox), and a check that a locked and a free hour look different. */
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "CAddApplicationWindow.h"
#include "CSearchProgramForShellController.h"
#include "ScriptedIPC.h"
#include "SearchTestHelpers.h"
#include "shellsetting_fixture.h"

namespace {

std::string ScreenshotDir()
{
    const char* dir = getenv("KEL_SCREENSHOT_DIR");
    return dir && *dir ? dir : "";
}

/* The sample root with its theme, as the demo shows it. */
void UseSampleRoot()
{
    keltest::CopySampleRoot();
    gtk_rc_parse(
        (LibKELData::KEL_RESOURCE_THEME_PATH + LibKELData::KEL_DEFAULT_THEME + LibKELData::KEL_GTKRC_FILE).c_str());
    gtk_rc_reparse_all();
}

/* Paints the window now and reads it back from the X server; saves it when a name is given. */
GdkPixbuf* Capture(GtkWidget* window, const std::string& name)
{
    EXPECT_TRUE(keltest::PumpUntil([window] { return window->window && gdk_window_is_viewable(window->window); }));
    keltest::Drain();
    gtk_widget_queue_draw(window);
    gdk_window_process_updates(window->window, TRUE);
    gdk_display_sync(gdk_display_get_default());
    int width = 0, height = 0;
    gdk_drawable_get_size(window->window, &width, &height);
    GdkPixbuf* shot = gdk_pixbuf_get_from_drawable(NULL, window->window, NULL, 0, 0, 0, 0, width, height);
    EXPECT_TRUE(shot);
    std::string folder = ScreenshotDir().empty() ? keltest::Root() + "/screenshots" : ScreenshotDir();
    keltest::MakeDirs(folder);
    EXPECT_TRUE(shot && gdk_pixbuf_save(shot, (folder + "/" + name).c_str(), "png", NULL, NULL)) << name;
    return shot;
}

int CentreColour(GdkPixbuf* shot, GtkWidget* widget)
{
    int x = widget->allocation.x + widget->allocation.width / 2,
        y = widget->allocation.y + widget->allocation.height / 2;
    const guchar* p =
        gdk_pixbuf_get_pixels(shot) + y * gdk_pixbuf_get_rowstride(shot) + x * gdk_pixbuf_get_n_channels(shot);
    return (p[0] << 16) | (p[1] << 8) | p[2];
}

int Distance(int a, int b)
{
    int d = 0;
    for (int shift = 0; shift <= 16; shift += 8)
        d += abs(((a >> shift) & 0xff) - ((b >> shift) & 0xff));
    return d;
}

} // namespace

TEST(ShellSettingScreenshot, LockedAndFreeHoursAreTellApartOnTheSampleRoot)
{
    UseSampleRoot();
    keltest::CTestShellSetting w;
    w.Init();
    w.Show();
    GtkWidget* locked = NULL;
    GtkWidget* freeHour = NULL;
    for (size_t d = 0; d < w.m_TimeGrid.size(); ++d)
        for (size_t h = 0; h < w.m_TimeGrid[d].size(); ++h)
            (keltest::Active(w.m_TimeGrid[d][h]) ? locked : freeHour) = w.m_TimeGrid[d][h];
    ASSERT_TRUE(locked && freeHour) << "the sample schedule should lock some hours and leave others free";
    GdkPixbuf* shot = Capture(w.GetWindow(), "lock-settings.png");
    ASSERT_TRUE(shot);
    EXPECT_GT(Distance(CentreColour(shot, locked), CentreColour(shot, freeHour)), 120)
        << std::hex << CentreColour(shot, locked) << " / " << CentreColour(shot, freeHour);
    g_object_unref(shot);

    gtk_notebook_set_current_page(GTK_NOTEBOOK(w.m_pNotebook), 1);
    keltest::SetCursorRow(w.m_pCategoryView, 2);
    keltest::SetCursorRow(w.m_pProgramView, 1);
    g_object_unref(Capture(w.GetWindow(), "program-registration.png"));
}

TEST(SearchScreenshots, SearchDialogDuringASearchAndAddApplicationListingFoundPrograms)
{
    if (ScreenshotDir().empty())
        GTEST_SKIP() << "set KEL_SCREENSHOT_DIR to write the pictures";
    UseSampleRoot();
    keltest::ScriptedIPC ipc;
    ipc.studentCount = 5;
    GtkWidget* parent = searchtest::NewParent();
    std::unique_ptr<LibKELGUI::CSearchProgramForShellController> dlg(
        new LibKELGUI::CSearchProgramForShellController(0));
    dlg->Init();
    dlg->ShowModal(parent, NULL, NULL);
    searchtest::SetPath(dlg->GetWindow(), "/usr/share/applications");
    keltest::Click(searchtest::ActionButton(dlg->GetWindow()));
    for (const char* s : {"s1", "s2", "s3"})
        ipc.DeliverStudentAnswer(s);
    ASSERT_TRUE(ipc.WaitDelivered(3));
    g_object_unref(Capture(dlg->GetWindow(), "search-program.png"));
    dlg.reset();

    std::vector<LibKELData::CApplicationInfo> programs;
    const char* shown[][2] = {{"Text Editor", "texteditor"}, {"Calculator", "calculator"},
                              {"World Atlas", "atlas"},      {"Web Browser", "browser"},
                              {"Music Player", "music"},     {"Word Processor", "writer"}};
    for (auto& p : shown)
        programs.push_back(LibKELData::CApplicationInfo(p[0], std::string("/usr/bin/") + p[1],
                                                        LibKELData::ICON_PATH + p[1] + ".png", 1));
    searchtest::WriteResults(programs);
    LibKELGUI::CAddApplicationWindow win(false);
    win.Init();
    win.ShowModal(parent, NULL, NULL);
    GtkTreePath* path = gtk_tree_path_new_from_indices(1, -1);
    gtk_tree_selection_select_path(
        gtk_tree_view_get_selection(GTK_TREE_VIEW(keltest::FindByType(win.GetWindow(), GTK_TYPE_TREE_VIEW))), path);
    gtk_tree_path_free(path);
    g_object_unref(Capture(win.GetWindow(), "add-application.png"));
    win.Close();
    gtk_widget_destroy(parent);
}

TEST(SampleData, ImagesTheWindowsNameAreShippedAndLoad)
{
    keltest::CopySampleRoot();
    std::vector<std::pair<std::string, int>> images = {{LibKELData::KEL_IMAGE_APP_DEFAULT_ICON, 48},
                                                       {LibKELData::KEL_SHELL_CONTROLLER_ICON, 48},
                                                       {LibKELData::KEL_ADMIN_TOOL_ICON, 48},
                                                       {LibKELData::KEL_RESOURCE_IMAGE_PATH + "sc_locked.png", 16},
                                                       {LibKELData::KEL_RESOURCE_IMAGE_PATH + "sc_unlocked.png", 16},
                                                       {LibKELData::KEL_RESOURCE_IMAGE_PATH + "About_BG.png", 350}};
    for (const char* icon :
         {"internet", "office",      "education",  "graphics", "accessories", "games",  "science",   "music",
          "video",    "programming", "math",       "language", "browser",     "writer", "calc",      "impress",
          "paint",    "calculator",  "texteditor", "terminal", "files",       "atlas",  "chemistry", "typing"})
        images.push_back({LibKELData::ICON_PATH + icon + ".png", 48});
    for (const auto& image : images) {
        GdkPixbuf* pb = gdk_pixbuf_new_from_file(image.first.c_str(), NULL);
        EXPECT_TRUE(pb && gdk_pixbuf_get_width(pb) == image.second) << image.first;
        if (pb)
            g_object_unref(pb);
    }
    EXPECT_TRUE(g_file_test(
        (LibKELData::KEL_RESOURCE_THEME_PATH + LibKELData::KEL_DEFAULT_THEME + LibKELData::KEL_GTKRC_FILE).c_str(),
        G_FILE_TEST_IS_REGULAR));
}

TEST(SampleData, InstalledPrefixIsRewrittenOnceAndEscaped)
{
    const std::string xml = "<App icon=\"/etc/KEL/icons/a.png\" path=\"/usr/bin/a\">/etc/KEL/image/b.png</App>";
    EXPECT_EQ(
        "<App icon=\"/tmp/r&amp;d/etc/KEL/icons/a.png\" path=\"/usr/bin/a\">/tmp/r&amp;d/etc/KEL/image/b.png</App>",
        keltest::RewriteEtcKelPrefix(xml, "/tmp/r&d/etc/KEL/"));
    /* The new prefix itself ends in /etc/KEL/: it must not be rewritten again. */
    EXPECT_EQ("/s/etc/KEL/x /s/etc/KEL/y", keltest::RewriteEtcKelPrefix("/etc/KEL/x /etc/KEL/y", "/s/etc/KEL/"));

    /* Every policy in the sandbox copy names paths inside the sandbox. */
    keltest::CopySampleRoot();
    GDir* dir = g_dir_open(keltest::EtcKel().c_str(), 0, NULL);
    ASSERT_TRUE(dir);
    while (const gchar* name = g_dir_read_name(dir)) {
        std::string text = g_str_has_suffix(name, ".xml") ? keltest::ReadFile(keltest::EtcKel() + name) : "";
        for (size_t at = text.find("/etc/KEL/"); at != std::string::npos; at = text.find("/etc/KEL/", at + 1))
            EXPECT_TRUE(at >= keltest::Root().size() &&
                        text.compare(at - keltest::Root().size(), keltest::Root().size(), keltest::Root()) == 0)
                << name << " still names an installed path";
    }
    g_dir_close(dir);
}
