/* Saves killed at random moments: the policy file is always one whole version, and what the killed saves
 * leave behind never piles up nor gets in the way of the next save. */
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "KELData.h"
#include "KelTest.h"

using namespace LibKELData;

namespace {

/* Version n of the policy: its size varies (up to a few hundred kB) so that kills land
 * before, inside and after the writing of the temporary file. */
CTabNavigationData Version(int n)
{
    CTabNavigationData data;
    CategoryInfoList* list = new CategoryInfoList();
    CCategory* head = new CCategory();
    head->SetName("v" + std::to_string(n));
    head->SetCategoryIcon("/etc/KEL/icons/v.png");
    list->push_back(head);
    const int programs = (n % 5) * 700;
    for (int i = 0; i < programs; ++i)
        head->AddApplication(new CApplicationInfo("Program " + std::to_string(n) + "/" + std::to_string(i),
                                                  "/usr/bin/p" + std::to_string(i), "", i % 2));
    data.SetPCategoryInfoList(list);
    return data;
}

int VersionOf(const CTabNavigationData& data)
{
    const CategoryInfoList* list = data.GetPCategoryInfoList();
    if (!list || list->empty() || list->front()->GetName().size() < 2)
        return -1;
    return atoi(list->front()->GetName().c_str() + 1);
}

std::vector<std::string> TempFiles(const std::string& dir, const std::string& base)
{
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (!d)
        return names;
    const std::string prefix = "." + base + ".";
    while (struct dirent* e = readdir(d))
        if (std::string(e->d_name).compare(0, prefix.size(), prefix) == 0)
            names.push_back(e->d_name);
    closedir(d);
    return names;
}

/* Saves versions first, first + 1, ... announcing each on the pipe before saving it. */
[[noreturn]] void SaveForever(const std::string& path, int first, int announce)
{
    for (int n = first;; ++n) {
        if (write(announce, &n, sizeof n) != (ssize_t)sizeof n)
            _exit(3);
        if (Version(n).Save2File(path) != KEL_OK)
            _exit(4);
    }
}

/* Reads every announcement the child made; waits (bounded) until there are at least min. */
void ReadAnnouncements(int fd, std::vector<int>& seen, size_t min)
{
    for (int spins = 0; spins < 10000; ++spins) {
        struct pollfd p = {fd, POLLIN, 0};
        int timeout = seen.size() >= min ? 0 : 100;
        if (poll(&p, 1, timeout) <= 0) {
            if (seen.size() >= min)
                return;
            continue;
        }
        int n;
        ssize_t got = read(fd, &n, sizeof n);
        if (got != (ssize_t)sizeof n)
            return; /* end of the pipe */
        seen.push_back(n);
    }
}

} // namespace

TEST(DataCrash, KilledSavesLeaveOneWholeVersionAndNoPileOfTempFiles)
{
    const std::string dir = keltest::EtcKel();
    const std::string path = dir + "TabNavigation.xml";
    ASSERT_EQ(KEL_OK, Version(0).Save2File(path));
    int onDisk = 0;

    std::mt19937 rng(20261206);
    const int rounds = 300;
    int roundsWithTemp = 0;
    int wholeOld = 0, wholeNew = 0;
    for (int round = 1; round <= rounds; ++round) {
        int fds[2];
        ASSERT_EQ(0, pipe2(fds, O_CLOEXEC));
        const int first = round * 1000;
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(fds[0]);
            SaveForever(path, first, fds[1]);
        }
        close(fds[1]);
        std::vector<int> announced;
        /* The moment: after one to three announced saves, then a random pause of up to 3 ms. */
        ReadAnnouncements(fds[0], announced, 1 + rng() % 3);
        struct timespec pause = {0, (long)(rng() % 3000) * 1000};
        nanosleep(&pause, nullptr);
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(pid, waitpid(pid, &status, 0));
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saving child ended on its own, status " << status;
        ReadAnnouncements(fds[0], announced, 0);
        close(fds[0]);
        ASSERT_FALSE(announced.empty());

        /* Whole: either the version being written or the one before it. */
        const int being = announced.back();
        const int before = announced.size() >= 2 ? announced[announced.size() - 2] : onDisk;
        CTabNavigationData loaded;
        ASSERT_EQ(KEL_OK, loaded.LoadFromFile(path)) << "round " << round;
        const int got = VersionOf(loaded);
        ASSERT_TRUE(got == being || got == before)
            << "round " << round << ": file holds v" << got << ", expected v" << before << " or v" << being;
        ASSERT_TRUE(loaded.IsEqual(Version(got))) << "round " << round << ": v" << got << " is not whole";
        (got == being ? wholeNew : wholeOld)++;
        onDisk = got;

        /* A save creates its temporary file only after removing those left before, so a
         * kill leaves at most one. */
        const size_t temps = TempFiles(dir, "TabNavigation.xml").size();
        ASSERT_LE(temps, 1u) << "round " << round << ": temporary files pile up";
        roundsWithTemp += temps > 0;
    }
    /* The test is worth its rounds only if kills landed in the middle of saves. */
    EXPECT_GT(roundsWithTemp, 0);
    RecordProperty("rounds_with_temp_left", roundsWithTemp);
    std::printf("%d rounds: %d killed mid-save (temporary file left), file held the old version %d times, "
                "the new one %d times\n",
                rounds, roundsWithTemp, wholeOld, wholeNew);

    /* The next save succeeds and cleans up; nothing else in the folder was touched. */
    ASSERT_TRUE(keltest::WriteFile(dir + "LockSchedule.xml", "<LockSchedule/>"));
    ASSERT_EQ(KEL_OK, Version(1).Save2File(path));
    EXPECT_TRUE(TempFiles(dir, "TabNavigation.xml").empty());
    EXPECT_EQ("<LockSchedule/>", keltest::ReadFile(dir + "LockSchedule.xml"));
}

TEST(DataCrash, CleanupNeverTakesTheTempFileOfASaveStillRunning)
{
    /* Two threads and another process save into the same folder at once: each save's
     * temporary file must survive the others' cleanup until it is renamed. */
    const std::string dir = keltest::EtcKel();
    const std::string path = dir + "TabNavigation.xml";
    const std::string other = dir + "Other.xml";
    ASSERT_EQ(KEL_OK, Version(0).Save2File(path));

    int fds[2];
    ASSERT_EQ(0, pipe2(fds, O_CLOEXEC));
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(fds[0]);
        for (int i = 0; i < 60; ++i)
            if (Version(i * 5 + 3).Save2File(path) != KEL_OK)
                _exit(4);
        _exit(0);
    }
    close(fds[1]);
    close(fds[0]);

    std::atomic<int> failures(0);
    std::thread writer([&] {
        for (int i = 0; i < 60; ++i)
            if (Version(i * 5 + 4).Save2File(path) != KEL_OK)
                ++failures;
    });
    for (int i = 0; i < 60; ++i) {
        if (Version(i * 5 + 1).Save2File(path) != KEL_OK)
            ++failures;
        if (Version(i).Save2File(other) != KEL_OK)
            ++failures;
    }
    writer.join();
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a save of the other process failed";
    EXPECT_EQ(0, failures.load());
    EXPECT_TRUE(TempFiles(dir, "TabNavigation.xml").empty());
    EXPECT_TRUE(TempFiles(dir, "Other.xml").empty());
    CTabNavigationData loaded;
    ASSERT_EQ(KEL_OK, loaded.LoadFromFile(path));
    EXPECT_TRUE(loaded.IsEqual(Version(VersionOf(loaded))));
}
