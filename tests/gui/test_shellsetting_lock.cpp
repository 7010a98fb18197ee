/* The Shell Lock Settings page: the grid to the schedule and back, painting the week with the
 * pointer, day buttons, the keyboard, and automatic locking switched off. */
#include <gtest/gtest.h>

#include <gdk/gdkkeysyms.h>

#include "CLockGrid.h"
#include "CShellSettingCtrlForShellController.h"
#include "shellsetting_fixture.h"

using keltest::Hour;
typedef std::vector<std::pair<int, int>> Hours;

namespace {

/* A pointer event on an hour, at a point given in the pressed hour's own coordinates. */
void SendPointer(GtkWidget* target, GdkEventType type, GtkWidget* at)
{
    GdkEvent* event = gdk_event_new(type);
    GdkWindow* window = GTK_BUTTON(target)->event_window;
    double x = at->allocation.x - target->allocation.x + 2;
    double y = at->allocation.y - target->allocation.y + 2;
    if (type == GDK_MOTION_NOTIFY) {
        event->motion.window = GDK_WINDOW(g_object_ref(window));
        event->motion.x = x;
        event->motion.y = y;
        event->motion.state = GDK_BUTTON1_MASK;
    } else {
        event->button.window = GDK_WINDOW(g_object_ref(window));
        event->button.button = 1;
        event->button.x = x;
        event->button.y = y;
    }
    gtk_widget_event(target, event);
    gdk_event_free(event);
    keltest::Drain();
}

std::vector<GtkWidget*> Focusable(GtkWidget* window)
{
    return keltest::FindAll(window, [](GtkWidget* w) {
        return GTK_IS_TOGGLE_BUTTON(w) && !GTK_IS_CHECK_BUTTON(w) && GTK_WIDGET_CAN_FOCUS(w);
    });
}

class ShellSettingLock : public ::testing::Test {
protected:
    void Open()
    {
        w.Init();
        w.Show();
        keltest::Drain();
        win = w.GetWindow();
    }
    LibKELGUI::CShellSettingCtrlForShellController w;
    GtkWidget* win = NULL;
};

} // namespace

TEST(ShellSettingLockGrid, KeepsEveryCoveredHourSkipsOutOfRangeAndWritesBackHourByHour)
{
    LibKELData::LockTimeSectionList sections = {new LibKELData::CLockTimeSection(6, 23, 24),
                                                new LibKELData::CLockTimeSection(3, 22, 30),
                                                new LibKELData::CLockTimeSection(4, 6, 6),
                                                new LibKELData::CLockTimeSection(7, 5, 6),
                                                new LibKELData::CLockTimeSection(2, -1, 0)};
    LibKELGUI::CLockGrid grid;
    EXPECT_EQ(2, grid.MarkSections(&sections));
    for (LibKELData::CLockTimeSection* s : sections)
        delete s;
    LibKELData::LockTimeSectionList* back = grid.NewSectionList();
    Hours got;
    for (LibKELData::CLockTimeSection* s : *back) {
        EXPECT_EQ(s->GetStartTime() + 1, s->GetEndTime());
        got.push_back({s->GetDayOfWeek(), s->GetStartTime()});
        delete s;
    }
    delete back;
    EXPECT_EQ((Hours{{3, 22}, {3, 23}, {4, 6}, {6, 23}}), got);
}

TEST_F(ShellSettingLock, DaysAndPaintedHoursReachTheFileAndCutSectionsAreNoEdit)
{
    /* Tuesday 8 to 11 in one section, as another program may write it. */
    LibKELData::CLockScheduleData data;
    data.SetAutoLock(1);
    data.SetPAutomaticLockTimeList(new LibKELData::LockTimeSectionList{new LibKELData::CLockTimeSection(1, 8, 11)});
    ASSERT_EQ(0, data.Save2File(LibKELData::CONFIG_FILE_DIR + LibKELData::LOCK_SCHEDULE));
    Open();
    EXPECT_TRUE(keltest::Active(Hour(win, "Tue 10:00-11:00")));
    w.FetchScheuleData();
    EXPECT_FALSE(w.IsDataDirty()) << "the same hours cut differently are no edit";

    GtkWidget* wednesday = keltest::FindButtonByLabel(win, "Wed");
    keltest::Click(wednesday);
    EXPECT_TRUE(keltest::Active(Hour(win, "Wed 00:00-01:00")) && keltest::Active(Hour(win, "Wed 23:00-24:00")));
    keltest::Click(wednesday);
    EXPECT_FALSE(keltest::Active(Hour(win, "Wed 13:00-14:00")));

    /* Press on Monday 8 and drag to 11: those four hours take the state the first one took. */
    GtkWidget* first = Hour(win, "Mon 08:00-09:00");
    SendPointer(first, GDK_BUTTON_PRESS, first);
    SendPointer(first, GDK_MOTION_NOTIFY, Hour(win, "Mon 09:00-10:00"));
    SendPointer(first, GDK_MOTION_NOTIFY, Hour(win, "Mon 10:00-11:00"));
    SendPointer(first, GDK_MOTION_NOTIFY, Hour(win, "Mon 11:00-12:00"));
    SendPointer(first, GDK_BUTTON_RELEASE, Hour(win, "Mon 11:00-12:00"));
    SendPointer(first, GDK_MOTION_NOTIFY, Hour(win, "Mon 14:00-15:00")); /* released: no paint */
    w.OnApply();
    EXPECT_EQ((Hours{{0, 8}, {0, 9}, {0, 10}, {0, 11}, {1, 8}, {1, 9}, {1, 10}}), keltest::LockedHoursOnDisk());
    w.FetchScheuleData();
    EXPECT_FALSE(w.IsDataDirty());
}

TEST_F(ShellSettingLock, GridIsOneTabStopArrowsMoveTheFocusAndSpaceToggles)
{
    ASSERT_TRUE(keltest::WriteLockSchedule(1, 2, {}));
    Open();
    std::vector<GtkWidget*> stops = Focusable(win);
    ASSERT_EQ(1u, stops.size());
    gtk_widget_grab_focus(stops[0]);
    keltest::PressKey(stops[0], GDK_Right);
    keltest::PressKey(gtk_window_get_focus(GTK_WINDOW(win)), GDK_Down);
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(win));
    ASSERT_EQ(Hour(win, "Tue 01:00-02:00"), focus);
    EXPECT_EQ((std::vector<GtkWidget*>{focus}), Focusable(win));
    gtk_widget_activate(focus); /* what Space does */
    EXPECT_TRUE(keltest::PumpUntil([focus] { return keltest::Active(focus); }, 2000));
    gchar* tooltip = gtk_widget_get_tooltip_text(focus);
    EXPECT_STREQ("Tue 01:00-02:00: Lock", tooltip) << "the legend's words";
    g_free(tooltip);
}

TEST_F(ShellSettingLock, AutomaticLockingOffGreysTheGridKeepsItsHoursAndTheTextTicksTheBox)
{
    ASSERT_TRUE(keltest::WriteLockSchedule(1, 2, {{4, 4}}));
    Open();
    GtkWidget* hour = Hour(win, "Fri 04:00-05:00");
    GtkWidget* box = keltest::FindByType(win, GTK_TYPE_CHECK_BUTTON, 0);
    GtkWidget* text = keltest::FindLabel(win, "Automatically lock Daxwyn");
    ASSERT_TRUE(box && text);
    GdkEvent* press = gdk_event_new(GDK_BUTTON_PRESS);
    press->button.window = GDK_WINDOW(g_object_ref(win->window));
    press->button.button = 1;
    gtk_widget_event(gtk_widget_get_parent(text), press);
    gdk_event_free(press);
    keltest::Drain();
    EXPECT_FALSE(keltest::Active(box)) << "clicking the text ticks the box off";
    EXPECT_FALSE(GTK_WIDGET_IS_SENSITIVE(hour));
    EXPECT_TRUE(keltest::Active(hour));
    w.OnApply();
    int autoLock = -1;
    EXPECT_EQ((Hours{{4, 4}}), keltest::LockedHoursOnDisk(&autoLock));
    EXPECT_EQ(0, autoLock);
}
