/* The local service through the student and teacher APIs: the policy saves, and the program search on
 * trees of desktop entries. */
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "IPCAPI.h"
#include "KELConstants.h"
#include "KELData.h"
#include "KELLog.h"
#include "KelTest.h"

using namespace IPCAPI;
using keltest::Root;
using namespace LibKELData;

namespace {

const std::string kApp = "Type=Application\n";

std::string ResultFile()
{
    return CONFIG_FILE_DIR + SEARCH_RESULT;
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

/* The names in the result file, in its order. */
std::string Names()
{
    std::string names;
    for (const CApplicationInfo& app : ResultsOnDisk())
        names += app.GetName() + ";";
    return names;
}

/* Completions as the service delivers them, with the thread they came on; a closed gate holds the
 * service inside an answer. The callbacks take no GDK lock, so the test thread may keep it. */
class Side : public CStudentAPICallbackBase, public CTeacherAPICallbackBase {
public:
    Side()
    {
        int err = -99;
        EXPECT_EQ(0, Student()->RegisterCallBack(static_cast<CStudentAPICallbackBase*>(this), err));
        EXPECT_EQ(0, err);
        EXPECT_EQ(0, Teacher()->RegisterCallBack(static_cast<CTeacherAPICallbackBase*>(this), err));
    }
    ~Side() override
    {
        CStudentAPICallbackBase::DetachCallBacks();
        CTeacherAPICallbackBase::DetachCallBacks();
    }
    IPCStudentAPI* Student() { return GetStudentAPIObject(); }
    IPCTeacherAPI* Teacher() { return GetTeacherAPIObject(); }
    int Start(const std::string& folder, int clear)
    {
        int op = -1;
        EXPECT_EQ(0, Student()->SearchLocalProgram(folder, op, clear)) << folder;
        EXPECT_GT(op, 0);
        return op;
    }
    void SearchLocalProgramCallBack(std::string result) override { Add("", result); }
    void SearchProgramCallBack(std::string student, std::string result) override { Add(student, result); }
    bool WaitForCount(size_t n)
    {
        return keltest::WaitUntil([&] { return Count() >= n; });
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return results.size();
    }

    std::mutex mutex;
    std::vector<std::string> students, results;
    std::vector<std::thread::id> threads;
    std::atomic<bool> gateClosed{false};

private:
    void Add(const std::string& student, const std::string& result)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            students.push_back(student);
            results.push_back(result);
            threads.push_back(std::this_thread::get_id());
        }
        keltest::WaitUntil([this] { return !gateClosed; });
    }
};

void WriteEntry(const std::string& pathWithoutSuffix, const std::string& body)
{
    keltest::WriteFile(pathWithoutSuffix + ".desktop", "[Desktop Entry]\n" + body + "\n");
}

/* Programs in bin/ (one reached through PATH), a small hicolor theme and pixmaps in share/,
 * environment pointing at them. */
void MakeEnvironment()
{
    for (const char* program : {"/bin/kel-demo-tool", "/opt/viewer/kel-viewer"}) {
        keltest::WriteFile(Root() + program, "#!/bin/sh\nexit 0\n");
        chmod((Root() + program).c_str(), 0755);
    }
    keltest::WriteFile(Root() + "/opt/viewer/not-executable", "data\n");
    const std::string theme = Root() + "/share/icons/hicolor/";
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

void WriteResults(const std::vector<CApplicationInfo>& apps)
{
    CSearchResultData file;
    for (const CApplicationInfo& a : apps)
        file.AddUnique(a);
    ASSERT_EQ(0, file.Save2File(ResultFile()));
}

/* A tree whose oversized entry makes the walk log a line, where a LogGate can hold it. */
std::string MakeSlowTree()
{
    const std::string tree = Root() + "/tree";
    keltest::WriteFile(tree + "/big.desktop", std::string(1024 * 1024 + 1, '#'));
    for (int i = 0; i < 20; ++i)
        WriteEntry(tree + "/d" + std::to_string(i) + "/p", kApp + "Name=P" + std::to_string(i) + "\nExec=kel-demo-tool " + std::to_string(i));
    return tree;
}

/* Holds the search worker inside the log while it writes the line of the oversized entry. */
struct LogGate {
    std::atomic<bool> reached{false}, open{false};

    LogGate() { CKELLog::SetCapture(Sink, this); }
    static void Sink(int, int, const std::string& text, void* self)
    {
        LogGate* g = static_cast<LogGate*>(self);
        if (text.compare(0, 31, "Program search: entry too large") == 0 && !g->reached.exchange(true))
            keltest::WaitUntil([g] { return g->open.load(); });
    }
};

} // namespace

/* Refusals change nothing on disk; a good text replaces the file (as we write it, so byte for
 * byte); a folder where the file should be is reported as a failed save. */
TEST(LocalService, SaveCallsRefuseMalformedPolicyAndLeaveTheFileWhole)
{
    typedef int (IPCStudentAPI::*SaveCall)(const std::string&, int&);
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    const struct {
        SaveCall call;
        const char* file;
        std::string xml; /* as we write it, so the saved file must hold it byte for byte */
    } cases[] = {
        {&IPCStudentAPI::SaveLocalSchedulePolicy, "LockSchedule.xml",
         head + "<LockSchedule version=\"1\" autoLock=\"1\" manualLock=\"0\" lockStatus=\"2\">\n"
                "  <Section day=\"2\" start=\"22\" end=\"23\"/>\n</LockSchedule>\n"},
        {&IPCStudentAPI::SaveLocalTabNavPolicy, "TabNavigation.xml",
         head + "<TabNavigation version=\"1\">\n  <Category name=\"Internet\" icon=\"\">\n"
                "    <Application name=\"Browser\" path=\"/usr/bin/browser\" icon=\"\" enable=\"1\"/>\n"
                "  </Category>\n</TabNavigation>\n"},
        {&IPCStudentAPI::HardWareControl, "KELSystemSetting.xml",
         head + "<KELSystemSetting version=\"1\" usbStorageEnabled=\"0\" newStudentConnectDialog=\"1\"/>\n"},
    };
    IPCStudentAPI* api = GetStudentAPI();
    for (size_t i = 0; i < 3; ++i) {
        const auto& c = cases[i];
        const std::string path = keltest::EtcKel() + c.file;
        ASSERT_TRUE(keltest::WriteFile(path, "old"));
        /* Not XML, cut short, another record's policy, an external entity. */
        const std::string refused[] = {"", "not xml at all", c.xml.substr(0, c.xml.size() / 2), cases[(i + 1) % 3].xml,
                                       "<!DOCTYPE x [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><x>&e;</x>"};
        for (const std::string& text : refused) {
            int err = 0;
            EXPECT_NE(0, (api->*c.call)(text, err)) << c.file << ": " << text;
            EXPECT_EQ(IPC_ERR_PARSE, err) << c.file << ": " << text;
            EXPECT_EQ("old", keltest::ReadFile(path)) << c.file << ": " << text;
        }
        int err = -99;
        EXPECT_EQ(0, (api->*c.call)(c.xml, err)) << c.file;
        EXPECT_EQ(IPC_OK, err);
        EXPECT_EQ(c.xml, keltest::ReadFile(path)) << c.file;
        /* A folder where the file should be. */
        ASSERT_EQ(0, remove(path.c_str()));
        ASSERT_EQ(0, mkdir(path.c_str(), 0755));
        EXPECT_NE(0, (api->*c.call)(c.xml, err)) << c.file;
        EXPECT_EQ(IPC_ERR_SAVE, err) << c.file;
    }
}

TEST(ProgramSearch, FindsApplicationsWithLocalizedNamesProgramsAndIcons)
{
    MakeEnvironment();
    const std::string apps = Root() + "/apps/";
    const std::pair<const char*, std::string> entries[] = {
        {"editor", kApp + "Name=Editor\nName[de]=Bearbeiter\nExec=kel-demo-tool --edit %U %i %c %k\nIcon=kel-demo-editor"},
        {"sub/viewer", kApp + "Name=Viewer\nExec=\"" + Root() + "/opt/viewer/kel-viewer\" \"--title=My Tool\" \"--owner=Bob's\" %f\n"
                              "TryExec=kel-demo-tool\nIcon=" + Root() + "/images/viewer.png"},
        {"sub/deep/er/scalable", kApp + "Name=Scalable\nExec=kel-demo-tool\nIcon=kel-demo-scalable"},
        {"pixmap", kApp + "Name=Pixmap\nExec=kel-demo-tool %%s 100%%\nIcon=kel-demo-pixmap.xpm"},
        {"scaled", kApp + "Name=Scaled\nExec=kel-demo-tool -s\nIcon=kel-demo-scaled"},
        {"noicon", kApp + "Name=No Icon\nExec=kel-demo-tool -n\nIcon=kel-no-such-icon"},
        {"twolines", kApp + "Name=Two\\nLines\nExec=kel-demo-tool -2"},
        /* The policy files cannot hold this name; it must not cost the other results. */
        {"control", kApp + "Name=Bell\x07Name\nExec=kel-demo-tool -b"},
        /* None of these is a program to offer. */
        {"hidden", kApp + "Name=Hidden\nExec=kel-demo-tool -h\nHidden=true"},
        {"nodisplay", kApp + "Name=NoDisplay\nExec=kel-demo-tool -d\nNoDisplay=true"},
        {"terminal", kApp + "Name=Console\nExec=kel-demo-tool -t\nTerminal=true"},
        {"link", "Type=Link\nName=Link\nURL=http://example.invalid/"},
        {"notype", "Name=No Type\nExec=kel-demo-tool -x"},
        {"missing", kApp + "Name=Missing\nExec=kel-no-such-program"},
        {"tryexec", kApp + "Name=TryExec\nExec=kel-demo-tool -y\nTryExec=kel-no-such-program"},
        {"noexec", kApp + "Name=NotExecutable\nExec=" + Root() + "/opt/viewer/not-executable"},
        {"relative", kApp + "Name=Relative\nExec=bin/kel-demo-tool"},
        {"badquote", kApp + "Name=Bad Quote\nExec=kel-demo-tool \"unclosed"},
        {"onlycodes", kApp + "Name=Only Codes\nExec=%f %U"},
    };
    for (const auto& e : entries)
        WriteEntry(apps + e.first, e.second);
    keltest::WriteFile(apps + "garbage.desktop", "this is not a key file\n\x01\x02");
    keltest::WriteFile(apps + "readme.txt", "[Desktop Entry]\nType=Application\nName=Text\nExec=kel-demo-tool\n");

    Side side;
    side.Start(apps, 1);
    ASSERT_TRUE(side.WaitForCount(1));
    /* The completion comes from a worker, never from the caller's thread. */
    EXPECT_NE(std::this_thread::get_id(), side.threads[0]);

    std::map<std::string, CApplicationInfo> found;
    for (const CApplicationInfo& app : ResultsOnDisk())
        found[app.GetName()] = app;
    const std::string bin = Root() + "/bin/kel-demo-tool", theme = Root() + "/share/icons/hicolor/";
    const std::string expected[][3] = {
        {"Bearbeiter", bin + " --edit", theme + "48x48/apps/kel-demo-editor.png"},
        {"Viewer", Root() + "/opt/viewer/kel-viewer '--title=My Tool' '--owner=Bob'\\''s'", Root() + "/images/viewer.png"},
        {"Scalable", bin, theme + "scalable/apps/kel-demo-scalable.svg"},
        {"Pixmap", bin + " %s 100%", Root() + "/share/pixmaps/kel-demo-pixmap.xpm"},
        /* A scaled folder serves high-density screens only. */
        {"Scaled", bin + " -s", theme + "16x16/apps/kel-demo-scaled.png"},
        {"No Icon", bin + " -n", ""},
        {"Two Lines", bin + " -2", ""},
    };
    EXPECT_EQ(7u, found.size());
    for (const auto& e : expected) {
        EXPECT_EQ(1u, found.count(e[0])) << e[0];
        EXPECT_EQ(e[1] + " | " + e[2], found[e[0]].GetPath() + " | " + found[e[0]].GetCustomIcon()) << e[0];
    }
}

TEST(ProgramSearch, ClearReplacesMergeAddsWithoutDuplicatesAndCancelWritesNothing)
{
    MakeEnvironment();
    WriteEntry(Root() + "/a/one", kApp + "Name=One\nExec=kel-demo-tool 1");
    WriteEntry(Root() + "/a/two", kApp + "Name=Two\nExec=kel-demo-tool 2");
    WriteEntry(Root() + "/b/three", kApp + "Name=Three\nExec=kel-demo-tool 3");
    WriteResults({CApplicationInfo("Earlier", "/usr/bin/earlier", "", 1),
                  CApplicationInfo("Same as One", Root() + "/bin/kel-demo-tool 1", "", 1)});
    /* A callback object deleted before the search ends is dropped from the service. */
    Side* gone = new Side;
    std::shared_ptr<CCallbackLink> goneLink = gone->CStudentAPICallbackBase::GetCallbackLink();
    Side side;
    delete gone;

    /* Refused starts leave the caller idle and bring no completion. */
    int op = 7, err = 0;
    EXPECT_EQ(IPC_ERR_INVALID_ARGUMENT, side.Student()->SearchLocalProgram("", op, 0));
    EXPECT_EQ(0, op);
    EXPECT_EQ(IPC_ERR_INVALID_ARGUMENT, side.Student()->SearchLocalProgram("relative/folder", op, 0));
    EXPECT_NE(0, side.Student()->RegisterCallBack(nullptr, err));
    EXPECT_EQ(IPC_ERR_INVALID_ARGUMENT, err);
    EXPECT_EQ(IPC_ERR_NO_SUCH_OPERATION, side.Student()->CancelOperation(12345, err));
    EXPECT_EQ(IPC_ERR_NO_SUCH_OPERATION, err);

    int first = side.Start(Root() + "/a", 0);
    ASSERT_TRUE(side.WaitForCount(1));
    EXPECT_TRUE(goneLink->IsDetached());
    EXPECT_EQ("Earlier;Same as One;Two;", Names()); /* One was there already, under its own name */
    int second = side.Start(Root() + "/a", 0);
    ASSERT_TRUE(side.WaitForCount(2));
    EXPECT_EQ("Earlier;Same as One;Two;", Names());
    EXPECT_GT(second, first);
    int third = side.Start(Root() + "/b", 1);
    ASSERT_TRUE(side.WaitForCount(3));
    EXPECT_EQ("Three;", Names());
    EXPECT_GT(third, second);
    /* A folder that cannot be searched changes nothing, even when asked to clear. */
    side.Start(Root() + "/no-such-folder", 1);
    ASSERT_TRUE(side.WaitForCount(4));
    EXPECT_EQ("Three;", Names());

    /* Nor does a search cancelled while the worker is held inside its walk: the walk stops, and no
     * completion arrives. */
    const std::string tree = MakeSlowTree();
    LogGate gate;
    int fourth = side.Start(tree, 1);
    ASSERT_TRUE(keltest::WaitUntil([&] { return gate.reached.load(); }));
    EXPECT_EQ(IPC_ERR_BUSY, side.Student()->SearchLocalProgram(Root() + "/b", op, 0));
    EXPECT_EQ(0, side.Student()->CancelOperation(fourth, err));
    EXPECT_EQ(0, err);
    EXPECT_EQ(IPC_ERR_NO_SUCH_OPERATION, side.Student()->CancelOperation(fourth, err));
    gate.open = true;
    /* A new search may start at once; its completion is the only one to arrive. */
    EXPECT_GT(side.Start(Root() + "/b", 0), fourth);
    ASSERT_TRUE(side.WaitForCount(5));
    CKELLog::SetCapture(nullptr, nullptr);
    EXPECT_EQ(5u, side.Count());
    EXPECT_EQ("Three;", Names());
}

/* Loops through symbolic links end at a folder seen before, links to folders elsewhere are
 * followed, dangling links are ignored, and a folder that cannot be opened is skipped and logged.
 * Root opens any folder, so the test gives up that right first; the worker inherits it. */
TEST(ProgramSearch, WalkSurvivesLinkLoopsAndUnreadableFolders)
{
    MakeEnvironment();
    const std::string tree = Root() + "/loop";
    WriteEntry(tree + "/inner/app", kApp + "Name=Inner\nExec=kel-demo-tool inner");
    WriteEntry(tree + "/closed/b", kApp + "Name=Closed\nExec=kel-demo-tool b");
    WriteEntry(Root() + "/elsewhere/other", kApp + "Name=Elsewhere\nExec=kel-demo-tool out");
    const std::pair<std::string, std::string> links[] = {
        {"..", "/inner/up"}, {".", "/inner/self"}, {tree, "/inner/root"}, {Root() + "/elsewhere", "/outside"},
        {Root() + "/nothing-here", "/dangling"}, {tree + "/inner/app.desktop", "/linked.desktop"}};
    for (const auto& l : links)
        ASSERT_EQ(0, symlink(l.first.c_str(), (tree + l.second).c_str())) << l.second;
    ASSERT_EQ(0, chmod((tree + "/closed").c_str(), 0));
    ASSERT_TRUE(keltest::DropFileCapabilities());

    keltest::LogCapture log;
    Side side;
    side.Start(tree, 1);
    ASSERT_TRUE(side.WaitForCount(1));
    /* Each folder once: the entry reached again through its link makes 3, not more. */
    EXPECT_EQ("found 3, new 2", side.results[0]);
    const std::string names = Names();
    EXPECT_TRUE(names == "Inner;Elsewhere;" || names == "Elsewhere;Inner;") << names;
    /* The reason (from the system, in the user's language) follows the folder. */
    const std::string prefix = "Program search: cannot open folder " + tree + "/closed: ";
    int skipped = 0;
    for (const auto& line : log.Lines())
        skipped += line.text.compare(0, prefix.size(), prefix) == 0 && line.text.size() > prefix.size() + 12;
    EXPECT_EQ(1, skipped);
    chmod((tree + "/closed").c_str(), 0755);
}

TEST(ProgramSearch, TeacherSearchAnswersOncePerRosterStudentAfterMerging)
{
    MakeEnvironment();
    WriteEntry(Root() + "/apps/one", kApp + "Name=One\nExec=kel-demo-tool 1");
    WriteEntry(Root() + "/apps/two", kApp + "Name=Two\nExec=kel-demo-tool 2");
    const std::string roster = keltest::EtcKel() + "StudentInfo.xml";
    keltest::WriteFile(roster, "<StudentInfo version=\"1\"><Student name=\"Anna\" address=\"10.0.0.1\"/>"
                               "<Student name=\"\" address=\"10.0.0.2\"/><Student name=\"Carl\" address=\"10.0.0.3\"/>"
                               "</StudentInfo>");
    WriteResults({CApplicationInfo("Earlier", "/usr/bin/earlier", "", 1)});
    Side side;
    std::list<tagStudent_t> students;
    int err = -99;
    EXPECT_EQ(0, side.Teacher()->GetStudentList(students, err));
    ASSERT_EQ(3u, students.size());
    EXPECT_EQ("Anna", students.front().name);
    EXPECT_EQ("10.0.0.3", students.back().address);

    /* Held in the first answer: the search cannot be cancelled while an answer is on its way. */
    side.gateClosed = true;
    int op = 0;
    ASSERT_EQ(0, side.Teacher()->SearchProgram(Root() + "/apps", op, 1));
    ASSERT_TRUE(side.WaitForCount(1));
    EXPECT_EQ(IPC_ERR_BUSY, side.Teacher()->CancelOperation(op, err));
    EXPECT_EQ(IPC_ERR_BUSY, err);
    EXPECT_EQ(2u, ResultsOnDisk().size()); /* cleared, then merged, then answered */
    side.gateClosed = false;
    ASSERT_TRUE(side.WaitForCount(3));
    /* No name makes no end marker: the address stands in. Nothing follows the last answer. */
    EXPECT_EQ((std::vector<std::string>{"Anna", "10.0.0.2", "Carl"}), side.students);
    for (std::thread::id t : side.threads)
        EXPECT_NE(std::this_thread::get_id(), t);
    EXPECT_EQ(IPC_ERR_NO_SUCH_OPERATION, side.Teacher()->CancelOperation(op, err));

    /* An empty classroom still ends the search, with the end marker alone. */
    remove(roster.c_str());
    EXPECT_EQ(0, side.Teacher()->GetStudentList(students, err));
    EXPECT_TRUE(students.empty());
    ASSERT_EQ(0, side.Teacher()->SearchProgram(Root() + "/apps", op, 0));
    ASSERT_TRUE(side.WaitForCount(4));
    EXPECT_EQ("", side.students[3]);
    EXPECT_EQ(2u, ResultsOnDisk().size());
    /* A broken roster is an error, and leaves no stale student behind. */
    keltest::WriteFile(roster, "<StudentInfo><Student name=");
    students.push_back(tagStudent_t{"stale", ""});
    EXPECT_NE(0, side.Teacher()->GetStudentList(students, err));
    EXPECT_EQ(IPC_ERR_PARSE, err);
    EXPECT_TRUE(students.empty());
}

/* The process ends while the worker is inside a walk: at exit the walk is stopped and waited
 * for (before the libraries' static objects go), and the exit neither hangs nor crashes. */
TEST(ProgramSearch, ProcessEndsCleanlyWhileASearchWalks)
{
    MakeEnvironment();
    const std::string tree = MakeSlowTree();
    static LogGate* gate = new LogGate; /* never freed: the worker is still in it when the process ends */
    Side side;
    side.Start(tree, 1);
    ASSERT_TRUE(keltest::WaitUntil([] { return gate->reached.load(); }));
    /* Registered after the service's own exit handler, so it runs first and lets the walk go on. */
    atexit([] { gate->open = true; });
}
