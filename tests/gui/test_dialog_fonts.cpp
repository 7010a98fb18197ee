/* The dialogs at large fonts, in English and German: no widget gets less room than it asks for
 * (nothing cut, nothing laid over the next). The font is named, not "Sans": what "Sans" is
 * depends on the fonts a machine has (fonts-dejavu-core is among the test dependencies). */
#include <gtest/gtest.h>

#include <pango/pangocairo.h>

#include "CAboutDlg.h"
#include "CChangeIconDlg.h"
#include "CShellSettingForAdminTool.h"
#include "CSearchProgramForAdminTool.h"
#include "CSearchProgramForShellController.h"
#include "ScriptedIPC.h"
#include "SearchTestHelpers.h"

using namespace LibKELGUI;

namespace {

/* Every widget shown with less room than it asks for, scrolled contents excepted. */
std::string CutWidgets(GtkWidget* window)
{
    std::string cut;
    keltest::FindAll(window, [&cut](GtkWidget* w) {
        GtkRequisition r;
        gtk_widget_get_child_requisition(w, &r);
        /* A label given a fixed size asks for that, not for what its text needs. */
        if (GTK_IS_LABEL(w) && gtk_label_get_ellipsize(GTK_LABEL(w)) == PANGO_ELLIPSIZE_NONE) {
            int tw = 0, th = 0;
            pango_layout_get_pixel_size(gtk_label_get_layout(GTK_LABEL(w)), &tw, &th);
            r.width = MAX(r.width, tw + 2 * GTK_MISC(w)->xpad);
            r.height = MAX(r.height, th + 2 * GTK_MISC(w)->ypad);
        }
        /* A text cut short with an ellipsis is cut too. */
        if ((GTK_IS_LABEL(w) && pango_layout_is_ellipsized(gtk_label_get_layout(GTK_LABEL(w)))) ||
            (GTK_IS_PROGRESS_BAR(w) && gtk_progress_bar_get_ellipsize(GTK_PROGRESS_BAR(w)) != PANGO_ELLIPSIZE_NONE))
            r.width = G_MAXINT;
        GtkWidget* scroller = gtk_widget_get_ancestor(w, GTK_TYPE_SCROLLED_WINDOW);
        if (GTK_WIDGET_MAPPED(w) && (!scroller || scroller == w) && (w->allocation.width < r.width || w->allocation.height < r.height))
            cut += std::string(G_OBJECT_TYPE_NAME(w)) + " \"" + (GTK_IS_LABEL(w) ? gtk_label_get_text(GTK_LABEL(w)) : "") + "\" ";
        return false;
    });
    return cut;
}

void ExpectWhole(CKELWindowBase& dlg, const char* font)
{
    gtk_settings_set_string_property(gtk_settings_get_default(), "gtk-font-name", font, "test");
    dlg.Init();
    dlg.Show();
    GtkWidget* w = dlg.GetWindow();
    EXPECT_TRUE(keltest::PumpUntil([w] { return w->allocation.width == w->requisition.width; }));
    EXPECT_EQ(CutWidgets(w), "") << gtk_window_get_title(GTK_WINDOW(w)) << " at " << font;
    /* Where widgets are placed, not packed, none may lie over another (pictures aside). */
    std::vector<GtkWidget*> placed = keltest::FindAll(w, [](GtkWidget* c) { return c->parent && GTK_IS_FIXED(c->parent) && !GTK_IS_IMAGE(c); });
    for (size_t i = 0; i < placed.size(); ++i)
        for (size_t j = i + 1; j < placed.size(); ++j)
            EXPECT_FALSE(gdk_rectangle_intersect(&placed[i]->allocation, &placed[j]->allocation, NULL)) << i << j;
}

bool HaveFamily(const char* name)
{
    PangoFontFamily** families = nullptr;
    int n = 0;
    pango_font_map_list_families(pango_cairo_font_map_get_default(), &families, &n);
    bool found = false;
    for (int i = 0; i < n && !found; ++i)
        found = g_strcmp0(pango_font_family_get_name(families[i]), name) == 0;
    g_free(families);
    return found;
}

} // namespace

class DialogFonts : public ::testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(Language, DialogFonts, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "German" : "English"; });

TEST_P(DialogFonts, NothingIsCutAtSans14AndTheAboutBoxAt16)
{
    ASSERT_TRUE(HaveFamily("DejaVu Sans")) << "fonts-dejavu-core is not installed";
    keltest::CopySampleRoot(); /* the Shell Settings window shows the sample policy */
    if (GetParam() && !keltest::UseGerman())
        GTEST_SKIP() << "de_DE.UTF-8 or the built catalogue is missing";
    keltest::ScriptedIPC ipc;
    CChangeIconDlg edit(LibKELData::ICON_PATH, "", "Werkzeuge", Tr("Edit Category"));
    CSearchProgramForAdminTool local(0);
    CSearchProgramForShellController remote(0);
    ExpectWhole(edit, "DejaVu Sans 14");
    ExpectWhole(local, "DejaVu Sans 14");
    ExpectWhole(remote, "DejaVu Sans 14");
    /* The longest messages, a refusal and a failure or an incomplete class search with what a
     * student skipped, read whole. */
    ipc.studentCount = 3;
    int delivered = 0;
    for (CSearchProgramBase* dlg : {(CSearchProgramBase*)&local, (CSearchProgramBase*)&remote}) {
        GtkWidget* w = dlg->GetWindow();
        for (const char* path : {"relative/folder", "/srv/classroom/shared/programs/for/every/student"}) {
            searchtest::SetPath(w, path);
            dlg->OnSearchBtnClicked();
        }
        const std::string failed = "error: folder-unreadable /srv/classroom/shared/programs/for/every/student";
        dlg == &local ? ipc.DeliverLocalDone(failed) : (ipc.DeliverStudentAnswer("s1", "found 0, new 0, skipped 8 not-installed 5"),
                        ipc.DeliverStudentAnswer("s2", failed), ipc.DeliverStudentAnswer("", ""));
        ASSERT_TRUE(ipc.WaitDelivered(delivered += dlg == &local ? 1 : 3));
        /* Bounded: the window's new size comes back from the X server before the children get it. */
        keltest::PumpUntil([w] { return CutWidgets(w).empty(); }, 5000);
        EXPECT_EQ(CutWidgets(w), "") << searchtest::StatusText(w);
    }
    CAboutDlg about("Shell Controller for the classroom", "Shell Controller", "", "3.0.0.162");
    ExpectWhole(about, "DejaVu Sans 16");
    gtk_settings_set_string_property(gtk_settings_get_default(), "gtk-font-name", "DejaVu Sans 14", "test");
    CShellSettingForAdminTool shell;
    shell.Init();
    shell.GTKShowDlgCheckBox();
    shell.Show();
    for (int page = 0; page < 3; ++page) {
        gtk_notebook_set_current_page(GTK_NOTEBOOK(keltest::FindByType(shell.GetWindow(), GTK_TYPE_NOTEBOOK)), page);
        keltest::Drain();
        EXPECT_EQ(CutWidgets(shell.GetWindow()), "") << "Shell Settings page " << page;
    }
}
