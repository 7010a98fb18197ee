/* The notebook's lock end to end: the real service on a private bus, its clock moved through the
 * tests' seam, the student API's callbacks and the session agent under the test's X display. */
#include <gtest/gtest.h>

#include <gdk/gdkx.h>
#include <gio/gio.h>
#include <signal.h>

#include <mutex>

#include "IPCAPI.h"
#include "KelTest.h"
#include "ServiceFixture.h"

using namespace IPCAPI;

namespace {

/* Lock hours: Monday 10-11 and Sunday 3-4, the hour after the spring change of Europe/Berlin. */
const std::string kSchedule = "<LockSchedule version=\"1\" autoLock=\"1\" manualLock=\"0\" lockStatus=\"2\">"
                              "<Section day=\"0\" start=\"10\" end=\"11\"/><Section day=\"6\" start=\"3\" end=\"4\"/>"
                              "</LockSchedule>";

struct Listener : CStudentAPICallbackBase {
    Listener()
    {
        int err = 0;
        EXPECT_EQ(0, GetStudentAPIObject()->RegisterCallBack(this, err));
        GetStudentAPIObject()->CancelOperation(-1, err); /* returns once the client listens */
    }
    ~Listener() override { DetachCallBacks(); }
    void NotifyLockStatusChanged(int status) override { Add("lock " + std::to_string(status)); }
    void NotifySchedulePolicyChanged(std::string) override { Add("schedule"); }
    void NotifyTeacherStatusChanged(std::string t, int on) override { Add("teacher " + t + " " + std::to_string(on)); }
    void PopNotifyCallback(std::string text) override { Add("notice " + text); }
    void Add(const std::string& text) { heard.Add(text); }
    std::vector<std::string> WaitFor(size_t n) { return heard.WaitFor(n); }
    keltest::Heard heard;
};

gint64 Unix(const char* local)
{
    struct tm tm = {};
    strptime(local, "%Y-%m-%dT%H:%M:%S", &tm);
    tm.tm_isdst = -1;
    return mktime(&tm);
}

/* The service starts on Monday 09:00, unlocked, whatever the hour the test runs at. */
void StartService()
{
    setenv("KEL_TEST_SEAM", "1", 1);
    setenv("TZ", "Europe/Berlin", 1);
    setenv("KEL_TEST_TIME", std::to_string(Unix("2026-12-07T09:00:00")).c_str(), 1);
    ASSERT_TRUE(keltest::WriteFile(keltest::EtcKel() + "LockSchedule.xml", kSchedule));
    ASSERT_TRUE(keltest::StartPolicyService());
}

GVariant* Call(const char* path, const char* iface, const char* method, GVariant* args)
{
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr);
    GVariant* reply = g_dbus_connection_call_sync(bus, "org.kelproject.Policy1", path, iface, method, args, nullptr,
                                                  G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, nullptr);
    g_object_unref(bus);
    return reply;
}

void Seam(const char* method, GVariant* args)
{
    GVariant* reply = Call("/org/kelproject/Testing", "org.kelproject.Testing1", method, args);
    ASSERT_TRUE(reply) << method;
    g_variant_unref(reply);
}

void SetTime(const char* local)
{
    Seam("SetTime", g_variant_new("(x)", Unix(local)));
}

gint64 LockedUntil()
{
    g_autoptr(GVariant) reply = Call("/org/kelproject/Policy1", "org.freedesktop.DBus.Properties", "Get",
                                     g_variant_new("(ss)", "org.kelproject.Policy1", "LockedUntil"));
    g_autoptr(GVariant) value = nullptr;
    g_variant_get(reply, "(v)", &value);
    return g_variant_get_int64(value);
}

/* xdotool's answer (it types through XTest, as a keyboard would). */
std::string Xdo(const std::string& args)
{
    gchar* out = nullptr;
    g_spawn_command_line_sync(("xdotool " + args).c_str(), &out, nullptr, nullptr, nullptr);
    std::string text = out ? out : "";
    g_free(out);
    return text;
}

std::string LockWindows()
{
    return Xdo("search --onlyvisible --name '^kel-session lock$'");
}

} // namespace

TEST(SessionLock, TimetableAcrossHoursAndDaylightSavingThenASavedTimetableEachChangeDeliveredOnce)
{
    StartService();
    Listener listener;
    /* One second before each edge: the service's own timer moves the state. */
    SetTime("2026-12-07T09:59:59");
    EXPECT_EQ(std::vector<std::string>({"lock 6"}), listener.WaitFor(1));
    EXPECT_EQ(Unix("2026-12-07T11:00:00"), LockedUntil());
    SetTime("2026-12-07T10:59:59");
    listener.WaitFor(2);
    /* 01:59:59 in winter time: the next local hour is 03:00 summer time, one second later. */
    SetTime("2026-03-29T01:59:59");
    listener.WaitFor(3);
    SetTime("2026-03-29T03:30:00"); /* no change */
    int err = 0;
    EXPECT_EQ(0, listener.GetStudentAPIObject()->SaveLocalSchedulePolicy(
                     "<LockSchedule version=\"1\" autoLock=\"0\" manualLock=\"0\" lockStatus=\"3\"/>", err));
    EXPECT_EQ(std::vector<std::string>({"lock 6", "lock 0", "lock 6", "lock 0", "schedule"}), listener.WaitFor(5));
}

TEST(SessionLock, TeacherLockNoticeAndStatusReachTheStudentSide)
{
    StartService();
    Listener listener;
    SetTime("2026-12-07T10:30:00");
    listener.WaitFor(1);
    Seam("TeacherLock", g_variant_new("(i)", 2)); /* unlocked over the timetable */
    Seam("TeacherLock", g_variant_new("(i)", 2)); /* the broker's repetition: no change */
    Seam("TeacherStatus", g_variant_new("(bs)", TRUE, "Frau Test"));
    Seam("Notice", g_variant_new("(s)", "Hände hoch"));
    /* The hand yields at the timetable's next change (11:00 unlocks, 12:00 stays free). */
    SetTime("2026-12-07T11:00:00");
    Seam("TeacherLock", g_variant_new("(i)", 1));
    EXPECT_EQ(std::vector<std::string>({"lock 6", "lock 0", "teacher Frau Test 1", "notice Hände hoch", "lock 2"}),
              listener.WaitFor(5));
}

TEST(SessionLock, AgentCoversTheScreenTakesTheKeysComesBackWhenKilledAndUnlocksWithoutService)
{
    StartService();
    /* Another program's entry, which has the keyboard's focus. */
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* entry = gtk_entry_new();
    gtk_container_add(GTK_CONTAINER(window), entry);
    gtk_window_move(GTK_WINDOW(window), 0, 0);
    gtk_widget_show_all(window);
    gtk_widget_grab_focus(entry);
    ASSERT_TRUE(keltest::PumpUntil([&] { return gtk_widget_get_mapped(window) != FALSE; }));
    const std::string id = std::to_string(GDK_WINDOW_XID(window->window));
    ASSERT_TRUE(keltest::PumpUntil([&] { return Xdo("windowfocus " + id + " getwindowfocus") == id + "\n"; }));
    Xdo("key a");
    ASSERT_TRUE(keltest::PumpUntil([&] { return std::string(gtk_entry_get_text(GTK_ENTRY(entry))) == "a"; }));

    const gchar* argv[] = {KEL_BINARY_DIR "/session/kel-session", nullptr};
    GPid agent = 0;
    ASSERT_TRUE(g_spawn_async(nullptr, const_cast<gchar**>(argv), nullptr, GSpawnFlags(0), nullptr, nullptr, &agent,
                              nullptr));
    ASSERT_TRUE(keltest::PumpUntil(
        [] { return keltest::PolicyServiceLog().find("watching the lock agent") != std::string::npos; }));
    SetTime("2026-12-07T10:00:00");
    std::string first;
    ASSERT_TRUE(keltest::PumpUntil([&] { return !(first = LockWindows()).empty(); }));
    EXPECT_NE(std::string::npos, Xdo("getwindowgeometry " + first).find("Geometry: 1280x1024"));
    Xdo("key b");

    /* Killed while locked: the service starts it again, and it locks at once. */
    kill(agent, SIGKILL);
    ASSERT_TRUE(keltest::PumpUntil([] {
        std::string log = keltest::PolicyServiceLog();
        return log.find("watching the lock agent", log.find("ended (killed?)")) != std::string::npos;
    }));
    ASSERT_TRUE(keltest::PumpUntil([] { return !LockWindows().empty(); }));
    Xdo("key c");

    SetTime("2026-12-07T11:00:00");
    ASSERT_TRUE(keltest::PumpUntil([] { return LockWindows().empty(); }));
    Xdo("key d");
    /* The keys typed while locked never reached the entry; the one after the lock did. */
    ASSERT_TRUE(keltest::PumpUntil([&] { return std::string(gtk_entry_get_text(GTK_ENTRY(entry))).size() >= 2; }));
    EXPECT_STREQ("ad", gtk_entry_get_text(GTK_ENTRY(entry)));

    /* Locked again, then the service goes: the screen is freed and the agent says why. */
    SetTime("2026-12-07T10:00:00");
    ASSERT_TRUE(keltest::PumpUntil([] { return !LockWindows().empty(); }));
    ASSERT_TRUE(keltest::StopPolicyService());
    EXPECT_TRUE(keltest::PumpUntil([] { return LockWindows().empty(); }));
    EXPECT_FALSE(Xdo("search --onlyvisible --name '^Screen lock$'").empty());
    g_spawn_close_pid(agent);
    gtk_widget_destroy(window);
}
