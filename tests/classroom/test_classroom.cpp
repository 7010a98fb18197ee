/* The classroom against a real broker (TLS, our ACL, a classroom made by scripts/make-classroom.sh
 * in the sandbox) and real student service processes, seen through the teacher's API. */
#include <gtest/gtest.h>

#include <fcntl.h>
#include <gdk/gdkkeysyms.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <numeric>
#include <set>

#include "CTeacherConsole.h"
#include "IPCAPI.h"
#include "KELConstants.h"
#include "KELData.h"
#include "KelFault.h"
#include "KelTest.h"
#include "ServiceFixture.h"
#include "../gui/shellsetting_fixture.h"

using namespace IPCAPI;
using keltest::Root;

namespace {

typedef std::chrono::steady_clock Clock;
const std::string kClassDir = "/classroom";

/* What the teacher's console hears, on the broker client's thread. */
class Teacher : public CTeacherAPICallbackBase {
public:
    Teacher()
    {
        int err = 0;
        EXPECT_EQ(0, Api()->RegisterCallBack(this, err));
    }
    ~Teacher() override { DetachCallBacks(); }
    IPCTeacherAPI* Api() { return GetTeacherAPIObject(); }

    void SearchProgramCallBack(std::string student, std::string result) override { Note(answers, student, result); }
    void DeployTabNavPolicyCallBack(std::string student, std::string result) override { Note(deploys, student, result); }
    void OnMessage(std::string message) override { Note(messages, "", message); }
    void NotifyStudentStatusChanged(std::string who, int status) override { Note(statuses, who, status ? "+" : "-"); }

    /* Waits until pred holds (under the mutex) or ms pass. */
    bool Await(const std::function<bool()>& pred, int ms = 60000)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(ms), pred);
    }
    bool AwaitAnswers(size_t n) { return Await([&] { return answers.size() == n; }); }
    std::map<std::string, std::string> Answers()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return answers;
    }
    int Online()
    {
        std::list<tagStudent_t> students;
        int err = 0;
        return Api()->GetStudentList(students, err) == 0 && err == 0 ? static_cast<int>(students.size()) : -1;
    }
    std::string Ids()
    {
        std::list<tagStudent_t> students;
        int err = 0;
        Api()->GetStudentList(students, err);
        std::string ids;
        for (const auto& s : students)
            ids += s.address + " ";
        return ids;
    }
    bool AwaitOnline(int count)
    {
        return keltest::WaitUntil([&] { return Online() == count; });
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::string, std::string> answers, deploys, messages, statuses;
    int ends = 0;

private:
    void Note(std::map<std::string, std::string>& into, const std::string& who, const std::string& what)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (&into == &answers && who.empty())
            ++ends;
        into[who] += what;
        changed.notify_all();
    }
};

/* Reads fd until text comes (true), or the writer ends or stays silent for 20 s (false). */
bool ReadUntil(int fd, const std::string& text)
{
    std::string seen;
    char buffer[4096];
    pollfd in = {fd, POLLIN, 0};
    for (ssize_t n = 1; seen.find(text) == std::string::npos && n != 0 && poll(&in, 1, 20000) == 1;)
        seen.append(buffer, (n = read(fd, buffer, sizeof buffer)) > 0 ? static_cast<size_t>(n) : 0);
    return seen.find(text) != std::string::npos;
}

void Sh(const std::string& command)
{
    ASSERT_EQ(0, system(command.c_str())) << command;
}

/* A broker and its classroom in the sandbox; students pc01.. with a program set each. */
class Classroom : public ::testing::Test {
protected:
    void SetUp() override
    {
        Sh("BROKER_USER=$(id -un) ANSWER_TIMEOUT=30 CONNECT_TIMEOUT=2 " KEL_SOURCE_DIR "/scripts/make-classroom.sh " + Dir() +
           " 5b localhost 1 pc01 pc02 pc03 >/dev/null");
        Sh("printf 'log_dest stderr\\nlog_type information\\n' >> " + Dir() + "/mosquitto.conf");
        Sh("cp " + Dir() + "/machines/teacher/* " + keltest::EtcKel());
    }
    void TearDown() override
    {
        teacher.reset(); /* before its broker goes */
        for (auto& s : students)
            Stop(s.second, SIGKILL);
        Stop(broker, SIGTERM);
        Stop(broker2, SIGTERM);
    }
    std::string Dir() { return Root() + kClassDir; }
    /* Starts mosquitto with conf, the notebooks on port at and the teachers on port teachers; with
     * none, on ports it could bind (others may take one between our choice and its bind: then
     * others). Both from the kernel: a port next to a free one may be a connection's. */
    int StartMosquitto(const std::string& conf, int& at, int& teachers)
    {
        for (int attempt = 0; attempt < 20; ++attempt) {
            if (at == 0 || attempt > 0) {
                keltest::FreePorts(at, teachers);
                Sh("perl -pi -e 's/^listener \\d+/\"listener \" . ($n++ ? " + std::to_string(teachers) + " : " +
                   std::to_string(at) + ")/e' " + conf);
            }
            int fds[2];
            EXPECT_EQ(0, pipe2(fds, O_CLOEXEC));
            int pid = keltest::StartProgram({"/bin/sh", "-c", "exec /usr/sbin/mosquitto -c " + conf + " 2>&1"}, {}, fds[1]);
            close(fds[1]);
            bool running = ReadUntil(fds[0], " running");
            close(fds[0]); /* its later lines are lost: it ignores the broken pipe */
            if (running)
                return pid;
            Stop(pid, SIGKILL);
        }
        ADD_FAILURE() << "mosquitto did not start";
        return 0;
    }
    /* The first start also tells every machine's settings where the broker is. */
    void StartBroker()
    {
        bool first = port == 0;
        broker = StartMosquitto(Dir() + "/mosquitto.conf", port, tport);
        if (first)
            Point("localhost:" + std::to_string(port), "localhost:" + std::to_string(tport));
    }
    /* Every machine's settings name these brokers; the teacher's name them at their teachers' ports. */
    void Point(const std::string& hosts, const std::string& teachers)
    {
        Sh("find " + Root() + " -name classroom.conf -exec sed -i 's/^host=.*/host=" + hosts + "/' {} +");
        Sh("sed -i 's/^host=.*/host=" + teachers + "/' " + keltest::EtcKel() + "classroom.conf " + Dir() +
           "/machines/teacher/classroom.conf");
    }
    /* mosquitto_pub (or the tool given) as a machine of the class, at port at. */
    std::string As(const std::string& user, int at, const std::string& tool = "mosquitto_pub -q 1")
    {
        return tool + " -h localhost -p " + std::to_string(at) + " --cafile " + Dir() + "/ca.crt -u " + user +
               " -P $(sed -n 's/^password=//p' " + Dir() + "/machines/" + user + "/classroom.conf) ";
    }
    /* The broker, the teacher's console, and students 1..count online (when there are any). */
    Teacher& Open(int count)
    {
        StartBroker();
        teacher.reset(new Teacher);
        for (int n = 1; n <= count; ++n)
            StartStudent(n);
        EXPECT_TRUE(count == 0 || teacher->AwaitOnline(count));
        return *teacher;
    }
    /* Student n with programs "Common" and "Only pcNN" in its /apps (none when apps is false). */
    void StartStudent(int n, bool apps = true)
    {
        students[n] = keltest::StartProgram({KEL_SERVICE, "--classroom"}, {"KEL_ROOT=" + StudentRoot(n, apps)});
    }
    std::string StudentRoot(int n, bool apps = true)
    {
        std::string id = "pc0" + std::to_string(n), root = Root() + "/" + id;
        keltest::MakeDirs(root + "/etc/KEL");
        EXPECT_EQ(0, system(("cp " + Root() + kClassDir + "/machines/" + id + "/* " + root + "/etc/KEL/").c_str()));
        if (apps) {
            keltest::WriteFile(root + "/apps/common.desktop", "[Desktop Entry]\nType=Application\nName=Common\nExec=/bin/true\n");
            keltest::WriteFile(root + "/apps/own.desktop", "[Desktop Entry]\nType=Application\nName=Only " + id +
                                                               "\nExec=/bin/echo " + id + "\n");
        }
        return root;
    }
    void Stop(int& pid, int sig)
    {
        if (pid > 0) {
            kill(pid, sig);
            kill(pid, SIGCONT); /* a stopped process ends only on SIGKILL */
            waitpid(pid, nullptr, 0);
        }
        pid = 0;
    }
    /* Sorted: the answers come in any order. */
    std::string ResultNames()
    {
        LibKELData::CSearchResultData file;
        std::multiset<std::string> sorted;
        if (file.LoadFromFile(LibKELData::CONFIG_FILE_DIR + LibKELData::SEARCH_RESULT) == 0)
            for (auto* app : *file.GetPApplicationInfoList())
                sorted.insert(app->GetName());
        return std::accumulate(sorted.begin(), sorted.end(), std::string(),
                               [](std::string all, const std::string& name) { return all + name + ";"; });
    }

    int port = 0, tport = 0, broker = 0, broker2 = 0, op = 0, err = 0;
    std::list<tagStudent_t> list;
    std::map<int, int> students;
    std::unique_ptr<Teacher> teacher;
};

/* Searched from the teacher's console, by keyboard: what was found is what the Add Application
 * window of the console's Shell Settings offers. */
TEST_F(Classroom, ThreeStudentsAnswerOnceEachAndTheirProgramsAreMergedWithoutDuplicates)
{
    keltest::CopySampleRoot();
    keltest::WriteFile(keltest::EtcKel() + "StudentInfo.xml",
                       "<StudentInfo version=\"1\"><Student name=\"Anna\" address=\"pc01\"/></StudentInfo>");
    Teacher& teacher = Open(3);
    teacher.Api()->GetStudentList(list, err);
    EXPECT_EQ("Anna", list.front().name);

    CTeacherConsole console;
    console.Init();
    gtk_widget_show_all(console.GetWindow());
    keltest::PressKey(console.GetWindow(), GDK_p, GDK_MOD1_MASK);
    GtkWidget* search = keltest::AwaitToplevel("Search Program");
    gtk_entry_set_text(GTK_ENTRY(keltest::FindByType(search, GTK_TYPE_ENTRY)), "/apps");
    keltest::Click(keltest::FindButtonByLabel(search, "Search"));
    ASSERT_TRUE(keltest::PumpUntil([&] { return teacher.Answers().size() == 3; }));
    std::string told;
    for (const auto& answer : teacher.Answers())
        told += answer.first + ": " + answer.second + ";";
    /* The first to answer brought Common too. */
    EXPECT_TRUE(told == "Anna: found 2, new 2;pc02: found 2, new 1;pc03: found 2, new 1;" ||
                told == "Anna: found 2, new 1;pc02: found 2, new 2;pc03: found 2, new 1;" ||
                told == "Anna: found 2, new 1;pc02: found 2, new 1;pc03: found 2, new 2;") << told;
    EXPECT_EQ("Common;Only pc01;Only pc02;Only pc03;", ResultNames());
    /* Every student the caller counted answered: its last answer ended the search, no marker. */
    EXPECT_EQ(0, teacher.ends);
    keltest::PressKey(console.GetWindow(), GDK_s, GDK_MOD1_MASK);
    GtkWidget* settings = keltest::AwaitToplevel("Shell Settings");
    keltest::SetCursorRow(keltest::List(settings, 0), 0);
    keltest::Click(keltest::NthButton(settings, "+", 1));
    GtkWidget* add = keltest::AwaitToplevel("Add Application");
    EXPECT_EQ(4, gtk_tree_model_iter_n_children(gtk_tree_view_get_model(keltest::List(add, 0)), NULL));
}

TEST_F(Classroom, AStudentKilledDuringTheSearchIsGivenUpAtItsLastWillBeforeTheDeadline)
{
    Teacher& teacher = Open(3);
    kill(students[3], SIGSTOP);
    ASSERT_EQ(0, teacher.Api()->SearchProgram("/apps", op, 1));
    ASSERT_TRUE(teacher.AwaitAnswers(2));
    Stop(students[3], SIGKILL);
    /* The will ends it ("went offline"), long before the deadline would ("no answer in time"). */
    ASSERT_TRUE(teacher.Await([&] { return teacher.ends == 1; })) << teacher.Answers().size();
    EXPECT_EQ("2 of 3 students answered; no answer from pc03 (went offline)", teacher.Answers()[""]);
    EXPECT_NE(std::string::npos, teacher.messages[""].find("pc03"));
    EXPECT_EQ("Common;Only pc01;Only pc02;", ResultNames());
}

TEST_F(Classroom, AStudentThatCannotOpenTheFolderAnswersWithItsErrorAndTheOthersStillMergeAndClear)
{
    keltest::WriteFile(LibKELData::CONFIG_FILE_DIR + LibKELData::SEARCH_RESULT,
                       "<SearchResult><Application name=\"Old\" path=\"/bin/old\" icon=\"\" enable=\"1\"/></SearchResult>");
    Teacher& teacher = Open(1);
    StartStudent(2, false);
    ASSERT_TRUE(teacher.AwaitOnline(2));
    kill(students[1], SIGSTOP);
    keltest::WriteFile(Root() + "/pc01/apps/gone.desktop", "[Desktop Entry]\nType=Application\nName=G\nExec=kel-gone\n");
    ASSERT_EQ(0, teacher.Api()->SearchProgram("/apps", op, 1));
    /* The error comes first: clearing is still left to the first answer that merges. */
    ASSERT_TRUE(teacher.AwaitAnswers(1));
    kill(students[1], SIGCONT);
    ASSERT_TRUE(teacher.AwaitAnswers(2));
    EXPECT_EQ("error: folder-unreadable /apps", teacher.Answers()["pc02"]);
    EXPECT_EQ("found 2, new 2, skipped 1 not-installed 1", teacher.Answers()["pc01"]);
    EXPECT_EQ("Common;Only pc01;", ResultNames());
}

TEST_F(Classroom, TheBrokerRefusesAStudentSpeakingForAnotherTakingItsConnectionAndClientsWithoutCredentials)
{
    Teacher& teacher = Open(1);
    std::string plain = "mosquitto_pub -h localhost -p " + std::to_string(port), tls = plain + " --cafile " + Dir() + "/ca.crt";
    /* Accepted at the protocol level, then dropped by the ACL. */
    EXPECT_EQ(0, system((As("pc02", port) + "-r -t kel/5b/presence/pc01 -m offline").c_str()));
    EXPECT_EQ(0, system((As("pc02", port) + "-t kel/5b/request/search -m $'id=x\\n\\n/apps'").c_str()));
    EXPECT_NE(0, system((tls + " -t kel/5b/presence/pc03 -m online 2>/dev/null").c_str()));
    EXPECT_NE(0, system((tls + " -u pc03 -P wrong -t x -m x 2>/dev/null").c_str()));
    EXPECT_NE(0, system((As("pc03", tport) + "-t x -m x 2>/dev/null").c_str())); /* the teachers' port */
    EXPECT_NE(0, system((plain + " -t kel/5b/presence/pc03 -m online 2>/dev/null").c_str())); /* no plain listener */
    /* Neither pc01's client id nor the console's takes its connection: both messages of pc02
     * reach the console, and pc01 never went offline (its will would have come first). */
    Sh(As("pc02", port) + "-i pc01 -t kel/5b/presence/pc02 -m online");
    Sh(As("pc02", port) + "-i kel-teacher-teacher-" + g_get_host_name() + "-" + std::to_string(getpid()) +
       " -t kel/5b/presence/pc02 -m offline");
    ASSERT_TRUE(teacher.Await([&] { return teacher.statuses["pc02"] == "+-"; })) << teacher.statuses["pc02"];
    EXPECT_TRUE(teacher.Await([&] { return teacher.statuses["pc01"] == "+"; }, 0)) << teacher.statuses["pc01"];
    /* The console and two commands, all with the teacher's login, at once. */
    Sh(KEL_CLASSROOM " list > " + Root() + "/a & " KEL_CLASSROOM " list > " + Root() + "/b && wait $!");
    EXPECT_EQ("pc01\tpc01\npc01\tpc01\n", keltest::ReadFile(Root() + "/a") + keltest::ReadFile(Root() + "/b"));
    EXPECT_EQ(std::string::npos, keltest::ReadFile(Dir() + "/broker.log").find("already connected"));
    EXPECT_TRUE(teacher.Answers().empty());
}

TEST_F(Classroom, EachConnectionFailureIsToldAsWhatItIsOnBothSides)
{
    /* kel-classroom with the teacher's settings edited as given, in a root of its own. */
    auto teacherSays = [&](const std::string& name, const std::string& edit, const std::string& args) {
        std::string root = Root() + "/" + name, etc = root + "/etc/KEL", out;
        keltest::MakeDirs(etc);
        Sh("cp " + keltest::EtcKel() + "classroom.conf " + keltest::EtcKel() + "ca.crt " + etc + " && cd " + etc +
           " && " + edit);
        int rc = keltest::RunProgram({"/bin/sh", "-c", KEL_CLASSROOM " " + args + " 2>&1"}, {"KEL_ROOT=" + root}, out);
        return std::to_string(rc) + " " + out;
    };
    StartBroker();
    Stop(broker, SIGTERM);
    std::string down = "localhost:" + std::to_string(tport) + " cannot be reached: Connection refused";
    EXPECT_NE(std::string::npos, teacherSays("down", "true", "deploy").find(down));
    EXPECT_EQ(0u, teacherSays("help", "true", "--help").find("0 usage: kel-classroom"));
    /* The window's calls return at once, and the reason is there to show. */
    Teacher teacher;
    std::string reason;
    EXPECT_NE(0, teacher.Api()->DeployTabNavPolicy("<TabNavigation/>", err));
    EXPECT_EQ(IPC_ERR_NOT_RUNNING, teacher.Api()->GetStudentList(list, err));
    EXPECT_EQ(IPC_ERR_NOT_RUNNING, teacher.Api()->DeployTabNavPolicy("<TabNavigation/>", err));
    EXPECT_EQ(IPC_ERR_NOT_RUNNING, teacher.Api()->GetConnectionState(reason, err));
    EXPECT_NE(std::string::npos, reason.find(down)) << reason;

    StartBroker();
    Sh("BROKER_USER=$(id -un) " KEL_SOURCE_DIR "/scripts/make-classroom.sh " + Root() + "/other 5b localhost 1 pc01 >/dev/null");
    const std::string otherCa = "cp " + Root() + "/other/ca.crt ca.crt";
    EXPECT_NE(std::string::npos, teacherSays("password", "sed -i 's/^password=.*/password=x/' classroom.conf", "list")
                                     .find("refused the user teacher and its password"));
    EXPECT_NE(std::string::npos, teacherSays("ca", "sed -i 's/^ca=.*/ca=gone.crt/' classroom.conf", "list")
                                     .find("gone.crt named in " + Root() + "/ca/etc/KEL/classroom.conf cannot be read"));
    EXPECT_NE(std::string::npos, teacherSays("trust", otherCa, "list").find("is not trusted"));
    EXPECT_NE(std::string::npos, teacherSays("open", "chmod 644 classroom.conf", "list").find("chmod 600"));
    /* A student with the certificate of another classroom logs why it cannot connect. */
    std::string root = StudentRoot(1, false), out;
    Sh("cd " + root + "/etc/KEL && " + otherCa);
    int fds[2];
    ASSERT_EQ(0, pipe2(fds, O_CLOEXEC));
    students[1] = keltest::StartProgram({"/bin/sh", "-c", "exec " KEL_SERVICE " --classroom 2>&1"},
                                        {"KEL_ROOT=" + root}, fds[1]);
    close(fds[1]);
    EXPECT_TRUE(ReadUntil(fds[0], "localhost:" + std::to_string(port) + " is not trusted"));
    close(fds[0]);
    EXPECT_EQ(1, keltest::RunProgram({"/bin/sh", "-c", KEL_SERVICE " --classroom 2>&1"}, {"KEL_ROOT=" + Root() + "/x"}, out));
    EXPECT_NE(std::string::npos, out.find("no classroom settings")) << out;
}

TEST_F(Classroom, ThePolicyOutlivesABrokerRestartAndAStaleOnlineIsCorrected)
{
    Teacher& teacher = Open(2);
    Sh("cp " KEL_SOURCE_DIR "/data/root/etc/KEL/TabNavigation.xml " KEL_SOURCE_DIR
       "/data/root/etc/KEL/LockSchedule.xml " + keltest::EtcKel());
    /* Deployed by a program that then ends. */
    ASSERT_EQ(0, system(KEL_CLASSROOM " deploy >/dev/null"));
    ASSERT_TRUE(teacher.Await([&] { return teacher.deploys.size() == 2; }));
    Stop(broker, SIGTERM);
    Stop(students[2], SIGKILL);
    StartBroker();
    /* As a notebook that vanished while the broker was down leaves it: no will for it. */
    Sh(As("pc02", port) + "-r -t kel/5b/presence/pc02 -m online");
    ASSERT_TRUE(keltest::WaitUntil([&] { return teacher.Ids().find("pc01 ") != std::string::npos; })); /* both back */
    StartStudent(3);
    ASSERT_TRUE(teacher.Await([&] { return teacher.deploys.count("pc03") == 1; }));
    EXPECT_EQ("ok", teacher.deploys["pc03"]);
    LibKELData::CTabNavigationData sent, saved;
    sent.LoadFromFile(keltest::EtcKel() + "TabNavigation.xml");
    ASSERT_EQ(0, saved.LoadFromFile(Root() + "/pc03/etc/KEL/TabNavigation.xml"));
    EXPECT_TRUE(saved.IsEqual(sent));
    /* A console that starts now drops pc02's kept "online": it does not answer the roll call. */
    std::string out;
    EXPECT_EQ(0, keltest::RunProgram({KEL_CLASSROOM, "list"}, {}, out));
    EXPECT_EQ("pc01\tpc01\npc03\tpc03\n", out);
}

TEST_F(Classroom, WhenTheFirstBrokerStopsBothSidesGoOnThroughTheSecond)
{
    Sh("sed -e 's|^persistence_location .*|persistence_location " + Dir() + "/second/|' " + Dir() +
       "/mosquitto.conf > " + Dir() + "/second.conf && mkdir " + Dir() + "/second");
    int port2 = 0, tport2 = 0;
    broker2 = StartMosquitto(Dir() + "/second.conf", port2, tport2);
    StartBroker();
    Point("localhost:" + std::to_string(port) + ",localhost:" + std::to_string(port2),
          "localhost:" + std::to_string(tport) + ",localhost:" + std::to_string(tport2));
    teacher.reset(new Teacher);
    StartStudent(1);
    ASSERT_TRUE(teacher->AwaitOnline(1));
    Stop(broker, SIGTERM);
    /* Once the teacher is on the second broker and the student is back, a search reaches it. */
    const std::string second = "localhost:" + std::to_string(tport2);
    ASSERT_TRUE(keltest::WaitUntil([&] {
        std::string reason;
        int e = 0;
        return teacher->Api()->GetConnectionState(reason, e) == 0 && reason.find(second) != std::string::npos;
    }));
    ASSERT_TRUE(teacher->AwaitOnline(1));
    ASSERT_EQ(0, teacher->Api()->SearchProgram("/apps", op, 1));
    ASSERT_TRUE(teacher->AwaitAnswers(1));
    EXPECT_EQ("found 2, new 2", teacher->Answers()["pc01"]);
}

TEST_F(Classroom, HostileAnswersAreRefusedMadePrintableAndDeployAnswersMatchTheirDeployment)
{
    Teacher& teacher = Open(0);
    auto pub = [&](const std::string& user, const std::string& what, const std::string& payload) {
        keltest::WriteFile(Root() + "/message", payload);
        Sh(As(user, port) + "-t kel/5b/" + what + " -f " + Root() + "/message");
    };
    /* Not kept by the broker: said once the console listens. */
    ASSERT_EQ(0, teacher.Online());
    pub("pc01", "presence/pc01", "online");
    pub("pc02", "presence/pc02", "online");
    ASSERT_TRUE(teacher.AwaitOnline(2));
    ASSERT_EQ(0, teacher.Api()->DeployTabNavPolicy("<TabNavigation version=\"1\"/>", err));
    /* A student reads the ids: first the kept policy (then it listens), then the request. */
    std::string sub = As("pc01", port, "stdbuf -oL mosquitto_sub") + "-v -C 2 -t kel/5b/policy/tabnav -t " +
                      "kel/5b/request/search";
    FILE* ids = popen(sub.c_str(), "r");
    auto idAfter = [&](const std::string& prefix) {
        for (char line[512]; fgets(line, sizeof line, ids);)
            if (strncmp(line, prefix.c_str(), prefix.size()) == 0)
                return std::string(line + prefix.size(), strcspn(line + prefix.size(), "\n"));
        return std::string();
    };
    std::string deployId = idAfter("kel/5b/policy/tabnav id=");
    ASSERT_EQ(0, teacher.Api()->SearchProgram("/apps", op, 1));
    std::string searchId = idAfter("kel/5b/request/search id=");
    pclose(ids);
    pub("pc01", "answer/pc01/deploy", "kind=tabnav\nid=forged\nresult=ok\n\n");
    pub("pc01", "answer/pc01/deploy", "kind=tabnav\nid=" + deployId + "\nresult=ok\n\n");
    pub("pc01", "answer/pc01/deploy", "kind=tabnav\nid=" + deployId + "\nresult=ok\n\n");
    pub("pc01", "answer/pc01/search", "id=" + searchId + "\nresult=found 3\n\n<SearchResult>"
        "<Application name=\"Firefox ESR\" path=\"rm -rf /home\" icon=\"\" enable=\"1\"/>"
        "<Application name=\"Tab&#9;bed\" path=\"/bin/true; reboot\" icon=\"\" enable=\"1\"/>"
        "<Application name=\"Env\" path=\"/bin/true\" icon=\"/proc/self/environ\" enable=\"1\"/></SearchResult>");
    pub("pc02", "answer/pc02/search", "id=" + searchId + "\nresult=error: \x1b[2Jgone\r\n\n");
    ASSERT_TRUE(teacher.AwaitAnswers(2));
    EXPECT_EQ(0u, teacher.Answers()["pc01"].find("error: the answer was refused: 3 of 3 programs")) << teacher.Answers()["pc01"];
    EXPECT_EQ("error: ?[2Jgone?", teacher.Answers()["pc02"]);
    EXPECT_EQ("", ResultNames());
    EXPECT_EQ("ok", teacher.deploys["pc01"]); /* once: neither the forged nor the repeated answer */
}

TEST_F(Classroom, ATeacherWithAWrongPasswordIsToldItIsNotAllowed)
{
    Sh("sed -i 's/^password=.*/password=wrong/' " + keltest::EtcKel() + "classroom.conf");
    Teacher& teacher = Open(0);
    for (auto until = Clock::now() + std::chrono::seconds(10); err != IPC_ERR_NOT_ALLOWED && Clock::now() < until;)
        teacher.Api()->GetStudentList(list, err); /* until the broker runs and refuses */
    EXPECT_EQ(IPC_ERR_NOT_ALLOWED, err);
    EXPECT_EQ(IPC_ERR_NOT_ALLOWED, teacher.Api()->SearchProgram("/apps", op, 1));
    EXPECT_EQ(IPC_ERR_NOT_ALLOWED, teacher.Api()->DeployTabNavPolicy("<TabNavigation/>", err));
}

TEST_F(Classroom, ACancelledSearchMergesNothingThatArrivesAfterwards)
{
    Teacher& teacher = Open(2);
    kill(students[1], SIGSTOP);
    kill(students[2], SIGSTOP);
    ASSERT_EQ(0, teacher.Api()->SearchProgram("/apps", op, 1));
    ASSERT_EQ(0, teacher.Api()->CancelOperation(op, err));
    kill(students[1], SIGCONT);
    kill(students[2], SIGCONT);
    /* A later search's answers come after anything of the cancelled one from the same student. */
    ASSERT_EQ(0, teacher.Api()->SearchProgram("/nothing", op, 0));
    ASSERT_TRUE(teacher.AwaitAnswers(2));
    EXPECT_EQ(0u, teacher.Answers()["pc01"].find("error: "));
    EXPECT_EQ("", ResultNames());
}

TEST_F(Classroom, ADeployedPolicyReachesAStudentThatConnectsAfterwards)
{
    Teacher& teacher = Open(1);
    const std::string policy = "<TabNavigation version=\"1\"><Category name=\"Maths\" icon=\"\">"
                               "<Application name=\"Calc\" path=\"/bin/true\" icon=\"\" enable=\"1\"/>"
                               "</Category></TabNavigation>";
    EXPECT_EQ(IPC_ERR_PARSE, teacher.Api()->DeployTabNavPolicy("<TabNavigation>", err));
    ASSERT_EQ(0, teacher.Api()->DeployTabNavPolicy(policy, err));
    ASSERT_TRUE(teacher.Await([&] { return teacher.deploys.count("pc01") == 1; }));
    /* This one is the whole service on its bus: it saves through the service's own save path. */
    const std::string root = StudentRoot(2);
    setenv("KEL_ROOT", root.c_str(), 1);
    ASSERT_TRUE(keltest::StartPolicyService());
    ASSERT_TRUE(teacher.Await([&] { return teacher.deploys.count("pc02") == 1; }));
    EXPECT_EQ("ok", teacher.deploys["pc02"]);
    LibKELData::CTabNavigationData sent, saved;
    sent.LoadFromString(policy);
    ASSERT_EQ(0, saved.LoadFromFile(root + "/etc/KEL/TabNavigation.xml"));
    EXPECT_TRUE(saved.IsEqual(sent));
}

TEST_F(Classroom, ABrokerRestartedDuringASearchEndsItAtTheDeadlineAndTheTeacherReconnects)
{
    Sh("sed -i 's/^answer-timeout=.*/answer-timeout=2/' " + keltest::EtcKel() + "classroom.conf");
    Teacher& teacher = Open(1);
    kill(students[1], SIGSTOP);
    ASSERT_EQ(0, teacher.Api()->SearchProgram("/apps", op, 1));
    Stop(broker, SIGTERM);
    StartBroker();
    ASSERT_TRUE(teacher.Await([&] { return teacher.ends == 1; }));
    /* Given up at the deadline, or at the will the broker sent when it stopped. */
    EXPECT_EQ(0u, teacher.Answers()[""].find("0 of 1 students answered; no answer from pc01 ("));
    kill(students[1], SIGCONT);
    ASSERT_TRUE(teacher.AwaitOnline(1));
    teacher.Await([&] { return teacher.answers.clear(), true; });
    ASSERT_EQ(0, teacher.Api()->SearchProgram("/apps", op, 1));
    ASSERT_TRUE(teacher.AwaitAnswers(1));
}

} // namespace
