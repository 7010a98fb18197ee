/* Where the product keeps its policy: the folders and file names that the companion library
 * and the programs above it share. Every absolute path may be moved below KEL_ROOT. */
#ifndef KEL_PATHS_H
#define KEL_PATHS_H

#include <stdlib.h>
#include <sys/types.h>
#include <unistd.h>

#include <string>

namespace LibKELData {

namespace detail {
/* KEL_ROOT relocates every absolute path below another directory (tests, the demo).
 * Read once, with secure_getenv so that set-id programs ignore it. */
inline const std::string& KelRoot()
{
    static const std::string root = [] {
        const char* value = secure_getenv("KEL_ROOT");
        std::string dir = value ? value : "";
        while (!dir.empty() && dir[dir.size() - 1] == '/')
            dir.erase(dir.size() - 1);
        return dir;
    }();
    return root;
}

inline std::string Rooted(const char* absolutePath)
{
    return KelRoot() + absolutePath;
}
} // namespace detail

/* The policy folder and the files in it. */
static const std::string CONFIG_FILE_DIR = detail::Rooted("/etc/KEL/");
static const std::string LOCK_SCHEDULE = "LockSchedule.xml";
static const std::string SEARCH_RESULT = "SearchResult.xml";
static const std::string TAB_NAVIGATION = "TabNavigation.xml";
static const std::string KEL_SYSTEM_SETTING = "KELSystemSetting.xml";
static const std::string DEFAULT_CONFIG = "DefaultConfig.xml";
static const std::string LOCALEDIR = detail::Rooted("/usr/share/locale/");
static const std::string CLASS_GROUP = "ClassGroup.xml";
static const std::string FAVORITE = "Favorite.xml";
static const std::string KEL_THEME = "KELTheme.xml";
static const std::string STUDENT_INFO = "StudentInfo.xml";
static const std::string TEACHER_INFO = "TeacherInfo.xml";
static const std::string POLICYSETTING = "PolicySettingData.xml";
static const std::string TEACHERPOLICYSETTING = "TeacherPolicySettingData.xml";
static const std::string KEL_LOCK_STATUS_FLAG_FILE = "KEL.lock";

/* The program-search results of one user, which only that user reads: root's are SEARCH_RESULT
 * (where the teacher console merges a class's answers too), every other user's a file of its
 * own beside it, "SearchResult.<uid>.xml", written by the policy service for that user. */
static inline std::string SearchResultFileOf(uid_t uid)
{
    return uid == 0 ? CONFIG_FILE_DIR + SEARCH_RESULT : CONFIG_FILE_DIR + "SearchResult." + std::to_string(uid) + ".xml";
}
/* This process's real user's: what its windows show. */
static inline std::string SearchResultFile()
{
    return SearchResultFileOf(getuid());
}

/* Themes: CONFIG_FILE_DIR + "theme/" + name + "/gtkrc". */
static const std::string KEL_RESOURCE_THEME_PATH = CONFIG_FILE_DIR + "theme/";
static const std::string KEL_DEFAULT_THEME = "Blue";

/* The text domain of the companion library's own texts. */
static const std::string KEL_LIB_DATA = "libKELData";

} // namespace LibKELData

#endif
