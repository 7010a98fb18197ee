/* The real kel-service on a private bus, driven through the student API the windows use and, for
 * callers of another user, through gdbus run as nobody. */
#include <gtest/gtest.h>

#include <gio/gio.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <mutex>
#include <thread>

#include "IPCAPI.h"
#include "KELConstants.h"
#include "KELData.h"
#include "KelTest.h"
#include "ProgramSearch.h"
#include "SearchWalk.h"
#include "ServiceFixture.h"

using namespace IPCAPI;
using namespace LibKELData;
using keltest::Root;

namespace {

const std::string kTabs = "<TabNavigation version=\"1\"><Category name=\"Lab\" icon=\"\"><Application name=\"Calc\" "
                          "path=\"/usr/bin/calc\" icon=\"\" enable=\"1\"/></Category></TabNavigation>";
const std::string kSchedule = "<LockSchedule version=\"1\" autoLock=\"1\" manualLock=\"0\" lockStatus=\"2\">"
                              "<Section day=\"2\" start=\"22\" end=\"23\"/></LockSchedule>";
#define SETTINGS(usb) "<KELSystemSetting version=\"1\" usbStorageEnabled=\"" #usb "\" newStudentConnectDialog=\"1\"/>"

/* A student-side object like the windows: what reached it, marked when it came on the test's thread. */
struct Listener : CStudentAPICallbackBase {
    Listener()
    {
        int err = 0;
        EXPECT_EQ(0, GetStudentAPIObject()->RegisterCallBack(this, err));
    }
    ~Listener() override { DetachCallBacks(); }
    void SearchLocalProgramCallBack(std::string result) override { Add(result); }
    void NotifyTabNavPolicyChanged(std::string xml) override { Add("tabs: " + xml); }
    void Add(const std::string& text)
    {
        heard.Add(std::this_thread::get_id() == testThread ? "ON THE TEST THREAD: " + text : text);
    }
    std::vector<std::string> WaitFor(size_t n) { return heard.WaitFor(n); }
    keltest::Heard heard;
    const std::thread::id testThread = std::this_thread::get_id();
};

const uid_t kNobody = getpwnam("nobody") ? getpwnam("nobody")->pw_uid : 65534;
const uid_t kDaemon = 1; /* a second system user */
const size_t npos = std::string::npos;

/* A folder every user may read, gone with the test. */
struct OpenDir {
    char name[32] = "/tmp/kel-open-XXXXXX";
    const std::string path = mkdtemp(name);
    OpenDir() { chmod(name, 0755); }
    ~OpenDir() { EXPECT_EQ(0, system(("rm -rf " + path).c_str())); }
};

bool LogHas(const std::string& text)
{
    return keltest::WaitUntil([&] { return keltest::PolicyServiceLog().find(text) != npos; });
}

/* A method called by gdbus as user with a text (no quotes in it), another argument and an
 * option; "" on success, else what gdbus printed. */
std::string CallAs(uid_t user, const std::string& method, const std::string& text, const char* more = "",
                   const char* option = "--timeout=60")
{
    std::vector<std::string> argv = {"/usr/bin/gdbus", "call", "--system", "-d", "org.kelproject.Policy1", "-o",
                                     "/org/kelproject/Policy1", "-m", "org.kelproject.Policy1." + method, "'" + text + "'",
                                     option};
    if (*more)
        argv.push_back(more);
    std::string err;
    return keltest::RunAs(user, argv, &err) == 0 ? "" : err + "(failed)";
}

} // namespace

TEST(PolicyService, PoliciesAreCheckedAuthorisedAndWrittenByTheServiceAlone)
{
    ASSERT_TRUE(keltest::StartPolicyService());
    IPCStudentAPI* api = GetStudentAPI();
    Listener listener;
    const std::string tabs = keltest::EtcKel() + TAB_NAVIGATION, schedule = keltest::EtcKel() + LOCK_SCHEDULE;
    ASSERT_TRUE(keltest::WriteFile(tabs, "old"));
    /* Refused before any file is touched: cut short, another record's policy, not text, too large. */
    int err = 0;
    for (const std::string& bad : {kTabs.substr(0, 40), kSchedule, std::string("\xff<x/>")})
        EXPECT_EQ(IPC_ERR_PARSE, api->SaveLocalTabNavPolicy(bad, err)) << bad;
    const std::string huge(17 << 20, ' ');
    EXPECT_EQ(IPC_ERR_TOO_LARGE, api->SaveLocalTabNavPolicy(huge, err));
    /* The service refuses it too, from a client that does not. */
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr);
    GError* error = nullptr;
    EXPECT_FALSE(g_dbus_connection_call_sync(bus, "org.kelproject.Policy1", "/org/kelproject/Policy1",
                                             "org.kelproject.Policy1", "SaveTabNavPolicy", g_variant_new("(s)", huge.c_str()),
                                             nullptr, G_DBUS_CALL_FLAGS_NONE, 60000, nullptr, &error));
    EXPECT_TRUE(error && strstr(error->message, "Error.TooLarge"));
    g_clear_error(&error);
    g_object_unref(bus);
    EXPECT_EQ("old", keltest::ReadFile(tabs));

    /* A good policy is written, and every listener hears of it from the library's thread. */
    EXPECT_EQ(0, api->SaveLocalTabNavPolicy(kTabs, err));
    EXPECT_NE(std::string::npos, keltest::ReadFile(tabs).find("<Category name=\"Lab\""));
    std::vector<std::string> heard = listener.WaitFor(1);
    ASSERT_EQ(1u, heard.size());
    EXPECT_TRUE(heard[0].find("tabs: <?xml") == 0 && heard[0].find("Calc") != std::string::npos) << heard[0];
    if (geteuid() != 0)
        GTEST_SKIP() << "polkit and callers of another user need root";

    /* As root the service asks polkit; a refusal writes nothing. */
    EXPECT_NE(std::string::npos, keltest::PolicyServiceLog().find("polkit allowed org.kelproject.policy.save"));
    ASSERT_TRUE(keltest::SetPolkitAllowed({}));
    EXPECT_EQ(IPC_ERR_NOT_ALLOWED, api->SaveLocalSchedulePolicy(kSchedule, err));
    EXPECT_NE(0, access(schedule.c_str(), F_OK));
    /* nobody cannot even reach the policy folder: what it may save, the service writes. */
    ASSERT_TRUE(keltest::SetPolkitAllowed({"org.kelproject.policy.save", "org.kelproject.policy.search"}));
    EXPECT_EQ("", CallAs(kNobody, "SaveSchedulePolicy", kSchedule));
    EXPECT_EQ(0, CLockScheduleData().LoadFromFile(schedule));
    EXPECT_NE(std::string::npos, CallAs(kNobody, "HardwareControl", SETTINGS(0)).find("NotAllowed"));
    /* nobody's search walks with nobody's rights: the sandbox stays closed to it. */
    EXPECT_EQ("", CallAs(kNobody, "SearchLocalProgram", keltest::EtcKel(), "true"));
    EXPECT_TRUE(keltest::WaitUntil(
        [] { return keltest::PolicyServiceLog().find("error: folder-unreadable") != std::string::npos; }));
}

TEST(PolicyService, DisablingUsbStorageWritesTheBlockingFileAndEnablingRemovesIt)
{
    ASSERT_TRUE(keltest::StartPolicyService());
    const std::string block = Root() + "/etc/modprobe.d/kel-usb-storage.conf", victim = Root() + "/victim";
    /* A link planted under the file's name is replaced, never written through. */
    ASSERT_TRUE(keltest::WriteFile(victim, "keep") && keltest::MakeDirs(Root() + "/etc/modprobe.d"));
    ASSERT_EQ(0, symlink(victim.c_str(), block.c_str()));
    CKELSystemSettingData settings;
    for (int usb : {0, 1}) {
        int err = 0;
        EXPECT_EQ(0, GetStudentAPI()->HardWareControl(usb ? SETTINGS(1) : SETTINGS(0), err));
        ASSERT_EQ(0, settings.LoadFromFile(keltest::EtcKel() + KEL_SYSTEM_SETTING));
        EXPECT_EQ(usb, settings.GetUSBStorageenabled());
        EXPECT_EQ(usb == 0, !access(block.c_str(), F_OK));
        for (const char* line : {"install usb-storage /bin/false", "install uas /bin/false", "blacklist uas"})
            EXPECT_EQ(usb == 0, keltest::ReadFile(block).find(line) != std::string::npos) << line;
    }
    EXPECT_EQ("keep", keltest::ReadFile(victim));
    EXPECT_NE(std::string::npos, keltest::PolicyServiceLog().find("USB storage allowed"));
}

/* The walk runs in the service's child; its programs come back over a pipe, its end over the bus. */
TEST(PolicyService, SearchesFinishOrAreCancelledThroughTheBus)
{
    const std::string apps = Root() + "/apps/", bin = Root() + "/bin/kel-tool", game = Root() + "/usr/games/kel-game";
    for (const std::string& program : {bin, game}) {
        keltest::WriteFile(program, "#!/bin/sh\n");
        chmod(program.c_str(), 0755);
    }
    keltest::WritePng(Root() + "/usr/share/icons/hicolor/48x48/apps/kel-tool.png", 48);
    keltest::WriteFile(apps + "game.desktop", "[Desktop Entry]\nType=Application\nName=Game\nExec=kel-game\n");
    keltest::WriteFile(apps + "gone.desktop", "[Desktop Entry]\nType=Application\nName=Gone\nExec=kel-gone\n");
    keltest::WriteFile(apps + "a.desktop", "[Desktop Entry]\nType=Application\nName=Tool\nName[de]=Werkzeug\n"
                                           "Exec=kel-tool --open %U\nIcon=kel-tool\n");
    keltest::WriteFile(apps + "sub/b.desktop", "[Desktop Entry]\nType=Application\nName=Quote 'n' Tab\tX\n"
                                               "Exec=\"" + bin + "\" \"--title=My Tool\"\n");
    /* Started by the system, the service has no games on its PATH; the users' sessions have. */
    setenv("PATH", "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin", 1);
    setenv("LANGUAGE", "de", 1);
    ASSERT_TRUE(keltest::StartPolicyService());
    IPCStudentAPI* api = GetStudentAPI();
    Listener listener;
    int op = 0, err = 0;
    ASSERT_EQ(0, api->SearchLocalProgram(apps, op, 1));
    /* What was skipped travels with the counts. */
    EXPECT_EQ(std::vector<std::string>{"found 3, new 3, skipped 1 not-installed 1"}, listener.WaitFor(1))
        << keltest::PolicyServiceLog();
    CSearchResultData results;
    ASSERT_EQ(0, results.LoadFromFile(SearchResultFile()));
    std::string found;
    for (CApplicationInfo* app : *results.GetPApplicationInfoList())
        found += app->GetName() + "|" + app->GetPath() + "|" + app->GetCustomIcon() + ";";
    EXPECT_EQ("Game|" + game + "|;Quote 'n' Tab X|" + bin + " '--title=My Tool'|;Werkzeug|" + bin + " --open|" + Root() +
                  "/usr/share/icons/hicolor/48x48/apps/kel-tool.png;",
              found);
    struct stat st;
    ASSERT_EQ(0, stat(SearchResultFile().c_str(), &st));
    EXPECT_EQ(0u, st.st_mode & 07) << "the results are not for everyone";

    /* A cancelled search never completes; one that ended first completes once. The next one
     * completes in any case, and is the last to arrive. */
    for (int i = 0; i < 400; ++i)
        keltest::WriteFile(Root() + "/big/d" + std::to_string(i % 40) + "/p" + std::to_string(i) + ".desktop",
                           "[Desktop Entry]\nType=Application\nName=P" + std::to_string(i) + "\nExec=kel-tool\n");
    ASSERT_EQ(0, api->SearchLocalProgram(Root() + "/big", op, 0));
    bool cancelled = api->CancelOperation(op, err) == 0;
    EXPECT_EQ(IPC_ERR_NO_SUCH_OPERATION, api->CancelOperation(op, err));
    ASSERT_EQ(0, api->SearchLocalProgram(apps, op, 0));
    std::vector<std::string> heard = listener.WaitFor(cancelled ? 2 : 3);
    EXPECT_EQ("found 3, new 0, skipped 1 not-installed 1", heard.back());
    EXPECT_EQ(cancelled ? 2u : 3u, heard.size());
}

TEST(PolicyService, AStoppedServiceIsReportedAndARestartedOneServesAgain)
{
    ASSERT_TRUE(keltest::StartPolicyService());
    IPCStudentAPI* api = GetStudentAPI();
    Listener listener;
    int err = 0, op = 0;
    /* A search under way when the service dies still ends, once, in its window. */
    ASSERT_EQ(0, api->SearchLocalProgram(Root(), op, 1));
    ASSERT_TRUE(keltest::StopPolicyService());
    std::vector<std::string> heard = listener.WaitFor(1);
    EXPECT_TRUE(heard.size() == 1 && (heard[0] == "error: the policy service stopped" || heard[0].find("found ") == 0));
    EXPECT_EQ(IPC_ERR_NOT_RUNNING, api->SearchLocalProgram(Root(), op, 0));
    ASSERT_TRUE(keltest::StartPolicyService());
    EXPECT_EQ(0, api->SaveLocalSchedulePolicy(kSchedule, err));
    if (geteuid() != 0)
        GTEST_SKIP() << "callers of another user need root";
    /* Only the service's user may take its name, not even while it is gone. */
    ASSERT_TRUE(keltest::StopPolicyService());
    std::string why;
    EXPECT_NE(0,
              keltest::RunAs(kNobody,
                             {"/usr/bin/gdbus", "call", "--system", "-d", "org.freedesktop.DBus", "-o",
                              "/org/freedesktop/DBus", "-m", "org.freedesktop.DBus.RequestName",
                              "org.kelproject.Policy1", "4"},
                             &why));
    EXPECT_NE(std::string::npos, why.find("AccessDenied")) << why;
}

/* A user who stops their own walk holds up no other user's search, and their own only until the
 * walk's time is up; the walk sees nothing of the service's environment. */
TEST(PolicyService, AStoppedWalkBlocksNoOtherUserAndIsEndedAtItsTimeLimit)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "callers of other users need root";
    /* The service from a folder of its own, whose kel-walk tells its environment and stops on "stall". */
    OpenDir dir;
    ASSERT_EQ(0, system(("cp " KEL_BINARY_DIR "/service/kel-service " + dir.path).c_str()));
    ASSERT_TRUE(keltest::WriteFile(dir.path + "/kel-walk", "#!/bin/sh\nenv | sed 's/^/walk-env: /' >&2\ncase \"$*\" "
                                   "in *stall*) kill -STOP $$;; esac\nexec " KEL_BINARY_DIR "/service/kel-walk \"$@\"\n"));
    chmod((dir.path + "/kel-walk").c_str(), 0755);
    setenv("KEL_WALK_SECONDS", "5", 1);
    setenv("KEL_SECRET", "the-service-only", 1);
    ASSERT_TRUE(keltest::StartPolicyService(static_cast<uid_t>(-1), dir.path + "/kel-service"));
    EXPECT_EQ("", CallAs(kNobody, "SearchLocalProgram", dir.path + "/stall", "false"));
    EXPECT_NE(npos, CallAs(kNobody, "SearchLocalProgram", dir.path, "false").find("Error.Busy"));
    EXPECT_EQ("", CallAs(kDaemon, "SearchLocalProgram", dir.path, "true"));
    EXPECT_TRUE(LogHas("search 2: found 0, new 0"));
    EXPECT_TRUE(LogHas("search 1: error: search-too-long"));
    const std::string log = keltest::PolicyServiceLog();
    EXPECT_NE(npos, log.find("walk-env: KEL_ROOT="));
    EXPECT_EQ(npos, log.find("the-service-only"));
    EXPECT_EQ(npos, log.find("walk-env: HOME="));
}

/* Each user's results are that user's alone: another user's search neither reads, clears nor
 * adds to them, and what was left in their place before is neither merged nor written through. */
TEST(PolicyService, EachUserHasSearchResultsOfTheirOwn)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "callers of other users need root";
    OpenDir dir;
    ASSERT_TRUE(keltest::WriteFile(dir.path + "/t.desktop", "[Desktop Entry]\nType=Application\nName=Tool\nExec=/bin/true\n"));
    ASSERT_TRUE(keltest::StartPolicyService());
    int op = 0;
    ASSERT_EQ(0, GetStudentAPI()->SearchLocalProgram(dir.path, op, 1));
    ASSERT_TRUE(LogHas("search 1: found 1, new 1"));
    /* Root's results as an older service left them, shared with a group; a link where nobody's go. */
    const std::string planted = Root() + "/planted.xml";
    ASSERT_EQ(0, rename(SearchResultFileOf(0).c_str(), planted.c_str()));
    ASSERT_EQ(0, system(("cp -p " + planted + " " + SearchResultFileOf(0) + " && chmod 640 " + SearchResultFileOf(0)).c_str()));
    ASSERT_EQ(0, symlink(planted.c_str(), SearchResultFileOf(kNobody).c_str()));
    ASSERT_TRUE(keltest::WriteFile(dir.path + "/t.desktop", "[Desktop Entry]\nType=Application\nName=New\nExec=/bin/true\n"));
    EXPECT_EQ("", CallAs(kNobody, "SearchLocalProgram", dir.path, "false"));
    EXPECT_EQ("", CallAs(kDaemon, "SearchLocalProgram", dir.path, "true"));
    ASSERT_EQ(0, GetStudentAPI()->SearchLocalProgram(dir.path, op, 0));
    for (int n = 2; n <= 4; ++n)
        EXPECT_TRUE(LogHas("search " + std::to_string(n) + ": found 1, new 1"));
    for (uid_t user : {kNobody, kDaemon, uid_t(0)}) {
        struct stat st;
        ASSERT_EQ(0, lstat(SearchResultFileOf(user).c_str(), &st));
        EXPECT_TRUE(S_ISREG(st.st_mode) && st.st_uid == user && (st.st_mode & 0777) == 0600) << user;
        EXPECT_EQ(npos, keltest::ReadFile(SearchResultFileOf(user)).find("Tool")) << user;
    }
    EXPECT_NE(npos, keltest::ReadFile(planted).find("Tool"));
}

/* An overlong folder is refused before polkit is asked; polkit asks for authentication only when
 * the caller allows it, and a caller that does not is told it must authenticate. */
TEST(PolicyService, RequestsAreRefusedEarlyAndAuthenticationIsAskedForOnlyWhenAllowed)
{
    ASSERT_TRUE(keltest::StartPolicyService());
    int op = 0, err = 0;
    const std::string longPath(PATH_MAX, '/');
    EXPECT_EQ(IPC_ERR_INVALID_ARGUMENT, GetStudentAPI()->SearchLocalProgram(longPath, op, 0));
    if (geteuid() != 0)
        GTEST_SKIP() << "polkit needs root";
    ASSERT_TRUE(keltest::SetPolkitAllowed({}));
    EXPECT_NE(npos, CallAs(0, "SearchLocalProgram", longPath, "true").find("Error.InvalidArgument"));
    /* The stand-in authority: authorised when interaction is allowed, a challenge otherwise. */
    ASSERT_EQ(0,
              keltest::RunAs(0,
                             {"/usr/bin/gdbus", "call", "--system", "-d", "org.freedesktop.PolicyKit1", "-o",
                              "/org/freedesktop/PolicyKit1/Authority", "-m", "org.freedesktop.DBus.Mock.AddMethod",
                              "org.freedesktop.PolicyKit1.Authority", "CheckAuthorization", "(sa{sv})sa{ss}us",
                              "(bba{ss})", "ret = (args[3] == 1, args[3] == 0, {})"}));
    EXPECT_NE(npos, CallAs(0, "SaveSchedulePolicy", kSchedule).find("Error.AuthenticationNeeded"));
    EXPECT_EQ("", CallAs(0, "SaveSchedulePolicy", kSchedule, "", "-i"));
    EXPECT_EQ(0, GetStudentAPI()->SaveLocalSchedulePolicy(kSchedule, err));
}

/* A class search walks as its own system user, not as root, and no longer than its time. */
TEST(PolicyService, AClassSearchWalksAsItsOwnUserWithinItsTime)
{
    using namespace KelService::walk;
    Identity id;
    if (geteuid() != 0 || !IdentityOf(CLASS_SEARCH_USER, id))
        GTEST_SKIP() << "needs root and the system user kel-search";
    OpenDir dir;
    for (const char* sub : {"/open/t.desktop", "/closed/t.desktop"})
        ASSERT_TRUE(keltest::WriteFile(dir.path + sub, "[Desktop Entry]\nType=Application\nName=T\nExec=/bin/true\n"));
    chmod((dir.path + "/closed").c_str(), 0700);
    std::vector<FoundProgram> found;
    std::string why;
    EXPECT_EQ(+DONE, RunAndWait(KEL_BINARY_DIR "/service/kel-walk", dir.path + "/open", true, id, nullptr, 60, found, why));
    EXPECT_EQ(1u, found.size());
    EXPECT_EQ(+FOLDER_UNUSABLE, RunAndWait(KEL_BINARY_DIR "/service/kel-walk", dir.path + "/closed", true, id, nullptr, 60, found, why));
    EXPECT_EQ(-1, RunAndWait("/bin/sleep", "60", true, id, nullptr, 1, found, why));
    EXPECT_EQ("the walk took too long", why);
}
