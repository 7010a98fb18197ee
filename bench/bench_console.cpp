/* The teacher's console through one local broker, its students light clients on one thread:
 * start-up to the first expose with 40 students online, against the console's Shell Settings
 * window started the same way (each a fresh process); and, with 400 students in this process,
 * one student's change until its row is drawn again (limit 100 ms; the baseline is the same
 * change heard by a plain callback of the classroom library) and the longest main-loop stall while the whole class
 * locks, takes a deployed policy and gets new names (limit 50 ms; the raw figure is the same
 * console idle). Runs under a display (Xvfb). */
#include "GuiWait.h"
#include "Harness.h"

#include "CTeacherConsole.h"
#include "IPCAPI.h"
#include "KELData.h"
#include "KELGuiCommon.h"
#include "KELPaths.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>

using namespace kelbench;

namespace {

const int kStartup = 40, kLight = 400;
std::string g_Root;

void Run(const std::string& command)
{
    if (system(command.c_str()) != 0)
        fprintf(stderr, "bench_console: failed: %s\n", command.c_str());
}

/* The roster: students l0 .. l(n-1), named with prefix. */
void Roster(int n, const std::string& prefix)
{
    std::string text = "<StudentInfo version=\"1\">";
    for (int i = 0; i < n; ++i)
        text += "<Student name=\"" + prefix + std::to_string(i) + "\" address=\"l" + std::to_string(i) + "\"/>";
    text += "</StudentInfo>";
    std::string file = LibKELData::CONFIG_FILE_DIR + LibKELData::STUDENT_INFO;
    g_file_set_contents((file + ".new").c_str(), text.c_str(), -1, nullptr);
    rename((file + ".new").c_str(), file.c_str());
}

/* The notebooks: kelbench_light_class, a process of its own, fed commands through a pipe. */
class CLightClass {
public:
    void Start(int n)
    {
        int in[2];
        if (pipe2(in, O_CLOEXEC) != 0)
            return;
        m_Pid = fork();
        if (m_Pid == 0) {
            dup2(in[0], 0);
            execl(KELBENCH_LIGHT_CLASS, KELBENCH_LIGHT_CLASS, std::to_string(n).c_str(), (char*)nullptr);
            _exit(127);
        }
        close(in[0]);
        m_In = in[1];
    }
    void Stop()
    {
        close(m_In);
        waitpid(m_Pid, nullptr, 0);
    }
    /* Student i's screen lock as its notebook tells it. */
    void Say(int i, int bits) { Send("say " + std::to_string(i) + " " + std::to_string(bits) + "\n"); }
private:
    void Send(const std::string& line)
    {
        if (write(m_In, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            perror("bench_console: the light class");
    }
    pid_t m_Pid = -1;
    int m_In = -1;
};

/* ------------------------------------------------------------ start-up, fresh processes */

struct Started {
    double exposeMs = -1; /* exec to first expose */
    double onlineMs = -1; /* exec to every student shown online */
};

Started RunHost(const char* mode)
{
    Started run;
    int fds[2];
    if (pipe(fds) != 0)
        return run;
    double start = NowMs();
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        setenv("KELBENCH_FD", std::to_string(fds[1]).c_str(), 1);
        setenv("KELBENCH_MODE", mode, 1);
        setenv("KELBENCH_STUDENTS", std::to_string(kStartup).c_str(), 1);
        execl(KELBENCH_CONSOLE_HOST, KELBENCH_CONSOLE_HOST, (char*)nullptr);
        _exit(127);
    }
    close(fds[1]);
    std::string text;
    char buf[256];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        text.append(buf, n);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    const char* e = strstr(text.c_str(), "E ");
    const char* o = strstr(text.c_str(), "O ");
    if (e)
        run.exposeMs = atoll(e + 2) / 1e6 - start;
    if (o)
        run.onlineMs = atoll(o + 2) / 1e6 - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !e || (std::string(mode) == "console" && !o))
        fprintf(stderr, "the console host (%s) ended with status %d after \"%s\"\n", mode, status, text.c_str());
    return run;
}

void BM_ConsoleStartup(benchmark::State& state)
{
    for (auto _ : state) {
        Roster(kStartup, "Student ");
        CLightClass light;
        light.Start(kStartup);
        /* The rc file and the day's first sight of each student are written once, not timed. */
        RunHost("console");
        double online = 0;
        std::vector<double> shown;
        Comparison c = Interleave([] { return RunHost("settings").exposeMs; },
                                  [&] {
                                      Started s = RunHost("console");
                                      shown.push_back(s.onlineMs - s.exposeMs);
                                      return s.exposeMs;
                                  });
        online = Median(std::vector<double>(shown.begin() + 1, shown.end()));
        AddTimeRow(state, "Teacher's console, 40 students online: exec to first expose",
                   "the console's Shell Settings window on the sample policy: exec to first expose", c, 1.5);
        char note[160];
        snprintf(note, sizeof note, "every row online %.0f ms after the first expose (median)", online);
        AppendNote(note);
        light.Stop();
        state.SetIterationTime(0.001);
    }
}

/* ------------------------------------------------------------ 400 students, one process */

/* The longest gap between two dispatches of a 5 ms timer that takes the GDK lock as GTK's own
 * sources do: what a user's click would wait for. */
struct Ticker {
    gint64 last = 0;
    gint64 longest = 0;
    guint source = 0;
    void Start()
    {
        last = g_get_monotonic_time();
        longest = 0;
        source = gdk_threads_add_timeout_full(G_PRIORITY_HIGH, 5, Tick, this, nullptr);
    }
    double StopMs()
    {
        g_source_remove(source);
        return longest / 1000.0;
    }
    static gboolean Tick(gpointer self)
    {
        Ticker* t = static_cast<Ticker*>(self);
        gint64 now = g_get_monotonic_time();
        t->longest = std::max(t->longest, now - t->last);
        t->last = now;
        return TRUE;
    }
};

/* Runs the main loop until pred holds (60 s at most); false when it did not. */
bool Pump(const std::function<bool()>& pred)
{
    Ticker wake; /* the loop never sleeps past a check */
    wake.Start();
    gint64 until = g_get_monotonic_time() + 60 * G_USEC_PER_SEC;
    while (!pred() && g_get_monotonic_time() < until) {
        gdk_threads_leave();
        g_main_context_iteration(NULL, TRUE);
        gdk_threads_enter();
    }
    wake.StopMs();
    return pred();
}

bool Every(CTeacherConsole& console, int column, const std::string& text)
{
    for (int i = 0; i < kLight; ++i)
        if (console.RowText("l" + std::to_string(i), column) != text)
            return false;
    return true;
}

/* The same change heard without a window: the broker's and the classroom library's share. */
class CPlain : public IPCAPI::CTeacherAPICallbackBase {
public:
    CPlain()
    {
        int err = 0;
        GetTeacherAPIObject()->RegisterCallBack(this, err);
    }
    ~CPlain() override { DetachCallBacks(); }
    void NotifyStudentStatusChanged(std::string student, int status) override
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (student == "l0")
            m_Status = status;
        m_Changed.notify_all();
    }
    /* Milliseconds from now until student 0 is heard with bits; the GDK lock is left meanwhile,
     * as a main loop would, so that the window's own callback does not hold the delivery up. */
    double Time(CLightClass& light, int bits)
    {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Status = -1;
        }
        double t0 = NowMs();
        light.Say(0, bits);
        gdk_threads_leave();
        std::unique_lock<std::mutex> lock(m_Mutex);
        bool heard = m_Changed.wait_for(
            lock, std::chrono::seconds(10), [&] { return m_Status >= 0 && (m_Status & IPCAPI::STUDENT_LOCKED) == bits; });
        double ms = NowMs() - t0;
        lock.unlock();
        gdk_threads_enter();
        return heard ? ms : -1;
    }

private:
    std::mutex m_Mutex;
    std::condition_variable m_Changed;
    int m_Status = 0;
};

GtkWidget* FindView(GtkWidget* widget)
{
    if (GTK_IS_TREE_VIEW(widget))
        return widget;
    GtkWidget* found = nullptr;
    if (GTK_IS_CONTAINER(widget)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
        for (GList* l = children; l && !found; l = l->next)
            found = FindView(GTK_WIDGET(l->data));
        g_list_free(children);
    }
    return found;
}

void BM_ConsoleLive(benchmark::State& state)
{
    for (auto _ : state) {
        Roster(kLight, "Student ");
        CLightClass light;
        light.Start(kLight);
        CTeacherConsole* console = new CTeacherConsole;
        Ticker stalls;
        stalls.Start();
        console->Init();
        gtk_widget_show_all(console->GetWindow());
        bool online = Pump([&] { return Every(*console, CTeacherConsole::COL_ONLINE, LibKELGUI::Tr("Online")); });
        double startStall = stalls.StopMs();
        if (!online)
            fprintf(stderr, "bench_console: the 400 students were not all shown online\n");
        WaitIdle();

        /* One student's lock as its notebook tells it, until its row was drawn again. */
        CPlain plain;
        GdkWindow* rows = gtk_tree_view_get_bin_window(GTK_TREE_VIEW(FindView(console->GetWindow())));
        int bits = 0;
        Comparison change = Interleave([&] { return plain.Time(light, bits = bits ? 0 : IPCAPI::STUDENT_LOCKED); },
                                       [&] {
                                           bits = bits ? 0 : IPCAPI::STUDENT_LOCKED;
                                           std::string want = LibKELGUI::Tr(bits ? "Locked by the teacher" : "Unlocked");
                                           WaitIdle();
                                           ArmExpose(rows);
                                           double t0 = NowMs();
                                           light.Say(0, bits);
                                           double shown = WaitShown();
                                           while (shown > 0 && console->RowText("l0", CTeacherConsole::COL_LOCK) != want) {
                                               ArmExpose(rows);
                                               shown = WaitShown();
                                           }
                                           return shown > 0 ? shown - t0 : -1;
                                       });
        AddLimitRow(state, "Teacher's console, 400 students: one student's lock until its row is drawn again",
                    "the same change heard by a plain callback of the classroom library", change, 100);
        light.Say(0, 0);

        /* The whole class: locked or unlocked, a policy deployed and answered, new names. */
        int round = 0;
        Comparison stall = Interleave(
            [&] {
                Ticker idle;
                idle.Start();
                gint64 until = g_get_monotonic_time() + G_USEC_PER_SEC / 2;
                Pump([&] { return g_get_monotonic_time() >= until; });
                return idle.StopMs();
            },
            [&] {
                bool lock = ++round % 2 == 1;
                std::string prefix = lock ? "Pupil " : "Student ";
                Ticker busy;
                busy.Start();
                console->Lock(lock);
                console->DeployPolicy();
                Roster(kLight, prefix);
                bool done = Pump([&] {
                    return Every(*console, CTeacherConsole::COL_LOCK,
                                 LibKELGUI::Tr(lock ? "Locked by the teacher" : "Unlocked")) &&
                           Every(*console, CTeacherConsole::COL_POLICY, LibKELGUI::Tr("Current")) &&
                           console->RowText("l" + std::to_string(kLight - 1), CTeacherConsole::COL_NAME) ==
                               prefix + std::to_string(kLight - 1);
                });
                if (!done)
                    fprintf(stderr, "bench_console: the class's lock, deploy or names did not all show\n");
                return busy.StopMs();
            });
        AddLimitRow(state,
                    "Teacher's console, 400 students: longest main-loop stall while the class locks, takes a policy and "
                    "gets new names",
                    "the same console idle for 0.5 s", stall, 50);
        char note[120];
        snprintf(note, sizeof note, "while 400 students came online at start-up: %.0f ms", startStall);
        AppendNote(note);
        delete console;
        WaitIdle();
        light.Stop();
        state.SetIterationTime(0.001);
    }
}

#define KEL_BENCH(fn) BENCHMARK(fn)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond)
KEL_BENCH(BM_ConsoleStartup);
KEL_BENCH(BM_ConsoleLive);

} // namespace

int main(int argc, char** argv)
{
    g_Root = EnterPrivateRoot(argc, argv);
    if (!StartGtk(&argc, &argv)) {
        fprintf(stderr, "bench_console: no display\n");
        return 2;
    }
    /* The sample policy, its installed paths pointing into the copy, and the class's settings. */
    Run("cp -a '" KEL_SOURCE_DIR "/data/root/.' '" + g_Root + "/' && find '" + g_Root +
        "/etc/KEL' -type f -name '*.xml' -print0 | NEW_PREFIX='" + g_Root +
        "/etc/KEL/' xargs -0 -r perl -pi -e 'BEGIN { $r = $ENV{NEW_PREFIX} } s{/etc/KEL/}{$r}g'");
    std::string names;
    for (int i = 0; i < kLight; ++i)
        names += " l" + std::to_string(i);
    int port = 20000 + getpid() % 20000;
    Run("BROKER_USER=$(id -un) CONNECT_TIMEOUT=10 " KEL_SOURCE_DIR "/scripts/make-classroom.sh '" + g_Root +
        "/classroom' bench localhost " + std::to_string(port) + names + " >/dev/null");
    Run("cp '" + g_Root + "'/classroom/machines/teacher/* '" + g_Root + "/etc/KEL/'");
    pid_t broker = fork();
    if (broker == 0) {
        execl("/usr/sbin/mosquitto", "mosquitto", "-c", (g_Root + "/classroom/mosquitto.conf").c_str(), (char*)nullptr);
        _exit(127);
    }
    /* Until the broker listens. */
    std::string probe = "bash -c 'exec 3<>/dev/tcp/127.0.0.1/" + std::to_string(port) + "' 2>/dev/null";
    for (int i = 0; i < 100 && system(probe.c_str()) != 0; ++i)
        usleep(50000);
    int rc = RunBenchmarks(argc, argv);
    kill(broker, SIGTERM);
    waitpid(broker, nullptr, 0);
    _exit(rc);
}
