/* Changing a showing widget's tooltip never makes GTK ask which window is under the pointer
 * (that walk crosses other programs' windows unguarded), and the text still reads back. */
#include <gtest/gtest.h>

#include "KELGuiCommon.h"
#include "KelTest.h"

using namespace LibKELGUI;

namespace {

int g_pointerWalks = 0;
const GdkDisplayPointerHooks* g_defaultHooks = nullptr;

GdkWindow* CountingWindowAtPointer(GdkDisplay* display, gint* x, gint* y)
{
    ++g_pointerWalks;
    return g_defaultHooks->window_at_pointer(display, x, y);
}

} // namespace

TEST(Tooltip, ChangingAShowingWidgetsTooltipWalksNoWindowsAndReadsBack)
{
    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL), *button = gtk_button_new_with_label("x");
    gtk_container_add(GTK_CONTAINER(window), button);
    gtk_widget_show_all(window);
    keltest::Drain();

    GdkDisplayPointerHooks hooks = {};
    GdkDisplay* display = gdk_display_get_default();
    g_defaultHooks = gdk_display_set_pointer_hooks(display, &hooks);
    hooks = *g_defaultHooks;
    hooks.window_at_pointer = CountingWindowAtPointer;
    gdk_display_set_pointer_hooks(display, &hooks);

    /* GTK's own setter walks: the probe sees it. */
    gtk_widget_set_tooltip_text(button, "GTK's");
    keltest::Drain();
    const int gtkWalks = g_pointerWalks;

    g_pointerWalks = 0;
    const char* texts[] = {"Tue 01:00-02:00: Lock", "a <b> & c", "", nullptr, "again"};
    const char* expected[] = {"Tue 01:00-02:00: Lock", "a <b> & c", nullptr, nullptr, "again"};
    for (size_t i = 0; i < G_N_ELEMENTS(texts); ++i) {
        SetTooltip(button, texts[i]);
        keltest::Drain();
        gchar* read = gtk_widget_get_tooltip_text(button);
        EXPECT_STREQ(expected[i], read) << "set " << i;
        g_free(read);
        EXPECT_TRUE(gtk_widget_get_has_tooltip(button));
    }
    gdk_display_set_pointer_hooks(display, g_defaultHooks);
    EXPECT_GT(gtkWalks, 0) << "the probe must see GTK's walk";
    EXPECT_EQ(0, g_pointerWalks);
    gtk_widget_destroy(window);
}
