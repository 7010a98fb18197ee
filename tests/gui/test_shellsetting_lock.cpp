/* The Shell Lock Settings page: the grid to the schedule and back, painting the week with the
 * pointer, day buttons, the keyboard, and automatic locking switched off. */
#include <gtest/gtest.h>

#include <gdk/gdkkeysyms.h>

#include <algorithm>

#include "CShellSettingCtrlForShellController.h"
#include "shellsetting_fixture.h"

using keltest::Hour;
typedef std::vector<std::pair<int, int>> Hours;

namespace {

/* A pointer event sent to the pressed hour, at the point of the hour at. */
void SendPointer(GtkWidget* pressed, GdkEventType type, GtkWidget* at)
{
    GdkEvent* event = gdk_event_new(type);
    event->button.window = GDK_WINDOW(g_object_ref(GTK_BUTTON(pressed)->event_window));
    event->button.x = at->allocation.x - pressed->allocation.x + 2;
    event->button.y = at->allocation.y - pressed->allocation.y + 2;
    if (type == GDK_MOTION_NOTIFY)
        event->motion.state = GDK_BUTTON1_MASK;
    else
        event->button.button = 1;
    gtk_widget_event(pressed, event);
    gdk_event_free(event);
    keltest::Drain();
}

class ShellSettingLock : public ::testing::Test {
protected:
    void Open() { keltest::Open(w), win = w.GetWindow(); }
    LibKELGUI::CShellSettingCtrlForShellController w;
    GtkWidget* win = NULL;
};

} // namespace

TEST_F(ShellSettingLock, DaysAndPaintedHoursReachTheFileAndCutSectionsAreNoEdit)
{
    /* Tuesday 8 to 11 in one section, as another program may write it. */
    LibKELData::CLockScheduleData data;
    data.SetAutoLock(1);
    data.SetPAutomaticLockTimeList(new LibKELData::LockTimeSectionList{new LibKELData::CLockTimeSection(1, 8, 11)});
    ASSERT_EQ(0, data.Save2File(LibKELData::CONFIG_FILE_DIR + LibKELData::LOCK_SCHEDULE));
    Open();
    w.FetchScheuleData();
    EXPECT_FALSE(w.IsDataDirty()) << "the same hours cut differently are no edit";
    keltest::Click(keltest::FindButtonByLabel(win, "Wed"));
    EXPECT_TRUE(keltest::Active(Hour(win, "Wed 00:00-01:00")) && keltest::Active(Hour(win, "Wed 23:00-24:00")));

    /* Press on Monday 8 and drag to 11: those four hours take the state the first one took. */
    GtkWidget* first = Hour(win, "Mon 08:00-09:00");
    SendPointer(first, GDK_BUTTON_PRESS, first);
    for (const char* hour : {"Mon 09:00-10:00", "Mon 10:00-11:00", "Mon 11:00-12:00"})
        SendPointer(first, GDK_MOTION_NOTIFY, Hour(win, hour));
    SendPointer(first, GDK_BUTTON_RELEASE, first);
    w.OnApply();
    Hours want = {{0, 8}, {0, 9}, {0, 10}, {0, 11}, {1, 8}, {1, 9}, {1, 10}};
    for (int h = 0; h < 24; ++h)
        want.push_back({2, h});
    std::sort(want.begin(), want.end());
    EXPECT_EQ(want, keltest::LockedHoursOnDisk());
}

TEST_F(ShellSettingLock, GridIsOneTabStopArrowsMoveTheFocusAndSpaceToggles)
{
    ASSERT_TRUE(keltest::WriteLockSchedule(1, 2, {}));
    Open();
    auto stops = [this] {
        return keltest::FindAll(win, [](GtkWidget* b) {
            return GTK_IS_TOGGLE_BUTTON(b) && !GTK_IS_CHECK_BUTTON(b) && GTK_WIDGET_CAN_FOCUS(b);
        });
    };
    ASSERT_EQ(1u, stops().size());
    gtk_widget_grab_focus(stops()[0]);
    keltest::PressKey(stops()[0], GDK_Right);
    keltest::PressKey(gtk_window_get_focus(GTK_WINDOW(win)), GDK_Down);
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(win));
    ASSERT_EQ(Hour(win, "Tue 01:00-02:00"), focus);
    EXPECT_EQ(std::vector<GtkWidget*>{focus}, stops());
    gtk_widget_activate(focus); /* what Space does */
    EXPECT_TRUE(keltest::PumpUntil([focus] { return keltest::Active(focus); }));
    gchar* tooltip = gtk_widget_get_tooltip_text(focus);
    EXPECT_STREQ("Tue 01:00-02:00: Lock", tooltip) << "the legend's words";
    g_free(tooltip);
}

/* The pixels of a widget as drawn on the screen, drawn anew (the first expose may not have come yet). */
static std::string Pixels(GtkWidget* w)
{
    gtk_widget_queue_draw(w);
    gdk_window_process_all_updates();
    const GtkAllocation& a = w->allocation;
    GdkPixbuf* shot = gdk_pixbuf_get_from_drawable(NULL, w->window, NULL, a.x, a.y, 0, 0, a.width, a.height);
    std::string bytes((const char*)gdk_pixbuf_get_pixels(shot), gdk_pixbuf_get_rowstride(shot) * a.height);
    g_object_unref(shot);
    return bytes;
}

TEST_F(ShellSettingLock, TheFocusedHourIsMarkedTheLabelsAreReachedAndHoverKeepsLockedAndFreeApart)
{
    ASSERT_TRUE(keltest::WriteLockSchedule(1, 2, {{0, 1}}));
    Open();
    GtkWidget *free = Hour(win, "Mon 00:00-01:00"), *locked = Hour(win, "Mon 01:00-02:00");
    const std::string freePlain = Pixels(free), lockedPlain = Pixels(locked);
    gtk_widget_grab_focus(free);
    keltest::PressKey(free, GDK_Right);
    EXPECT_NE(lockedPlain, Pixels(locked)) << "marked when locked";
    keltest::PressKey(locked, GDK_Left);
    EXPECT_NE(freePlain, Pixels(free)) << "marked when free";
    EXPECT_EQ(lockedPlain, Pixels(locked)) << "the mark moves with the arrows";
    GdkColor freeHover = free->style->bg[GTK_STATE_PRELIGHT], lockedHover = locked->style->bg[GTK_STATE_PRELIGHT];
    EXPECT_FALSE(gdk_color_equal(&freeHover, &lockedHover));
    keltest::PressKey(free, GDK_Up); /* to the label over hours 0 and 1; Space toggles them every day */
    keltest::PressKey(gtk_window_get_focus(GTK_WINDOW(win)), GDK_space);
    EXPECT_TRUE(keltest::Active(free) && keltest::Active(Hour(win, "Sun 01:00-02:00")));
}

TEST_F(ShellSettingLock, AutomaticLockingOffGreysTheGridButKeepsItsHours)
{
    ASSERT_TRUE(keltest::WriteLockSchedule(1, 2, {{4, 4}}));
    Open();
    GtkWidget* hour = Hour(win, "Fri 04:00-05:00");
    gtk_button_clicked(GTK_BUTTON(keltest::FindByType(win, GTK_TYPE_CHECK_BUTTON)));
    EXPECT_FALSE(GTK_WIDGET_IS_SENSITIVE(hour));
    EXPECT_TRUE(keltest::Active(hour));
    w.OnApply();
    EXPECT_EQ((Hours{{4, 4}}), keltest::LockedHoursOnDisk()) << "kept with automatic locking off";
}
