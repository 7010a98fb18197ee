/* The policy core without a window: what counts as a change, the lock-status rules, and what an
 * apply does when a save fails, when another writer changed a file, and with a damaged file. */
#include <gtest/gtest.h>

#include <unistd.h>

#include "CShellPolicy.h"
#include "ScriptedIPC.h"
#include "shellsetting_fixture.h"

using LibKELGUI::CShellPolicy;
using namespace LibKELData;

namespace {

const unsigned SCHEDULE = CShellPolicy::Bit(CShellPolicy::SCHEDULE);

LockTimeSectionList* OneHour(int day, int hour)
{
    LockTimeSectionList* list = new LockTimeSectionList;
    list->push_back(new CLockTimeSection(day, hour, hour + 1));
    return list;
}

std::string ScheduleFile()
{
    return CShellPolicy::FilePath(CShellPolicy::SCHEDULE);
}

} // namespace

TEST(ShellPolicy, ScheduleCountsHoursAndAutomaticLockingButNotALockSetByOthers)
{
    /* A manual lock from the teacher's console: status 1, manual lock 1, automatic locking on. */
    ASSERT_TRUE(keltest::WriteLockSchedule(1, 1, {{2, 4}}, 1));
    CShellPolicy policy;
    ASSERT_EQ(0, policy.Load(CShellPolicy::SCHEDULE));
    policy.SetSchedule(OneHour(2, 4), true); /* the untouched grid read back */
    EXPECT_EQ(2, policy.Schedule().GetLockStatus());
    EXPECT_FALSE(policy.TestDirty(CShellPolicy::SCHEDULE)) << "nobody edited the schedule";
    policy.SetSchedule(OneHour(2, 5), true);
    EXPECT_TRUE(policy.TestDirty(CShellPolicy::SCHEDULE));
    policy.SetSchedule(OneHour(2, 4), false);
    EXPECT_EQ(3, policy.Schedule().GetLockStatus());
    EXPECT_TRUE(policy.TestDirty(CShellPolicy::SCHEDULE));

    /* What the service is sent: off keeps the earlier status, on releases the manual lock. */
    policy.KeepLockStateForService(1);
    EXPECT_EQ(1, policy.Schedule().GetLockStatus());
    EXPECT_EQ(1, policy.Schedule().GetManualLock());
    policy.SetSchedule(OneHour(2, 4), true);
    policy.KeepLockStateForService(1);
    EXPECT_EQ(2, policy.Schedule().GetLockStatus());
    EXPECT_EQ(0, policy.Schedule().GetManualLock());
}

TEST(ShellPolicy, FailedSaveKeepsTheFlagAndSaysWhichFileAndWhy)
{
    /* A folder where the file should be: it can be neither read nor replaced. */
    ASSERT_TRUE(keltest::MakeDirs(ScheduleFile()));
    CShellPolicy policy;
    policy.Load(CShellPolicy::SCHEDULE);
    policy.Load(CShellPolicy::TAB_NAVIGATION);
    policy.SetSchedule(OneHour(0, 8), true);
    policy.TestDirty(CShellPolicy::SCHEDULE);
    CShellPolicy::FileSink files;
    CShellPolicy::ApplyResult result = policy.Apply(CShellPolicy::ALL_RECORDS, files, nullptr);
    ASSERT_EQ(1u, result.failures.size()) << "the unchanged program registration is not saved";
    EXPECT_EQ("The lock schedule could not be saved.\nThe file " + ScheduleFile() +
                  " was not written because a folder or another non-file is in its place.",
              result.failures[0]);
    EXPECT_TRUE(policy.Dirty(CShellPolicy::SCHEDULE));

    /* The folder gone (a change on disk the user confirms), the next apply saves and clears the flag. */
    ASSERT_EQ(0, rmdir(ScheduleFile().c_str()));
    EXPECT_TRUE(policy.Apply(SCHEDULE, files, [] { return true; }).Ok());
    EXPECT_FALSE(policy.Dirty(CShellPolicy::SCHEDULE));
    EXPECT_EQ((std::vector<std::pair<int, int>>{{0, 8}}), keltest::LockedHoursOnDisk());

    /* The service's refusals in the words the windows use. */
    EXPECT_EQ("The policy service is not running.", CShellPolicy::ServiceSink::Reason(IPCAPI::IPC_ERR_NOT_RUNNING));
    EXPECT_EQ("You are not allowed to change the policy of this computer.",
              CShellPolicy::ServiceSink::Reason(IPCAPI::IPC_ERR_NOT_ALLOWED));
    CShellPolicy::ServiceSink none(nullptr);
    policy.Dirty(CShellPolicy::SCHEDULE) = true;
    result = policy.Apply(SCHEDULE, none, nullptr);
    ASSERT_EQ(1u, result.failures.size());
    EXPECT_NE(std::string::npos, result.failures[0].find("The policy service is not running."));
    EXPECT_EQ(IPCAPI::IPC_ERR_NOT_RUNNING, none.LastError());
}

TEST(ShellPolicy, AnotherWritersChangeIsReplacedOnlyWhenTheUserSaysSo)
{
    ASSERT_TRUE(keltest::WriteLockSchedule(1, 2, {{1, 1}}));
    CShellPolicy policy;
    policy.Load(CShellPolicy::SCHEDULE);
    policy.SetSchedule(OneHour(3, 3), true);
    policy.TestDirty(CShellPolicy::SCHEDULE);
    CShellPolicy::FileSink files;
    int asked = 0;

    /* Another window saved meanwhile: No keeps its change and our edit. */
    ASSERT_TRUE(keltest::WriteLockSchedule(1, 2, {{5, 5}}));
    CShellPolicy::ApplyResult result = policy.Apply(SCHEDULE, files, [&asked] { return ++asked, false; });
    EXPECT_TRUE(result.declined);
    EXPECT_EQ(1, asked);
    EXPECT_EQ((std::vector<std::pair<int, int>>{{5, 5}}), keltest::LockedHoursOnDisk());
    EXPECT_TRUE(policy.Dirty(CShellPolicy::SCHEDULE));

    /* Yes replaces it; our own save is no change of someone else's the next time. */
    EXPECT_TRUE(policy.Apply(SCHEDULE, files, [&asked] { return ++asked, true; }).Ok());
    EXPECT_EQ((std::vector<std::pair<int, int>>{{3, 3}}), keltest::LockedHoursOnDisk());
    policy.SetSchedule(OneHour(4, 4), true);
    policy.TestDirty(CShellPolicy::SCHEDULE);
    EXPECT_TRUE(policy.Apply(SCHEDULE, files, [&asked] { return ++asked, false; }).Ok());
    EXPECT_EQ(2, asked);
}

TEST(ShellPolicy, DamagedFileIsToldAndItsBytesKeptAsideOnSave)
{
    ASSERT_TRUE(keltest::WriteFile(ScheduleFile(), "<LockSchedule autoLock=\"1\"><Sect"));
    CShellPolicy policy;
    EXPECT_NE(0, policy.Load(CShellPolicy::SCHEDULE));
    EXPECT_NE(0, policy.Load(CShellPolicy::TAB_NAVIGATION)) << "missing, not damaged";
    EXPECT_EQ(ScheduleFile() + " could not be read and was not loaded: the window shows it empty. Its bytes will be "
                               "kept as " + ScheduleFile() + ".unreadable when the policy is saved.",
              policy.DamageNotice());
    policy.SetSchedule(OneHour(6, 23), true);
    policy.TestDirty(CShellPolicy::SCHEDULE);
    CShellPolicy::FileSink files;
    EXPECT_TRUE(policy.Apply(SCHEDULE, files, nullptr).Ok());
    EXPECT_EQ("<LockSchedule autoLock=\"1\"><Sect", keltest::ReadFile(ScheduleFile() + ".unreadable"));
    EXPECT_EQ("", policy.DamageNotice());
}
