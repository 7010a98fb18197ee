/* Programs found by program searches, merged without duplicates. */
#include "KELData.h"

#include <unordered_set>

#include "KELDataIO.h"

namespace LibKELData {

namespace {
/* Two results are the same program when their paths are; results without a path are told
 * apart by name. */
std::string KeyOf(const CApplicationInfo& app)
{
    const std::string& path = app.GetPath();
    if (path.find_first_not_of(" \t\r\n") != std::string::npos)
        return "P" + path;
    return "N" + app.GetName();
}
} // namespace

CSearchResultData::CSearchResultData()
    : m_pApps(nullptr)
{
}

CSearchResultData::CSearchResultData(const CSearchResultData& other)
    : CKELDataProvider()
    , m_pApps(io::CopyApplications(other.m_pApps))
{
}

CSearchResultData& CSearchResultData::operator=(const CSearchResultData& other)
{
    if (this != &other) {
        ApplicationInfoList* copy = io::CopyApplications(other.m_pApps);
        io::FreeApplications(m_pApps);
        m_pApps = copy;
    }
    return *this;
}

CSearchResultData::~CSearchResultData()
{
    io::FreeApplications(m_pApps);
}

void CSearchResultData::SetPApplicationInfoList(ApplicationInfoList* list)
{
    if (list == m_pApps)
        return;
    io::FreeApplications(m_pApps);
    m_pApps = list;
}

int CSearchResultData::AddUnique(const CApplicationInfo& app)
{
    if (!m_pApps)
        m_pApps = new ApplicationInfoList();
    const std::string key = KeyOf(app);
    for (const CApplicationInfo* existing : *m_pApps) {
        if (existing && KeyOf(*existing) == key)
            return 0;
    }
    m_pApps->push_back(new CApplicationInfo(app));
    return 1;
}

int CSearchResultData::MergeUnique(const ApplicationInfoList& apps)
{
    if (!m_pApps)
        m_pApps = new ApplicationInfoList();
    std::unordered_set<std::string> keys;
    keys.reserve(m_pApps->size() + apps.size());
    for (const CApplicationInfo* existing : *m_pApps) {
        if (existing)
            keys.insert(KeyOf(*existing));
    }
    int added = 0;
    for (const CApplicationInfo* app : apps) {
        if (app && keys.insert(KeyOf(*app)).second) {
            m_pApps->push_back(new CApplicationInfo(*app));
            ++added;
        }
    }
    return added;
}

void CSearchResultData::Clear()
{
    io::FreeApplications(m_pApps);
    m_pApps = nullptr;
}

const char* CSearchResultData::RootElementName() const
{
    return "SearchResult";
}

int CSearchResultData::WriteElements(_xmlTextWriter* writer) const
{
    return io::WriteApplications(writer, m_pApps);
}

io::StreamReader* CSearchResultData::NewStreamReader()
{
    return io::NewApplicationsStream([this](ApplicationInfoList* list) { SetPApplicationInfoList(list); });
}

} // namespace LibKELData
