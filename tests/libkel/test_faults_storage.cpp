/* Policy storage under failing system calls, full and read-only file systems, odd things in the policy
 * file's place, leftovers with temporary names, and KEL_ROOT in set-id programs. */
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <memory>
#include <set>

#include "KELData.h"
#include "KelFault.h"
#include "KelTest.h"

using namespace LibKELData;

namespace {

std::set<std::string> Entries(const std::string& dir)
{
    std::set<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (struct dirent* e = readdir(d))
            if (strcmp(e->d_name, ".") && strcmp(e->d_name, ".."))
                names.insert(e->d_name);
        closedir(d);
    }
    return names;
}

/* Level-2 lines holding every piece. */
int Failures(const keltest::LogCapture& log, const std::vector<std::string>& pieces)
{
    int n = 0;
    for (const keltest::LogCapture::Line& line : log.Lines()) {
        bool all = line.level == 2;
        for (const std::string& p : pieces)
            all = all && line.text.find(p) != std::string::npos;
        n += all;
    }
    return n;
}

std::string AllLines(const keltest::LogCapture& log)
{
    std::string text;
    for (const keltest::LogCapture::Line& line : log.Lines())
        text += "\n  [" + std::to_string(line.level) + "] " + line.text;
    return text;
}

/* A record of each kind that the windows and the service save, with some content. */
struct Sample {
    std::string file;
    std::function<std::unique_ptr<CKELDataProvider>()> make;
};

std::vector<Sample> Samples()
{
    return {
        {"TabNavigation.xml",
         [] {
             std::unique_ptr<CTabNavigationData> d(new CTabNavigationData());
             CCategory* c = new CCategory();
             c->SetName("Maths");
             for (int i = 0; i < 300; ++i)
                 c->AddApplication(new CApplicationInfo("P" + std::to_string(i), "/usr/bin/p" + std::to_string(i), ""));
             d->SetPCategoryInfoList(new CategoryInfoList(1, c));
             return std::unique_ptr<CKELDataProvider>(d.release());
         }},
        {"LockSchedule.xml",
         [] {
             std::unique_ptr<CLockScheduleData> d(new CLockScheduleData());
             d->SetAutoLock(1);
             d->SetLockStatus(2);
             d->SetPAutomaticLockTimeList(new LockTimeSectionList(1, new CLockTimeSection(2, 8, 9)));
             return std::unique_ptr<CKELDataProvider>(d.release());
         }},
        {"KELSystemSetting.xml",
         [] {
             std::unique_ptr<CKELSystemSettingData> d(new CKELSystemSettingData());
             d->SetUSBStorageenabled(0);
             return std::unique_ptr<CKELDataProvider>(d.release());
         }},
        {"SearchResult.xml",
         [] {
             std::unique_ptr<CSearchResultData> d(new CSearchResultData());
             d->AddUnique(CApplicationInfo("Gimp", "/usr/bin/gimp", ""));
             return std::unique_ptr<CKELDataProvider>(d.release());
         }},
    };
}

const char kOld[] = "<?xml version=\"1.0\"?>\n<!-- the old file -->\n";

/* Writes a valid old version of sample's file (the new record's root with a comment). */
std::string OldContent(const Sample& sample)
{
    std::string root = sample.file.substr(0, sample.file.size() - 4);
    return std::string(kOld) + "<" + root + "/>\n";
}

} // namespace

TEST(StorageFaults, EveryFailingStepOfASaveLeavesTheOldFileWhole)
{
    struct Fault {
        const char* what;
        std::function<std::vector<keltest::SyscallFault>()> faults;
        const char* expected; /* in the failure line */
    };
    const std::vector<long> renames = {
#ifdef SYS_rename
        SYS_rename,
#endif
        SYS_renameat, SYS_renameat2};
    const std::vector<Fault> faults = {
        {"temporary file: permission", [] { return keltest::FailCreate(EACCES, O_RDWR); }, "Permission denied"},
        {"temporary file: read-only", [] { return keltest::FailCreate(EROFS, O_RDWR); }, "Read-only file system"},
        {"temporary file: disk full", [] { return keltest::FailCreate(ENOSPC, O_RDWR); }, "No space left"},
        {"temporary file: quota", [] { return keltest::FailCreate(EDQUOT, O_RDWR); }, "quota"},
        {"temporary file: descriptors", [] { return keltest::FailCreate(EMFILE, O_RDWR); }, "Too many open files"},
        {"write: disk full", [] { return keltest::FailWrites(ENOSPC, keltest::ReportFd()); }, "writing failed: No space left"},
        {"write: i/o", [] { return keltest::FailWrites(EIO, keltest::ReportFd()); }, "writing failed: Input/output error"},
        {"write: quota", [] { return keltest::FailWrites(EDQUOT, keltest::ReportFd()); }, "writing failed: Disk quota"},
        {"write: too large", [] { return keltest::FailWrites(EFBIG, keltest::ReportFd()); }, "writing failed: File too large"},
        {"mode", [] { return keltest::FailCalls({SYS_fchmod}, EPERM); }, "setting the file mode failed"},
        {"sync: i/o", [] { return keltest::FailCalls({SYS_fsync, SYS_fdatasync}, EIO); }, "syncing failed"},
        {"sync: disk full", [] { return keltest::FailCalls({SYS_fsync, SYS_fdatasync}, ENOSPC); }, "syncing failed"},
        {"rename: i/o", [renames] { return keltest::FailCalls(renames, EIO); }, "renaming the new file into place failed"},
        {"rename: other device", [renames] { return keltest::FailCalls(renames, EXDEV); }, "Invalid cross-device link"},
        {"rename: busy", [renames] { return keltest::FailCalls(renames, EBUSY); }, "renaming"},
        {"rename: disk full", [renames] { return keltest::FailCalls(renames, ENOSPC); }, "renaming"},
    };
    const std::string dir = keltest::EtcKel();
    int cases = 0;
    for (const Sample& sample : Samples()) {
        for (const Fault& fault : faults) {
            const std::string path = dir + sample.file;
            const std::string old = OldContent(sample);
            ASSERT_TRUE(keltest::WriteFile(path, old));
            const std::set<std::string> before = Entries(dir);
            std::string report = keltest::RunInChild([&]() -> std::string {
                std::unique_ptr<CKELDataProvider> record = sample.make();
                keltest::LogCapture log;
                if (!keltest::InstallFaults(fault.faults()))
                    return "SKIP: seccomp refused";
                int rc = record->Save2File(path);
                std::string problems;
                if (rc >= 0)
                    problems += " save reported success (" + std::to_string(rc) + ");";
                if (Failures(log, {path, fault.expected}) != 1)
                    problems += " no single clear failure line:" + AllLines(log) + ";";
                if (keltest::ReadFile(path) != old)
                    problems += " the old file changed;";
                if (Entries(dir) != before)
                    problems += " the folder changed (temporary file left?);";
                /* Still working afterwards. */
                std::string xml;
                if (record->Save2String(xml) != KEL_OK || xml.empty())
                    problems += " the record no longer saves as text;";
                return problems;
            });
            EXPECT_EQ("", report) << sample.file << ", " << fault.what;
            ++cases;
        }
    }
    RecordProperty("cases", cases);
}

TEST(StorageFaults, FailingReadsAreReportedAsReadFailuresNotAsCorruptFiles)
{
    const std::string path = keltest::EtcKel() + "TabNavigation.xml";
    ASSERT_TRUE(keltest::WriteFile(path, "<TabNavigation><Category name=\"A\" icon=\"\"/></TabNavigation>"));
    for (int err : {EIO, EISDIR, ENOMEM}) {
        std::string report = keltest::RunInChild([&]() -> std::string {
            CTabNavigationData data;
            keltest::LogCapture log;
            if (!keltest::InstallFaults(keltest::FailReads(err, keltest::ReportFd())))
                return "SKIP: seccomp refused";
            std::string problems;
            int rc = data.LoadFromFile(path);
            if (rc != KEL_ERR_IO)
                problems += " load gave " + std::to_string(rc) + ", not KEL_ERR_IO;";
            if (data.GetPCategoryInfoList())
                problems += " the record is not empty;";
            if (Failures(log, {path, "reading failed", strerror(err)}) != 1)
                problems += " no clear line:" + AllLines(log) + ";";
            if (Failures(log, {"not well-formed"}) != 0)
                problems += " called malformed;";
            return problems;
        });
        EXPECT_EQ("", report) << strerror(err);
    }
}

TEST(StorageFaults, KeepingAnUnreadableFileAsideFailsSafely)
{
    const std::string dir = keltest::EtcKel();
    const std::string path = dir + "TabNavigation.xml";
    const std::string corrupt = "<TabNavigation><Category name=\"cut off";
    const std::vector<long> links = {
#ifdef SYS_link
        SYS_link,
#endif
        SYS_linkat};

    /* No hard links there: the file is copied aside instead. */
    ASSERT_TRUE(keltest::WriteFile(path, corrupt));
    std::string report = keltest::RunInChild([&]() -> std::string {
        CTabNavigationData data;
        data.LoadFromFile(path);
        std::unique_ptr<CKELDataProvider> record = Samples()[0].make();
        if (!keltest::InstallFaults(keltest::FailCalls(links, EPERM)))
            return "SKIP: seccomp refused";
        if (record->Save2File(path) != KEL_OK)
            return "save failed";
        return keltest::ReadFile(path + ".unreadable") == corrupt ? "" : "the copy kept aside differs";
    });
    EXPECT_EQ("", report);

    /* Neither a link nor a copy can be made: the save is refused and the file stays. */
    ASSERT_EQ(0, unlink((path + ".unreadable").c_str()));
    ASSERT_TRUE(keltest::WriteFile(path, corrupt));
    const std::set<std::string> before = Entries(dir);
    report = keltest::RunInChild([&]() -> std::string {
        CTabNavigationData data;
        data.LoadFromFile(path);
        std::unique_ptr<CKELDataProvider> record = Samples()[0].make();
        keltest::LogCapture log;
        std::vector<keltest::SyscallFault> faults = keltest::FailCalls(links, EMLINK);
        for (const keltest::SyscallFault& f : keltest::FailCreate(ENOSPC, O_WRONLY))
            faults.push_back(f);
        if (!keltest::InstallFaults(faults))
            return "SKIP: seccomp refused";
        std::string problems;
        if (record->Save2File(path) >= 0)
            problems += " save reported success;";
        if (Failures(log, {path, "could not be kept"}) != 1)
            problems += " no clear line:" + AllLines(log) + ";";
        return problems;
    });
    EXPECT_EQ("", report);
    EXPECT_EQ(corrupt, keltest::ReadFile(path));
    EXPECT_EQ(before, Entries(dir));
}

TEST(StorageFaults, FullAndReadOnlyFileSystems)
{
    const std::string dir = keltest::Root() + "/small";
    ASSERT_TRUE(keltest::MakeDirs(dir));
    std::string report = keltest::RunInChild([&]() -> std::string {
        std::string why;
        if (!keltest::PrivateMounts(why))
            return "SKIP: " + why;
        if (mount("kel-test", dir.c_str(), "tmpfs", 0, "size=256k,mode=0755") != 0)
            return std::string("SKIP: tmpfs: ") + strerror(errno);
        std::string problems;
        const std::string path = dir + "/TabNavigation.xml";
        const std::string old = OldContent(Samples()[0]);
        if (!keltest::WriteFile(path, old))
            return "cannot write the old file";
        /* Fill the rest of the file system. */
        {
            int fd = open((dir + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            std::string block(4096, 'x');
            while (write(fd, block.data(), block.size()) > 0) {
            }
            close(fd);
        }
        std::unique_ptr<CKELDataProvider> record = Samples()[0].make();
        {
            keltest::LogCapture log;
            if (record->Save2File(path) != KEL_ERR_IO)
                problems += " save on a full disk did not fail;";
            if (Failures(log, {path, "No space left on device", "unchanged"}) != 1)
                problems += " no clear line for the full disk:" + AllLines(log) + ";";
            if (keltest::ReadFile(path) != old)
                problems += " the old file changed on the full disk;";
            if (Entries(dir) != std::set<std::string>{"TabNavigation.xml", "filler"})
                problems += " something was left on the full disk;";
        }
        /* Room again: the same record saves. */
        unlink((dir + "/filler").c_str());
        if (record->Save2File(path) != KEL_OK)
            problems += " no save after room was made;";

        /* A read-only bind mount stops even root. */
        if (mount(dir.c_str(), dir.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            mount(nullptr, dir.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            return problems + " SKIP: read-only bind mount: " + strerror(errno);
        const std::string saved = keltest::ReadFile(path);
        {
            keltest::LogCapture log;
            if (Samples()[1].make()->Save2File(path) != KEL_ERR_IO)
                problems += " save on a read-only mount did not fail;";
            if (Failures(log, {path, "Read-only file system"}) != 1)
                problems += " no clear line for the read-only mount:" + AllLines(log) + ";";
        }
        if (keltest::ReadFile(path) != saved)
            problems += " the file changed on the read-only mount;";
        CTabNavigationData reread;
        if (reread.LoadFromFile(path) != KEL_OK)
            problems += " the file cannot be read back;";
        return problems;
    });
    if (report.compare(0, 5, "SKIP:") == 0)
        GTEST_SKIP() << report;
    EXPECT_EQ("", report);
}

TEST(StorageFaults, PolicyFileReplacedByDirectoryLinkOrSpecialFile)
{
    const std::string dir = keltest::EtcKel();
    const std::string elsewhere = keltest::Root() + "/elsewhere/";
    ASSERT_TRUE(keltest::MakeDirs(elsewhere));
    const std::string good = "<TabNavigation><Category name=\"Elsewhere\" icon=\"\"/></TabNavigation>";
    ASSERT_TRUE(keltest::WriteFile(elsewhere + "Real.xml", good));

    struct Case {
        const char* name;
        std::function<bool(const std::string&)> make;
        int load;  /* expected LoadFromFile result */
        int save;  /* expected Save2File result */
        bool keepsType; /* what is in place is still of its kind afterwards */
    };
    const std::vector<Case> cases = {
        {"directory", [](const std::string& p) { return mkdir(p.c_str(), 0755) == 0; }, KEL_ERR_NOT_FILE,
         KEL_ERR_NOT_FILE, true},
        {"link to a directory",
         [&](const std::string& p) { return symlink(elsewhere.c_str(), p.c_str()) == 0; }, KEL_ERR_NOT_FILE,
         KEL_ERR_NOT_FILE, true},
        {"dangling link", [](const std::string& p) { return symlink("nowhere/none.xml", p.c_str()) == 0; },
         KEL_ERR_IO, KEL_ERR_IO, true},
        {"link loop", [](const std::string& p) { return symlink(p.c_str(), p.c_str()) == 0; }, KEL_ERR_IO,
         KEL_ERR_IO, true},
        {"link to /dev/null", [](const std::string& p) { return symlink("/dev/null", p.c_str()) == 0; },
         KEL_ERR_NOT_FILE, KEL_ERR_NOT_FILE, true},
        {"link to /dev/zero", [](const std::string& p) { return symlink("/dev/zero", p.c_str()) == 0; },
         KEL_ERR_NOT_FILE, KEL_ERR_NOT_FILE, true},
        {"fifo", [](const std::string& p) { return mkfifo(p.c_str(), 0644) == 0; }, KEL_ERR_NOT_FILE,
         KEL_ERR_NOT_FILE, true},
        {"socket",
         [](const std::string& p) {
             int s = socket(AF_UNIX, SOCK_STREAM, 0);
             struct sockaddr_un a = {};
             a.sun_family = AF_UNIX;
             snprintf(a.sun_path, sizeof a.sun_path, "%s", p.c_str());
             bool ok = bind(s, (struct sockaddr*)&a, sizeof a) == 0;
             close(s);
             return ok;
         },
         KEL_ERR_IO, KEL_ERR_NOT_FILE, true},
        /* No size, and no temporary file can be made beside it. */
        {"link to /proc", [](const std::string& p) { return symlink("/proc/self/status", p.c_str()) == 0; },
         KEL_ERR_PARSE, KEL_ERR_IO, true},
        {"link to a good file elsewhere",
         [&](const std::string& p) { return symlink("../../elsewhere/Real.xml", p.c_str()) == 0; }, KEL_OK,
         KEL_OK, true},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string path = dir + "Case" + std::to_string(n++) + ".xml";
        ASSERT_TRUE(c.make(path)) << c.name << ": " << strerror(errno);
        struct stat before;
        ASSERT_EQ(0, lstat(path.c_str(), &before)) << c.name;

        CTabNavigationData data;
        {
            keltest::LogCapture log;
            EXPECT_EQ(c.load, data.LoadFromFile(path)) << c.name;
            if (c.load != KEL_OK) {
                EXPECT_EQ(nullptr, data.GetPCategoryInfoList()) << c.name;
                EXPECT_EQ(1, Failures(log, {path})) << c.name << AllLines(log);
            }
        }
        std::unique_ptr<CKELDataProvider> record = Samples()[0].make();
        {
            keltest::LogCapture log;
            EXPECT_EQ(c.save, record->Save2File(path)) << c.name;
            if (c.save != KEL_OK) {
                EXPECT_EQ(1, Failures(log, {path})) << c.name << AllLines(log);
            }
        }
        struct stat after;
        ASSERT_EQ(0, lstat(path.c_str(), &after)) << c.name;
        EXPECT_EQ(before.st_mode & S_IFMT, after.st_mode & S_IFMT) << c.name << ": what was in place changed kind";
    }
    /* The good file elsewhere took the save through its link; the link is still a link. */
    CTabNavigationData reread;
    ASSERT_EQ(KEL_OK, reread.LoadFromFile(elsewhere + "Real.xml"));
    ASSERT_NE(nullptr, reread.GetPCategoryInfoList());
    EXPECT_EQ("Maths", reread.GetPCategoryInfoList()->front()->GetName());
    EXPECT_EQ((std::set<std::string>{"Real.xml"}), Entries(elsewhere));
    /* /dev/null and /dev/zero are still devices. */
    struct stat st;
    ASSERT_EQ(0, stat("/dev/null", &st));
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST(StorageFaults, LeftoversWithTemporaryNamesAreHandledSafely)
{
    const std::string dir = keltest::EtcKel();
    const std::string path = dir + "TabNavigation.xml";
    ASSERT_TRUE(keltest::WriteFile(dir + "sentinel", "keep me"));
    ASSERT_TRUE(keltest::WriteFile(dir + ".TabNavigation.xml.Ab12Cd", "stale, left by a killed save"));
    ASSERT_TRUE(keltest::WriteFile(dir + ".TabNavigation.xml.zzzzzz", ""));
    ASSERT_EQ(0, mkdir((dir + ".TabNavigation.xml.DIRDIR").c_str(), 0755));
    ASSERT_EQ(0, symlink("sentinel", (dir + ".TabNavigation.xml.LINK00").c_str()));
    ASSERT_TRUE(keltest::WriteFile(dir + ".TabNavigation.xml.toolong7", "not ours"));
    ASSERT_TRUE(keltest::WriteFile(dir + ".TabNavigation.xml.sh+rt", "not ours"));
    ASSERT_TRUE(keltest::WriteFile(dir + ".LockSchedule.xml.Ab12Cd", "another file's"));
    ASSERT_TRUE(keltest::WriteFile(dir + "TabNavigation.xml.unreadable", "a kept copy"));

    /* Another saver is in the middle of its save (holds the folder shared, its temporary file exists). */
    int ready[2], done[2];
    ASSERT_EQ(0, pipe(ready));
    ASSERT_EQ(0, pipe(done));
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
        flock(fd, LOCK_SH);
        keltest::WriteFile(dir + ".TabNavigation.xml.LIVE00", "being written");
        char c = 1;
        if (write(ready[1], &c, 1) != 1 || read(done[0], &c, 1) != 1)
            _exit(1);
        _exit(0);
    }
    char c;
    ASSERT_EQ(1, read(ready[0], &c, 1));

    std::unique_ptr<CKELDataProvider> record = Samples()[0].make();
    ASSERT_EQ(KEL_OK, record->Save2File(path));
    std::set<std::string> expected = {"TabNavigation.xml",
                                      "sentinel",
                                      ".TabNavigation.xml.Ab12Cd",
                                      ".TabNavigation.xml.zzzzzz",
                                      ".TabNavigation.xml.DIRDIR",
                                      ".TabNavigation.xml.LINK00",
                                      ".TabNavigation.xml.toolong7",
                                      ".TabNavigation.xml.sh+rt",
                                      ".TabNavigation.xml.LIVE00",
                                      ".LockSchedule.xml.Ab12Cd",
                                      "TabNavigation.xml.unreadable"};
    EXPECT_EQ(expected, Entries(dir)) << "nothing may be removed while another save runs";

    ASSERT_EQ(1, write(done[1], &c, 1));
    int status;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    /* Alone now: only the stale regular temporary files of this target go; the link goes
     * nowhere near what it points to. */
    ASSERT_EQ(KEL_OK, record->Save2File(path));
    for (const char* gone : {".TabNavigation.xml.Ab12Cd", ".TabNavigation.xml.zzzzzz", ".TabNavigation.xml.LIVE00"})
        expected.erase(gone);
    EXPECT_EQ(expected, Entries(dir));
    EXPECT_EQ("keep me", keltest::ReadFile(dir + "sentinel"));
    EXPECT_EQ("a kept copy", keltest::ReadFile(dir + "TabNavigation.xml.unreadable"));
    close(ready[0]);
    close(ready[1]);
    close(done[0]);
    close(done[1]);
}

TEST(StorageFaults, KelRootIsIgnoredBySetIdPrograms)
{
    /* A copy of the probe program, owned by nobody and set-user-id (then set-group-id):
     * run by root, it runs with another effective id, and the kernel marks it secure. */
    const std::string probe = std::string(KEL_BINARY_DIR) + "/tests/kel_probe";
    const std::string copy = keltest::Root() + "/kel_probe";
    ASSERT_EQ(0, system(("cp '" + probe + "' '" + copy + "'").c_str()));
    ASSERT_EQ(0, chmod(keltest::Root().c_str(), 0755));
    ASSERT_EQ(0, chmod((keltest::Root() + "/..").c_str(), 0755));
    struct statvfs fs;
    ASSERT_EQ(0, statvfs(copy.c_str(), &fs));
    if (fs.f_flag & ST_NOSUID)
        GTEST_SKIP() << "the test folder is mounted nosuid";

    keltest::CopySampleRoot();
    const std::string root = keltest::Root();
    const std::vector<std::string> env = {"KEL_ROOT=" + root, "DISPLAY"};
    std::string out;
    ASSERT_EQ(0, keltest::RunProgram({copy}, env, out));
    EXPECT_NE(std::string::npos, out.find("secure=0\n")) << out;
    EXPECT_NE(std::string::npos, out.find("config=" + root + "/etc/KEL/\n")) << out;
    EXPECT_NE(std::string::npos, out.find("theme=0 ")) << out;

    struct Mode {
        const char* what;
        uid_t uid;
        gid_t gid;
        mode_t mode;
    } modes[] = {{"set-user-id", 65534, 0, 04755}, {"set-group-id", 0, 65534, 02755}};
    for (const Mode& m : modes) {
        ASSERT_EQ(0, chown(copy.c_str(), m.uid, m.gid));
        ASSERT_EQ(0, chmod(copy.c_str(), m.mode));
        ASSERT_EQ(0, keltest::RunProgram({copy}, env, out)) << m.what << ":\n" << out;
        EXPECT_NE(std::string::npos, out.find("secure=1\n")) << m.what << ":\n" << out;
        EXPECT_NE(std::string::npos, out.find("config=/etc/KEL/\n")) << m.what << ":\n" << out;
        EXPECT_NE(std::string::npos, out.find("locale=/usr/share/locale/\n")) << m.what << ":\n" << out;
        EXPECT_NE(std::string::npos, out.find("icon=/etc/KEL/image/")) << m.what << ":\n" << out;
        /* The theme file under KEL_ROOT was not read either. */
        EXPECT_EQ(std::string::npos, out.find("theme=0 ")) << m.what << ":\n" << out;
    }
}

TEST(StorageFaults, HomeUnsetAndItsFolderUnusable)
{
    /* Without HOME the per-user gtkrc file goes to the home folder of the password database.
     * The real one is never touched: the child puts a file system of its own over it. */
    const std::string probe = std::string(KEL_BINARY_DIR) + "/tests/kel_probe";
    struct passwd* user = getpwuid(getuid());
    ASSERT_NE(nullptr, user);
    const std::string home = user->pw_dir;
    std::string report = keltest::RunInChild([&]() -> std::string {
        std::string why;
        if (!keltest::PrivateMounts(why))
            return "SKIP: " + why;
        if (mount("kel-home", home.c_str(), "tmpfs", 0, "size=64k,mode=0700") != 0)
            return std::string("SKIP: tmpfs over the home folder: ") + strerror(errno);
        std::string problems, out;
        const std::string rc = home + "/.kel/gtkrc-2.0";
        if (keltest::RunProgram({probe, "rc"}, {"HOME", "DISPLAY"}, out) != 0)
            problems += " the probe failed;";
        if (out.find("home=" + home + "\n") == std::string::npos || out.find("rcfile=" + rc + "\n") == std::string::npos)
            problems += " unexpected home: " + out + ";";
        if (keltest::ReadFile(rc).find("gtkrc.mine") == std::string::npos)
            problems += " the file was not written;";

        /* A home folder that cannot be written: a logged failure, nothing half-written. */
        unlink(rc.c_str());
        if (mount(nullptr, home.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            return problems + " SKIP: read-only remount: " + strerror(errno);
        if (keltest::RunProgram({probe, "rc"}, {"HOME", "DISPLAY"}, out) != 0)
            problems += " the probe failed on the read-only home;";
        if (out.find("failure=CUtility::WriteRCFile " + rc) == std::string::npos || out.find("result=0") == std::string::npos)
            problems += " no logged failure: " + out + ";";
        if (Entries(home + "/.kel").size() != 0)
            problems += " something was left in the home folder;";
        return problems;
    });
    if (report.compare(0, 5, "SKIP:") == 0)
        GTEST_SKIP() << report;
    EXPECT_EQ("", report);
}
