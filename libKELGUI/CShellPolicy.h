/* The shell policy a Shell Settings window edits, without widgets: the three records, their
 * dirty tests against the policy files, the lock-status rules and the apply step. */
#ifndef CSHELL_POLICY_H
#define CSHELL_POLICY_H

#include <functional>
#include <string>
#include <vector>

#include "IPCAPI.h"
#include "KELData.h"
#include "KELGuiCommon.h"

namespace LibKELGUI {

class CShellPolicySink;

class KELGUI_EXPORT CShellPolicy {
public:
    /* In the order the windows fetch and save them. */
    enum Record { SCHEDULE = 0, TAB_NAVIGATION = 1, SYSTEM_SETTING = 2, RECORD_COUNT = 3 };
    enum { ALL_RECORDS = 7 };
    static unsigned Bit(Record record) { return 1u << record; }

    /* Where Apply hands a changed record (CShellPolicySink, below), and its two kinds. */
    typedef CShellPolicySink Sink;
    class FileSink;
    class ServiceSink;

    struct ApplyResult {
        ApplyResult() : declined(false) {}
        bool declined;                     /* the user kept another writer's change */
        std::vector<std::string> failures; /* one sentence per record not saved */
        bool Ok() const { return !declined && failures.empty(); }
    };
    /* Asked once per Apply when a file changed on disk since it was loaded; true replaces it. */
    typedef std::function<bool()> ConfirmFunc;

    CShellPolicy();

    LibKELData::CTabNavigationData& TabNav() { return m_TabNav; }
    LibKELData::CLockScheduleData& Schedule() { return m_Schedule; }
    LibKELData::CKELSystemSettingData& SystemSetting() { return m_SystemSetting; }
    LibKELData::CDefaultConfigData& Defaults() { return m_Defaults; }
    bool& Dirty(Record record) { return m_Dirty[record]; }
    bool AnyDirty() const { return m_Dirty[SCHEDULE] || m_Dirty[TAB_NAVIGATION] || m_Dirty[SYSTEM_SETTING]; }

    static std::string FilePath(Record record);

    /* Loads the record from its file and remembers what the file held, to notice later writers.
     * Returns the storage result. */
    int Load(Record record);
    /* One text naming every loaded file that exists but could not be read; empty when none. */
    std::string DamageNotice() const;

    /* Sets and returns the record's dirty flag: does it differ from its file as it is now? The
     * schedule counts only its hours and its automatic locking: the lock status and the manual
     * lock are the service's and the teacher's, not this window's. */
    bool TestDirty(Record record);
    /* The grid's sections (taken) and automatic locking: lock status 2 when on, 3 when off. */
    void SetSchedule(LibKELData::LockTimeSectionList* sections, bool autoLock);
    /* What the service is sent: automatic locking on clears the manual lock; off keeps the
     * lock status the record had before the fetch. */
    void KeepLockStateForService(int statusBefore);
    /* Did the record's file change since it was loaded or last saved from here? */
    bool ChangedSinceLoad(Record record) const;

    /* Saves each record of mask whose dirty flag is set; a saved record's flag is cleared. A
     * file changed by someone else is replaced only after confirm says so. */
    ApplyResult Apply(unsigned mask, Sink& sink, const ConfirmFunc& confirm);

private:
    LibKELData::CKELDataProvider& Data(Record record);
    std::string Fingerprint(Record record) const;

    LibKELData::CLockScheduleData m_Schedule;
    LibKELData::CTabNavigationData m_TabNav;
    LibKELData::CKELSystemSettingData m_SystemSetting;
    LibKELData::CDefaultConfigData m_Defaults;
    bool m_Dirty[RECORD_COUNT];
    bool m_Loaded[RECORD_COUNT];
    bool m_Damaged[RECORD_COUNT];
    /* The damaged file as it was when loaded ("size mtime inode"): while it stays so, it is not
     * read (and its failure not logged) again. */
    std::string m_DamagedStamp[RECORD_COUNT];
    bool StillDamaged(Record record) const;
    std::string m_Baseline[RECORD_COUNT];

    CShellPolicy(const CShellPolicy&);
    CShellPolicy& operator=(const CShellPolicy&);
};

/* A top-level class, so that the Shell Settings window can name it without this header. */
class KELGUI_EXPORT CShellPolicySink {
public:
    virtual ~CShellPolicySink() {}
    /* 0 when saved; otherwise reason says why in plain words. */
    virtual int Save(CShellPolicy::Record record, LibKELData::CKELDataProvider& data, std::string& reason) = 0;
};

/* The teacher's console: the policy files themselves. */
class CShellPolicy::FileSink : public CShellPolicySink {
public:
    int Save(Record record, LibKELData::CKELDataProvider& data, std::string& reason);
    /* Why a save that failed with rc could not write path, in words a user follows. */
    static std::string Reason(const std::string& path, int rc);
};

/* The administrator tool: the local policy service, through the student API. */
class CShellPolicy::ServiceSink : public CShellPolicySink {
public:
    explicit ServiceSink(IPCAPI::IPCStudentAPI* api) : m_pApi(api), m_LastError(0) {}
    int Save(Record record, LibKELData::CKELDataProvider& data, std::string& reason);
    /* The error of the last call made, 0 when none was made. */
    int LastError() const { return m_LastError; }
    static std::string Reason(int error);

private:
    IPCAPI::IPCStudentAPI* m_pApi;
    int m_LastError;
};

} // namespace LibKELGUI

#endif
