/* The shell policy being edited, its dirty tests, lock-status rules and apply step; no widgets. */
#include "CShellPolicy.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "CLockGrid.h"
#include "KELConstants.h"

using namespace LibKELData;

namespace LibKELGUI {

namespace {

/* What could not be saved, then which file and why. */
std::string NotSaved(CShellPolicy::Record record, const std::string& detail)
{
    const char* what = record == CShellPolicy::SCHEDULE         ? Tr("The lock schedule could not be saved.")
                       : record == CShellPolicy::TAB_NAVIGATION ? Tr("The program registration could not be saved.")
                                                                : Tr("The system settings could not be saved.");
    return std::string(what) + "\n" + detail;
}

CKELDataProvider* NewRecord(CShellPolicy::Record record)
{
    switch (record) {
    case CShellPolicy::SCHEDULE: return new CLockScheduleData;
    case CShellPolicy::TAB_NAVIGATION: return new CTabNavigationData;
    default: return new CKELSystemSettingData;
    }
}

/* A record as text after its load's result: the file as a record would hold it, so that the
 * same policy written again is no change. */
std::string FingerprintOf(int loadResult, CKELDataProvider& data)
{
    std::string xml;
    if (loadResult == KEL_OK)
        data.Save2String(xml);
    char prefix[16];
    snprintf(prefix, sizeof(prefix), "%d:", loadResult);
    return prefix + xml;
}

bool SameSchedule(const CLockScheduleData& a, const CLockScheduleData& b)
{
    CLockGrid gridA;
    CLockGrid gridB;
    gridA.MarkSections(a.GetPAutomaticLockTimeList());
    gridB.MarkSections(b.GetPAutomaticLockTimeList());
    return (a.IsAutoLockEnable() != 0) == (b.IsAutoLockEnable() != 0) && gridA == gridB;
}

} // namespace

/* ---------------------------------------------------------------- sinks */

int CShellPolicy::FileSink::Save(Record record, CKELDataProvider& data, std::string& reason)
{
    std::string path = FilePath(record);
    int rc = data.Save2File(path);
    if (rc != KEL_OK)
        reason = NotSaved(
            record, Format(Tr("The file %s was not written because %s."), path.c_str(), Reason(path, rc).c_str()));
    return rc;
}

std::string CShellPolicy::FileSink::Reason(const std::string& path, int rc)
{
    if (rc == KEL_ERR_NOT_FILE)
        return Tr("a folder or another non-file is in its place");
    if (rc == KEL_ERR_ARGUMENT)
        return Tr("it holds text that a policy file cannot store");
    std::string dir = path.substr(0, path.rfind('/') + 1);
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return Tr("its folder does not exist");
    struct statvfs fs;
    if (statvfs(dir.c_str(), &fs) == 0) {
        if (fs.f_flag & ST_RDONLY)
            return Tr("the disk is read-only");
        if (fs.f_bavail == 0)
            return Tr("the disk is full");
    }
    if (access(dir.c_str(), W_OK) != 0)
        return Tr("the folder is read-only");
    return Tr("it could not be written (the log tells more)");
}

int CShellPolicy::ServiceSink::Save(Record record, CKELDataProvider& data, std::string& reason)
{
    std::string xml;
    int rc = data.Save2String(xml);
    int error = 0;
    if (rc != KEL_OK) {
        error = IPCAPI::IPC_ERR_INVALID_ARGUMENT;
    } else if (!m_pApi) {
        error = IPCAPI::IPC_ERR_NOT_RUNNING;
        rc = -1;
    } else {
        if (record == SCHEDULE)
            rc = m_pApi->SaveLocalSchedulePolicy(xml, error);
        else if (record == TAB_NAVIGATION)
            rc = m_pApi->SaveLocalTabNavPolicy(xml, error);
        else
            rc = m_pApi->HardWareControl(xml, error);
        if (rc != 0 && error == 0)
            error = IPCAPI::IPC_ERR_SAVE;
    }
    m_LastError = error;
    if (rc != 0 && record == SYSTEM_SETTING)
        FailureLine("Save USB Policy Failure!");
    if (rc != 0)
        reason = NotSaved(
            record, Format(Tr("The file %s was not written. %s"), FilePath(record).c_str(), Reason(error).c_str()));
    return rc;
}

std::string CShellPolicy::ServiceSink::Reason(int error)
{
    if (error == IPCAPI::IPC_ERR_NOT_RUNNING || error == IPCAPI::IPC_ERR_NOT_CONNECTED)
        return Tr("The policy service is not running.");
    if (error == IPCAPI::IPC_ERR_NOT_ALLOWED)
        return Tr("You are not allowed to change the policy of this computer.");
    if (error == IPCAPI::IPC_ERR_AUTH_NEEDED)
        return Tr("You must authenticate as an administrator to change the policy.");
    if (error == IPCAPI::IPC_ERR_TOO_LARGE)
        return Tr("The policy is larger than a policy file may be.");
    char number[16];
    snprintf(number, sizeof(number), "%d", error);
    return Format(Tr("The policy service could not store it (error %s)."), number);
}

/* ---------------------------------------------------------------- the policy */

CShellPolicy::CShellPolicy()
{
    for (int r = 0; r < RECORD_COUNT; ++r) {
        m_Dirty[r] = false;
        m_Loaded[r] = false;
        m_Damaged[r] = false;
    }
}

std::string CShellPolicy::FilePath(Record record)
{
    switch (record) {
    case SCHEDULE: return CONFIG_FILE_DIR + LibKELData::LOCK_SCHEDULE;
    case TAB_NAVIGATION: return CONFIG_FILE_DIR + LibKELData::TAB_NAVIGATION;
    default: return CONFIG_FILE_DIR + LibKELData::KEL_SYSTEM_SETTING;
    }
}

CKELDataProvider& CShellPolicy::Data(Record record)
{
    switch (record) {
    case SCHEDULE: return m_Schedule;
    case TAB_NAVIGATION: return m_TabNav;
    default: return m_SystemSetting;
    }
}

namespace {

std::string FileStamp(const std::string& path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return "";
    return std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec) + " " + std::to_string(st.st_ino);
}

} // namespace

bool CShellPolicy::StillDamaged(Record record) const
{
    return m_Damaged[record] && !m_DamagedStamp[record].empty() && FileStamp(FilePath(record)) == m_DamagedStamp[record];
}

std::string CShellPolicy::Fingerprint(Record record) const
{
    if (StillDamaged(record))
        return m_Baseline[record];
    std::unique_ptr<CKELDataProvider> onDisk(NewRecord(record));
    int rc = onDisk->LoadFromFile(FilePath(record));
    return FingerprintOf(rc, *onDisk);
}

int CShellPolicy::Load(Record record)
{
    std::string path = FilePath(record);
    int rc = Data(record).LoadFromFile(path);
    struct stat st;
    m_Damaged[record] = rc != KEL_OK && lstat(path.c_str(), &st) == 0;
    m_DamagedStamp[record] = m_Damaged[record] ? FileStamp(path) : "";
    m_Loaded[record] = true;
    /* From what was just read, not from a second read of the file. */
    m_Baseline[record] = FingerprintOf(rc, Data(record));
    return rc;
}

std::string CShellPolicy::DamageNotice() const
{
    std::string text;
    for (int r = 0; r < RECORD_COUNT; ++r) {
        if (!m_Damaged[r])
            continue;
        std::string path = FilePath(Record(r));
        if (!text.empty())
            text += "\n\n";
        text += Format(Tr("%s could not be read and was not loaded: the window shows it empty. Its bytes will be kept "
                          "as %s when the policy is saved."),
                       path.c_str(), (path + ".unreadable").c_str());
    }
    return text;
}

bool CShellPolicy::TestDirty(Record record)
{
    std::unique_ptr<CKELDataProvider> onDisk(NewRecord(record));
    /* A damaged file loads as an empty record: compared as such without reading it again. */
    if (!StillDamaged(record))
        onDisk->LoadFromFile(FilePath(record));
    bool same;
    if (record == SCHEDULE)
        same = SameSchedule(static_cast<CLockScheduleData&>(*onDisk), m_Schedule);
    else if (record == TAB_NAVIGATION)
        same = static_cast<CTabNavigationData&>(*onDisk).IsEqual(m_TabNav) != 0;
    else
        same = static_cast<CKELSystemSettingData&>(*onDisk).IsEqual(m_SystemSetting) != 0;
    m_Dirty[record] = !same;
    return m_Dirty[record];
}

void CShellPolicy::SetSchedule(LockTimeSectionList* sections, bool autoLock)
{
    m_Schedule.SetLockStatus(autoLock ? 2 : 3);
    m_Schedule.SetPAutomaticLockTimeList(sections);
    m_Schedule.SetAutoLock(autoLock ? 1 : 0);
}

void CShellPolicy::KeepLockStateForService(int statusBefore)
{
    if (m_Schedule.IsAutoLockEnable())
        m_Schedule.SetManualLock(0);
    else
        m_Schedule.SetLockStatus(statusBefore);
}

bool CShellPolicy::ChangedSinceLoad(Record record) const
{
    return m_Loaded[record] && Fingerprint(record) != m_Baseline[record];
}

CShellPolicy::ApplyResult CShellPolicy::Apply(unsigned mask, Sink& sink, const ConfirmFunc& confirm)
{
    ApplyResult result;
    bool changedElsewhere = false;
    for (int r = 0; r < RECORD_COUNT; ++r)
        if ((mask & Bit(Record(r))) && m_Dirty[r] && ChangedSinceLoad(Record(r)))
            changedElsewhere = true;
    if (changedElsewhere && !(confirm && confirm())) {
        result.declined = true;
        return result;
    }
    for (int r = 0; r < RECORD_COUNT; ++r) {
        Record record = Record(r);
        if (!(mask & Bit(record)) || !m_Dirty[r])
            continue;
        std::string reason;
        if (sink.Save(record, Data(record), reason) == 0) {
            m_Dirty[r] = false;
            m_Damaged[r] = false;
            m_Baseline[r] = Fingerprint(record);
        } else {
            FailureLine(reason);
            result.failures.push_back(reason);
        }
    }
    return result;
}

} // namespace LibKELGUI
