/* The teacher's lock, unlock and notices, what the console hears of its class, and the
 * console's window, against a real broker, a real kel-service with its lock agent, and
 * notebooks' classroom sides whose hooks note what they were asked. */
#include <gtest/gtest.h>

#include <gdk/gdkkeysyms.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

#include "CTeacherConsole.h"
#include "IPCAPI.h"
#include "KELData.h"
#include "KELPaths.h"
#include "KelFault.h"
#include "KelTest.h"
#include "ServiceFixture.h"
#include "../gui/shellsetting_fixture.h"

using namespace IPCAPI;
using keltest::Root;

namespace {

/* Counts every callback by kind and student; the latest status per student. */
class Teacher : public CTeacherAPICallbackBase {
public:
    Teacher()
    {
        int err = 0;
        GetTeacherAPIObject()->RegisterCallBack(this, err);
    }
    ~Teacher() override { DetachCallBacks(); }
    IPCTeacherAPI* Api() { return GetTeacherAPIObject(); }

    void ManualLockRemotStudentCallBack(std::string s, std::string r) override { Note("lock " + s + " " + r); }
    void ManualUnLockRemotStudentCallBack(std::string s, std::string r) override { Note("unlock " + s + " " + r); }
    void NotifyStudentStatusChanged(std::string s, int status) override { Note("status " + s, status); }
    void NewStudentCallBack(std::string s) override { Note("new " + s); }
    void NotifyStudentInfoChanged(std::string s) override { Note("info " + s); }
    void OnMessage(std::string m) override { Note(m.substr(0, m.find(':'))); }

    bool Await(const std::string& event, int count = 1, int status = -1)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), [&] {
            return events[event] >= count && (status < 0 || this->status[event.substr(7)] == status);
        });
    }
    std::map<std::string, int> Events()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return events;
    }

private:
    void Note(const std::string& event, int s = 0)
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++events[event];
        if (event.compare(0, 7, "status ") == 0)
            status[event.substr(7)] = s;
        changed.notify_all();
    }
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::string, int> events, status;
};

class Lock : public ::testing::Test {
protected:
    void SetUp() override
    {
        keltest::FreePorts(port, teachers);
        std::string cmd = "TEACHER_PORT=" + std::to_string(teachers) + " BROKER_USER=$(id -un) CONNECT_TIMEOUT=2 "
                          KEL_SOURCE_DIR "/scripts/make-classroom.sh " + Root() +
                          "/classroom 5b localhost " + std::to_string(port) + " pc01 pc02 pc03 >/dev/null";
        ASSERT_EQ(0, system(cmd.c_str()));
        ASSERT_EQ(0, system(("cp " + Root() + "/classroom/machines/teacher/* " + keltest::EtcKel()).c_str()));
        Roster("Anna");
        StartBroker();
        gdk_threads_leave(); /* the session starts without it, as the console's does */
        teacher.reset(new Teacher);
        gdk_threads_enter();
    }
    void TearDown() override
    {
        teacher.reset();
        for (auto& n : notebooks)
            Stop(n.second, SIGKILL);
        Stop(broker, SIGTERM);
    }
    void Roster(const std::string& first)
    {
        std::string text = "<StudentInfo version=\"1\"><Student name=\"" + first +
                           "\" address=\"pc01\"/><Student name=\"Ben\" address=\"pc02\"/></StudentInfo>";
        /* Replaced by name, as the roster's saves do. */
        keltest::WriteFile(Root() + "/roster.tmp", text);
        ASSERT_EQ(0, rename((Root() + "/roster.tmp").c_str(), (keltest::EtcKel() + "StudentInfo.xml").c_str()));
    }
    void StartBroker()
    {
        broker = keltest::StartProgram({"/usr/sbin/mosquitto", "-c", Root() + "/classroom/mosquitto.conf"});
    }
    /* Notebook n's classroom side with hooks that note, or the real service on the tests' private
     * bus with its lock agent. */
    void StartNotebook(int n, bool realService = false)
    {
        std::string id = "pc0" + std::to_string(n), root = Root() + "/" + id;
        keltest::MakeDirs(root + "/etc/KEL");
        EXPECT_EQ(0, system(("cp " + Root() + "/classroom/machines/" + id + "/* " + root + "/etc/KEL/").c_str()));
        if (!realService) {
            notebooks[n] = keltest::StartProgram({KEL_NOTEBOOK}, {"KEL_ROOT=" + root});
            return;
        }
        ASSERT_TRUE(keltest::StartPolicyService(static_cast<uid_t>(-1), "", {"KEL_ROOT=" + root}));
        notebooks[n] = keltest::StartProgram({KEL_BINARY_DIR "/session/kel-session"});
    }
    /* Whether the real service's agent covers the screen: it shows the service's state on the bus. */
    static bool AgentLocks(bool locked)
    {
        return keltest::PumpUntil([&] {
            gchar* out = nullptr;
            g_spawn_command_line_sync("xdotool search --onlyvisible --name '^kel-session lock$'", &out, nullptr,
                                      nullptr, nullptr);
            bool shown = out && *out;
            g_free(out);
            return shown == locked;
        });
    }
    /* The notebook's hooks' notes, once they hold line (bounded). */
    bool Hooked(int n, const std::string& line)
    {
        const std::string path = Root() + "/pc0" + std::to_string(n) + "/hooks.log";
        return keltest::PumpUntil([&] { return keltest::ReadFile(path).find(line + "\n") != std::string::npos; });
    }
    void Stop(int& pid, int sig)
    {
        if (pid > 0) {
            kill(pid, sig);
            waitpid(pid, nullptr, 0);
        }
        pid = 0;
    }

    int port = 0, teachers = 0, broker = 0, err = 0;
    std::map<int, int> notebooks;
    std::unique_ptr<Teacher> teacher;
};

TEST_F(Lock, TheTeachersLockReachesOnlineNotebooksAndOnesThatComeOnlineLaterEachToldOnce)
{
    Teacher& t = *teacher;
    StartNotebook(2);
    ASSERT_TRUE(t.Await("status pc02", 1, STUDENT_ONLINE));
    ASSERT_TRUE(Hooked(2, "teacher on teacher"));
    ASSERT_EQ(0, t.Api()->LockStudents({}, err));
    ASSERT_TRUE(t.Await("lock pc02 ok"));
    ASSERT_TRUE(t.Await("status pc02", 1, STUDENT_ONLINE | STUDENT_LOCKED));
    EXPECT_TRUE(Hooked(2, "lock 1"));

    /* Off during the lock: locked when it comes online, the real service up to its bus state and
     * its agent's lock window; one not on the roster is new. */
    StartNotebook(1, true);
    StartNotebook(3);
    ASSERT_TRUE(t.Await("lock pc01 ok"));
    ASSERT_TRUE(t.Await("lock pc03 ok"));
    ASSERT_TRUE(t.Await("status pc01", 1, STUDENT_ONLINE | STUDENT_LOCKED));
    EXPECT_TRUE(AgentLocks(true));
    std::list<tagStudentState_t> cls;
    ASSERT_EQ(0, t.Api()->GetClassState(cls, err));
    ASSERT_EQ(3u, cls.size());
    EXPECT_EQ("Anna", cls.front().name);
    EXPECT_EQ("pc03", cls.back().machine);
    EXPECT_FALSE(cls.back().onRoster);

    /* Unlocking one leaves the others locked. */
    ASSERT_EQ(0, t.Api()->UnlockStudents({"pc01"}, err));
    ASSERT_TRUE(t.Await("unlock pc01 ok"));
    ASSERT_TRUE(t.Await("status pc01", 1, STUDENT_ONLINE));
    EXPECT_TRUE(AgentLocks(false));
    ASSERT_TRUE(keltest::StopPolicyService()); /* else it would start the agent again */

    /* A notebook restarted acts on the kept lock again; the console is not told twice. */
    Stop(notebooks[2], SIGKILL);
    ASSERT_TRUE(t.Await("status pc02", 1, 0));
    StartNotebook(2);
    ASSERT_TRUE(t.Await("status pc02", 1, STUDENT_ONLINE | STUDENT_LOCKED));
    auto events = t.Events();
    EXPECT_EQ(1, events["lock pc01 ok"]);
    EXPECT_EQ(1, events["lock pc02 ok"]);
    EXPECT_EQ(1, events["unlock pc01 ok"]);
    EXPECT_EQ(1, events["new pc01"]);
    EXPECT_EQ(1, events["new pc02"]);
    EXPECT_EQ(1, events["new pc03"]);
    EXPECT_EQ(0, events["unlock pc02 ok"]);

    /* From a terminal: the console of another process answers and, leaving, is told. */
    std::string out = Root() + "/unlock.txt";
    ASSERT_EQ(0, system((KEL_BINARY_DIR "/host/kel-classroom unlock pc02 >" + out).c_str()));
    EXPECT_NE(std::string::npos, keltest::ReadFile(out).find("pc02: unlock ok\n"));
    EXPECT_TRUE(Hooked(2, "teacher off teacher"));
    EXPECT_TRUE(t.Await("unlock pc02 ok"));
}

TEST_F(Lock, NoticesRosterChangesAndTheConsolesOwnConnectionAreTold)
{
    Teacher& t = *teacher;
    StartNotebook(1);
    ASSERT_TRUE(t.Await("status pc01", 1, STUDENT_ONLINE));
    std::string reason;
    EXPECT_EQ(0, t.Api()->GetConnectionState(reason, err));
    EXPECT_EQ(IPC_ERR_INVALID_ARGUMENT, t.Api()->SendNotice({}, "", err));
    EXPECT_EQ(IPC_ERR_INVALID_ARGUMENT, t.Api()->LockStudents({"pc01/x"}, err));
    EXPECT_EQ(IPC_ERR_TOO_LARGE, t.Api()->SendNotice({}, std::string(5000, 'x'), err));
    ASSERT_EQ(0, t.Api()->SendNotice({}, "Hello class", err));
    ASSERT_EQ(0, t.Api()->SendNotice({"pc01"}, "Only you", err));
    ASSERT_EQ(0, t.Api()->SendNotice({"pc02"}, "Not you", err));
    EXPECT_TRUE(Hooked(1, "notice Hello class"));
    EXPECT_TRUE(Hooked(1, "notice Only you"));

    Roster("Anne");
    ASSERT_TRUE(t.Await("info pc01"));
    EXPECT_EQ(0, t.Events()["info pc02"]);

    /* A console started before its broker listened was told of its first connection too. */
    const std::string connected = "connected to the classroom broker localhost";
    const int before = t.Events()[connected];
    Stop(broker, SIGTERM);
    ASSERT_TRUE(t.Await("lost the connection to the classroom broker localhost"));
    EXPECT_EQ(IPC_ERR_NOT_RUNNING, t.Api()->GetConnectionState(reason, err));
    EXPECT_NE(std::string::npos, reason.find("lost")) << reason;
    StartBroker();
    ASSERT_TRUE(t.Await(connected, before + 1));
    EXPECT_EQ(0, t.Api()->GetConnectionState(reason, err));

    /* The notices were shown once, the notebook's reconnect notwithstanding. */
    ASSERT_EQ(0, t.Api()->LockStudents({"pc01"}, err));
    ASSERT_TRUE(t.Await("lock pc01 ok"));
    gchar* text = nullptr;
    ASSERT_TRUE(g_file_get_contents((Root() + "/pc01/hooks.log").c_str(), &text, nullptr, nullptr));
    std::string log = text;
    g_free(text);
    EXPECT_EQ(log.find("notice Hello class"), log.rfind("notice Hello class"));
    EXPECT_EQ(std::string::npos, log.find("Not you"));
}

/* The console's rows follow the class; the keyboard, its lock, the new-student notice, a deploy's
 * outcome after Apply in its Shell Settings window, and a notebook the roll call drops. */
TEST_F(Lock, TheConsoleShowsTheClassLiveAndTheOutcomeOfItsActions)
{
    keltest::CopySampleRoot();
    Roster("Anna");
    LibKELData::CKELSystemSettingData settings;
    settings.SetNewStudentConnectDialogEnable(0);
    ASSERT_EQ(0, settings.Save2File(keltest::EtcKel() + LibKELData::KEL_SYSTEM_SETTING));
    teacher.reset(); /* the console is the teacher here */
    CTeacherConsole console;
    console.Init();
    GtkWidget *window = console.GetWindow(), *view = keltest::FindByType(window, GTK_TYPE_TREE_VIEW);
    gtk_widget_show_all(window);
    auto shows = [&](const std::string& m, int col, const std::string& text) {
        return keltest::PumpUntil([&] { return console.RowText(m, col) == text; });
    };
    ASSERT_TRUE(shows("pc02", CTeacherConsole::COL_ONLINE, "Offline"));
    StartNotebook(1);
    ASSERT_TRUE(shows("pc01", CTeacherConsole::COL_ONLINE, "Online"));
    EXPECT_EQ("Anna", console.RowText("pc01", CTeacherConsole::COL_NAME));
    /* Arrows move and select, Escape goes back to the class, Space selects: Alt+L locks Anna alone. */
    gtk_window_present(GTK_WINDOW(window));
    ASSERT_TRUE(keltest::PumpUntil([&] { return gtk_widget_has_focus(view); }));
    for (guint key : {GDK_Down, GDK_Down, GDK_Escape})
        keltest::PressKey(view, key);
    EXPECT_TRUE(console.Targets().empty());
    keltest::PressKey(view, GDK_space);
    EXPECT_EQ(std::list<std::string>{"pc02"}, console.Targets());
    keltest::PressKey(view, GDK_Up);
    ASSERT_EQ(std::list<std::string>{"pc01"}, console.Targets());
    keltest::PressKey(window, GDK_l, GDK_MOD1_MASK);
    ASSERT_TRUE(shows("pc01", CTeacherConsole::COL_LOCK, "Locked by the teacher"));
    EXPECT_TRUE(console.NewStudentNotice() == nullptr); /* switched off; its callback came first */
    Stop(notebooks[1], SIGKILL);
    ASSERT_TRUE(shows("pc01", CTeacherConsole::COL_ONLINE, "Offline"));

    /* Switched on: a notebook off the roster is told. */
    settings.SetNewStudentConnectDialogEnable(1);
    ASSERT_EQ(0, settings.Save2File(keltest::EtcKel() + LibKELData::KEL_SYSTEM_SETTING));
    keltest::MakeDirs(Root() + "/pc03/etc/KEL/TabNavigation.xml"); /* its save fails */
    StartNotebook(3);
    ASSERT_TRUE(keltest::PumpUntil([&] { return console.NewStudentNotice() != nullptr; }));
    StartNotebook(1);
    ASSERT_TRUE(shows("pc01", CTeacherConsole::COL_LOCK, "Locked by the teacher"));
    ASSERT_TRUE(shows("pc03", CTeacherConsole::COL_ONLINE, "Online"));
    keltest::PressKey(window, GDK_s, GDK_MOD1_MASK);
    GtkWidget* editor = keltest::AwaitToplevel("Shell Settings"); /* a mnemonic's click comes a moment later */
    keltest::SetActive(keltest::Hour(editor, "Wed 10:00-11:00"), true);
    keltest::Click(keltest::FindButtonByLabel(editor, "Apply"));
    EXPECT_TRUE(keltest::LockedOnDisk(2, 10));
    ASSERT_TRUE(shows("pc01", CTeacherConsole::COL_POLICY, "Current"));
    ASSERT_TRUE(shows("pc03", CTeacherConsole::COL_POLICY, "Failed: the policy cannot be saved"));
    EXPECT_EQ("Outdated (gets it when online)", console.RowText("pc02", CTeacherConsole::COL_POLICY));

    /* Gone without its will, its "online" kept by the broker (as another said it): the roll call of
     * the console's next connection drops it. */
    Stop(notebooks[3], SIGKILL);
    std::string pub = "mosquitto_pub -h localhost -p " + std::to_string(port) + " --cafile " + Root() +
                      "/classroom/ca.crt -q 1 -r -u pc03 -P $(sed -n s/^password=//p " + Root() +
                      "/classroom/machines/pc03/classroom.conf) -t kel/5b/presence/pc03 -m online";
    ASSERT_EQ(0, system(pub.c_str()));
    ASSERT_TRUE(shows("pc03", CTeacherConsole::COL_ONLINE, "Online"));
    Stop(broker, SIGTERM);
    StartBroker();
    ASSERT_TRUE(shows("pc01", CTeacherConsole::COL_ONLINE, "Online"));
    ASSERT_TRUE(shows("pc03", CTeacherConsole::COL_ONLINE, "Offline"));
    EXPECT_EQ("Classroom: connected.", console.ConnectionText());
}

} // namespace
