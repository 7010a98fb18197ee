/* A hostile local user against root's saves: planted links and files, a lock held on the policy
 * folder, metadata of the replaced file, the roster's size. The other user's steps run in a
 * child as nobody; without root those tests are skipped. */
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "KELData.h"
#include "KelFault.h"
#include "KelTest.h"

using namespace LibKELData;

namespace {

CTabNavigationData Policy()
{
    CTabNavigationData data;
    CCategory* category = new CCategory();
    category->SetName("Maths");
    data.SetPCategoryInfoList(new CategoryInfoList(1, category));
    return data;
}

} // namespace

TEST(HostileUser, PlantedLinkOrFileIsNeitherFollowedNorAdopted)
{
    /* The other user plants names in a sticky world-writable folder where root saves. */
    const std::string tmp = keltest::Root() + "/tmp/", victim = keltest::EtcKel() + "shadow";
    ASSERT_TRUE(keltest::MakeDirs(tmp));
    ASSERT_EQ(0, chmod(tmp.c_str(), 01777));
    ASSERT_TRUE(keltest::WriteFile(victim, "root:secret:"));
    std::string report = keltest::RunAsNobody([&]() -> std::string {
        bool planted = symlink(victim.c_str(), (tmp + "tabnavigation.xml").c_str()) == 0 &&
                       keltest::WriteFile(tmp + "planted.xml", "<TabNavigation/>") &&
                       chmod((tmp + "planted.xml").c_str(), 0666) == 0;
        return planted ? "" : "planting failed";
    });
    if (report.compare(0, 5, "SKIP:") == 0)
        GTEST_SKIP() << report;
    ASSERT_EQ("", report);

    for (const char* name : {"tabnavigation.xml", "planted.xml"}) {
        keltest::LogCapture log;
        EXPECT_EQ(KEL_ERR_UNSAFE, Policy().Save2File(tmp + name)) << name;
        EXPECT_EQ(1, keltest::FailureLines(log, {tmp + name, "refused"})) << name;
    }
    EXPECT_EQ("root:secret:", keltest::ReadFile(victim));
    struct stat st;
    ASSERT_EQ(0, lstat((tmp + "tabnavigation.xml").c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(0, stat((tmp + "planted.xml").c_str(), &st));
    EXPECT_EQ(65534u, st.st_uid);
    EXPECT_EQ("<TabNavigation/>", keltest::ReadFile(tmp + "planted.xml"));

    /* In root's own folder, a file that belongs to someone else is refused too. */
    const std::string owned = keltest::EtcKel() + "TabNavigation.xml";
    ASSERT_TRUE(keltest::WriteFile(owned, "<TabNavigation/>"));
    ASSERT_EQ(0, chown(owned.c_str(), 65534, 65534));
    keltest::LogCapture log;
    EXPECT_EQ(KEL_ERR_UNSAFE, Policy().Save2File(owned));
    EXPECT_EQ(1, keltest::FailureLines(log, {owned, "refused"}));
    EXPECT_EQ("<TabNavigation/>", keltest::ReadFile(owned));
}

TEST(HostileUser, LocksOfOthersDoNotHoldUpASave)
{
    const std::string dir = keltest::EtcKel(), path = dir + "TabNavigation.xml";
    ASSERT_EQ(KEL_OK, Policy().Save2File(path)); /* the save lock exists from now on */
    chmod(keltest::Root().c_str(), 0755);
    chmod((keltest::Root() + "/..").c_str(), 0755);
    /* First our own user holds the save lock (a stuck save): the save gives up within its bound.
     * Then another user locks the policy folder, as anyone can, and tries the save lock. */
    for (bool nobody : {false, true}) {
        int ready[2], go[2];
        ASSERT_EQ(0, pipe(ready));
        ASSERT_EQ(0, pipe(go));
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            std::string why;
            char state = 's';
            if (!nobody || keltest::BecomeNobody(why)) {
                int fd = open(nobody ? dir.c_str() : (dir + ".kelsave.lock").c_str(), O_RDONLY);
                state = fd < 0 || flock(fd, LOCK_EX) != 0 ? 'f' : nobody && open((dir + ".kelsave.lock").c_str(), O_RDONLY) >= 0 ? 'o' : 'y';
            }
            (void)!write(ready[1], &state, 1);
            (void)!read(go[0], &state, 1); /* holds its lock until the save is done */
            _exit(0);
        }
        char state = 0;
        ASSERT_EQ(1, read(ready[0], &state, 1));
        int rc = state == 'y' ? Policy().Save2File(path) : KEL_OK;
        ASSERT_EQ(1, write(go[1], &state, 1));
        waitpid(pid, nullptr, 0);
        for (int fd : {ready[0], ready[1], go[0], go[1]})
            close(fd);
        if (state == 's')
            GTEST_SKIP() << "needs root to run the other user's steps as nobody";
        ASSERT_EQ('y', state) << "f: the lock could not be taken, o: nobody could open the save lock";
        EXPECT_EQ(nobody ? KEL_OK : KEL_ERR_BUSY, rc);
    }
}

TEST(HostileUser, ReplacedFileKeepsModeGroupAndAttributesButNoSetIdBits)
{
    const std::string dir = keltest::EtcKel(), path = dir + "LockSchedule.xml";
    ASSERT_TRUE(keltest::WriteFile(path, "<LockSchedule/>"));
    ASSERT_EQ(0, chmod(path.c_str(), 06754));
    const bool root = geteuid() == 0;
    ASSERT_EQ(0, root ? chown(path.c_str(), 0, 65534) : 0);
    const bool xattrs = setxattr(path.c_str(), "user.kel.label", "kept", 4, 0) == 0;
    CLockScheduleData schedule;
    schedule.SetAutoLock(1);
    ASSERT_EQ(KEL_OK, schedule.Save2File(path));
    struct stat st;
    ASSERT_EQ(0, stat(path.c_str(), &st));
    EXPECT_EQ(0754u, st.st_mode & 07777) << "set-id bits must not be carried over";
    EXPECT_EQ(root ? 65534u : getegid(), st.st_gid);
    char value[16] = {};
    EXPECT_EQ(xattrs ? 4 : -1, getxattr(path.c_str(), "user.kel.label", value, sizeof value));

    /* A new file follows the umask. */
    mode_t saved = umask(027);
    EXPECT_EQ(KEL_OK, schedule.Save2File(dir + "New.xml"));
    umask(saved);
    ASSERT_EQ(0, stat((dir + "New.xml").c_str(), &st));
    EXPECT_EQ(0640u, st.st_mode & 07777);
}

TEST(HostileUser, RosterOfJunkIsRefusedBeforeItCostsMemory)
{
    /* Empty elements cost far more as a tree than on disk: the roster is capped at 1 MiB. */
    const std::string path = keltest::EtcKel() + "StudentInfo.xml";
    std::string junk = "<StudentInfo>";
    while (junk.size() < 2 * 1024 * 1024)
        junk += "<a/><a/><a/><a/><a/><a/><a/><a/>";
    ASSERT_TRUE(keltest::WriteFile(path, junk + "</StudentInfo>"));
    CStudentInfoData roster;
    EXPECT_EQ(KEL_ERR_TOO_LARGE, roster.LoadFromFile(path));
    EXPECT_EQ(KEL_ERR_TOO_LARGE, roster.LoadFromString(junk + "</StudentInfo>"));
    /* A large real classroom still loads. */
    for (int i = 0; i < 5000; ++i)
        roster.AddStudent("Student " + std::to_string(i), "192.168." + std::to_string(i / 250) + "." + std::to_string(i % 250));
    ASSERT_EQ(KEL_OK, roster.Save2File(path));
    CStudentInfoData reread;
    ASSERT_EQ(KEL_OK, reread.LoadFromFile(path));
    EXPECT_EQ(5000u, reread.GetStudents().size());
}
