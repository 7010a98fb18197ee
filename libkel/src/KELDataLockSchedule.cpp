/* The weekly lock schedule: automatic locking and its locked hours. */
#include "KELData.h"

#include <bitset>

#include "KELDataIO.h"

namespace LibKELData {

namespace {
/* Lock status when nothing says otherwise: automatic locking off, as the settings page
 * stores it for an unticked box, so that an untouched page matches a missing file. */
const int DEFAULT_LOCK_STATUS = 3;

/* Empty when the section can be stored and shown; otherwise why not. */
std::string SectionProblem(int day, int start, int end)
{
    if (day < 0 || day > 6)
        return "day of week " + std::to_string(day) + " is outside 0 (Monday) to 6 (Sunday)";
    if (start < 0 || start > 23)
        return "start hour " + std::to_string(start) + " is outside 0 to 23";
    if (end < 1 || end > 24)
        return "end hour " + std::to_string(end) + " is outside 1 to 24";
    if (end <= start)
        return "end hour " + std::to_string(end) + " is not after start hour " + std::to_string(start);
    return std::string();
}

/* The locked hours of the week; how they are cut into sections does not matter. */
std::bitset<7 * 24> LockedHours(const LockTimeSectionList* list)
{
    std::bitset<7 * 24> hours;
    if (!list)
        return hours;
    for (const CLockTimeSection* section : *list) {
        if (!section || !SectionProblem(section->GetDayOfWeek(), section->GetStartTime(), section->GetEndTime()).empty())
            continue;
        for (int h = section->GetStartTime(); h < section->GetEndTime(); ++h)
            hours.set(section->GetDayOfWeek() * 24 + h);
    }
    return hours;
}

LockTimeSectionList* CopySections(const LockTimeSectionList* list)
{
    if (!list)
        return nullptr;
    LockTimeSectionList* copy = new LockTimeSectionList();
    for (const CLockTimeSection* section : *list) {
        if (section)
            copy->push_back(new CLockTimeSection(*section));
    }
    return copy;
}

void FreeSections(LockTimeSectionList* list)
{
    if (!list)
        return;
    for (CLockTimeSection* section : *list)
        delete section;
    delete list;
}
} // namespace

CLockTimeSection::CLockTimeSection()
    : m_DayOfWeek(0)
    , m_StartTime(0)
    , m_EndTime(0)
{
}

CLockTimeSection::CLockTimeSection(int dayOfWeek, int startTime, int endTime)
    : m_DayOfWeek(dayOfWeek)
    , m_StartTime(startTime)
    , m_EndTime(endTime)
{
}

CLockScheduleData::CLockScheduleData()
    : m_AutoLock(0)
    , m_ManualLock(0)
    , m_LockStatus(DEFAULT_LOCK_STATUS)
    , m_pSections(nullptr)
{
}

CLockScheduleData::CLockScheduleData(const CLockScheduleData& other)
    : CKELDataProvider()
    , m_AutoLock(other.m_AutoLock)
    , m_ManualLock(other.m_ManualLock)
    , m_LockStatus(other.m_LockStatus)
    , m_pSections(CopySections(other.m_pSections))
{
}

CLockScheduleData& CLockScheduleData::operator=(const CLockScheduleData& other)
{
    if (this != &other) {
        LockTimeSectionList* copy = CopySections(other.m_pSections);
        FreeSections(m_pSections);
        m_pSections = copy;
        m_AutoLock = other.m_AutoLock;
        m_ManualLock = other.m_ManualLock;
        m_LockStatus = other.m_LockStatus;
    }
    return *this;
}

CLockScheduleData::~CLockScheduleData()
{
    FreeSections(m_pSections);
}

void CLockScheduleData::SetPAutomaticLockTimeList(LockTimeSectionList* list)
{
    if (list == m_pSections)
        return;
    FreeSections(m_pSections);
    m_pSections = list;
}

int CLockScheduleData::IsEqual(const CLockScheduleData& other) const
{
    return m_AutoLock == other.m_AutoLock && m_ManualLock == other.m_ManualLock &&
           m_LockStatus == other.m_LockStatus && LockedHours(m_pSections) == LockedHours(other.m_pSections);
}

void CLockScheduleData::Clear()
{
    FreeSections(m_pSections);
    m_pSections = nullptr;
    m_AutoLock = 0;
    m_ManualLock = 0;
    m_LockStatus = DEFAULT_LOCK_STATUS;
}

/* At most 168 hourly sections. */
long long CLockScheduleData::MaxFileSize() const
{
    return 256 * 1024;
}

const char* CLockScheduleData::RootElementName() const
{
    return "LockSchedule";
}

int CLockScheduleData::ReadElement(_xmlNode* root)
{
    io::ReadOptionalInt(root, "autoLock", m_AutoLock);
    io::ReadOptionalInt(root, "manualLock", m_ManualLock);
    io::ReadOptionalInt(root, "lockStatus", m_LockStatus);
    m_pSections = new LockTimeSectionList();
    for (xmlNode* child = root->children; child; child = child->next) {
        if (!io::IsElement(child, "Section"))
            continue;
        int values[3] = {0, 0, 0};
        const char* names[3] = {"day", "start", "end"};
        std::string problem;
        for (int i = 0; i < 3 && problem.empty(); ++i) {
            io::IntResult result = io::GetIntAttr(child, names[i], values[i]);
            if (result == io::INT_ABSENT)
                problem = std::string(names[i]) + " is missing";
            else if (result == io::INT_INVALID)
                problem = std::string(names[i]) + " is not a whole number";
        }
        if (problem.empty())
            problem = SectionProblem(values[0], values[1], values[2]);
        if (!problem.empty()) {
            io::LogSkipped(child, "lock section skipped: " + problem);
            continue;
        }
        m_pSections->push_back(new CLockTimeSection(values[0], values[1], values[2]));
    }
    return KEL_OK;
}

int CLockScheduleData::WriteElements(_xmlTextWriter* writer) const
{
    int rc;
    if ((rc = io::WriteIntAttr(writer, "autoLock", m_AutoLock)) != KEL_OK ||
        (rc = io::WriteIntAttr(writer, "manualLock", m_ManualLock)) != KEL_OK ||
        (rc = io::WriteIntAttr(writer, "lockStatus", m_LockStatus)) != KEL_OK)
        return rc;
    if (!m_pSections)
        return KEL_OK;
    for (const CLockTimeSection* section : *m_pSections) {
        if (!section)
            continue;
        std::string problem = SectionProblem(section->GetDayOfWeek(), section->GetStartTime(), section->GetEndTime());
        if (!problem.empty()) {
            /* It could not be read back; the page never makes one. */
            io::LogSkipped(nullptr, "lock section not written: " + problem);
            continue;
        }
        if ((rc = io::StartElement(writer, "Section")) != KEL_OK ||
            (rc = io::WriteIntAttr(writer, "day", section->GetDayOfWeek())) != KEL_OK ||
            (rc = io::WriteIntAttr(writer, "start", section->GetStartTime())) != KEL_OK ||
            (rc = io::WriteIntAttr(writer, "end", section->GetEndTime())) != KEL_OK ||
            (rc = io::EndElement(writer)) != KEL_OK)
            return rc;
    }
    return KEL_OK;
}

} // namespace LibKELData
