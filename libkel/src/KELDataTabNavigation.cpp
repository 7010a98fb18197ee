/* The tab navigation policy and the factory defaults it can be restored from. */
#include "KELData.h"

#include <algorithm>

#include "KELDataIO.h"

namespace LibKELData {

CTabNavigationData::CTabNavigationData()
    : m_pCategories(nullptr)
{
}

CTabNavigationData::CTabNavigationData(const CTabNavigationData& other)
    : CKELDataProvider()
    , m_pCategories(io::CopyCategories(other.m_pCategories))
{
}

CTabNavigationData& CTabNavigationData::operator=(const CTabNavigationData& other)
{
    if (this != &other) {
        CategoryInfoList* copy = io::CopyCategories(other.m_pCategories);
        io::FreeCategories(m_pCategories);
        m_pCategories = copy;
    }
    return *this;
}

CTabNavigationData::~CTabNavigationData()
{
    io::FreeCategories(m_pCategories);
}

void CTabNavigationData::SetPCategoryInfoList(CategoryInfoList* list)
{
    if (list == m_pCategories)
        return;
    io::FreeCategories(m_pCategories);
    m_pCategories = list;
}

int CTabNavigationData::IsCategoryExist(const std::string& name) const
{
    if (!m_pCategories)
        return 0;
    for (const CCategory* category : *m_pCategories) {
        if (category && category->GetName() == name)
            return 1;
    }
    return 0;
}

int CTabNavigationData::RemoveCategory(CCategory* category)
{
    if (!m_pCategories || !category)
        return -1;
    auto it = std::find(m_pCategories->begin(), m_pCategories->end(), category);
    if (it == m_pCategories->end())
        return -1; /* not ours: never free what we do not own */
    m_pCategories->erase(it);
    delete category;
    return 0;
}

int CTabNavigationData::RemoveProgram(CCategory* category, CApplicationInfo* program)
{
    if (!m_pCategories || !category || !program)
        return -1;
    if (std::find(m_pCategories->begin(), m_pCategories->end(), category) == m_pCategories->end())
        return -1;
    ApplicationInfoList* apps = category->GetPApplicationInfoList();
    if (!apps)
        return -1;
    auto it = std::find(apps->begin(), apps->end(), program);
    if (it == apps->end())
        return -1;
    apps->erase(it);
    delete program;
    return 0;
}

int CTabNavigationData::IsEqual(const CTabNavigationData& other) const
{
    return io::SameCategories(m_pCategories, other.m_pCategories) ? 1 : 0;
}

void CTabNavigationData::Clear()
{
    io::FreeCategories(m_pCategories);
    m_pCategories = nullptr;
}

const char* CTabNavigationData::RootElementName() const
{
    return "TabNavigation";
}

int CTabNavigationData::WriteElements(_xmlTextWriter* writer) const
{
    return io::WriteCategories(writer, m_pCategories);
}

io::StreamReader* CTabNavigationData::NewStreamReader()
{
    return io::NewCategoriesStream([this](CategoryInfoList* list) { SetPCategoryInfoList(list); });
}

CDefaultConfigData::CDefaultConfigData()
    : m_pCategories(nullptr)
{
}

CDefaultConfigData::~CDefaultConfigData()
{
    io::FreeCategories(m_pCategories);
}

void CDefaultConfigData::SetPCategoryInfoList(CategoryInfoList* list)
{
    if (list == m_pCategories)
        return;
    io::FreeCategories(m_pCategories);
    m_pCategories = list;
}

CategoryInfoList* CDefaultConfigData::CloneCategoryInfoList() const
{
    return io::CopyCategories(m_pCategories);
}

void CDefaultConfigData::Clear()
{
    io::FreeCategories(m_pCategories);
    m_pCategories = nullptr;
}

const char* CDefaultConfigData::RootElementName() const
{
    return "DefaultConfig";
}

int CDefaultConfigData::WriteElements(_xmlTextWriter* writer) const
{
    return io::WriteCategories(writer, m_pCategories);
}

io::StreamReader* CDefaultConfigData::NewStreamReader()
{
    return io::NewCategoriesStream([this](CategoryInfoList* list) { SetPCategoryInfoList(list); });
}

} // namespace LibKELData
