/* The local service's program search, driven through the student and teacher APIs on trees of desktop entries. */
#include <gtest/gtest.h>

#include <dirent.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "../../libkel/src/ProgramSearch.h"
#include "IPCAPI.h"
#include "KELConstants.h"
#include "KELData.h"
#include "KELLog.h"
#include "KelTest.h"

using namespace IPCAPI;
using LibKELData::CApplicationInfo;
using LibKELData::CSearchResultData;

namespace {

/* Completions as the service delivers them, with the thread they came on. The callbacks take
 * no GDK lock, so the test thread may keep it while waiting. */
struct Answers {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> students;
    std::vector<std::string> results;
    std::vector<std::thread::id> threads;
    std::vector<size_t> programsInFileAtAnswer;
    bool gateClosed = false;

    void Add(const std::string& student, const std::string& result)
    {
        size_t inFile = 0;
        CSearchResultData file;
        if (file.LoadFromFile(LibKELData::CONFIG_FILE_DIR + LibKELData::SEARCH_RESULT) == 0 &&
            file.GetPApplicationInfoList())
            inFile = file.GetPApplicationInfoList()->size();
        std::unique_lock<std::mutex> lock(mutex);
        students.push_back(student);
        results.push_back(result);
        threads.push_back(std::this_thread::get_id());
        programsInFileAtAnswer.push_back(inFile);
        changed.notify_all();
        changed.wait_for(lock, std::chrono::seconds(20), [this] { return !gateClosed; });
    }
    bool WaitForCount(size_t n)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20), [&] { return results.size() >= n; });
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return results.size();
    }
    void SetGate(bool closed)
    {
        std::lock_guard<std::mutex> lock(mutex);
        gateClosed = closed;
        changed.notify_all();
    }
};

class StudentSide : public CStudentAPICallbackBase {
public:
    StudentSide()
    {
        int err = -99;
        EXPECT_EQ(0, GetStudentAPIObject()->RegisterCallBack(this, err));
        EXPECT_EQ(0, err);
    }
    ~StudentSide() override { DetachCallBacks(); }
    void SearchLocalProgramCallBack(std::string result) override { answers.Add("", result); }
    IPCStudentAPI* Api() { return GetStudentAPIObject(); }
    Answers answers;
};

class TeacherSide : public CTeacherAPICallbackBase {
public:
    TeacherSide()
    {
        int err = -99;
        EXPECT_EQ(0, GetTeacherAPIObject()->RegisterCallBack(this, err));
    }
    ~TeacherSide() override { DetachCallBacks(); }
    void SearchProgramCallBack(std::string student, std::string result) override { answers.Add(student, result); }
    IPCTeacherAPI* Api() { return GetTeacherAPIObject(); }
    Answers answers;
};

std::string Root()
{
    return keltest::Root();
}

std::string ResultFile()
{
    return keltest::EtcKel() + "SearchResult.xml";
}

void WriteExecutable(const std::string& path)
{
    keltest::WriteFile(path, "#!/bin/sh\nexit 0\n");
    chmod(path.c_str(), 0755);
}

void WriteEntry(const std::string& path, const std::string& body)
{
    keltest::WriteFile(path, "[Desktop Entry]\n" + body);
}

/* Programs in bin/ (one reached through PATH), a small hicolor theme and pixmaps in share/,
 * environment pointing at them. */
void MakeEnvironment()
{
    WriteExecutable(Root() + "/bin/kel-demo-tool");
    WriteExecutable(Root() + "/opt/viewer/kel-viewer");
    keltest::WriteFile(Root() + "/opt/viewer/not-executable", "data\n");
    std::string theme = Root() + "/share/icons/hicolor/";
    keltest::WritePng(theme + "32x32/apps/kel-demo-editor.png", 32);
    keltest::WritePng(theme + "48x48/apps/kel-demo-editor.png", 48);
    keltest::WritePng(theme + "256x256/apps/kel-demo-editor.png", 64);
    keltest::WriteFile(theme + "scalable/apps/kel-demo-editor.svg", "<svg xmlns='http://www.w3.org/2000/svg'/>");
    keltest::WriteFile(theme + "scalable/apps/kel-demo-scalable.svg", "<svg xmlns='http://www.w3.org/2000/svg'/>");
    keltest::WritePng(theme + "48x48@2/apps/kel-demo-scaled.png", 96);
    keltest::WritePng(theme + "16x16/apps/kel-demo-scaled.png", 16);
    keltest::WriteFile(Root() + "/share/pixmaps/kel-demo-pixmap.xpm", "/* XPM */\n");
    keltest::WritePng(Root() + "/images/viewer.png", 48);

    setenv("PATH", (Root() + "/bin:/usr/bin:/bin").c_str(), 1);
    setenv("XDG_DATA_DIRS", (Root() + "/share").c_str(), 1);
    setenv("LANGUAGE", "de", 1);
}

std::vector<CApplicationInfo> ResultsOnDisk()
{
    CSearchResultData file;
    std::vector<CApplicationInfo> out;
    if (file.LoadFromFile(ResultFile()) == 0 && file.GetPApplicationInfoList())
        for (CApplicationInfo* app : *file.GetPApplicationInfoList())
            out.push_back(*app);
    return out;
}

std::map<std::string, CApplicationInfo> ByName(const std::vector<CApplicationInfo>& apps)
{
    std::map<std::string, CApplicationInfo> out;
    for (const CApplicationInfo& a : apps)
        out[a.GetName()] = a;
    return out;
}

void WriteResults(const std::vector<CApplicationInfo>& apps)
{
    CSearchResultData file;
    for (const CApplicationInfo& a : apps)
        file.AddUnique(a);
    ASSERT_EQ(0, file.Save2File(ResultFile()));
}

int StartLocal(StudentSide& side, const std::string& folder, int clear)
{
    int op = -1;
    int rc = side.Api()->SearchLocalProgram(folder, op, clear);
    EXPECT_EQ(0, rc) << folder;
    EXPECT_GT(op, 0);
    return op;
}

/* Holds the search worker inside the log while it writes the line that starts with prefix. */
struct LogGate {
    std::mutex mutex;
    std::condition_variable changed;
    std::string prefix;
    bool reached = false;
    bool open = false;
    std::vector<std::string> lines;

    static void Sink(int, int, const std::string& text, void* self)
    {
        LogGate* g = static_cast<LogGate*>(self);
        std::unique_lock<std::mutex> lock(g->mutex);
        g->lines.push_back(text);
        if (text.compare(0, g->prefix.size(), g->prefix) == 0 && !g->reached) {
            g->reached = true;
            g->changed.notify_all();
            g->changed.wait_for(lock, std::chrono::seconds(20), [g] { return g->open; });
        }
    }
    bool WaitReached()
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20), [this] { return reached; });
    }
    void Open()
    {
        std::lock_guard<std::mutex> lock(mutex);
        open = true;
        changed.notify_all();
    }
};

} // namespace

TEST(ProgramSearch, FindsApplicationsWithLocalizedNamesProgramsAndIcons)
{
    MakeEnvironment();
    std::string apps = Root() + "/apps";
    WriteEntry(apps + "/editor.desktop", "Type=Application\nName=Editor\nName[de]=Bearbeiter\n"
                                         "Exec=kel-demo-tool --edit %U\nIcon=kel-demo-editor\n");
    WriteEntry(apps + "/sub/viewer.desktop", "Type=Application\nName=Viewer\nExec=\"" + Root() +
                                                 "/opt/viewer/kel-viewer\" \"--title=My Tool\" %f\n"
                                                 "TryExec=kel-demo-tool\nIcon=" +
                                                 Root() + "/images/viewer.png\n");
    WriteEntry(apps + "/sub/deep/er/scalable.desktop",
               "Type=Application\nName=Scalable\nExec=kel-demo-tool\nIcon=kel-demo-scalable\n");
    WriteEntry(apps + "/pixmap.desktop",
               "Type=Application\nName=Pixmap\nExec=kel-demo-tool %%s\nIcon=kel-demo-pixmap.xpm\n");
    WriteEntry(apps + "/scaled.desktop", "Type=Application\nName=Scaled\nExec=kel-demo-tool -s\nIcon=kel-demo-scaled\n");
    WriteEntry(apps + "/noicon.desktop",
               "Type=Application\nName=No Icon\nExec=kel-demo-tool -n\nIcon=kel-no-such-icon\n");
    WriteEntry(apps + "/twolines.desktop", "Type=Application\nName=Two\\nLines\nExec=kel-demo-tool -2\n");
    /* The policy files cannot hold this name; it must not cost the other results. */
    WriteEntry(apps + "/control.desktop", "Type=Application\nName=Bell\x07Name\nExec=kel-demo-tool -b\n");
    /* None of these is a program to offer. */
    WriteEntry(apps + "/hidden.desktop", "Type=Application\nName=Hidden\nExec=kel-demo-tool -h\nHidden=true\n");
    WriteEntry(apps + "/nodisplay.desktop", "Type=Application\nName=NoDisplay\nExec=kel-demo-tool -d\nNoDisplay=true\n");
    WriteEntry(apps + "/terminal.desktop", "Type=Application\nName=Console\nExec=kel-demo-tool -t\nTerminal=true\n");
    WriteEntry(apps + "/link.desktop", "Type=Link\nName=Link\nURL=http://example.invalid/\n");
    WriteEntry(apps + "/notype.desktop", "Name=No Type\nExec=kel-demo-tool -x\n");
    WriteEntry(apps + "/missing.desktop", "Type=Application\nName=Missing\nExec=kel-no-such-program\n");
    WriteEntry(apps + "/tryexec.desktop", "Type=Application\nName=TryExec\nExec=kel-demo-tool -y\nTryExec=kel-no-such-program\n");
    WriteEntry(apps + "/noexec.desktop", "Type=Application\nName=NotExecutable\nExec=" + Root() +
                                             "/opt/viewer/not-executable\n");
    WriteEntry(apps + "/relative.desktop", "Type=Application\nName=Relative\nExec=bin/kel-demo-tool\n");
    WriteEntry(apps + "/badquote.desktop", "Type=Application\nName=Bad Quote\nExec=kel-demo-tool \"unclosed\n");
    keltest::WriteFile(apps + "/garbage.desktop", "this is not a key file\n\x01\x02");
    keltest::WriteFile(apps + "/readme.txt", "[Desktop Entry]\nType=Application\nName=Text\nExec=kel-demo-tool\n");

    StudentSide side;
    StartLocal(side, apps, 1);
    ASSERT_TRUE(side.answers.WaitForCount(1));

    auto found = ByName(ResultsOnDisk());
    std::string bin = Root() + "/bin/kel-demo-tool";
    std::string theme = Root() + "/share/icons/hicolor/";
    ASSERT_EQ(7u, found.size());
    EXPECT_TRUE(found.count("Two Lines"));

    ASSERT_TRUE(found.count("Bearbeiter"));
    EXPECT_EQ(bin + " --edit", found["Bearbeiter"].GetPath());
    EXPECT_EQ(theme + "48x48/apps/kel-demo-editor.png", found["Bearbeiter"].GetCustomIcon());
    EXPECT_EQ(1, found["Bearbeiter"].GetEnable());

    ASSERT_TRUE(found.count("Viewer"));
    EXPECT_EQ(Root() + "/opt/viewer/kel-viewer '--title=My Tool'", found["Viewer"].GetPath());
    EXPECT_EQ(Root() + "/images/viewer.png", found["Viewer"].GetCustomIcon());

    ASSERT_TRUE(found.count("Scalable"));
    EXPECT_EQ(bin, found["Scalable"].GetPath());
    EXPECT_EQ(theme + "scalable/apps/kel-demo-scalable.svg", found["Scalable"].GetCustomIcon());

    ASSERT_TRUE(found.count("Pixmap"));
    EXPECT_EQ(bin + " %s", found["Pixmap"].GetPath());
    EXPECT_EQ(Root() + "/share/pixmaps/kel-demo-pixmap.xpm", found["Pixmap"].GetCustomIcon());

    /* A scaled folder serves high-density screens only. */
    ASSERT_TRUE(found.count("Scaled"));
    EXPECT_EQ(theme + "16x16/apps/kel-demo-scaled.png", found["Scaled"].GetCustomIcon());

    ASSERT_TRUE(found.count("No Icon"));
    EXPECT_EQ("", found["No Icon"].GetCustomIcon());

    /* The completion comes from a worker, never from the caller's thread. */
    EXPECT_NE(std::this_thread::get_id(), side.answers.threads[0]);
}

TEST(ProgramSearch, ExecValuesBecomeCommands)
{
    std::vector<std::string> argv;
    ASSERT_TRUE(SplitExec("prog %f --a=%u \"two words\" %% 100%% %i %c %k", argv));
    ASSERT_EQ(5u, argv.size());
    EXPECT_EQ("prog", argv[0]);
    EXPECT_EQ("--a=", argv[1]);
    EXPECT_EQ("two words", argv[2]);
    EXPECT_EQ("%", argv[3]);
    EXPECT_EQ("100%", argv[4]);
    EXPECT_EQ("prog --a= 'two words' % 100%", JoinCommand(argv));
    EXPECT_EQ("'/opt/my app/run' -x", JoinCommand({"/opt/my app/run", "-x"}));
    EXPECT_EQ("/bin/sh -c ''\\''quoted'\\'''", JoinCommand({"/bin/sh", "-c", "'quoted'"}));
    EXPECT_FALSE(SplitExec("", argv));
    EXPECT_FALSE(SplitExec("%f %U", argv));
    EXPECT_FALSE(SplitExec("prog \"unclosed", argv));
}

TEST(ProgramSearch, ClearReplacesEarlierResultsAndMergeAddsWithoutDuplicates)
{
    MakeEnvironment();
    WriteEntry(Root() + "/a/one.desktop", "Type=Application\nName=One\nExec=kel-demo-tool 1\n");
    WriteEntry(Root() + "/a/two.desktop", "Type=Application\nName=Two\nExec=kel-demo-tool 2\n");
    WriteEntry(Root() + "/b/three.desktop", "Type=Application\nName=Three\nExec=kel-demo-tool 3\n");
    WriteResults({CApplicationInfo("Earlier", "/usr/bin/earlier", "", 1),
                  CApplicationInfo("Same as One", Root() + "/bin/kel-demo-tool 1", "", 1)});

    StudentSide side;
    int first = StartLocal(side, Root() + "/a", 0);
    ASSERT_TRUE(side.answers.WaitForCount(1));
    auto merged = ResultsOnDisk();
    ASSERT_EQ(3u, merged.size()); /* One was there already, under its own name */
    EXPECT_EQ("Earlier", merged[0].GetName());
    EXPECT_EQ("Same as One", merged[1].GetName());
    EXPECT_EQ("Two", merged[2].GetName());

    int second = StartLocal(side, Root() + "/a", 0);
    ASSERT_TRUE(side.answers.WaitForCount(2));
    EXPECT_EQ(3u, ResultsOnDisk().size());
    EXPECT_GT(second, first);

    int third = StartLocal(side, Root() + "/b", 1);
    ASSERT_TRUE(side.answers.WaitForCount(3));
    auto cleared = ResultsOnDisk();
    ASSERT_EQ(1u, cleared.size());
    EXPECT_EQ("Three", cleared[0].GetName());
    EXPECT_GT(third, second);

    /* A folder that cannot be searched changes nothing, even when asked to clear. */
    StartLocal(side, Root() + "/no-such-folder", 1);
    ASSERT_TRUE(side.answers.WaitForCount(4));
    EXPECT_EQ(1u, ResultsOnDisk().size());
}

TEST(ProgramSearch, RefusedStartsLeaveTheCallerIdle)
{
    StudentSide side;
    int op = 7;
    EXPECT_EQ(IPC_ERR_INVALID_ARGUMENT, side.Api()->SearchLocalProgram("", op, 0));
    EXPECT_EQ(0, op);
    EXPECT_EQ(IPC_ERR_INVALID_ARGUMENT, side.Api()->SearchLocalProgram("relative/folder", op, 0));
    int err = 0;
    EXPECT_NE(0, side.Api()->RegisterCallBack(nullptr, err));
    EXPECT_EQ(IPC_ERR_INVALID_ARGUMENT, err);
    EXPECT_EQ(IPC_ERR_NO_SUCH_OPERATION, side.Api()->CancelOperation(12345, err));
    EXPECT_EQ(IPC_ERR_NO_SUCH_OPERATION, err);
    EXPECT_EQ(0u, side.answers.Count());
}

/* The worker is held inside the walk (in the log line of an oversized entry) while the test
 * cancels: the walk stops, nothing is written and no completion arrives. */
TEST(ProgramSearch, CancelStopsTheWalkAndNoCompletionFollows)
{
    MakeEnvironment();
    std::string tree = Root() + "/tree";
    keltest::WriteFile(tree + "/big.desktop", std::string(1024 * 1024 + 1, '#'));
    for (int i = 0; i < 20; ++i)
        WriteEntry(tree + "/d" + std::to_string(i) + "/p.desktop",
                   "Type=Application\nName=P" + std::to_string(i) + "\nExec=kel-demo-tool " + std::to_string(i) + "\n");
    WriteEntry(Root() + "/empty/none.txt", "");
    WriteResults({CApplicationInfo("Earlier", "/usr/bin/earlier", "", 1)});
    std::string before = keltest::ReadFile(ResultFile());

    StudentSide side;
    LogGate gate;
    gate.prefix = "Program search: entry too large";
    LibKELData::CKELLog::SetCapture(LogGate::Sink, &gate);
    int op = StartLocal(side, tree, 1);
    ASSERT_TRUE(gate.WaitReached());

    int other = 0;
    EXPECT_EQ(IPC_ERR_BUSY, side.Api()->SearchLocalProgram(Root() + "/empty", other, 0));
    int err = -99;
    EXPECT_EQ(0, side.Api()->CancelOperation(op, err));
    EXPECT_EQ(0, err);
    EXPECT_EQ(IPC_ERR_NO_SUCH_OPERATION, side.Api()->CancelOperation(op, err));
    gate.Open();

    /* A new search may start at once; its completion is the only one to arrive. */
    int next = StartLocal(side, Root() + "/empty", 0);
    ASSERT_TRUE(side.answers.WaitForCount(1));
    EXPECT_GT(next, op);
    LibKELData::CKELLog::SetCapture(nullptr, nullptr);
    EXPECT_EQ(1u, side.answers.Count());
    EXPECT_EQ(before, keltest::ReadFile(ResultFile()));
}

/* Loops through symbolic links end at a folder seen before; links to folders elsewhere are
 * followed; dangling links are ignored. */
TEST(ProgramSearch, SymbolicLinkLoopsAreWalkedOnce)
{
    MakeEnvironment();
    std::string tree = Root() + "/loop";
    WriteEntry(tree + "/inner/app.desktop", "Type=Application\nName=Inner\nExec=kel-demo-tool inner\n");
    WriteEntry(Root() + "/elsewhere/other.desktop", "Type=Application\nName=Elsewhere\nExec=kel-demo-tool out\n");
    ASSERT_EQ(0, symlink("..", (tree + "/inner/up").c_str()));
    ASSERT_EQ(0, symlink(".", (tree + "/inner/self").c_str()));
    ASSERT_EQ(0, symlink(tree.c_str(), (tree + "/inner/root").c_str()));
    ASSERT_EQ(0, symlink((Root() + "/elsewhere").c_str(), (tree + "/outside").c_str()));
    ASSERT_EQ(0, symlink((Root() + "/nothing-here").c_str(), (tree + "/dangling").c_str()));
    ASSERT_EQ(0, symlink((tree + "/inner/app.desktop").c_str(), (tree + "/linked.desktop").c_str()));

    StudentSide side;
    StartLocal(side, tree, 1);
    ASSERT_TRUE(side.answers.WaitForCount(1));
    /* Each folder once: the entry reached again through its link makes 3, not more. */
    EXPECT_EQ("found 3, new 2", side.answers.results[0]);
    auto found = ByName(ResultsOnDisk());
    EXPECT_EQ(2u, found.size());
    EXPECT_TRUE(found.count("Inner"));
    EXPECT_TRUE(found.count("Elsewhere"));
}

/* Root reads any folder, so the test gives up the two capabilities that let it; the worker
 * thread inherits the reduced set. */
TEST(ProgramSearch, UnreadableSubfolderIsSkippedAndLogged)
{
    MakeEnvironment();
    std::string tree = Root() + "/locked";
    WriteEntry(tree + "/open/a.desktop", "Type=Application\nName=Open\nExec=kel-demo-tool a\n");
    WriteEntry(tree + "/closed/b.desktop", "Type=Application\nName=Closed\nExec=kel-demo-tool b\n");
    ASSERT_EQ(0, chmod((tree + "/closed").c_str(), 0));

    if (geteuid() == 0) {
        __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2] = {};
        ASSERT_EQ(0, syscall(SYS_capget, &header, data));
        data[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        ASSERT_EQ(0, syscall(SYS_capset, &header, data));
    }
    /* access() would answer for the real root user; opening is what the walk does. */
    DIR* probe = opendir((tree + "/closed").c_str());
    ASSERT_EQ(nullptr, probe);

    keltest::LogCapture log;
    StudentSide side;
    StartLocal(side, tree, 1);
    ASSERT_TRUE(side.answers.WaitForCount(1));
    auto found = ByName(ResultsOnDisk());
    EXPECT_EQ(1u, found.size());
    EXPECT_TRUE(found.count("Open"));
    /* The reason is in the user's language (German here). */
    std::string prefix = "Program search: cannot open folder " + tree + "/closed: ";
    int skipped = 0;
    for (const auto& line : log.Lines())
        if (line.text.compare(0, prefix.size(), prefix) == 0 && line.text.size() > prefix.size() + 9 &&
            line.text.compare(line.text.size() - 9, 9, ", skipped") == 0)
            ++skipped;
    EXPECT_EQ(1, skipped);
    chmod((tree + "/closed").c_str(), 0755);
}

TEST(ProgramSearch, TeacherSearchAnswersOncePerRosterStudentAfterMerging)
{
    MakeEnvironment();
    WriteEntry(Root() + "/apps/one.desktop", "Type=Application\nName=One\nExec=kel-demo-tool 1\n");
    WriteEntry(Root() + "/apps/two.desktop", "Type=Application\nName=Two\nExec=kel-demo-tool 2\n");
    keltest::WriteFile(keltest::EtcKel() + "StudentInfo.xml",
                       "<StudentInfo version=\"1\"><Student name=\"Anna\" address=\"10.0.0.1\"/>"
                       "<Student name=\"\" address=\"10.0.0.2\"/><Student name=\"Carl\" address=\"10.0.0.3\"/>"
                       "</StudentInfo>");
    WriteResults({CApplicationInfo("Earlier", "/usr/bin/earlier", "", 1)});

    TeacherSide side;
    std::list<tagStudent_t> students;
    int err = -99;
    EXPECT_EQ(0, side.Api()->GetStudentList(students, err));
    ASSERT_EQ(3u, students.size());
    EXPECT_EQ("Anna", students.front().name);
    EXPECT_EQ("10.0.0.3", students.back().address);

    /* Held in the first answer: the search cannot be cancelled while an answer is on its way. */
    side.answers.SetGate(true);
    int op = 0;
    ASSERT_EQ(0, side.Api()->SearchProgram(Root() + "/apps", op, 1));
    ASSERT_GT(op, 0);
    ASSERT_TRUE(side.answers.WaitForCount(1));
    EXPECT_EQ(IPC_ERR_BUSY, side.Api()->CancelOperation(op, err));
    EXPECT_EQ(IPC_ERR_BUSY, err);
    side.answers.SetGate(false);
    ASSERT_TRUE(side.answers.WaitForCount(3));

    /* No name makes no end marker: the address stands in. Nothing follows the last answer. */
    EXPECT_EQ((std::vector<std::string>{"Anna", "10.0.0.2", "Carl"}), side.answers.students);
    EXPECT_EQ(2u, side.answers.programsInFileAtAnswer[0]); /* cleared, then merged, then answered */
    for (std::thread::id t : side.answers.threads)
        EXPECT_NE(std::this_thread::get_id(), t);
    EXPECT_EQ(IPC_ERR_NO_SUCH_OPERATION, side.Api()->CancelOperation(op, err));

    /* An empty classroom still ends the search, with the end marker alone. */
    remove((keltest::EtcKel() + "StudentInfo.xml").c_str());
    EXPECT_EQ(0, side.Api()->GetStudentList(students, err));
    EXPECT_TRUE(students.empty());
    ASSERT_EQ(0, side.Api()->SearchProgram(Root() + "/apps", op, 0));
    ASSERT_TRUE(side.answers.WaitForCount(4));
    EXPECT_EQ("", side.answers.students[3]);
    EXPECT_EQ(2u, ResultsOnDisk().size());

    keltest::WriteFile(keltest::EtcKel() + "StudentInfo.xml", "<StudentInfo><Student name=");
    students.push_back(tagStudent_t{"stale", ""});
    EXPECT_NE(0, side.Api()->GetStudentList(students, err));
    EXPECT_EQ(IPC_ERR_PARSE, err);
    EXPECT_TRUE(students.empty());
}

/* A callback object deleted before its search ends is dropped from the service; the one still
 * registered gets the completion. */
TEST(ProgramSearch, CompletionSkipsDeletedCallbackObjects)
{
    MakeEnvironment();
    WriteEntry(Root() + "/apps/one.desktop", "Type=Application\nName=One\nExec=kel-demo-tool 1\n");
    StudentSide* gone = new StudentSide;
    std::shared_ptr<CCallbackLink> goneLink = gone->GetCallbackLink();
    StudentSide side;
    delete gone;
    StartLocal(side, Root() + "/apps", 1);
    ASSERT_TRUE(side.answers.WaitForCount(1));
    EXPECT_TRUE(goneLink->IsDetached());
    EXPECT_EQ(1u, ResultsOnDisk().size());
}

namespace {
LogGate* g_ExitGate = nullptr;
}

/* The process ends while the worker is inside a walk: at exit the walk is stopped and waited
 * for (before the libraries' static objects go), and the exit neither hangs nor crashes. */
TEST(ProgramSearch, ProcessEndsCleanlyWhileASearchWalks)
{
    MakeEnvironment();
    std::string tree = Root() + "/tree";
    keltest::WriteFile(tree + "/big.desktop", std::string(1024 * 1024 + 1, '#'));
    for (int i = 0; i < 20; ++i)
        WriteEntry(tree + "/d" + std::to_string(i) + "/p.desktop",
                   "Type=Application\nName=P" + std::to_string(i) + "\nExec=kel-demo-tool " + std::to_string(i) + "\n");

    g_ExitGate = new LogGate; /* never freed: the worker is still in it when the process ends */
    g_ExitGate->prefix = "Program search: entry too large";
    LibKELData::CKELLog::SetCapture(LogGate::Sink, g_ExitGate);
    StudentSide side;
    StartLocal(side, tree, 1);
    ASSERT_TRUE(g_ExitGate->WaitReached());
    /* Registered after the service's own exit handler, so it runs first and lets the walk go on. */
    atexit([] { g_ExitGate->Open(); });
}
