/* Screenshots of the Shell Lock Settings and Program Registration pages on the sample root, and
 * a check that a locked hour and a free hour look different. Set KEL_SCREENSHOT_DIR to keep
 * the pictures (docs/screenshots); otherwise they go to the sandbox. */
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "shellsetting_fixture.h"

using keltest::CTestShellSetting;

namespace {

/* The sample policies name icons under /etc/KEL; the sandbox holds them below KEL_ROOT. */
std::string Relocated(const std::string& path)
{
    const std::string etc = "/etc/KEL/";
    return path.compare(0, etc.size(), etc) == 0 ? keltest::Root() + path : path;
}

class CSampleRootWindow : public CTestShellSetting {
public:
    int LoadXMLData() override
    {
        m_TabNavData.LoadFromFile(LibKELData::CONFIG_FILE_DIR + LibKELData::TAB_NAVIGATION);
        m_ScheduleData.LoadFromFile(LibKELData::CONFIG_FILE_DIR + LibKELData::LOCK_SCHEDULE);
        if (LibKELData::CategoryInfoList* categories = m_TabNavData.GetPCategoryInfoList()) {
            for (LibKELData::CCategory* c : *categories) {
                c->SetCategoryIcon(Relocated(c->GetCategoryIcon()));
                if (c->GetPApplicationInfoList())
                    for (LibKELData::CApplicationInfo* a : *c->GetPApplicationInfoList())
                        a->SetCustomIcon(Relocated(a->GetCustomIcon()));
            }
        }
        ShowTabNavPolicy();
        ShowSchedulePolicy();
        return 0;
    }
};

/* Paints the window now and reads it back from the X server. */
GdkPixbuf* Capture(GtkWidget* window)
{
    keltest::Drain();
    gtk_widget_queue_draw(window);
    gdk_window_process_updates(window->window, TRUE);
    gdk_display_sync(gdk_display_get_default());
    int width = 0, height = 0;
    gdk_drawable_get_size(window->window, &width, &height);
    return gdk_pixbuf_get_from_drawable(NULL, window->window, NULL, 0, 0, 0, 0, width, height);
}

int ColourAt(GdkPixbuf* shot, int x, int y)
{
    const guchar* p = gdk_pixbuf_get_pixels(shot) + y * gdk_pixbuf_get_rowstride(shot) + x * gdk_pixbuf_get_n_channels(shot);
    return (p[0] << 16) | (p[1] << 8) | p[2];
}

int Distance(int a, int b)
{
    int d = 0;
    for (int shift = 0; shift <= 16; shift += 8)
        d += abs(((a >> shift) & 0xff) - ((b >> shift) & 0xff));
    return d;
}

int CentreColour(GdkPixbuf* shot, GtkWidget* widget)
{
    return ColourAt(shot, widget->allocation.x + widget->allocation.width / 2,
                    widget->allocation.y + widget->allocation.height / 2);
}

void Save(GdkPixbuf* shot, const std::string& name)
{
    const char* dir = getenv("KEL_SCREENSHOT_DIR");
    std::string folder = dir && *dir ? dir : keltest::Root() + "/screenshots";
    keltest::MakeDirs(folder);
    EXPECT_TRUE(gdk_pixbuf_save(shot, (folder + "/" + name).c_str(), "png", NULL, NULL)) << folder << "/" << name;
}

} // namespace

TEST(ShellSettingScreenshot, LockedAndFreeHoursAreTellApartOnTheSampleRoot)
{
    keltest::CopySampleRoot();
    std::string theme = LibKELData::KEL_RESOURCE_THEME_PATH + LibKELData::KEL_DEFAULT_THEME + LibKELData::KEL_GTKRC_FILE;
    if (g_file_test(theme.c_str(), G_FILE_TEST_IS_REGULAR)) {
        gtk_rc_parse(theme.c_str());
        gtk_rc_reparse_all();
    }
    CSampleRootWindow w;
    w.Init();
    w.Show();
    GtkWidget* window = w.GetWindow();
    ASSERT_TRUE(keltest::PumpUntil([window] { return gdk_window_is_viewable(window->window); }));

    GtkWidget* locked = NULL;
    GtkWidget* freeHour = NULL;
    for (size_t d = 0; d < w.m_TimeGrid.size(); ++d)
        for (size_t h = 0; h < w.m_TimeGrid[d].size(); ++h)
            (keltest::Active(w.m_TimeGrid[d][h]) ? locked : freeHour) = w.m_TimeGrid[d][h];
    ASSERT_TRUE(locked && freeHour) << "the sample schedule should lock some hours and leave others free";

    GdkPixbuf* shot = Capture(window);
    ASSERT_TRUE(shot);
    Save(shot, "lock-settings.png");
    EXPECT_GT(Distance(CentreColour(shot, locked), CentreColour(shot, freeHour)), 120)
        << std::hex << CentreColour(shot, locked) << " / " << CentreColour(shot, freeHour);
    g_object_unref(shot);

    gtk_notebook_set_current_page(GTK_NOTEBOOK(w.m_pNotebook), 1);
    keltest::SetCursorRow(w.m_pCategoryView, 2);
    keltest::SetCursorRow(w.m_pProgramView, 1);
    shot = Capture(window);
    ASSERT_TRUE(shot);
    Save(shot, "program-registration.png");
    g_object_unref(shot);
}
