/* Classroom figures through one local broker: a class search with 40 student services
 * (kel-service --classroom processes) and with 400 light student clients, each against one local
 * search of the same folder in the same run; a policy deployed to 400 students and confirmed. */
#include "Harness.h"

#include "Classroom.h"
#include "IPCAPI.h"
#include "KELPaths.h"
#include "KELData.h"
#include "LocalService.h"

#include <mosquitto.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <thread>

using namespace kelbench;

namespace {

const int kProcesses = 40, kLight = 400, kEntries = 200;
std::string g_Root, g_Class;
/* Where the light students save: one disk cannot stand for 400 notebooks' own disks. */
std::string g_Light;

void Run(const std::string& command)
{
    if (system(command.c_str()) != 0)
        fprintf(stderr, "bench_classroom: failed: %s\n", command.c_str());
}

/* The teacher's console: answers and deploy confirmations counted as they arrive. */
class CTeacher : public IPCAPI::CTeacherAPICallbackBase {
public:
    CTeacher()
    {
        int err = 0;
        GetTeacherAPIObject()->RegisterCallBack(this, err);
    }
    ~CTeacher() override { DetachCallBacks(); }
    void SearchProgramCallBack(std::string, std::string) override { Count(); }
    void DeployTabNavPolicyCallBack(std::string, std::string result) override
    {
        if (result == "ok")
            Count();
    }
    int Online()
    {
        std::list<IPCAPI::tagStudent_t> list;
        int err = 0;
        GetTeacherAPIObject()->GetStudentList(list, err);
        return static_cast<int>(list.size());
    }
    void AwaitOnline(int n)
    {
        for (int i = 0; i < 600 && Online() != n; ++i)
            usleep(50000);
    }
    /* Milliseconds until n answers arrived after start(); negative when they did not. */
    double Time(int n, const std::function<int()>& start)
    {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Count = 0;
        }
        double t0 = NowMs();
        if (start() != 0)
            return -1;
        std::unique_lock<std::mutex> lock(m_Mutex);
        bool all = m_Changed.wait_for(lock, std::chrono::seconds(60), [&] { return m_Count >= n; });
        return all ? NowMs() - t0 : -1;
    }

private:
    void Count()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        ++m_Count;
        m_Changed.notify_all();
    }
    std::mutex m_Mutex;
    std::condition_variable m_Changed;
    int m_Count = 0;
};

CTeacher* g_Teacher = nullptr;

double LocalSearch()
{
    double t0 = NowMs();
    IPCAPI::CProgramSearch search(IPCAPI::ProgramSearchEnvironment::FromProcess(), nullptr);
    std::vector<IPCAPI::FoundProgram> found;
    search.Run(g_Root + "/apps", found);
    IPCAPI::MergeSearchResults(found, 1, g_Root + "/local-result.xml", nullptr);
    return NowMs() - t0;
}

double ClassSearch(int students)
{
    return g_Teacher->Time(students, [] {
        int op = 0;
        return g_Teacher->GetTeacherAPIObject()->SearchProgram("/apps", op, 1);
    });
}

/* 400 students on one thread, the library driven by poll: each walks the folder on a request
 * (one walk per request serves them all, as if each notebook walked on its own CPU at once),
 * and validates and saves a deployed policy into a file of its own. */
class CLightClass {
public:
    void Start(const std::string& machines)
    {
        for (int i = 0; i < kLight; ++i) {
            std::string id = "l" + std::to_string(i), reason;
            IPCAPI::ClassroomSettings s;
            IPCAPI::ClassroomSettings::Load(machines + "/" + id + "/classroom.conf", s, reason);
            mosquitto* m = IPCAPI::NewClassroomSession(s, "kel-light-" + id, this, reason);
            mosquitto_threaded_set(m, false);
            std::string presence = IPCAPI::topic::Presence(g_Class, id);
            mosquitto_will_set(m, presence.c_str(), 7, "offline", 1, true);
            mosquitto_message_callback_set(m, OnMessage);
            mosquitto_connect(m, s.host.c_str(), s.port, 60);
            mosquitto_subscribe(m, NULL, ("kel/" + g_Class + "/request/+").c_str(), 1);
            mosquitto_subscribe(m, NULL, ("kel/" + g_Class + "/policy/+").c_str(), 1);
            mosquitto_publish(m, NULL, presence.c_str(), 6, "online", 1, true);
            m_Clients.push_back(m);
            m_Ids.push_back(id);
        }
        m_Thread = std::thread([this] { Loop(); });
    }
    void Stop()
    {
        m_Stop = true;
        m_Thread.join();
        for (mosquitto* m : m_Clients)
            mosquitto_destroy(m);
    }

private:
    static void OnMessage(mosquitto* m, void* self, const mosquitto_message* msg)
    {
        static_cast<CLightClass*>(self)->Received(m, msg);
    }
    void Received(mosquitto* m, const mosquitto_message* msg)
    {
        size_t i = 0;
        while (m_Clients[i] != m)
            ++i;
        IPCAPI::ClassroomMessage in, out;
        IPCAPI::ClassroomMessage::Decode(std::string(static_cast<char*>(msg->payload), msg->payloadlen), in);
        std::string topic = msg->topic, what;
        if (topic.find("/request/rollcall") != std::string::npos) {
            std::string presence = IPCAPI::topic::Presence(g_Class, m_Ids[i]);
            mosquitto_publish(m, NULL, presence.c_str(), 6, "online", 1, true);
            return;
        }
        if (topic.find("/request/search") != std::string::npos) {
            if (in.Get("id") != m_WalkedFor) {
                m_WalkedFor = in.Get("id");
                IPCAPI::CProgramSearch search(IPCAPI::ProgramSearchEnvironment::FromProcess(), nullptr);
                std::vector<IPCAPI::FoundProgram> found;
                search.Run(g_Root + in.body, found);
                LibKELData::CSearchResultData programs;
                programs.SetPApplicationInfoList(new LibKELData::ApplicationInfoList);
                for (const auto& p : found)
                    programs.AddUnique(LibKELData::CApplicationInfo(p.name, p.command, p.icon, 1));
                programs.Save2String(m_Found);
                m_FoundCount = found.size();
            }
            out.fields = {{"id", in.Get("id")}, {"result", "found " + std::to_string(m_FoundCount)}};
            out.body = m_Found;
            what = "search";
        } else if (topic.find("/policy/") != std::string::npos) {
            LibKELData::CTabNavigationData policy;
            bool ok = policy.LoadFromString(in.body) == 0 &&
                      policy.Save2File(g_Light + m_Ids[i] + ".xml") == 0;
            out.fields = {{"kind", "tabnav"}, {"id", in.Get("id")}, {"result", ok ? "ok" : "error: not saved"}};
            what = "deploy";
        } else {
            return;
        }
        std::string payload = out.Encode();
        mosquitto_publish(m, NULL, IPCAPI::topic::Answer(g_Class, m_Ids[i], what).c_str(),
                          static_cast<int>(payload.size()), payload.data(), 1, false);
    }
    void Loop()
    {
        std::vector<pollfd> fds(m_Clients.size());
        while (!m_Stop) {
            for (size_t i = 0; i < m_Clients.size(); ++i)
                fds[i] = {mosquitto_socket(m_Clients[i]),
                          static_cast<short>(POLLIN | (mosquitto_want_write(m_Clients[i]) ? POLLOUT : 0)), 0};
            poll(fds.data(), fds.size(), 20);
            for (size_t i = 0; i < m_Clients.size(); ++i) {
                if (fds[i].revents & POLLIN)
                    mosquitto_loop_read(m_Clients[i], 1);
                if (mosquitto_want_write(m_Clients[i]))
                    mosquitto_loop_write(m_Clients[i], 1);
                mosquitto_loop_misc(m_Clients[i]);
            }
        }
    }
    std::vector<mosquitto*> m_Clients;
    std::vector<std::string> m_Ids;
    std::string m_WalkedFor, m_Found;
    size_t m_FoundCount = 0;
    std::atomic<bool> m_Stop{false};
    std::thread m_Thread;
};

void BM_ClassSearch(benchmark::State& state)
{
    for (auto _ : state) {
        std::vector<pid_t> students;
        for (int i = 0; i < kProcesses; ++i) {
            std::string root = g_Root + "/p" + std::to_string(i);
            pid_t pid = fork();
            if (pid == 0) {
                setenv("KEL_ROOT", root.c_str(), 1);
                execl(KEL_SERVICE, KEL_SERVICE, "--classroom", (char*)nullptr);
                _exit(127);
            }
            students.push_back(pid);
        }
        g_Teacher->AwaitOnline(kProcesses);
        Comparison c = Interleave(LocalSearch, [] { return ClassSearch(kProcesses); });
        AddTimeRow(state, "Class search, 40 student services (processes), 200 entries each",
                   "one local search of the same folder", c, 1.5);
        AppendNote("all 40 walk at once on this machine's cores; notebooks walk on their own");
        for (pid_t pid : students)
            kill(pid, SIGTERM);
        for (pid_t pid : students)
            waitpid(pid, nullptr, 0);
        g_Teacher->AwaitOnline(0);

        CLightClass light;
        light.Start(g_Root + "/classroom/machines");
        g_Teacher->AwaitOnline(kLight);
        c = Interleave(LocalSearch, [] { return ClassSearch(kLight); });
        AddTimeRow(state, "Class search, 400 student clients, 200 entries each", "one local search of the same folder",
                   c, 3.0);
        AppendNote("400 clients on one thread; one walk per request stands for 400 notebooks walking at once");
        std::string policy;
        LibKELData::CTabNavigationData tabs;
        tabs.LoadFromFile(LibKELData::CONFIG_FILE_DIR + "TabNavigation.xml");
        tabs.Save2String(policy);
        std::vector<double> deploys;
        for (int round = 0; round < Rounds(); ++round)
            deploys.push_back(g_Teacher->Time(kLight, [&] {
                int err = 0;
                return g_Teacher->GetTeacherAPIObject()->DeployTabNavPolicy(policy, err);
            }));
        Comparison d;
        d.candidateMs = Median(deploys);
        d.baselineMs = 1000;
        d.ratio = d.candidateMs / 1000;
        d.ratioMin = d.ratioMax = d.ratio;
        d.kept = static_cast<int>(deploys.size());
        AddTimeRow(state, "Policy deployed to 400 students, all confirmed (validated and saved)", "one second", d, 1.0);
        AppendNote("the 400 light students save into a tmpfs, one after the other");
        light.Stop();
        state.SetIterationTime(0.001);
    }
}

BENCHMARK(BM_ClassSearch)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    g_Root = EnterPrivateRoot(argc, argv);
    g_Class = "bench";
    rlimit files;
    if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    /* The folder every student searches, and the sample policy to deploy. */
    g_Light = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : g_Root.c_str()) + "/kelbench-light-" +
              std::to_string(getpid()) + "/";
    Run("mkdir -p '" + g_Root + "/apps' '" + g_Light + "' '" + g_Root + "/etc/KEL'");
    for (int i = 0; i < kEntries; ++i)
        std::ofstream(g_Root + "/apps/p" + std::to_string(i) + ".desktop")
            << "[Desktop Entry]\nType=Application\nName=Program " << i << "\nExec=/bin/echo " << i << "\n";
    Run("cp " KEL_SOURCE_DIR "/data/root/etc/KEL/TabNavigation.xml '" + g_Root + "/etc/KEL/'");
    std::string names = "";
    for (int i = 0; i < kProcesses; ++i)
        names += " p" + std::to_string(i);
    for (int i = 0; i < kLight; ++i)
        names += " l" + std::to_string(i);
    int port = 20000 + getpid() % 20000;
    Run("BROKER_USER=$(id -un) ANSWER_TIMEOUT=60 CONNECT_TIMEOUT=10 " KEL_SOURCE_DIR "/scripts/make-classroom.sh '" + g_Root +
        "/classroom' bench localhost " + std::to_string(port) + names + " >/dev/null");
    Run("cp '" + g_Root + "'/classroom/machines/teacher/* '" + g_Root + "/etc/KEL/'");
    for (int i = 0; i < kProcesses; ++i) {
        std::string root = g_Root + "/p" + std::to_string(i);
        Run("mkdir -p '" + root + "/etc/KEL' && cp '" + g_Root + "/classroom/machines/p" + std::to_string(i) +
            "'/* '" + root + "/etc/KEL/' && ln -s '" + g_Root + "/apps' '" + root + "/apps'");
    }
    pid_t broker = fork();
    if (broker == 0) {
        execl("/usr/sbin/mosquitto", "mosquitto", "-c", (g_Root + "/classroom/mosquitto.conf").c_str(), (char*)nullptr);
        _exit(127);
    }
    g_Teacher = new CTeacher;
    g_Teacher->AwaitOnline(0);
    int rc = RunBenchmarks(argc, argv);
    kill(broker, SIGTERM);
    waitpid(broker, nullptr, 0);
    Run("rm -rf '" + g_Light + "'");
    _exit(rc);
}
