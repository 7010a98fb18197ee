/* Parsing, checking and writing one policy file. */
#include "PolicyStore.h"

#include "CUsbStorage.h"
#include "IPCAPI.h"
#include "KELLog.h"
#include "KELPaths.h"

using LibKELData::CKELDataProvider;
using LibKELData::CKELLog;
using LibKELData::CKELSystemSettingData;
using LibKELData::CLockScheduleData;
using LibKELData::CTabNavigationData;

namespace KelService {

const char* PolicyName(PolicyKind kind)
{
    return kind == SCHEDULE ? "LockSchedule" : kind == TAB_NAVIGATION ? "TabNavigation" : "KELSystemSetting";
}

int StorePolicy(PolicyKind kind, const std::string& xml, uid_t uid, std::string& saved, CLockScheduleData* scheduleOut)
{
    CLockScheduleData schedule;
    CTabNavigationData tabs;
    CKELSystemSettingData settings;
    CKELDataProvider* record = kind == SCHEDULE ? static_cast<CKELDataProvider*>(&schedule)
        : kind == TAB_NAVIGATION                ? static_cast<CKELDataProvider*>(&tabs)
                                                : static_cast<CKELDataProvider*>(&settings);
    const std::string file = LibKELData::CONFIG_FILE_DIR +
        (kind == SCHEDULE             ? LibKELData::LOCK_SCHEDULE
             : kind == TAB_NAVIGATION ? LibKELData::TAB_NAVIGATION
                                      : LibKELData::KEL_SYSTEM_SETTING);
    int parsed = record->LoadFromString(xml);
    if (parsed != 0) {
        CKELLog::WriteLine("Policy service: refused policy text for " + file, 2, "", false);
        return parsed == LibKELData::KEL_ERR_TOO_LARGE ? IPCAPI::IPC_ERR_TOO_LARGE : IPCAPI::IPC_ERR_PARSE;
    }
    /* The hardware first: a settings file that says "disabled" while USB storage still works
     * would be worse than the reverse. */
    if (kind == SYSTEM_SETTING && !ApplyUsbStorage(settings.GetUSBStorageenabled() != 0))
        return IPCAPI::IPC_ERR_SAVE;
    if (record->Save2File(file) != 0) {
        CKELLog::WriteLine("Policy service: cannot save " + file, 2, "", false);
        return IPCAPI::IPC_ERR_SAVE;
    }
    CKELLog::WriteLine("Policy service: saved " + file + " for user " + std::to_string(uid), 1, "", false);
    if (record->Save2String(saved) != 0)
        saved.clear();
    if (scheduleOut && kind == SCHEDULE)
        *scheduleOut = schedule;
    return IPCAPI::IPC_OK;
}

} // namespace KelService
