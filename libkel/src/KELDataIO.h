/* Shared pieces of the records' XML reading and writing: attributes, numbers, log lines
 * about skipped items, and the program and category elements used by several records. */
#ifndef KEL_DATA_IO_H
#define KEL_DATA_IO_H

#include <libxml/tree.h>
#include <libxml/xmlwriter.h>

#include <functional>
#include <string>
#include <vector>

#include "KELData.h"

namespace LibKELData {
namespace io {

/* The file (or "XML text") being read or written on this thread, named in log lines, and
 * the first reason a write was refused. Set by the storage operations for their duration. */
class Scope {
public:
    explicit Scope(const std::string& source);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    std::string m_SavedSource;
    std::string m_SavedProblem;
};
const std::string& Source();
const std::string& WriteProblem();

/* Logs at level 2 why an element was skipped, with the source and the line. */
void LogSkipped(xmlNode* node, const std::string& why);

/* True when the element has the attribute; out receives its value. */
bool GetAttr(xmlNode* node, const char* name, std::string& out);

enum IntResult { INT_ABSENT, INT_OK, INT_INVALID };
/* Strict decimal integer (blanks around it allowed), within the range of int. */
IntResult GetIntAttr(xmlNode* node, const char* name, int& out);
/* An optional integer attribute: absent keeps out, invalid logs and keeps out. */
void ReadOptionalInt(xmlNode* node, const char* name, int& out);

/* Element children only; text, comments and processing instructions are skipped. */
inline bool IsElement(xmlNode* node, const char* name)
{
    return node->type == XML_ELEMENT_NODE && xmlStrEqual(node->name, BAD_CAST name);
}

/* 0, KEL_ERR_ARGUMENT when the value cannot be stored in XML (recorded as the write
 * problem), KEL_ERR_IO when the writer fails. */
int WriteAttr(xmlTextWriterPtr writer, const char* name, const std::string& value);
int WriteIntAttr(xmlTextWriterPtr writer, const char* name, int value);
int StartElement(xmlTextWriterPtr writer, const char* name);
int EndElement(xmlTextWriterPtr writer);

/* <Application name path icon enable/>: written here, read only by the streams below. */
int WriteApplication(xmlTextWriterPtr writer, const CApplicationInfo& app);
int WriteApplications(xmlTextWriterPtr writer, const ApplicationInfoList* list);

/* <Category name icon> with <Application> children. */
int WriteCategories(xmlTextWriterPtr writer, const CategoryInfoList* list);

/* ---- Reading from the parser's stream of elements, without a tree (the long lists). */

/* An element's attributes as the parser hands them over. Skipped items are logged only when
 * the whole document turns out well-formed, in document order, as a walk of the tree would. */
class StreamAttributes {
public:
    StreamAttributes(const xmlChar** attributes, int count, long line, std::vector<std::string>* deferredLog);
    bool Get(const char* name, std::string& out) const;
    void Skipped(const std::string& why) const;

private:
    const xmlChar** m_Attributes; /* 5 per attribute: name, prefix, URI, value, value end */
    int m_Count;
    long m_Line;
    std::vector<std::string>* m_DeferredLog;
};

/* Builds a record's lists from element events; the record takes them only from Commit. */
class StreamReader {
public:
    virtual ~StreamReader() {}
    /* Elements below a root of the record's name; depth 0 is the root itself. */
    virtual void StartElement(int depth, const char* name, const StreamAttributes& attributes) = 0;
    /* The document is well-formed: write the deferred log lines and hand the lists over. */
    void Commit();
    std::vector<std::string>* DeferredLog() { return &m_DeferredLog; }

protected:
    virtual void HandOver() = 0;

private:
    std::vector<std::string> m_DeferredLog;
};

/* <Application> children of the root (search results). */
StreamReader* NewApplicationsStream(std::function<void(ApplicationInfoList*)> handOver);
/* <Category> children of the root with their <Application> children (tab navigation, defaults). */
StreamReader* NewCategoriesStream(std::function<void(CategoryInfoList*)> handOver);

/* Deep copies and frees of the owned lists. */
ApplicationInfoList* CopyApplications(const ApplicationInfoList* list);
CategoryInfoList* CopyCategories(const CategoryInfoList* list);
void FreeApplications(ApplicationInfoList* list);
void FreeCategories(CategoryInfoList* list);
bool SameCategories(const CategoryInfoList* a, const CategoryInfoList* b);

} // namespace io
} // namespace LibKELData

#endif
