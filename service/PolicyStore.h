/* The one way a policy text reaches its file on the student machine: the policy service's
 * saves and the classroom side's deployed policy alike. */
#ifndef KEL_POLICY_STORE_H
#define KEL_POLICY_STORE_H

#include <sys/types.h>

#include <string>

#include "KELData.h"

namespace KelService {

enum PolicyKind { SCHEDULE, TAB_NAVIGATION, SYSTEM_SETTING };

/* The kind's name in PolicyChanged: "LockSchedule", "TabNavigation", "KELSystemSetting". */
const char* PolicyName(PolicyKind kind);

/* Parses the text, then writes its file whole (for the system settings, USB storage is blocked
 * or allowed first) and logs the save for user uid. saved: the policy as written; schedule,
 * when given, the schedule stored. An IPCAPI code. */
int StorePolicy(PolicyKind kind, const std::string& xml, uid_t uid, std::string& saved,
                LibKELData::CLockScheduleData* schedule = nullptr);

} // namespace KelService

#endif
