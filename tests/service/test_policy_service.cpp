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
std::string Settings(int usb)
{
    return "<KELSystemSetting version=\"1\" usbStorageEnabled=\"" + std::to_string(usb) + "\" newStudentConnectDialog=\"1\"/>";
}

/* A student-side object like the windows: what reached it, and on which thread. */
class Listener : public CStudentAPICallbackBase {
public:
    Listener()
    {
        int err = 0;
        EXPECT_EQ(0, GetStudentAPIObject()->RegisterCallBack(this, err));
    }
    ~Listener() override { DetachCallBacks(); }
    void SearchLocalProgramCallBack(std::string result) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        results.push_back(result);
        threads.push_back(std::this_thread::get_id());
    }
    void NotifyTabNavPolicyChanged(std::string xml) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        tabs.push_back(xml);
    }
    bool WaitFor(size_t results_, size_t tabs_ = 0)
    {
        return keltest::WaitUntil([&] {
            std::lock_guard<std::mutex> lock(mutex);
            return results.size() >= results_ && tabs.size() >= tabs_;
        });
    }
    std::mutex mutex;
    std::vector<std::string> results, tabs;
    std::vector<std::thread::id> threads;
};

uid_t Nobody()
{
    struct passwd* pw = getpwnam("nobody");
    return pw ? pw->pw_uid : 65534;
}

/* A method called by gdbus as another user; "" on success, else what gdbus printed. */
std::string CallAs(uid_t user, const std::string& method, const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {"/usr/bin/gdbus", "call", "--system", "-d", "org.kelproject.Policy1", "-o",
                                     "/org/kelproject/Policy1", "-m", "org.kelproject.Policy1." + method};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string err;
    return KelTest::RunAs(user, argv, &err) == 0 ? "" : err + "(failed)";
}

std::string Quoted(const std::string& text)
{
    gchar* printed = g_variant_print(g_variant_new_string(text.c_str()), FALSE);
    std::string out = printed;
    g_free(printed);
    return out;
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
    EXPECT_EQ(IPC_ERR_TOO_LARGE, api->SaveLocalTabNavPolicy(std::string(17 << 20, ' '), err));
    /* The service refuses it too when a client does not. */
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr);
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(bus, "org.kelproject.Policy1", "/org/kelproject/Policy1",
                                                  "org.kelproject.Policy1", "SaveTabNavPolicy",
                                                  g_variant_new("(s)", std::string(17 << 20, ' ').c_str()), nullptr,
                                                  G_DBUS_CALL_FLAGS_NONE, 60000, nullptr, &error);
    ASSERT_FALSE(reply);
    EXPECT_NE(nullptr, strstr(error->message, "Error.TooLarge")) << error->message;
    g_error_free(error);
    g_object_unref(bus);
    EXPECT_EQ("old", keltest::ReadFile(tabs));

    /* A good policy is written, and every listener hears of it from the library's thread. */
    EXPECT_EQ(0, api->SaveLocalTabNavPolicy(kTabs, err));
    CTabNavigationData saved;
    ASSERT_EQ(0, saved.LoadFromFile(tabs));
    EXPECT_EQ(1, saved.IsCategoryExist("Lab"));
    ASSERT_TRUE(listener.WaitFor(0, 1));
    EXPECT_NE(std::string::npos, listener.tabs[0].find("Calc"));
    if (geteuid() != 0)
        GTEST_SKIP() << "polkit and callers of another user need root";

    /* As root the service asks polkit; a refusal writes nothing. */
    EXPECT_NE(std::string::npos, KelTest::PolkitLog().find("org.kelproject.policy.save"));
    ASSERT_TRUE(KelTest::SetPolkitAllowed({}));
    EXPECT_EQ(IPC_ERR_NOT_ALLOWED, api->SaveLocalSchedulePolicy(kSchedule, err));
    EXPECT_EQ(IPC_ERR_NOT_ALLOWED, err);
    struct stat st;
    EXPECT_NE(0, stat(schedule.c_str(), &st));
    /* nobody cannot even reach the policy folder: what it may save, the service writes. */
    ASSERT_TRUE(KelTest::SetPolkitAllowed({"org.kelproject.policy.save", "org.kelproject.policy.search"}));
    EXPECT_EQ("", CallAs(Nobody(), "SaveSchedulePolicy", {Quoted(kSchedule)}));
    CLockScheduleData lock;
    EXPECT_EQ(0, lock.LoadFromFile(schedule));
    EXPECT_EQ(1, lock.IsAutoLockEnable());
    EXPECT_NE(std::string::npos, CallAs(Nobody(), "HardwareControl", {Quoted(Settings(0))}).find("NotAllowed"));
    EXPECT_NE(0, stat((keltest::EtcKel() + KEL_SYSTEM_SETTING).c_str(), &st));

    /* nobody's search walks with nobody's rights: the sandbox stays closed to it. */
    EXPECT_EQ("", CallAs(Nobody(), "SearchLocalProgram", {Quoted(keltest::EtcKel()), "true"}));
    EXPECT_TRUE(keltest::WaitUntil(
        [] { return KelTest::PolicyServiceLog().find("error: the folder cannot be opened") != std::string::npos; }));
}

TEST(PolicyService, DisablingUsbStorageWritesTheBlockingFileAndEnablingRemovesIt)
{
    ASSERT_TRUE(KelTest::StartPolicyService());
    IPCStudentAPI* api = GetStudentAPI();
    const std::string block = Root() + "/etc/modprobe.d/kel-usb-storage.conf", victim = Root() + "/victim";
    /* A link planted under the file's name is replaced, never written through. */
    ASSERT_TRUE(keltest::WriteFile(victim, "keep"));
    ASSERT_TRUE(keltest::MakeDirs(Root() + "/etc/modprobe.d"));
    ASSERT_EQ(0, symlink(victim.c_str(), block.c_str()));
    int err = 0;
    EXPECT_EQ(0, api->HardWareControl(Settings(0), err));
    const std::string text = keltest::ReadFile(block);
    for (const char* line : {"install usb-storage /bin/false", "install uas /bin/false", "blacklist usb-storage"})
        EXPECT_NE(std::string::npos, text.find(line)) << line;
    EXPECT_EQ("keep", keltest::ReadFile(victim));
    CKELSystemSettingData settings;
    ASSERT_EQ(0, settings.LoadFromFile(keltest::EtcKel() + KEL_SYSTEM_SETTING));
    EXPECT_EQ(0, settings.GetUSBStorageenabled());

    EXPECT_EQ(0, api->HardWareControl(Settings(1), err));
    struct stat st;
    EXPECT_NE(0, lstat(block.c_str(), &st));
    ASSERT_EQ(0, settings.LoadFromFile(keltest::EtcKel() + KEL_SYSTEM_SETTING));
    EXPECT_EQ(1, settings.GetUSBStorageenabled());
    EXPECT_NE(std::string::npos, KelTest::PolicyServiceLog().find("USB storage allowed"));
}

/* The walk runs in the service's child, its programs come back over a pipe and the bus. */
TEST(PolicyService, SearchesFinishOrAreCancelledThroughTheBus)
{
    const std::string apps = Root() + "/apps/";
    keltest::WriteFile(Root() + "/bin/kel-tool", "#!/bin/sh\n");
    chmod((Root() + "/bin/kel-tool").c_str(), 0755);
    keltest::WritePng(Root() + "/share/icons/hicolor/48x48/apps/kel-tool.png", 48);
    keltest::WriteFile(apps + "a.desktop", "[Desktop Entry]\nType=Application\nName=Tool\nName[de]=Werkzeug\n"
                                           "Exec=kel-tool --open %U\nIcon=kel-tool\n");
    keltest::WriteFile(apps + "sub/b.desktop", "[Desktop Entry]\nType=Application\nName=Quote 'n' Tab\tX\n"
                                               "Exec=\"" + Root() + "/bin/kel-tool\" \"--title=My Tool\"\n");
    keltest::WriteFile(apps + "hidden.desktop", "[Desktop Entry]\nType=Application\nName=H\nExec=kel-tool\nHidden=true\n");
    /* The service searches with its own environment, taken over from this test's. */
    setenv("PATH", (Root() + "/bin:/usr/bin:/bin").c_str(), 1);
    setenv("XDG_DATA_DIRS", (Root() + "/share").c_str(), 1);
    setenv("LANGUAGE", "de", 1);
    ASSERT_TRUE(KelTest::StartPolicyService());
    IPCStudentAPI* api = GetStudentAPI();
    Listener listener;
    int op = 0, err = 0;
    EXPECT_EQ(IPC_ERR_INVALID_ARGUMENT, api->SearchLocalProgram("relative", op, 1));
    ASSERT_EQ(0, api->SearchLocalProgram(apps, op, 1));
    ASSERT_TRUE(listener.WaitFor(1));
    EXPECT_EQ("found 2, new 2", listener.results[0]);
    EXPECT_NE(std::this_thread::get_id(), listener.threads[0]);
    CSearchResultData results;
    ASSERT_EQ(0, results.LoadFromFile(CONFIG_FILE_DIR + SEARCH_RESULT));
    std::string found;
    for (CApplicationInfo* app : *results.GetPApplicationInfoList())
        found += app->GetName() + "|" + app->GetPath() + "|" + app->GetCustomIcon() + ";";
    const std::string bin = Root() + "/bin/kel-tool";
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
    int first = op;
    EXPECT_EQ(IPC_ERR_BUSY, api->SearchLocalProgram(apps, op, 0));
    bool cancelled = api->CancelOperation(first, err) == 0;
    EXPECT_EQ(IPC_ERR_NO_SUCH_OPERATION, api->CancelOperation(first, err));
    ASSERT_EQ(0, api->SearchLocalProgram(apps, op, 0));
    EXPECT_GT(op, first);
    ASSERT_TRUE(listener.WaitFor(cancelled ? 2 : 3));
    EXPECT_EQ("found 2, new 0", listener.results.back());
    EXPECT_EQ(cancelled ? 2u : 3u, listener.results.size());
}

TEST(PolicyService, AStoppedServiceIsReportedAndARestartedOneServesAgain)
{
    ASSERT_TRUE(KelTest::StartPolicyService());
    IPCStudentAPI* api = GetStudentAPI();
    int err = 0, op = 0;
    ASSERT_EQ(0, api->SaveLocalTabNavPolicy(kTabs, err));
    ASSERT_TRUE(KelTest::StopPolicyService());
    EXPECT_EQ(IPC_ERR_NOT_RUNNING, api->SaveLocalSchedulePolicy(kSchedule, err));
    EXPECT_EQ(IPC_ERR_NOT_RUNNING, err);
    EXPECT_EQ(IPC_ERR_NOT_RUNNING, api->SearchLocalProgram(Root(), op, 0));
    ASSERT_TRUE(KelTest::StartPolicyService());
    EXPECT_EQ(0, api->SaveLocalSchedulePolicy(kSchedule, err));
    if (geteuid() != 0)
        GTEST_SKIP() << "a service of another user needs root";
    /* An ordinary user's service serves that user only: root's calls are refused. */
    ASSERT_TRUE(KelTest::StopPolicyService());
    ASSERT_TRUE(KelTest::StartPolicyService(Nobody()));
    EXPECT_EQ(IPC_ERR_NOT_ALLOWED, api->SaveLocalSchedulePolicy(kSchedule, err));
    EXPECT_EQ(IPC_ERR_NOT_ALLOWED, api->SearchLocalProgram(Root(), op, 0));
}
