/* Policy records of the classroom shell and their XML storage. */
#ifndef KEL_DATA_H
#define KEL_DATA_H

#include <list>
#include <string>

#include "KELExport.h"

struct _xmlDoc;
struct _xmlNode;
struct _xmlTextWriter;

namespace LibKELData {

/* Results of the storage operations: 0 success, negative failure. */
enum {
    KEL_OK = 0,
    KEL_ERR_IO = -1,        /* missing, unreadable or unwritable file */
    KEL_ERR_PARSE = -2,     /* not well-formed XML */
    KEL_ERR_FORMAT = -3,    /* well-formed, but not this record (root element, values) */
    KEL_ERR_TOO_LARGE = -4, /* above the size a policy file can sensibly have */
    KEL_ERR_NOT_FILE = -5,  /* a directory or other non-regular file where a file should be */
    KEL_ERR_ARGUMENT = -6,
    KEL_ERR_UNSAFE = -7,    /* refused as root: a folder others can write, a file of another user */
    KEL_ERR_BUSY = -8       /* another save into the folder held it up for more than a few seconds */
};

class CApplicationInfo;
class CCategory;
class CLockTimeSection;
namespace io {
class StreamReader;
}

typedef std::list<CApplicationInfo*> ApplicationInfoList;
typedef std::list<CCategory*> CategoryInfoList;
typedef std::list<CLockTimeSection*> LockTimeSectionList;

/* Base of every stored record. A failed load leaves the record empty and logs why. */
class KEL_EXPORT CKELDataProvider {
public:
    CKELDataProvider();
    virtual ~CKELDataProvider();

    /* Both first free everything the record held (pointers into its lists die), even when
     * they then fail. A successful load always leaves a list, maybe empty; a failed one
     * leaves none (null) and the defaults. */
    int LoadFromFile(const std::string& path);
    int LoadFromString(const std::string& xml);
    /* Whole or not at all: temporary file in the same folder, synced, renamed over the name
     * (a link there is replaced, never followed). As root, a folder or file that another user
     * owns or can write is refused with KEL_ERR_UNSAFE. Text that XML cannot hold (invalid UTF-8, control characters other than tab and line
     * breaks) makes it fail with KEL_ERR_ARGUMENT before anything is touched. */
    int Save2File(const std::string& path);
    int Save2String(std::string& xml);

    /* Empties the record: no lists, default values. */
    virtual void Clear() = 0;

protected:
    /* Implementation hooks of each record (the XML schema is documented in KELDataProvider.cpp). */
    virtual const char* RootElementName() const = 0;
    virtual int WriteElements(_xmlTextWriter* writer) const = 0; /* children of the root */
    /* Records of long lists read the file as a stream of elements instead of a tree, which
     * costs several times the file's size in memory: they return a new reader of their lists
     * (owned by the caller). Null (the default): ReadElement on the tree. */
    virtual io::StreamReader* NewStreamReader();
    /* Reads the tree of a record without a stream reader: 0 or KEL_ERR_FORMAT. */
    virtual int ReadElement(_xmlNode* root);
    /* Largest file (or text) the record reads: what it can sensibly hold, so that a file of
     * junk cannot cost much memory. 64 MiB unless the record says less. */
    virtual long long MaxFileSize() const;

private:
    int LoadDocument(_xmlDoc* doc);
    int Serialize(std::string& xml);
};

class KEL_EXPORT CApplicationInfo {
public:
    CApplicationInfo();
    CApplicationInfo(const std::string& name, const std::string& path, const std::string& customIcon, int enable = 1);

    const std::string& GetName() const { return m_Name; }
    void SetName(const std::string& name) { m_Name = name; }
    const std::string& GetPath() const { return m_Path; }
    void SetPath(const std::string& path) { m_Path = path; }
    const std::string& GetCustomIcon() const { return m_CustomIcon; }
    void SetCustomIcon(const std::string& icon) { m_CustomIcon = icon; }
    int GetEnable() const { return m_Enable; }
    void SetEnable(int enable) { m_Enable = enable; }

    bool IsEqual(const CApplicationInfo& other) const;

private:
    std::string m_Name;
    std::string m_Path;
    std::string m_CustomIcon;
    int m_Enable;
};

/* A category (tab) of the student shell; owns its programs. Copies are deep. */
class KEL_EXPORT CCategory {
public:
    CCategory();
    CCategory(const CCategory& other);
    CCategory& operator=(const CCategory& other);
    ~CCategory();

    const std::string& GetName() const { return m_Name; }
    void SetName(const std::string& name) { m_Name = name; }
    const std::string& GetCategoryIcon() const { return m_Icon; }
    void SetCategoryIcon(const std::string& icon) { m_Icon = icon; }

    /* May be null. */
    ApplicationInfoList* GetPApplicationInfoList() const { return m_pApps; }
    /* Takes the list (and the programs in it); frees the one held before. */
    void SetPApplicationInfoList(ApplicationInfoList* list);
    /* Appends, creating the list when there is none; takes the program. */
    void AddApplication(CApplicationInfo* app);

    /* 1 when a program has this name, or this path (a blank path never matches); else 0. */
    int IsApplicationExist(const std::string& name, const std::string& path) const;

    bool IsEqual(const CCategory& other) const;

private:
    std::string m_Name;
    std::string m_Icon;
    ApplicationInfoList* m_pApps;
};

/* The tab navigation policy: categories and their programs. */
class KEL_EXPORT CTabNavigationData : public CKELDataProvider {
public:
    CTabNavigationData();
    CTabNavigationData(const CTabNavigationData& other);
    CTabNavigationData& operator=(const CTabNavigationData& other);
    ~CTabNavigationData() override;

    CategoryInfoList* GetPCategoryInfoList() const { return m_pCategories; }
    void SetPCategoryInfoList(CategoryInfoList* list);
    int IsCategoryExist(const std::string& name) const;
    /* Take the item out of the policy and free it; 0 done, -1 not found. */
    int RemoveCategory(CCategory* category);
    int RemoveProgram(CCategory* category, CApplicationInfo* program);
    /* Nonzero when both hold the same policy (order counts). */
    int IsEqual(const CTabNavigationData& other) const;

    void Clear() override;

protected:
    const char* RootElementName() const override;
    int WriteElements(_xmlTextWriter* writer) const override;
    io::StreamReader* NewStreamReader() override;

private:
    CategoryInfoList* m_pCategories;
};

class KEL_EXPORT CLockTimeSection {
public:
    CLockTimeSection();
    CLockTimeSection(int dayOfWeek, int startTime, int endTime);

    int GetDayOfWeek() const { return m_DayOfWeek; }
    void SetDayOfWeek(int day) { m_DayOfWeek = day; }
    int GetStartTime() const { return m_StartTime; }
    void SetStartTime(int hour) { m_StartTime = hour; }
    int GetEndTime() const { return m_EndTime; }
    void SetEndTime(int hour) { m_EndTime = hour; }

private:
    int m_DayOfWeek; /* 0 = Monday .. 6 = Sunday */
    int m_StartTime; /* whole hours, 0 .. 24 */
    int m_EndTime;
};

/* The weekly lock schedule, and how the notebook's service reads it:
 * - autoLock nonzero: the timetable locks the notebook during its sections' hours (local time);
 *   zero: the timetable locks nothing (its hours are kept for when it is turned on again).
 * - Lock status 2 "automatic locking on" and 3 "off" repeat autoLock for readers of the status
 *   alone; the windows write them together. 0 "unlocked" and 1 "locked by hand" are the hand
 *   state older tools stored here and the administrator tool keeps with automatic locking off:
 *   they lock nothing by themselves, since a lock by hand comes from the teacher's console and a
 *   stale file must never lock a notebook for good.
 * - manualLock: whether the teacher's lock or unlock by hand outlasts the timetable. Nonzero: it
 *   stands until the teacher lifts it. Zero (the default, and what the administrator tool writes
 *   with automatic locking on): it stands until the timetable's own state next changes; from
 *   then on the timetable decides again.
 * So, in order: the teacher's hand while it stands, then the timetable, else unlocked. */
class KEL_EXPORT CLockScheduleData : public CKELDataProvider {
public:
    CLockScheduleData();
    CLockScheduleData(const CLockScheduleData& other);
    CLockScheduleData& operator=(const CLockScheduleData& other);
    ~CLockScheduleData() override;

    int IsAutoLockEnable() const { return m_AutoLock != 0; }
    int GetAutoLock() const { return m_AutoLock; }
    void SetAutoLock(int autoLock) { m_AutoLock = autoLock; }
    int GetManualLock() const { return m_ManualLock; }
    void SetManualLock(int manualLock) { m_ManualLock = manualLock; }
    int GetLockStatus() const { return m_LockStatus; }
    void SetLockStatus(int status) { m_LockStatus = status; }
    /* May be null. */
    LockTimeSectionList* GetPAutomaticLockTimeList() const { return m_pSections; }
    void SetPAutomaticLockTimeList(LockTimeSectionList* list);
    int IsEqual(const CLockScheduleData& other) const;

    void Clear() override;

protected:
    const char* RootElementName() const override;
    int ReadElement(_xmlNode* root) override;
    long long MaxFileSize() const override;
    int WriteElements(_xmlTextWriter* writer) const override;

private:
    int m_AutoLock;
    int m_ManualLock;
    int m_LockStatus;
    LockTimeSectionList* m_pSections;
};

class KEL_EXPORT CKELSystemSettingData : public CKELDataProvider {
public:
    CKELSystemSettingData();

    int GetUSBStorageenabled() const { return m_USBStorageEnabled; }
    void SetUSBStorageenabled(int enabled) { m_USBStorageEnabled = enabled; }
    int GetNewStudentConnectDialogEnable() const { return m_NewStudentDialog; }
    void SetNewStudentConnectDialogEnable(int enabled) { m_NewStudentDialog = enabled; }
    int IsEqual(const CKELSystemSettingData& other) const;

    void Clear() override;

protected:
    const char* RootElementName() const override;
    int ReadElement(_xmlNode* root) override;
    long long MaxFileSize() const override;
    int WriteElements(_xmlTextWriter* writer) const override;

private:
    int m_USBStorageEnabled;
    int m_NewStudentDialog;
};

/* Programs found by program searches. */
class KEL_EXPORT CSearchResultData : public CKELDataProvider {
public:
    CSearchResultData();
    CSearchResultData(const CSearchResultData& other);
    CSearchResultData& operator=(const CSearchResultData& other);
    ~CSearchResultData() override;

    /* May be null. */
    ApplicationInfoList* GetPApplicationInfoList() const { return m_pApps; }
    void SetPApplicationInfoList(ApplicationInfoList* list);
    /* Appends a copy unless a program with the same path (or, without path, name) is there; 1 added, 0 not. */
    int AddUnique(const CApplicationInfo& app);
    /* AddUnique for many programs at once, in linear time; returns how many were added. */
    int MergeUnique(const ApplicationInfoList& apps);

    void Clear() override;

protected:
    const char* RootElementName() const override;
    int WriteElements(_xmlTextWriter* writer) const override;
    io::StreamReader* NewStreamReader() override;

private:
    ApplicationInfoList* m_pApps;
};

/* Factory default categories and programs. */
class KEL_EXPORT CDefaultConfigData : public CKELDataProvider {
public:
    CDefaultConfigData();
    ~CDefaultConfigData() override;

    CategoryInfoList* GetPCategoryInfoList() const { return m_pCategories; }
    /* Takes the list; frees the one held before. */
    void SetPCategoryInfoList(CategoryInfoList* list);
    /* A new deep copy owned by the caller, or null when there is no category list. */
    CategoryInfoList* CloneCategoryInfoList() const;

    void Clear() override;

protected:
    const char* RootElementName() const override;
    int WriteElements(_xmlTextWriter* writer) const override;
    io::StreamReader* NewStreamReader() override;

private:
    CDefaultConfigData(const CDefaultConfigData&);
    CDefaultConfigData& operator=(const CDefaultConfigData&);
    CategoryInfoList* m_pCategories;
};

/* The classroom roster: students known to the teacher's console. */
class KEL_EXPORT CStudentInfoData : public CKELDataProvider {
public:
    struct Student {
        std::string name;
        std::string address;
    };

    CStudentInfoData();

    const std::list<Student>& GetStudents() const { return m_Students; }
    void AddStudent(const std::string& name, const std::string& address);

    void Clear() override;

protected:
    const char* RootElementName() const override;
    int ReadElement(_xmlNode* root) override;
    long long MaxFileSize() const override;
    int WriteElements(_xmlTextWriter* writer) const override;

private:
    std::list<Student> m_Students;
};

/* Theme settings of the shell: theme name, font and background picture. */
class KEL_EXPORT CKELThemeData : public CKELDataProvider {
public:
    CKELThemeData();

    const std::string& GetThemeName() const { return m_Theme; }
    void SetThemeName(const std::string& theme) { m_Theme = theme; }
    const std::string& GetFont() const { return m_Font; }
    void SetFont(const std::string& font) { m_Font = font; }
    const std::string& GetBackground() const { return m_Background; }
    void SetBackground(const std::string& background) { m_Background = background; }

    void Clear() override;

protected:
    const char* RootElementName() const override;
    int ReadElement(_xmlNode* root) override;
    long long MaxFileSize() const override;
    int WriteElements(_xmlTextWriter* writer) const override;

private:
    std::string m_Theme;
    std::string m_Font;
    std::string m_Background;
};

} // namespace LibKELData

#endif
