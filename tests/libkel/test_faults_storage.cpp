/* Policy storage under failing system calls, odd things in the policy file's place, leftovers
 * with temporary names, and KEL_ROOT in set-id programs. */
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <memory>
#include <set>

#include "KELData.h"
#include "KelFault.h"
#include "KelTest.h"

using namespace LibKELData;

namespace {

using keltest::Entries;

/* "" when exactly one level-2 line holds every piece. */
std::string Failures(const keltest::LogCapture& log, const std::vector<std::string>& pieces)
{
    return keltest::FailureLines(log, pieces) == 1 ? "" : " no single clear failure line;";
}

/* A record that takes a few writes, and a valid old version of its file. */
CKELDataProvider* Record()
{
    CTabNavigationData* d = new CTabNavigationData();
    CCategory* c = new CCategory();
    for (int i = 0; i < 300; ++i)
        c->AddApplication(new CApplicationInfo("P" + std::to_string(i), "/usr/bin/p" + std::to_string(i), ""));
    d->SetPCategoryInfoList(new CategoryInfoList(1, c));
    return d;
}
const char kOld[] = "<?xml version=\"1.0\"?>\n<!-- old -->\n<TabNavigation/>\n";

const std::vector<long> kRenames = {
#ifdef SYS_rename
    SYS_rename,
#endif
    SYS_renameat, SYS_renameat2};
const std::vector<long> kLinks = {
#ifdef SYS_link
    SYS_link,
#endif
    SYS_linkat};

} // namespace

TEST(StorageFaults, EveryFailingStepOfASaveLeavesTheOldFileWhole)
{
    /* What fails, how, and the reason the failure line gives. */
    typedef std::function<std::vector<keltest::SyscallFault>()> Faults;
    const struct { const char* what; Faults faults; const char* expected; } faults[] = {
        {"temporary file: read-only", [] { return keltest::FailCreate(EROFS, O_RDWR); }, "Read-only file system"},
        {"temporary file: disk full", [] { return keltest::FailCreate(ENOSPC, O_RDWR); }, "No space left"},
        {"write: disk full", [] { return keltest::FailWrites(ENOSPC, keltest::ReportFd()); }, "writing failed: No space left"},
        {"write: i/o", [] { return keltest::FailWrites(EIO, keltest::ReportFd()); }, "writing failed: Input/output error"},
        {"mode", [] { return keltest::FailCalls({SYS_fchmod}, EPERM); }, "setting the file mode failed"},
        {"sync", [] { return keltest::FailCalls({SYS_fsync, SYS_fdatasync}, EIO); }, "syncing failed"},
        {"rename: i/o", [] { return keltest::FailCalls(kRenames, EIO); }, "renaming the new file into place failed"},
        {"rename: other device", [] { return keltest::FailCalls(kRenames, EXDEV); }, "Invalid cross-device link"},
    };
    const std::string dir = keltest::EtcKel(), path = dir + "TabNavigation.xml";
    ASSERT_EQ(KEL_OK, std::unique_ptr<CKELDataProvider>(Record())->Save2File(path)); /* the save lock stays */
    for (const auto& fault : faults) {
        ASSERT_TRUE(keltest::WriteFile(path, kOld));
        const std::set<std::string> before = Entries(dir);
        std::string report = keltest::RunInChild([&]() -> std::string {
            std::unique_ptr<CKELDataProvider> record(Record());
            keltest::LogCapture log;
            if (!keltest::InstallFaults(fault.faults()))
                return "SKIP: seccomp refused";
            std::string problems = record->Save2File(path) >= 0 ? " save reported success;" : "";
            problems += Failures(log, {path, fault.expected});
            problems += keltest::ReadFile(path) != kOld ? " the old file changed;" : "";
            problems += Entries(dir) != before ? " the folder changed (temporary file left?);" : "";
            std::string xml;
            return problems + (record->Save2String(xml) == KEL_OK ? "" : " the record no longer saves;");
        });
        EXPECT_EQ("", report) << fault.what;
    }
}

TEST(StorageFaults, FailingReadsAreReportedAsReadFailuresNotAsCorruptFiles)
{
    const std::string path = keltest::EtcKel() + "TabNavigation.xml";
    ASSERT_TRUE(keltest::WriteFile(path, "<TabNavigation><Category name=\"A\" icon=\"\"/></TabNavigation>"));
    for (int err : {EIO, ENOMEM}) {
        std::string report = keltest::RunInChild([&]() -> std::string {
            CTabNavigationData data;
            keltest::LogCapture log;
            if (!keltest::InstallFaults(keltest::FailReads(err, keltest::ReportFd())))
                return "SKIP: seccomp refused";
            std::string problems = data.LoadFromFile(path) != KEL_ERR_IO ? " not KEL_ERR_IO;" : "";
            problems += data.GetPCategoryInfoList() ? " the record is not empty;" : "";
            return problems + Failures(log, {path, "reading failed", strerror(err)});
        });
        EXPECT_EQ("", report) << strerror(err);
    }
}

TEST(StorageFaults, KeepingAnUnreadableFileAsideFailsSafely)
{
    const std::string dir = keltest::EtcKel(), path = dir + "TabNavigation.xml";
    const std::string corrupt = "<TabNavigation><Category name=\"cut off";
    /* No hard links there: the file is copied aside instead. Neither link nor copy: the save
     * is refused and the file stays. */
    for (bool copyFails : {false, true}) {
        ASSERT_TRUE(keltest::WriteFile(path, corrupt));
        unlink((path + ".unreadable").c_str());
        const std::set<std::string> before = Entries(dir);
        std::string report = keltest::RunInChild([&]() -> std::string {
            std::unique_ptr<CKELDataProvider> record(Record());
            keltest::LogCapture log;
            std::vector<keltest::SyscallFault> faults = keltest::FailCalls(kLinks, copyFails ? EMLINK : EPERM);
            if (copyFails)
                for (const keltest::SyscallFault& f : keltest::FailCreate(ENOSPC, O_WRONLY))
                    faults.push_back(f);
            if (!keltest::InstallFaults(faults))
                return "SKIP: seccomp refused";
            int rc = record->Save2File(path);
            if (!copyFails)
                return rc != KEL_OK ? "save failed" : keltest::ReadFile(path + ".unreadable") == corrupt ? "" : "copy differs";
            return (rc >= 0 ? " save reported success;" : "") + Failures(log, {path, "could not be kept"});
        });
        EXPECT_EQ("", report) << copyFails;
        if (copyFails) {
            EXPECT_EQ(corrupt, keltest::ReadFile(path));
            EXPECT_EQ(before, Entries(dir));
        }
    }
}

TEST(StorageFaults, OddThingsInThePolicyFilesPlace)
{
    const std::string dir = keltest::EtcKel(), elsewhere = keltest::Root() + "/elsewhere/";
    ASSERT_TRUE(keltest::MakeDirs(elsewhere));
    ASSERT_TRUE(keltest::WriteFile(elsewhere + "Real.xml", "<TabNavigation/>"));
    const std::vector<std::string> links = {elsewhere, "nowhere/none.xml", "/dev/null", "/proc/self/status", elsewhere + "Real.xml"};
    /* Links are replaced by the file, never followed; other things in the way are refused. */
    for (size_t i = 0; i < links.size() + 2; ++i) {
        const std::string path = dir + "Case" + std::to_string(i) + ".xml";
        bool link = i < links.size();
        if (link)
            ASSERT_EQ(0, symlink(links[i].c_str(), path.c_str())) << i;
        else
            ASSERT_EQ(0, i == links.size() ? mkdir(path.c_str(), 0755) : mkfifo(path.c_str(), 0644));
        std::unique_ptr<CKELDataProvider> record(Record());
        EXPECT_EQ(link ? KEL_OK : KEL_ERR_NOT_FILE, record->Save2File(path)) << i;
        struct stat st;
        ASSERT_EQ(0, lstat(path.c_str(), &st));
        EXPECT_EQ(link, S_ISREG(st.st_mode)) << i;
    }
    EXPECT_EQ("<TabNavigation/>", keltest::ReadFile(elsewhere + "Real.xml"));
    EXPECT_EQ((std::set<std::string>{"Real.xml"}), Entries(elsewhere));
    struct stat st;
    ASSERT_EQ(0, stat("/dev/null", &st));
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST(StorageFaults, LeftoversWithTemporaryNamesAreHandledSafely)
{
    /* Only regular files of exactly our temporary form, of this target, are removed. */
    const std::string dir = keltest::EtcKel();
    std::set<std::string> expected = {"TabNavigation.xml", "sentinel", ".kelsave.lock", ".TabNavigation.xml.DIRDIR",
                                      ".TabNavigation.xml.LINK00", ".TabNavigation.xml.toolong7",
                                      ".TabNavigation.xml.sh+rt", ".LockSchedule.xml.Ab12Cd"};
    ASSERT_TRUE(keltest::WriteFile(dir + "sentinel", "keep me"));
    for (const char* name : {".TabNavigation.xml.Ab12Cd", ".TabNavigation.xml.zzzzzz", ".TabNavigation.xml.toolong7",
                             ".TabNavigation.xml.sh+rt", ".LockSchedule.xml.Ab12Cd"})
        ASSERT_TRUE(keltest::WriteFile(dir + name, "left"));
    ASSERT_EQ(0, mkdir((dir + ".TabNavigation.xml.DIRDIR").c_str(), 0755));
    ASSERT_EQ(0, symlink("sentinel", (dir + ".TabNavigation.xml.LINK00").c_str()));
    std::unique_ptr<CKELDataProvider> record(Record());
    ASSERT_EQ(KEL_OK, record->Save2File(dir + "TabNavigation.xml"));
    EXPECT_EQ(expected, Entries(dir));
    EXPECT_EQ("keep me", keltest::ReadFile(dir + "sentinel"));
}

TEST(StorageFaults, KelRootIsIgnoredBySetIdPrograms)
{
    /* A copy of the probe program, owned by nobody and set-user-id (then set-group-id):
     * run by root, it runs with another effective id, and the kernel marks it secure. */
    const std::string copy = keltest::Root() + "/kel_probe";
    ASSERT_EQ(0, system(("cp '" + std::string(KEL_BINARY_DIR) + "/tests/kel_probe' '" + copy + "'").c_str()));
    ASSERT_EQ(0, chmod(keltest::Root().c_str(), 0755) + chmod((keltest::Root() + "/..").c_str(), 0755));
    struct statvfs fs;
    ASSERT_EQ(0, statvfs(copy.c_str(), &fs));
    if ((fs.f_flag & ST_NOSUID) || getuid() != 0)
        GTEST_SKIP() << "needs root and a folder not mounted nosuid";
    keltest::CopySampleRoot();
    const std::vector<std::string> env = {"KEL_ROOT=" + keltest::Root(), "DISPLAY"};
    std::string out;
    ASSERT_EQ(0, keltest::RunProgram({copy}, env, out));
    EXPECT_NE(std::string::npos, out.find("config=" + keltest::Root() + "/etc/KEL/\n")) << out;
    for (auto m : {std::make_tuple(65534, 0, 04755), std::make_tuple(0, 65534, 02755)}) {
        ASSERT_EQ(0, chown(copy.c_str(), std::get<0>(m), std::get<1>(m)));
        ASSERT_EQ(0, chmod(copy.c_str(), std::get<2>(m)));
        ASSERT_EQ(0, keltest::RunProgram({copy}, env, out)) << out;
        EXPECT_NE(std::string::npos, out.find("secure=1\nconfig=/etc/KEL/\n")) << out;
        EXPECT_NE(std::string::npos, out.find("locale=/usr/share/locale/\n")) << out;
        EXPECT_EQ(std::string::npos, out.find("theme=0 ")) << out << "the theme file under KEL_ROOT was read";
    }
}
