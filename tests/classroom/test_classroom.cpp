/* The classroom against a real broker (TLS, our ACL, a classroom made by scripts/make-classroom.sh
 * in the sandbox) and real student service processes, seen through the teacher's API. */
#include <gtest/gtest.h>

#include <gio/gio.h>
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

#include "IPCAPI.h"
#include "KELConstants.h"
#include "KELData.h"
#include "KelFault.h"
#include "KelTest.h"
#include "ServiceFixture.h"

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

    /* Waits until pred holds (under the mutex) or ms pass. */
    bool Await(const std::function<bool()>& pred, int ms = 10000)
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
    /* Polls the presence until count students are online. */
    bool AwaitOnline(int count)
    {
        for (auto until = Clock::now() + std::chrono::seconds(10); Clock::now() < until; g_usleep(20000))
            if (Online() == count)
                return true;
        return false;
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::string, std::string> answers, deploys, messages;
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

/* A broker and its classroom in the sandbox; students pc01.. with a program set each. */
class Classroom : public ::testing::Test {
protected:
    void SetUp() override
    {
        GSocketListener* ports = g_socket_listener_new(); /* a port nobody uses now */
        port = g_socket_listener_add_any_inet_port(ports, nullptr, nullptr);
        g_socket_listener_close(ports);
        g_object_unref(ports);
        ASSERT_NE(0, port);
        std::string cmd = "BROKER_USER=$(id -un) ANSWER_TIMEOUT=2 CONNECT_TIMEOUT=2 " KEL_SOURCE_DIR "/scripts/make-classroom.sh " +
                          Root() + kClassDir + " 5b localhost " + std::to_string(port) +
                          " pc01 pc02 pc03 >/dev/null";
        ASSERT_EQ(0, system(cmd.c_str()));
        ASSERT_EQ(0, system(("cp " + Root() + kClassDir + "/machines/teacher/* " + keltest::EtcKel()).c_str()));
    }
    void TearDown() override
    {
        teacher.reset(); /* before its broker goes */
        for (auto& s : students)
            Stop(s.second, SIGKILL);
        Stop(broker, SIGTERM);
    }
    void StartBroker() 
    {
        broker = keltest::StartProgram({"/usr/sbin/mosquitto", "-c", Root() + kClassDir + "/mosquitto.conf"});
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

    int port = 0, broker = 0, op = 0, err = 0;
    std::list<tagStudent_t> list;
    std::map<int, int> students;
    std::unique_ptr<Teacher> teacher;
};

TEST_F(Classroom, ThreeStudentsAnswerOnceEachAndTheirProgramsAreMergedWithoutDuplicates)
{
    keltest::WriteFile(keltest::EtcKel() + "StudentInfo.xml",
                       "<StudentInfo version=\"1\"><Student name=\"Anna\" address=\"pc01\"/></StudentInfo>");
    Teacher& teacher = Open(3);
    teacher.Api()->GetStudentList(list, err);
    EXPECT_EQ("Anna", list.front().name);

    ASSERT_EQ(0, teacher.Api()->SearchProgram("/apps", op, 1));
    ASSERT_TRUE(teacher.AwaitAnswers(3));
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
}

TEST_F(Classroom, AStudentKilledDuringTheSearchIsGivenUpAtItsLastWillBeforeTheDeadline)
{
    Teacher& teacher = Open(3);
    kill(students[3], SIGSTOP);
    auto start = Clock::now();
    ASSERT_EQ(0, teacher.Api()->SearchProgram("/apps", op, 1));
    ASSERT_TRUE(teacher.AwaitAnswers(2));
    Stop(students[3], SIGKILL);
    ASSERT_TRUE(teacher.Await([&] { return teacher.ends == 1; })) << teacher.Answers().size();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1900)); /* the will, not the 2 s deadline */
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
    ASSERT_EQ(0, teacher.Api()->SearchProgram("/apps", op, 1));
    /* The error comes first: clearing is still left to the first answer that merges. */
    ASSERT_TRUE(teacher.AwaitAnswers(1));
    kill(students[1], SIGCONT);
    ASSERT_TRUE(teacher.AwaitAnswers(2));
    EXPECT_EQ("error: the folder /apps cannot be opened", teacher.Answers()["pc02"]);
    EXPECT_EQ("found 2, new 2", teacher.Answers()["pc01"]);
    EXPECT_EQ("Common;Only pc01;", ResultNames());
}

TEST_F(Classroom, TheBrokerRefusesAStudentSpeakingForAnotherAndClientsWithoutCredentials)
{
    Teacher& teacher = Open(1);
    std::string dir = Root() + kClassDir, conn = "mosquitto_pub -h localhost -p " + std::to_string(port) +
                                                 " --cafile " + dir + "/ca.crt -q 1 ";
    std::string pc01 = conn + "-u pc01 -P $(sed -n 's/^password=//p' " + dir + "/machines/pc01/classroom.conf) ";
    /* Accepted at the protocol level, then dropped by the ACL. */
    EXPECT_EQ(0, system((pc01 + "-r -t kel/5b/presence/pc02 -m online").c_str()));
    EXPECT_EQ(0, system((pc01 + "-t kel/5b/request/search -m $'id=x\\n\\n/apps'").c_str()));
    EXPECT_NE(0, system((conn + "-t kel/5b/presence/pc03 -m online 2>/dev/null").c_str()));
    EXPECT_NE(0, system((conn + "-u pc03 -P wrong -t kel/5b/presence/pc03 -m online 2>/dev/null").c_str()));
    EXPECT_NE(0, system(("mosquitto_pub -h localhost -p " + std::to_string(port) +
                         " -t kel/5b/presence/pc03 -m online 2>/dev/null").c_str())); /* no plain listener */
    EXPECT_EQ(1, teacher.Online());
    EXPECT_TRUE(teacher.Answers().empty());
}

TEST_F(Classroom, TheTeacherHearsOfAnUnreachableBrokerAndConnectsByItselfOnceItRuns)
{
    Teacher teacher;
    EXPECT_EQ(IPC_ERR_NOT_RUNNING, teacher.Api()->GetStudentList(list, err));
    EXPECT_EQ(IPC_ERR_NOT_RUNNING, teacher.Api()->SearchProgram("/apps", op, 1));
    EXPECT_EQ(0, op);
    StartBroker();
    StartStudent(1);
    ASSERT_TRUE(teacher.AwaitOnline(1));
}

TEST_F(Classroom, ATeacherWithAWrongPasswordIsToldItIsNotAllowed)
{
    ASSERT_EQ(0, system(("sed -i 's/^password=.*/password=wrong/' " + keltest::EtcKel() + "classroom.conf").c_str()));
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
    ASSERT_TRUE(KelTest::StartPolicyService());
    ASSERT_TRUE(teacher.Await([&] { return teacher.deploys.count("pc02") == 1; }));
    EXPECT_EQ("ok", teacher.deploys["pc02"]);
    LibKELData::CTabNavigationData sent, saved;
    sent.LoadFromString(policy);
    ASSERT_EQ(0, saved.LoadFromFile(root + "/etc/KEL/TabNavigation.xml"));
    EXPECT_TRUE(saved.IsEqual(sent));
}

TEST_F(Classroom, ABrokerRestartedDuringASearchEndsItAtTheDeadlineAndTheTeacherReconnects)
{
    Teacher& teacher = Open(1);
    kill(students[1], SIGSTOP);
    ASSERT_EQ(0, teacher.Api()->SearchProgram("/apps", op, 1));
    Stop(broker, SIGTERM);
    StartBroker();
    ASSERT_TRUE(teacher.Await([&] { return teacher.ends == 1; }, 5000));
    /* Given up at the deadline, or at the will the broker sent when it stopped. */
    EXPECT_EQ(0u, teacher.Answers()[""].find("0 of 1 students answered; no answer from pc01 ("));
    kill(students[1], SIGCONT);
    ASSERT_TRUE(teacher.AwaitOnline(1));
    teacher.Await([&] { return teacher.answers.clear(), true; });
    ASSERT_EQ(0, teacher.Api()->SearchProgram("/apps", op, 1));
    ASSERT_TRUE(teacher.AwaitAnswers(1));
}

} // namespace
