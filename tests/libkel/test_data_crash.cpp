/* Saves killed at any moment: the policy file is always one whole version, and what the killed
 * saves leave behind never piles up nor gets in the way of other saves. */
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "KELData.h"
#include "KelFault.h"
#include "KelTest.h"

using namespace LibKELData;

namespace {

/* Version n of the policy; its size varies up to a few hundred kB, so that kills land before,
 * inside and after the writing of the temporary file. */
CTabNavigationData Version(int n)
{
    CTabNavigationData data;
    CCategory* head = new CCategory();
    head->SetName("v" + std::to_string(n));
    for (int i = 0; i < (n % 5) * 700; ++i)
        head->AddApplication(new CApplicationInfo("Program " + std::to_string(i), "/usr/bin/p" + std::to_string(i), ""));
    data.SetPCategoryInfoList(new CategoryInfoList(1, head));
    return data;
}

int VersionOf(const CTabNavigationData& data)
{
    const CategoryInfoList* list = data.GetPCategoryInfoList();
    return list && !list->empty() ? atoi(list->front()->GetName().c_str() + 1) : -1;
}

size_t TempFiles(const std::string& dir, const std::string& base)
{
    size_t n = 0;
    for (const std::string& name : keltest::Entries(dir))
        n += name.compare(0, base.size() + 2, "." + base + ".") == 0;
    return n;
}

} // namespace

TEST(DataCrash, KilledSavesLeaveOneWholeVersionAndNoPileOfTempFiles)
{
    const std::string dir = keltest::EtcKel(), path = dir + "TabNavigation.xml";
    ASSERT_EQ(KEL_OK, Version(0).Save2File(path));
    int onDisk = 0;
    for (int round = 1; round <= 100; ++round) {
        int fds[2];
        ASSERT_EQ(0, pipe2(fds, O_CLOEXEC));
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) { /* saves versions round*1000, +1, ... announcing each before saving it */
            for (int n = round * 1000;; ++n)
                if (write(fds[1], &n, sizeof n) != (ssize_t)sizeof n || Version(n).Save2File(path) != KEL_OK)
                    _exit(3);
        }
        close(fds[1]);
        /* Kill after 1 to 3 announced saves, at a moment that moves a little each round. */
        std::vector<int> announced;
        int n;
        while (announced.size() < size_t(1 + round % 3) && read(fds[0], &n, sizeof n) == (ssize_t)sizeof n)
            announced.push_back(n);
        struct timespec pause = {0, (round % 7) * 300000L};
        nanosleep(&pause, nullptr);
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(pid, waitpid(pid, &status, 0));
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saving child ended on its own, status " << status;
        while (read(fds[0], &n, sizeof n) == (ssize_t)sizeof n)
            announced.push_back(n);
        close(fds[0]);

        /* Whole: either the version being written or the one before it. */
        const int being = announced.back();
        const int before = announced.size() >= 2 ? announced[announced.size() - 2] : onDisk;
        CTabNavigationData loaded;
        ASSERT_EQ(KEL_OK, loaded.LoadFromFile(path)) << "round " << round;
        onDisk = VersionOf(loaded);
        ASSERT_TRUE(onDisk == being || onDisk == before) << "round " << round << ": v" << onDisk;
        ASSERT_TRUE(loaded.IsEqual(Version(onDisk))) << "round " << round << ": v" << onDisk << " is not whole";
        /* A save removes those left before it makes its own, so a kill leaves at most one. */
        ASSERT_LE(TempFiles(dir, "TabNavigation.xml"), 1u) << "round " << round << ": temporary files pile up";
    }
    ASSERT_EQ(KEL_OK, Version(1).Save2File(path));
    EXPECT_EQ(0u, TempFiles(dir, "TabNavigation.xml"));
}

TEST(DataCrash, CleanupNeverTakesTheTempFileOfASaveStillRunning)
{
    /* Two threads and another process save into one folder at once: each save's temporary
     * file must survive the others' cleanup until it is renamed. */
    const std::string dir = keltest::EtcKel(), path = dir + "TabNavigation.xml";
    ASSERT_EQ(KEL_OK, Version(0).Save2File(path));
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        for (int i = 0; i < 60; ++i)
            if (Version(i * 5 + 3).Save2File(path) != KEL_OK)
                _exit(4);
        _exit(0);
    }
    std::atomic<int> failures(0);
    std::thread writer([&] {
        for (int i = 0; i < 60; ++i)
            failures += Version(i * 5 + 4).Save2File(path) != KEL_OK;
    });
    for (int i = 0; i < 60; ++i)
        failures += (Version(i * 5 + 1).Save2File(path) != KEL_OK) + (Version(i).Save2File(dir + "Other.xml") != KEL_OK);
    writer.join();
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a save of the other process failed";
    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(0u, TempFiles(dir, "TabNavigation.xml") + TempFiles(dir, "Other.xml"));
    CTabNavigationData loaded;
    ASSERT_EQ(KEL_OK, loaded.LoadFromFile(path));
    EXPECT_TRUE(loaded.IsEqual(Version(VersionOf(loaded))));
}
