/* The local service's searches against hostile folders and against a caller that cancels and restarts them
 * a thousand times while their answers arrive. */
#include <gtest/gtest.h>

#include <glib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "../../libkel/src/ProgramSearch.h"
#include "IPCAPI.h"
#include "KELConstants.h"
#include "KELData.h"
#include "KelTest.h"
#include "ServiceFixture.h"

using namespace IPCAPI;
using LibKELData::CSearchResultData;

namespace {

/* Counts the answers; the callbacks take no GDK lock, so the test thread may keep it. */
struct Counter {
    std::mutex mutex;
    std::condition_variable changed;
    int answers = 0;
    int ends = 0; /* teacher side: answers with an empty student */

    void Add(bool end)
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++answers;
        ends += end;
        changed.notify_all();
    }
    bool WaitFor(int n)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(60), [&] { return answers >= n; });
    }
    int Get()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return answers;
    }
};

class Student : public CStudentAPICallbackBase {
public:
    Student()
    {
        int err = 0;
        EXPECT_EQ(0, GetStudentAPIObject()->RegisterCallBack(this, err));
    }
    ~Student() override { DetachCallBacks(); }
    void SearchLocalProgramCallBack(std::string) override { counter.Add(false); }
    IPCStudentAPI* Api() { return GetStudentAPIObject(); }
    Counter counter;
};

class Teacher : public CTeacherAPICallbackBase {
public:
    Teacher()
    {
        int err = 0;
        EXPECT_EQ(0, GetTeacherAPIObject()->RegisterCallBack(this, err));
    }
    ~Teacher() override { DetachCallBacks(); }
    void SearchProgramCallBack(std::string student, std::string) override { counter.Add(student.empty()); }
    IPCTeacherAPI* Api() { return GetTeacherAPIObject(); }
    Counter counter;
};

std::string ResultFile()
{
    return LibKELData::CONFIG_FILE_DIR + LibKELData::SEARCH_RESULT;
}

void Entry(const std::string& path, const std::string& name)
{
    keltest::WriteFile(path, "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=/bin/true " + name + "\n");
}

std::set<std::string> NamesOnDisk()
{
    std::set<std::string> names;
    CSearchResultData results;
    EXPECT_EQ(0, results.LoadFromFile(ResultFile()));
    if (results.GetPApplicationInfoList())
        for (const LibKELData::CApplicationInfo* app : *results.GetPApplicationInfoList())
            names.insert(app->GetName());
    return names;
}

} // namespace

TEST(SearchFaults, AFolderOfTrapsEndsTheSearchWithTheGoodEntriesOnly)
{
    ASSERT_TRUE(KelTest::StartPolicyService());
    const std::string tree = keltest::Root() + "/traps";
    Entry(tree + "/good.desktop", "Good");
    ASSERT_EQ(0, mkfifo((tree + "/fifo.desktop").c_str(), 0644)); /* opening it plainly would hang */
    ASSERT_EQ(0, symlink("/dev/zero", (tree + "/zero.desktop").c_str())); /* endless */
    ASSERT_EQ(0, symlink("/dev/null", (tree + "/null.desktop").c_str()));
    ASSERT_EQ(0, symlink("loop-b.desktop", (tree + "/loop-a.desktop").c_str()));
    ASSERT_EQ(0, symlink("loop-a.desktop", (tree + "/loop-b.desktop").c_str()));
    {
        int s = socket(AF_UNIX, SOCK_STREAM, 0);
        struct sockaddr_un a = {};
        a.sun_family = AF_UNIX;
        snprintf(a.sun_path, sizeof a.sun_path, "%s", (tree + "/sock.desktop").c_str());
        ASSERT_EQ(0, bind(s, (struct sockaddr*)&a, sizeof a));
        close(s);
    }
    ASSERT_TRUE(keltest::MakeDirs(tree + "/folder.desktop"));
    Entry(tree + "/folder.desktop/inside.desktop", "Inside");
    keltest::WriteFile(tree + "/binary.desktop", std::string("\x7f" "ELF\0\0\xff\xfe[Desktop Entry]\n", 24));
    /* GLib reads a line up to a NUL byte, as every launcher built on it does: "N". */
    keltest::WriteFile(tree + "/nul.desktop", std::string("[Desktop Entry]\nType=Application\nName=N\0ul\nExec=/bin/true\n", 55));
    keltest::WriteFile(tree + "/latin1.desktop", "[Desktop Entry]\nType=Application\nName=Gr\xFC\xDF" "e\nExec=/bin/true\n");
    keltest::WriteFile(tree + "/huge.desktop", "[Desktop Entry]\nType=Application\nName=Huge\nExec=/bin/true\n" +
                                                 std::string(2 * 1024 * 1024, '#'));
    keltest::WriteFile(tree + "/controls.desktop", "[Desktop Entry]\nType=Application\nName=Bell\x07\x1b[31m\nExec=/bin/true\n");
    Entry(tree + "/bad\xff\xfe name\n.desktop", "OddFileName");
    /* Deeper than any walk goes. */
    std::string deep = tree + "/deep";
    for (int i = 0; i < 80; ++i)
        deep += "/d";
    Entry(deep + "/deep.desktop", "TooDeep");
    Entry(tree + "/shallow/d/d/d/ok.desktop", "Shallow");
    /* A crowd of empty entries. */
    for (int i = 0; i < 5000; ++i)
        keltest::WriteFile(tree + "/crowd/e" + std::to_string(i) + ".desktop", "");

    Student student;
    int op = 0;
    ASSERT_EQ(0, student.Api()->SearchLocalProgram(tree, op, 1));
    ASSERT_TRUE(student.counter.WaitFor(1)) << "the search never ended";
    const std::set<std::string> expected = {"Good", "Inside", "N", "OddFileName", "Shallow"};
    EXPECT_EQ(expected, NamesOnDisk());

    /* The FIFO and the links are still what they were. */
    struct stat st;
    ASSERT_EQ(0, lstat((tree + "/fifo.desktop").c_str(), &st));
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

/* Starts a search, polling (bounded) while the one before is still writing its results. */
int StartWhenFree(const std::function<int(int&)>& start, int& busy)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        int op = 0;
        int rc = start(op);
        if (rc != IPC_ERR_BUSY)
            return rc == 0 ? op : rc;
        ++busy;
        if (std::chrono::steady_clock::now() > deadline)
            return rc;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
}

TEST(SearchFaults, LocalSearchCancelledAndRestartedAThousandTimesWhileAnswersArrive)
{
    ASSERT_TRUE(KelTest::StartPolicyService());
    /* Enough folders that a cancel can land in the walk, few enough that many searches end
     * (and answer) between two cancels. */
    const std::string tree = keltest::Root() + "/apps";
    for (int i = 0; i < 200; ++i)
        Entry(tree + "/d" + std::to_string(i % 40) + "/p" + std::to_string(i) + ".desktop", "P" + std::to_string(i));
    std::mt19937 rng(7);
    Student student;
    int cancelled = 0, refusedCancels = 0, busy = 0;
    std::set<int> ops;
    for (int round = 0; round < 1000; ++round) {
        int clear = (int)(rng() % 2);
        int op = StartWhenFree([&](int& o) { return student.Api()->SearchLocalProgram(tree, o, clear); }, busy);
        ASSERT_GT(op, 0) << "round " << round;
        ASSERT_TRUE(ops.insert(op).second) << "operation number handed out twice: " << op;
        /* Cancel at once, after a moment, or not at all (the search then answers). */
        unsigned how = rng() % 4;
        if (how == 3)
            continue;
        for (unsigned spin = how * 200; spin > 0; --spin)
            std::this_thread::yield();
        int err = 0;
        if (student.Api()->CancelOperation(op, err) == 0) {
            ++cancelled;
        } else {
            ++refusedCancels;
            EXPECT_NE(0, err) << "a refused cancel without an error";
        }
    }
    /* Every search that was not cancelled answers once; a cancelled one never does. */
    const int expected = 1000 - cancelled;
    ASSERT_TRUE(student.counter.WaitFor(expected)) << student.counter.Get() << " of " << expected;
    /* One more, so that a stray late answer would already be counted. */
    ASSERT_GT(StartWhenFree([&](int& o) { return student.Api()->SearchLocalProgram(tree, o, 0); }, busy), 0);
    ASSERT_TRUE(student.counter.WaitFor(expected + 1));
    EXPECT_EQ(expected + 1, student.counter.Get());
    std::printf("1000 searches: %d cancelled, %d cancels refused (search already ending), %d starts waited, "
                "%d answers\n",
                cancelled, refusedCancels, busy, student.counter.Get());
    EXPECT_GT(cancelled, 0);
    EXPECT_EQ(200u, NamesOnDisk().size());
}

TEST(SearchFaults, RemoteSearchCancelledAndRestartedAThousandTimesWhileAnswersArrive)
{
    const std::string tree = keltest::Root() + "/apps";
    for (int i = 0; i < 10; ++i)
        Entry(tree + "/p" + std::to_string(i) + ".desktop", "P" + std::to_string(i));
    LibKELData::CStudentInfoData roster;
    for (int i = 0; i < 3; ++i)
        roster.AddStudent("S" + std::to_string(i), "10.0.0." + std::to_string(i));
    ASSERT_EQ(0, roster.Save2File(LibKELData::CONFIG_FILE_DIR + LibKELData::STUDENT_INFO));

    std::mt19937 rng(11);
    Teacher teacher;
    int cancelled = 0, busy = 0;
    for (int round = 0; round < 1000; ++round) {
        int clear = (int)(rng() % 2);
        int op = StartWhenFree([&](int& o) { return teacher.Api()->SearchProgram(tree, o, clear); }, busy);
        ASSERT_GT(op, 0) << "round " << round;
        unsigned how = rng() % 4;
        if (how == 3)
            continue;
        for (unsigned spin = how * 200; spin > 0; --spin)
            std::this_thread::yield();
        int err = 0;
        cancelled += teacher.Api()->CancelOperation(op, err) == 0;
    }
    const int starts = 1000;
    /* A search not cancelled ends with every student's answer; one cancelled between two
     * students has answered for some of them only. */
    EXPECT_GT(cancelled, 0);
    const int atLeast = (starts - cancelled) * 3;
    ASSERT_TRUE(teacher.counter.WaitFor(atLeast)) << teacher.counter.Get() << " of at least " << atLeast;
    EXPECT_LE(teacher.counter.Get(), starts * 3);
    EXPECT_EQ(0, teacher.counter.ends) << "the service never sends the empty student";
    EXPECT_EQ(10u, NamesOnDisk().size());
}

TEST(SearchFaults, DesktopEntryWithABadEscapeLeaksNothing)
{
    /* GLib's own lookup of a value in the user's language loses an error whenever the value
     * holds an escape it does not know; a search of a folder full of such entries must not
     * grow the service (the sanitizer run sees the leak). The names still read in the
     * user's language where the entry has one. */
    const std::string entry = "[Desktop Entry]\nType=Application\nName=Bad\\x escape\nName[de]=Schlecht\n"
                              "Exec=/bin/true\nIcon=bad\\y\nIcon[de]=b\\q\n";
    ProgramSearchEnvironment env;
    std::atomic<bool> cancel(false);
    const std::pair<const char*, const char*> expected[] = {{"C", "Bad\\x escape"}, {"de", "Schlecht"}};
    for (const auto& e : expected) {
        g_setenv("LANGUAGE", e.first, TRUE);
        for (int i = 0; i < 100; ++i) {
            CProgramSearch search(env, &cancel);
            FoundProgram program;
            ASSERT_TRUE(search.ReadDesktopEntry(entry, program)) << e.first;
            EXPECT_EQ(e.second, program.name) << e.first;
        }
    }
    g_unsetenv("LANGUAGE");
}
