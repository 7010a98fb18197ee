/* Shared pieces of the records' XML reading and writing. */
#include "KELDataIO.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "KELLog.h"
#include "KELUtf8.h"

namespace LibKELData {
namespace io {

namespace {
struct Context {
    std::string source;
    std::string problem;
};
thread_local Context t_Context;
} // namespace

Scope::Scope(const std::string& source)
    : m_SavedSource(t_Context.source)
    , m_SavedProblem(t_Context.problem)
{
    t_Context.source = source;
    t_Context.problem.clear();
}

Scope::~Scope()
{
    t_Context.source = m_SavedSource;
    t_Context.problem = m_SavedProblem;
}

const std::string& Source()
{
    return t_Context.source;
}

const std::string& WriteProblem()
{
    return t_Context.problem;
}

void LogSkipped(xmlNode* node, const std::string& why)
{
    std::string line = t_Context.source;
    long number = node ? xmlGetLineNo(node) : -1;
    if (number > 0)
        line += ": line " + std::to_string(number);
    line += ": " + why;
    CKELLog::WriteLine(line, 2, "", false);
}

bool GetAttr(xmlNode* node, const char* name, std::string& out)
{
    for (xmlAttr* attr = node->properties; attr; attr = attr->next) {
        if (!xmlStrEqual(attr->name, BAD_CAST name))
            continue;
        xmlNode* child = attr->children;
        if (!child) {
            out.clear();
        } else if (child->type == XML_TEXT_NODE && !child->next) {
            /* The usual case: one text node, read without a copy of our own. */
            out.assign(reinterpret_cast<const char*>(child->content));
        } else {
            xmlChar* value = xmlNodeListGetString(node->doc, child, 1);
            out.assign(value ? reinterpret_cast<const char*>(value) : "");
            xmlFree(value);
        }
        return true;
    }
    return false;
}

namespace {

/* The attributes of a tree node, read the way the stream's are. */
struct NodeAttributes {
    xmlNode* node;
    bool Get(const char* name, std::string& out) const { return GetAttr(node, name, out); }
    void Skipped(const std::string& why) const { LogSkipped(node, why); }
};

template <class Attributes>
IntResult GetIntOf(const Attributes& attributes, const char* name, int& out)
{
    std::string text;
    if (!attributes.Get(name, text))
        return INT_ABSENT;
    const char* begin = text.c_str();
    while (*begin == ' ' || *begin == '\t' || *begin == '\n' || *begin == '\r')
        ++begin;
    /* strtol alone would take "", "0x10" and leading blanks inside; only plain decimals count. */
    const char* digits = begin;
    if (*digits == '-' || *digits == '+')
        ++digits;
    if (*digits < '0' || *digits > '9')
        return INT_INVALID;
    errno = 0;
    char* end = nullptr;
    long value = strtol(begin, &end, 10);
    if (errno == ERANGE || value < INT_MIN || value > INT_MAX)
        return INT_INVALID;
    while (*end == ' ' || *end == '\t' || *end == '\n' || *end == '\r')
        ++end;
    if (*end != '\0')
        return INT_INVALID;
    out = static_cast<int>(value);
    return INT_OK;
}

template <class Attributes>
void ReadOptionalIntOf(const Attributes& attributes, const char* name, int& out)
{
    int value = 0;
    IntResult result = GetIntOf(attributes, name, value);
    if (result == INT_OK)
        out = value;
    else if (result == INT_INVALID)
        attributes.Skipped(std::string("value of ") + name + " is not a whole number; kept " + std::to_string(out));
}

template <class Attributes>
CApplicationInfo* ReadApplicationOf(const Attributes& attributes)
{
    CApplicationInfo* app = new CApplicationInfo();
    std::string value;
    if (attributes.Get("name", value))
        app->SetName(value);
    if (attributes.Get("path", value))
        app->SetPath(value);
    if (attributes.Get("icon", value))
        app->SetCustomIcon(value);
    int enable = 1;
    ReadOptionalIntOf(attributes, "enable", enable);
    app->SetEnable(enable);
    return app;
}

} // namespace

IntResult GetIntAttr(xmlNode* node, const char* name, int& out)
{
    return GetIntOf(NodeAttributes{node}, name, out);
}

void ReadOptionalInt(xmlNode* node, const char* name, int& out)
{
    ReadOptionalIntOf(NodeAttributes{node}, name, out);
}

int WriteAttr(xmlTextWriterPtr writer, const char* name, const std::string& value)
{
    if (!utf8::IsXmlStorable(value)) {
        if (t_Context.problem.empty())
            t_Context.problem = std::string("the ") + name +
                                " of an entry is not valid UTF-8 or holds characters that XML cannot store";
        return KEL_ERR_ARGUMENT;
    }
    if (xmlTextWriterWriteAttribute(writer, BAD_CAST name, BAD_CAST value.c_str()) < 0)
        return KEL_ERR_IO;
    return KEL_OK;
}

int WriteIntAttr(xmlTextWriterPtr writer, const char* name, int value)
{
    return WriteAttr(writer, name, std::to_string(value));
}

int StartElement(xmlTextWriterPtr writer, const char* name)
{
    return xmlTextWriterStartElement(writer, BAD_CAST name) < 0 ? KEL_ERR_IO : KEL_OK;
}

int EndElement(xmlTextWriterPtr writer)
{
    return xmlTextWriterEndElement(writer) < 0 ? KEL_ERR_IO : KEL_OK;
}

int WriteApplication(xmlTextWriterPtr writer, const CApplicationInfo& app)
{
    int rc;
    if ((rc = StartElement(writer, "Application")) != KEL_OK)
        return rc;
    if ((rc = WriteAttr(writer, "name", app.GetName())) != KEL_OK ||
        (rc = WriteAttr(writer, "path", app.GetPath())) != KEL_OK ||
        (rc = WriteAttr(writer, "icon", app.GetCustomIcon())) != KEL_OK ||
        (rc = WriteIntAttr(writer, "enable", app.GetEnable())) != KEL_OK)
        return rc;
    return EndElement(writer);
}

int WriteApplications(xmlTextWriterPtr writer, const ApplicationInfoList* list)
{
    if (!list)
        return KEL_OK;
    for (const CApplicationInfo* app : *list) {
        if (!app)
            continue;
        int rc = WriteApplication(writer, *app);
        if (rc != KEL_OK)
            return rc;
    }
    return KEL_OK;
}

int WriteCategories(xmlTextWriterPtr writer, const CategoryInfoList* list)
{
    if (!list)
        return KEL_OK;
    for (const CCategory* category : *list) {
        if (!category)
            continue;
        int rc;
        if ((rc = StartElement(writer, "Category")) != KEL_OK ||
            (rc = WriteAttr(writer, "name", category->GetName())) != KEL_OK ||
            (rc = WriteAttr(writer, "icon", category->GetCategoryIcon())) != KEL_OK ||
            (rc = WriteApplications(writer, category->GetPApplicationInfoList())) != KEL_OK ||
            (rc = EndElement(writer)) != KEL_OK)
            return rc;
    }
    return KEL_OK;
}

/* ---- Streams */

StreamAttributes::StreamAttributes(const xmlChar** attributes, int count, long line,
                                   std::vector<std::string>* deferredLog)
    : m_Attributes(attributes)
    , m_Count(count)
    , m_Line(line)
    , m_DeferredLog(deferredLog)
{
}

bool StreamAttributes::Get(const char* name, std::string& out) const
{
    for (int i = 0; i < m_Count; ++i) {
        const xmlChar** attribute = m_Attributes + 5 * i;
        if (!xmlStrEqual(attribute[0], BAD_CAST name))
            continue;
        const char* value = reinterpret_cast<const char*>(attribute[3]);
        const char* end = reinterpret_cast<const char*>(attribute[4]);
        const size_t length = value && end > value ? static_cast<size_t>(end - value) : 0;
        /* The parser resolved every reference but one: without entity substitution it passes
         * a literal "&" on as the reference "&#38;", which the tree would turn back. */
        const char* amp = length ? static_cast<const char*>(memchr(value, '&', length)) : nullptr;
        if (!amp) {
            out.assign(value ? value : "", length);
            return true;
        }
        out.assign(value, static_cast<size_t>(amp - value));
        for (const char* p = amp; p < end;) {
            if (*p == '&' && end - p >= 5 && memcmp(p, "&#38;", 5) == 0) {
                out += '&';
                p += 5;
            } else {
                out += *p++;
            }
        }
        return true;
    }
    return false;
}

void StreamAttributes::Skipped(const std::string& why) const
{
    std::string line = t_Context.source;
    if (m_Line > 0)
        line += ": line " + std::to_string(m_Line);
    line += ": " + why;
    m_DeferredLog->push_back(line);
}

void StreamReader::Commit()
{
    for (const std::string& line : m_DeferredLog)
        CKELLog::WriteLine(line, 2, "", false);
    m_DeferredLog.clear();
    HandOver();
}

namespace {

class ApplicationsStream : public StreamReader {
public:
    explicit ApplicationsStream(std::function<void(ApplicationInfoList*)> handOver)
        : m_HandOver(handOver)
        , m_List(new ApplicationInfoList())
    {
    }
    ~ApplicationsStream() override { FreeApplications(m_List); }

    void StartElement(int depth, const char* name, const StreamAttributes& attributes) override
    {
        if (depth == 1 && strcmp(name, "Application") == 0)
            m_List->push_back(ReadApplicationOf(attributes));
    }

protected:
    void HandOver() override
    {
        m_HandOver(m_List);
        m_List = nullptr;
    }

private:
    std::function<void(ApplicationInfoList*)> m_HandOver;
    ApplicationInfoList* m_List;
};

class CategoriesStream : public StreamReader {
public:
    explicit CategoriesStream(std::function<void(CategoryInfoList*)> handOver)
        : m_HandOver(handOver)
        , m_List(new CategoryInfoList())
        , m_Category(nullptr)
    {
    }
    ~CategoriesStream() override { FreeCategories(m_List); }

    void StartElement(int depth, const char* name, const StreamAttributes& attributes) override
    {
        if (depth == 1) {
            /* Only the direct children of a category are its programs. */
            m_Category = nullptr;
            if (strcmp(name, "Category") != 0)
                return;
            CCategory* category = new CCategory();
            std::string value;
            if (attributes.Get("name", value))
                category->SetName(value);
            if (attributes.Get("icon", value))
                category->SetCategoryIcon(value);
            category->SetPApplicationInfoList(new ApplicationInfoList());
            m_List->push_back(category);
            m_Category = category;
        } else if (depth == 2 && m_Category && strcmp(name, "Application") == 0) {
            m_Category->GetPApplicationInfoList()->push_back(ReadApplicationOf(attributes));
        }
    }

protected:
    void HandOver() override
    {
        m_HandOver(m_List);
        m_List = nullptr;
    }

private:
    std::function<void(CategoryInfoList*)> m_HandOver;
    CategoryInfoList* m_List;
    CCategory* m_Category; /* the category whose programs are being read; owned by m_List */
};

} // namespace

StreamReader* NewApplicationsStream(std::function<void(ApplicationInfoList*)> handOver)
{
    return new ApplicationsStream(handOver);
}

StreamReader* NewCategoriesStream(std::function<void(CategoryInfoList*)> handOver)
{
    return new CategoriesStream(handOver);
}

ApplicationInfoList* CopyApplications(const ApplicationInfoList* list)
{
    if (!list)
        return nullptr;
    ApplicationInfoList* copy = new ApplicationInfoList();
    for (const CApplicationInfo* app : *list) {
        if (app)
            copy->push_back(new CApplicationInfo(*app));
    }
    return copy;
}

CategoryInfoList* CopyCategories(const CategoryInfoList* list)
{
    if (!list)
        return nullptr;
    CategoryInfoList* copy = new CategoryInfoList();
    for (const CCategory* category : *list) {
        if (category)
            copy->push_back(new CCategory(*category));
    }
    return copy;
}

void FreeApplications(ApplicationInfoList* list)
{
    if (!list)
        return;
    for (CApplicationInfo* app : *list)
        delete app;
    delete list;
}

void FreeCategories(CategoryInfoList* list)
{
    if (!list)
        return;
    for (CCategory* category : *list)
        delete category;
    delete list;
}

bool SameCategories(const CategoryInfoList* a, const CategoryInfoList* b)
{
    /* No list and an empty list hold the same policy: no category. */
    const size_t sizeA = a ? a->size() : 0;
    const size_t sizeB = b ? b->size() : 0;
    if (sizeA != sizeB)
        return false;
    if (sizeA == 0)
        return true;
    auto itB = b->begin();
    for (auto itA = a->begin(); itA != a->end(); ++itA, ++itB) {
        const CCategory* ca = *itA;
        const CCategory* cb = *itB;
        if (!ca || !cb) {
            if (ca != cb)
                return false;
            continue;
        }
        if (!ca->IsEqual(*cb))
            return false;
    }
    return true;
}

} // namespace io
} // namespace LibKELData
