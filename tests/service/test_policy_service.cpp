/* The real kel-service on a private bus, driven through the student API the windows use and, for
 * callers of another user, through gdbus run as nobody. */
#include <gtest/gtest.h>

#include <gio/gio.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <thread>

#include "IPCAPI.h"
#include "KELConstants.h"
#include "KELData.h"
#include "KelTest.h"
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
        std::lock_guard<std::mutex> lock(mutex);
        heard.push_back(std::this_thread::get_id() == testThread ? "ON THE TEST THREAD: " + text : text);
    }
    std::vector<std::string> WaitFor(size_t n)
    {
        std::vector<std::string> copy;
        keltest::WaitUntil([&] {
            std::lock_guard<std::mutex> lock(mutex);
            copy = heard;
            return copy.size() >= n;
        });
        return copy;
    }
    std::mutex mutex;
    std::vector<std::string> heard;
    const std::thread::id testThread = std::this_thread::get_id();
};

const uid_t kNobody = getpwnam("nobody") ? getpwnam("nobody")->pw_uid : 65534;

/* A method called by gdbus as nobody with a text (no quotes in it) and more arguments; "" on
 * success, else what gdbus printed. */
std::string CallAsNobody(const std::string& method, const std::string& text, const char* more = "")
{
    std::vector<std::string> argv = {"/usr/bin/gdbus", "call", "--system", "-d", "org.kelproject.Policy1", "-o",
                                     "/org/kelproject/Policy1", "-m", "org.kelproject.Policy1." + method, "'" + text + "'"};
    if (*more)
        argv.push_back(more);
    std::string err;
    return KelTest::RunAs(kNobody, argv, &err) == 0 ? "" : err + "(failed)";
}

} // namespace

TEST(PolicyService, PoliciesAreCheckedAuthorisedAndWrittenByTheServiceAlone)
{
    ASSERT_TRUE(KelTest::StartPolicyService());
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
    EXPECT_NE(std::string::npos, KelTest::PolicyServiceLog().find("polkit allowed org.kelproject.policy.save"));
    ASSERT_TRUE(KelTest::SetPolkitAllowed({}));
    EXPECT_EQ(IPC_ERR_NOT_ALLOWED, api->SaveLocalSchedulePolicy(kSchedule, err));
    EXPECT_NE(0, access(schedule.c_str(), F_OK));
    /* nobody cannot even reach the policy folder: what it may save, the service writes. */
    ASSERT_TRUE(KelTest::SetPolkitAllowed({"org.kelproject.policy.save", "org.kelproject.policy.search"}));
    EXPECT_EQ("", CallAsNobody("SaveSchedulePolicy", kSchedule));
    EXPECT_EQ(0, CLockScheduleData().LoadFromFile(schedule));
    EXPECT_NE(std::string::npos, CallAsNobody("HardwareControl", SETTINGS(0)).find("NotAllowed"));
    /* nobody's search walks with nobody's rights: the sandbox stays closed to it. */
    EXPECT_EQ("", CallAsNobody("SearchLocalProgram", keltest::EtcKel(), "true"));
    EXPECT_TRUE(keltest::WaitUntil(
        [] { return KelTest::PolicyServiceLog().find("error: the folder cannot be opened") != std::string::npos; }));
}

TEST(PolicyService, DisablingUsbStorageWritesTheBlockingFileAndEnablingRemovesIt)
{
    ASSERT_TRUE(KelTest::StartPolicyService());
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
    EXPECT_NE(std::string::npos, KelTest::PolicyServiceLog().find("USB storage allowed"));
}

/* The walk runs in the service's child; its programs come back over a pipe, its end over the bus. */
TEST(PolicyService, SearchesFinishOrAreCancelledThroughTheBus)
{
    const std::string apps = Root() + "/apps/", bin = Root() + "/bin/kel-tool";
    keltest::WriteFile(bin, "#!/bin/sh\n");
    chmod(bin.c_str(), 0755);
    keltest::WritePng(Root() + "/share/icons/hicolor/48x48/apps/kel-tool.png", 48);
    keltest::WriteFile(apps + "a.desktop", "[Desktop Entry]\nType=Application\nName=Tool\nName[de]=Werkzeug\n"
                                           "Exec=kel-tool --open %U\nIcon=kel-tool\n");
    keltest::WriteFile(apps + "sub/b.desktop", "[Desktop Entry]\nType=Application\nName=Quote 'n' Tab\tX\n"
                                               "Exec=\"" + bin + "\" \"--title=My Tool\"\n");
    /* The service searches with its own environment, taken over from this test's. */
    setenv("PATH", (Root() + "/bin:/usr/bin:/bin").c_str(), 1);
    setenv("XDG_DATA_DIRS", (Root() + "/share").c_str(), 1);
    setenv("LANGUAGE", "de", 1);
    ASSERT_TRUE(KelTest::StartPolicyService());
    IPCStudentAPI* api = GetStudentAPI();
    Listener listener;
    int op = 0, err = 0;
    ASSERT_EQ(0, api->SearchLocalProgram(apps, op, 1));
    EXPECT_EQ(std::vector<std::string>{"found 2, new 2"}, listener.WaitFor(1));
    CSearchResultData results;
    ASSERT_EQ(0, results.LoadFromFile(CONFIG_FILE_DIR + SEARCH_RESULT));
    std::string found;
    for (CApplicationInfo* app : *results.GetPApplicationInfoList())
        found += app->GetName() + "|" + app->GetPath() + "|" + app->GetCustomIcon() + ";";
    EXPECT_EQ("Quote 'n' Tab X|" + bin + " '--title=My Tool'|;Werkzeug|" + bin + " --open|" + Root() +
                  "/share/icons/hicolor/48x48/apps/kel-tool.png;",
              found);
    struct stat st;
    ASSERT_EQ(0, stat((CONFIG_FILE_DIR + SEARCH_RESULT).c_str(), &st));
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
    EXPECT_EQ("found 2, new 0", heard.back());
    EXPECT_EQ(cancelled ? 2u : 3u, heard.size());
}

TEST(PolicyService, AStoppedServiceIsReportedAndARestartedOneServesAgain)
{
    ASSERT_TRUE(KelTest::StartPolicyService());
    IPCStudentAPI* api = GetStudentAPI();
    Listener listener;
    int err = 0, op = 0;
    /* A search under way when the service dies still ends, once, in its window. */
    ASSERT_EQ(0, api->SearchLocalProgram(Root(), op, 1));
    ASSERT_TRUE(KelTest::StopPolicyService());
    std::vector<std::string> heard = listener.WaitFor(1);
    EXPECT_TRUE(heard.size() == 1 && (heard[0] == "error: the policy service stopped" || heard[0].find("found ") == 0));
    EXPECT_EQ(IPC_ERR_NOT_RUNNING, api->SearchLocalProgram(Root(), op, 0));
    ASSERT_TRUE(KelTest::StartPolicyService());
    EXPECT_EQ(0, api->SaveLocalSchedulePolicy(kSchedule, err));
    if (geteuid() != 0)
        GTEST_SKIP() << "a service of another user needs root";
    /* An ordinary user's service serves that user only: root's calls are refused. */
    ASSERT_TRUE(KelTest::StopPolicyService());
    ASSERT_TRUE(KelTest::StartPolicyService(kNobody));
    EXPECT_EQ(IPC_ERR_NOT_ALLOWED, api->SaveLocalSchedulePolicy(kSchedule, err));
}
