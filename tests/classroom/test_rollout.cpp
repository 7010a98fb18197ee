/* A school's broker over time: notebooks added and removed while it runs, several classes on one
 * broker, connections tied to their machines. Real broker, real student services. */
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <map>

#include "IPCAPI.h"
#include "KelFault.h"
#include "KelTest.h"

using keltest::Root;

namespace {

class Rollout : public ::testing::Test {
protected:
    void SetUp() override
    {
        keltest::FreePorts(port, tport);
        dir = Root() + "/broker";
    }
    void TearDown() override
    {
        for (pid_t pid : pids) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    int Make(const std::string& args, const std::string& env = "")
    {
        return system((env + " TEACHER_PORT=" + std::to_string(tport) + " BROKER_USER=$(id -un) " KEL_SOURCE_DIR
                       "/scripts/make-classroom.sh " + args + " >/dev/null").c_str());
    }
    /* mosquitto_pub/_sub as a machine of the broker (its password from conf after its removal);
     * the teachers at theirs. */
    std::string As(const std::string& tool, const std::string& user, std::string conf = "")
    {
        conf = conf.empty() ? dir + "/machines/" + user + "/classroom.conf" : conf;
        return tool + " -h localhost -p " + std::to_string(user[0] == 't' ? tport : port) + " --cafile " + dir +
               "/ca.crt -q 1 -u " + user + " -P $(sed -n 's/^password=//p' " + conf + ") ";
    }
    /* The first message a subscription to topics gets, as "topic payload". */
    std::string First(const std::string& user, const std::string& topics)
    {
        FILE* out = popen((As("mosquitto_sub", user) + "-v -C 1 -W 10 " + topics).c_str(), "r");
        char line[256] = "";
        std::string got = fgets(line, sizeof line, out) ? line : "";
        pclose(out);
        return got;
    }
    void StartBroker(const std::string& firstUser)
    {
        pids.push_back(keltest::StartProgram({"/usr/sbin/mosquitto", "-c", dir + "/mosquitto.conf"}));
        ASSERT_TRUE(keltest::WaitUntil([&] { return system((As("mosquitto_pub", firstUser) + "-t x -m x 2>/dev/null").c_str()) == 0; }));
    }
    pid_t Student(const std::string& id)
    {
        std::string root = Root() + "/" + id;
        keltest::MakeDirs(root + "/etc/KEL");
        EXPECT_EQ(0, system(("cp " + dir + "/machines/" + id + "/* " + root + "/etc/KEL/").c_str()));
        pids.push_back(keltest::StartProgram({KEL_SERVICE, "--classroom"}, {"KEL_ROOT=" + root}));
        return pids.back();
    }
    /* The machines the teacher sees online, in order. */
    std::string Online()
    {
        std::list<IPCAPI::tagStudent_t> students;
        int err = 0;
        std::string names;
        if (IPCAPI::GetTeacherAPI()->GetStudentList(students, err) == 0)
            for (const auto& s : students)
                names += s.address + ";";
        return names;
    }

    int port = 0, tport = 0;
    std::string dir;
    std::vector<pid_t> pids;
};

TEST_F(Rollout, NotebooksAddedAndRemovedWhileTheBrokerRunsLeaveTheOthersAlone)
{
    ASSERT_EQ(0, Make(dir + " 5b localhost " + std::to_string(port) + " pc01 pc02"));
    /* Made as before the teachers had a port: one listener, the teacher's login a notebook's. */
    ASSERT_EQ(0, system(("cd " + dir + " && sed -i '/^listener " + std::to_string(tport) + "/d' mosquitto.conf && cat " +
                         "passwd-teachers >> passwd && rm passwd-teachers && sed -i s/^port=.*/port=" + std::to_string(port) +
                         "/ machines/teacher/classroom.conf").c_str()));
    std::map<std::string, std::string> kept;
    for (const char* file : {"/ca.crt", "/broker.crt", "/broker.key", "/machines/pc02/classroom.conf"})
        kept[file] = keltest::ReadFile(dir + file);
    EXPECT_NE(0, Make("add " + dir + " pc03")) << "upgraded first";
    ASSERT_EQ(0, Make("upgrade " + dir));
    ASSERT_EQ(0, system(("cp " + dir + "/machines/teacher/* " + keltest::EtcKel()).c_str()));
    StartBroker("pc02");
    Student("pc01");
    Student("pc02");
    ASSERT_TRUE(keltest::WaitUntil([&] { return Online() == "pc01;pc02;"; }));

    /* The running broker drops the removed notebook at once and refuses it from then on. */
    ASSERT_EQ(0, Make("remove " + dir + " pc01"));
    EXPECT_TRUE(keltest::WaitUntil([&] { return Online() == "pc02;"; }));
    EXPECT_NE(0, system((As("mosquitto_pub", "pc01", Root() + "/pc01/etc/KEL/classroom.conf") +
                         "-t kel/5b/presence/pc01 -m online 2>/dev/null").c_str()));
    ASSERT_EQ(0, Make("add " + dir + " pc03"));
    Student("pc03");
    EXPECT_TRUE(keltest::WaitUntil([&] { return Online() == "pc02;pc03;"; }));
    for (const auto& file : kept)
        EXPECT_EQ(file.second, keltest::ReadFile(dir + file.first)) << file.first;
    EXPECT_NE(0, Make("add " + dir + " pc02")) << "a machine name is given once";
}

TEST_F(Rollout, TwoClassesOnOneBrokerNeitherReadNorWriteEachOthersTopics)
{
    std::string at = " localhost " + std::to_string(port);
    ASSERT_EQ(0, Make(dir + " 5a" + at + " a1"));
    ASSERT_EQ(0, Make(dir + " 5b" + at + " b1", "TEACHER=t5b"));
    EXPECT_NE(0, Make(dir + " 5c localhost 1" + " c1")) << "one listener for every class";
    StartBroker("teacher");
    auto pub = [&](const std::string& user, const std::string& topic, const std::string& text) {
        return system((As("mosquitto_pub", user) + "-r -t " + topic + " -m " + text).c_str());
    };
    ASSERT_EQ(0, pub("teacher", "kel/5a/policy/tabnav", "A"));
    ASSERT_EQ(0, pub("t5b", "kel/5b/policy/tabnav", "B"));
    /* Accepted by the protocol, dropped by the ACL. */
    EXPECT_EQ(0, pub("t5b", "kel/5a/policy/tabnav", "X"));
    EXPECT_EQ(0, pub("b1", "kel/5a/presence/b1", "X"));
    EXPECT_EQ(0, pub("a1", "kel/5b/answer/a1/search", "X"));
    /* Each first topic would be delivered first if the other class's messages were readable. */
    EXPECT_EQ("kel/5b/policy/tabnav B\n", First("t5b", "-t kel/5a/# -t kel/5b/policy/tabnav"));
    EXPECT_EQ("kel/5b/policy/tabnav B\n", First("b1", "-t kel/5a/policy/tabnav -t kel/5b/policy/tabnav"));
    EXPECT_EQ("kel/5a/policy/tabnav A\n", First("a1", "-t kel/5b/policy/tabnav -t kel/5a/policy/tabnav"));
    EXPECT_EQ("kel/5a/policy/tabnav A\n", First("teacher", "-t kel/5a/presence/b1 -t kel/5a/policy/tabnav"));
    EXPECT_EQ("kel/5b/policy/tabnav B\n", First("t5b", "-t kel/5b/answer/a1/search -t kel/5b/policy/tabnav"));
}

} // namespace
