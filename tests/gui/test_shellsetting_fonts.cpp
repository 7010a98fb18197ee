/* The Shell Settings window at a large font, in English and in German: every widget gets the room
 * it asks for and no label is cut. */
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

#include "CShellSettingForAdminTool.h"
#include "ScriptedIPC.h"
#include "shellsetting_fixture.h"

namespace {

/* The drawn widgets given less than they ask for, and labels whose text is wider than their room. */
std::vector<std::string> Cut(GtkWidget* window)
{
    std::vector<std::string> out;
    keltest::FindAll(window, [&out](GtkWidget* w) {
        /* A list scrolls inside its scrolled window: only what it shows must fit. */
        if (!GTK_WIDGET_DRAWABLE(w) || GTK_IS_SCROLLED_WINDOW(gtk_widget_get_parent(w)))
            return false;
        GtkRequisition asked;
        gtk_widget_get_child_requisition(w, &asked);
        int textWidth = 0;
        if (GTK_IS_LABEL(w))
            pango_layout_get_pixel_size(gtk_label_get_layout(GTK_LABEL(w)), &textWidth, NULL);
        if (w->allocation.width < asked.width || w->allocation.height < asked.height || w->allocation.width < textWidth)
            out.push_back(std::string(G_OBJECT_TYPE_NAME(w)) + " \"" +
                          (GTK_IS_LABEL(w) ? gtk_label_get_text(GTK_LABEL(w)) : "") + "\"");
        return false;
    });
    return out;
}

void CheckEveryPage()
{
    keltest::ScriptedIPC ipc;
    g_object_set(gtk_settings_get_default(), "gtk-font-name", "Sans 14", NULL);
    keltest::Exposed<LibKELGUI::CShellSettingForAdminTool> w;
    w.Init();
    w.GTKShowDlgCheckBox();
    w.Show();
    for (int page = 0; page < 3; ++page) {
        gtk_notebook_set_current_page(GTK_NOTEBOOK(w.m_pNotebook), page);
        keltest::Drain();
        EXPECT_EQ(std::vector<std::string>(), Cut(w.GetWindow())) << "page " << page;
    }
}

} // namespace

TEST(ShellSettingFonts, NothingIsCutAtSans14InEnglish)
{
    keltest::CopySampleRoot();
    CheckEveryPage();
}

TEST(ShellSettingFonts, NothingIsCutAtSans14InGerman)
{
    if (!setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "de_DE.UTF-8 is not installed (scripts/install-deps.sh generates it)";
    keltest::CopySampleRoot();
    const std::string from = std::string(KEL_BINARY_DIR) + "/locale/de/LC_MESSAGES/libKELGUI.mo";
    const std::string to = keltest::Root() + "/usr/share/locale/de/LC_MESSAGES/";
    bool ok = false;
    std::string mo = keltest::ReadFile(from, &ok);
    ASSERT_TRUE(ok && keltest::MakeDirs(to) && keltest::WriteFile(to + "libKELGUI.mo", mo)) << from;
    setenv("LANGUAGE", "de", 1);
    CheckEveryPage();
}
