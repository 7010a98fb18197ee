/* The policy core without a window: what counts as a change, the lock-status rules, and what an
 * apply does when a save fails, when another writer changed a file, and with a damaged file. */
#include <gtest/gtest.h>

#include "CShellPolicy.h"
#include "ScriptedIPC.h"
#include "shellsetting_fixture.h"

using LibKELGUI::CShellPolicy;
using namespace LibKELData;

namespace {

const unsigned SCHEDULE = CShellPolicy::Bit(CShellPolicy::SCHEDULE);
/* Read after the test main has set the sandbox's root. */
std::string File()
{
    return CShellPolicy::FilePath(CShellPolicy::SCHEDULE);
}

/* The grid read back with one locked hour; the dirty test run as a fetch runs it. */
void Edit(CShellPolicy& policy, int day, int hour, bool autoLock = true)
{
    policy.SetSchedule(new LockTimeSectionList{new CLockTimeSection(day, hour, hour + 1)}, autoLock);
    policy.TestDirty(CShellPolicy::SCHEDULE);
}

} // namespace

TEST(ShellPolicy, ScheduleCountsHoursAndAutomaticLockingButNotALockSetByOthers)
{
    /* A manual lock from the teacher's console: status 1, manual lock 1, automatic locking on. */
    ASSERT_TRUE(keltest::WriteLockSchedule(1, 1, {{2, 4}}, 1));
    CShellPolicy policy;
    ASSERT_EQ(0, policy.Load(CShellPolicy::SCHEDULE));
    Edit(policy, 2, 4);
    EXPECT_EQ(2, policy.Schedule().GetLockStatus());
    EXPECT_FALSE(policy.Dirty(CShellPolicy::SCHEDULE)) << "nobody edited the schedule";
    Edit(policy, 2, 5);
    EXPECT_TRUE(policy.Dirty(CShellPolicy::SCHEDULE));
    Edit(policy, 2, 4, false);
    EXPECT_EQ(3, policy.Schedule().GetLockStatus());
    EXPECT_TRUE(policy.Dirty(CShellPolicy::SCHEDULE));
    /* What the service is sent: off keeps the earlier status, on releases the manual lock. */
    policy.KeepLockStateForService(1);
    EXPECT_EQ(1, policy.Schedule().GetLockStatus());
    EXPECT_EQ(1, policy.Schedule().GetManualLock());
    Edit(policy, 2, 4);
    policy.KeepLockStateForService(1);
    EXPECT_EQ(0, policy.Schedule().GetManualLock());
}

/* (A failing file save, in the windows' words and with the window kept, is the windows' test.) */
TEST(ShellPolicy, RefusalOfTheServiceIsToldInTheWindowsWordsAndKeepsTheFlag)
{
    CShellPolicy policy;
    policy.Load(CShellPolicy::SCHEDULE);
    Edit(policy, 0, 8);
    keltest::ScriptedIPC ipc;
    ipc.saveResult = -1;
    ipc.saveError = IPCAPI::IPC_ERR_NOT_ALLOWED;
    CShellPolicy::ServiceSink service(&ipc);
    CShellPolicy::ApplyResult result = policy.Apply(SCHEDULE, service, nullptr);
    EXPECT_EQ("The lock schedule could not be saved.\nThe file " + File() +
                  " was not written. You are not allowed to change the policy of this computer.",
              result.failures.at(0));
    EXPECT_TRUE(policy.Dirty(CShellPolicy::SCHEDULE));
}

TEST(ShellPolicy, DamagedFileIsToldAndItsBytesKeptAsideOnSave)
{
    ASSERT_TRUE(keltest::WriteFile(File(), "<LockSchedule autoLock=\"1\"><Sect"));
    CShellPolicy policy;
    EXPECT_NE(0, policy.Load(CShellPolicy::SCHEDULE));
    EXPECT_NE(0, policy.Load(CShellPolicy::TAB_NAVIGATION)) << "missing, not damaged";
    EXPECT_EQ(File() + " could not be read and was not loaded: the window shows it empty. Its bytes will be kept as " +
                  File() + ".unreadable when the policy is saved.",
              policy.DamageNotice());
    Edit(policy, 6, 23);
    CShellPolicy::FileSink files;
    EXPECT_TRUE(policy.Apply(SCHEDULE, files, nullptr).Ok());
    EXPECT_EQ("<LockSchedule autoLock=\"1\"><Sect", keltest::ReadFile(File() + ".unreadable"));
    EXPECT_EQ("", policy.DamageNotice());
}
