/* Programs and the categories (tabs) that own them. */
#include "KELData.h"

#include "KELDataIO.h"

namespace LibKELData {

namespace {
bool IsBlank(const std::string& text)
{
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}
} // namespace

CApplicationInfo::CApplicationInfo()
    : m_Enable(1)
{
}

CApplicationInfo::CApplicationInfo(const std::string& name, const std::string& path, const std::string& customIcon,
                                   int enable)
    : m_Name(name)
    , m_Path(path)
    , m_CustomIcon(customIcon)
    , m_Enable(enable)
{
}

bool CApplicationInfo::IsEqual(const CApplicationInfo& other) const
{
    return m_Enable == other.m_Enable && m_Name == other.m_Name && m_Path == other.m_Path &&
           m_CustomIcon == other.m_CustomIcon;
}

CCategory::CCategory()
    : m_pApps(nullptr)
{
}

CCategory::CCategory(const CCategory& other)
    : m_Name(other.m_Name)
    , m_Icon(other.m_Icon)
    , m_pApps(io::CopyApplications(other.m_pApps))
{
}

CCategory& CCategory::operator=(const CCategory& other)
{
    if (this != &other) {
        ApplicationInfoList* copy = io::CopyApplications(other.m_pApps);
        io::FreeApplications(m_pApps);
        m_pApps = copy;
        m_Name = other.m_Name;
        m_Icon = other.m_Icon;
    }
    return *this;
}

CCategory::~CCategory()
{
    io::FreeApplications(m_pApps);
}

void CCategory::SetPApplicationInfoList(ApplicationInfoList* list)
{
    if (list == m_pApps)
        return;
    io::FreeApplications(m_pApps);
    m_pApps = list;
}

void CCategory::AddApplication(CApplicationInfo* app)
{
    if (!app)
        return;
    if (!m_pApps)
        m_pApps = new ApplicationInfoList();
    m_pApps->push_back(app);
}

int CCategory::IsApplicationExist(const std::string& name, const std::string& path) const
{
    if (!m_pApps)
        return 0;
    /* A blank path is how callers ask about the name alone. */
    const bool byPath = !IsBlank(path);
    for (const CApplicationInfo* app : *m_pApps) {
        if (!app)
            continue;
        if (app->GetName() == name || (byPath && app->GetPath() == path))
            return 1;
    }
    return 0;
}

bool CCategory::IsEqual(const CCategory& other) const
{
    if (m_Name != other.m_Name || m_Icon != other.m_Icon)
        return false;
    const size_t size = m_pApps ? m_pApps->size() : 0;
    const size_t otherSize = other.m_pApps ? other.m_pApps->size() : 0;
    if (size != otherSize)
        return false;
    if (size == 0)
        return true;
    auto it = other.m_pApps->begin();
    for (const CApplicationInfo* app : *m_pApps) {
        const CApplicationInfo* theirs = *it++;
        if (!app || !theirs) {
            if (app != theirs)
                return false;
        } else if (!app->IsEqual(*theirs)) {
            return false;
        }
    }
    return true;
}

} // namespace LibKELData
