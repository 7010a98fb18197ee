/* Raw storage baselines: libxml2 tree reading and writing, POSIX file calls. */
#include "RawXml.h"

#include <fcntl.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlreader.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace raw {

namespace {

bool IsElement(xmlNode* node, const char* name)
{
    return node->type == XML_ELEMENT_NODE && xmlStrEqual(node->name, BAD_CAST name);
}

/* The attribute's text as the parser left it, without a copy of libxml2's own. */
void Attr(xmlNode* node, const char* name, std::string& out)
{
    for (xmlAttr* a = node->properties; a; a = a->next)
        if (xmlStrEqual(a->name, BAD_CAST name)) {
            out.assign(a->children && a->children->content ? (const char*)a->children->content : "");
            return;
        }
    out.clear();
}

int IntAttr(xmlNode* node, const char* name, int fallback)
{
    for (xmlAttr* a = node->properties; a; a = a->next)
        if (xmlStrEqual(a->name, BAD_CAST name) && a->children && a->children->content)
            return atoi((const char*)a->children->content);
    return fallback;
}

void ReadApp(xmlNode* node, App& app)
{
    Attr(node, "name", app.name);
    Attr(node, "path", app.path);
    Attr(node, "icon", app.icon);
    app.enable = IntAttr(node, "enable", 1);
}

xmlDocPtr Read(const std::string& path, const char* rootName, xmlNode*& root)
{
    xmlDocPtr doc = xmlReadFile(path.c_str(), NULL, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    root = doc ? xmlDocGetRootElement(doc) : NULL;
    if (!root || !xmlStrEqual(root->name, BAD_CAST rootName)) {
        if (doc)
            xmlFreeDoc(doc);
        return NULL;
    }
    return doc;
}

void AddApp(xmlNode* parent, const App& app)
{
    xmlNode* node = xmlNewChild(parent, NULL, BAD_CAST "Application", NULL);
    xmlNewProp(node, BAD_CAST "name", BAD_CAST app.name.c_str());
    xmlNewProp(node, BAD_CAST "path", BAD_CAST app.path.c_str());
    xmlNewProp(node, BAD_CAST "icon", BAD_CAST app.icon.c_str());
    xmlNewProp(node, BAD_CAST "enable", BAD_CAST std::to_string(app.enable).c_str());
}

xmlDocPtr BuildTree(const Policy& policy)
{
    xmlDocPtr doc = xmlNewDoc(BAD_CAST "1.0");
    xmlNode* root = xmlNewNode(NULL, BAD_CAST "TabNavigation");
    xmlDocSetRootElement(doc, root);
    xmlNewProp(root, BAD_CAST "version", BAD_CAST "1");
    for (const Category& c : policy.categories) {
        xmlNode* node = xmlNewChild(root, NULL, BAD_CAST "Category", NULL);
        xmlNewProp(node, BAD_CAST "name", BAD_CAST c.name.c_str());
        xmlNewProp(node, BAD_CAST "icon", BAD_CAST c.icon.c_str());
        for (const App& a : c.apps)
            AddApp(node, a);
    }
    return doc;
}

} // namespace

bool Policy::operator==(const Policy& o) const
{
    if (categories.size() != o.categories.size())
        return false;
    for (size_t i = 0; i < categories.size(); ++i) {
        const Category& a = categories[i];
        const Category& b = o.categories[i];
        if (a.name != b.name || a.icon != b.icon || a.apps.size() != b.apps.size())
            return false;
        for (size_t j = 0; j < a.apps.size(); ++j) {
            const App& x = a.apps[j];
            const App& y = b.apps[j];
            if (x.enable != y.enable || x.name != y.name || x.path != y.path || x.icon != y.icon)
                return false;
        }
    }
    return true;
}

bool LoadPolicy(const std::string& path, Policy& out)
{
    out.categories.clear();
    xmlNode* root = NULL;
    xmlDocPtr doc = Read(path, "TabNavigation", root);
    if (!doc)
        return false;
    for (xmlNode* c = root->children; c; c = c->next) {
        if (!IsElement(c, "Category"))
            continue;
        out.categories.emplace_back();
        Category& category = out.categories.back();
        Attr(c, "name", category.name);
        Attr(c, "icon", category.icon);
        for (xmlNode* a = c->children; a; a = a->next)
            if (IsElement(a, "Application")) {
                category.apps.emplace_back();
                ReadApp(a, category.apps.back());
            }
    }
    xmlFreeDoc(doc);
    return true;
}

bool LoadApps(const std::string& path, std::vector<App>& out)
{
    out.clear();
    xmlNode* root = NULL;
    xmlDocPtr doc = Read(path, "SearchResult", root);
    if (!doc)
        return false;
    for (xmlNode* a = root->children; a; a = a->next)
        if (IsElement(a, "Application")) {
            out.emplace_back();
            ReadApp(a, out.back());
        }
    xmlFreeDoc(doc);
    return true;
}

namespace {

std::string ReaderAttr(xmlTextReaderPtr reader, const char* name)
{
    xmlChar* value = xmlTextReaderGetAttribute(reader, BAD_CAST name);
    std::string out = value ? (const char*)value : "";
    xmlFree(value);
    return out;
}

void ReaderApp(xmlTextReaderPtr reader, App& app)
{
    app.name = ReaderAttr(reader, "name");
    app.path = ReaderAttr(reader, "path");
    app.icon = ReaderAttr(reader, "icon");
    std::string enable = ReaderAttr(reader, "enable");
    app.enable = enable.empty() ? 1 : atoi(enable.c_str());
}

/* Calls element(depth, name) for each start tag; false when the file is not well-formed. */
template <class F>
bool Stream(const std::string& path, F element)
{
    xmlTextReaderPtr reader = xmlReaderForFile(path.c_str(), NULL, XML_PARSE_NONET);
    if (!reader)
        return false;
    int rc;
    while ((rc = xmlTextReaderRead(reader)) == 1)
        if (xmlTextReaderNodeType(reader) == XML_READER_TYPE_ELEMENT)
            element(reader, xmlTextReaderDepth(reader), (const char*)xmlTextReaderConstLocalName(reader));
    xmlFreeTextReader(reader);
    return rc == 0;
}

} // namespace

bool StreamPolicy(const std::string& path, Policy& out)
{
    out.categories.clear();
    return Stream(path, [&](xmlTextReaderPtr reader, int depth, const char* name) {
        if (depth == 1 && strcmp(name, "Category") == 0) {
            out.categories.emplace_back();
            out.categories.back().name = ReaderAttr(reader, "name");
            out.categories.back().icon = ReaderAttr(reader, "icon");
        } else if (depth == 2 && strcmp(name, "Application") == 0 && !out.categories.empty()) {
            out.categories.back().apps.emplace_back();
            ReaderApp(reader, out.categories.back().apps.back());
        }
    });
}

bool StreamApps(const std::string& path, std::vector<App>& out)
{
    out.clear();
    return Stream(path, [&](xmlTextReaderPtr reader, int depth, const char* name) {
        if (depth == 1 && strcmp(name, "Application") == 0) {
            out.emplace_back();
            ReaderApp(reader, out.back());
        }
    });
}

bool LoadSchedule(const std::string& path, Schedule& out)
{
    out = Schedule();
    xmlNode* root = NULL;
    xmlDocPtr doc = Read(path, "LockSchedule", root);
    if (!doc)
        return false;
    out.autoLock = IntAttr(root, "autoLock", 0);
    for (xmlNode* s = root->children; s; s = s->next)
        if (IsElement(s, "Section")) {
            int day = IntAttr(s, "day", -1), start = IntAttr(s, "start", -1);
            if (day >= 0 && day < 7 && start >= 0 && start < 24)
                out.locked[day][start] = true;
        }
    xmlFreeDoc(doc);
    return true;
}

bool LoadSystemSettings(const std::string& path, int& usb, int& dialog)
{
    xmlNode* root = NULL;
    xmlDocPtr doc = Read(path, "KELSystemSetting", root);
    if (!doc)
        return false;
    usb = IntAttr(root, "usbStorageEnabled", 1);
    dialog = IntAttr(root, "newStudentConnectDialog", 0);
    xmlFreeDoc(doc);
    return true;
}

bool DumpPolicy(const Policy& policy, std::string& out)
{
    xmlDocPtr doc = BuildTree(policy);
    xmlChar* text = NULL;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(doc, &text, &size, "UTF-8", 1);
    out.assign(text ? (const char*)text : "", text ? (size_t)size : 0);
    xmlFree(text);
    xmlFreeDoc(doc);
    return size > 0;
}

bool SavePolicy(const Policy& policy, const std::string& path)
{
    std::string text;
    if (!DumpPolicy(policy, text))
        return false;
    std::string temp = path + ".XXXXXX";
    int fd = mkstemp(&temp[0]);
    if (fd < 0)
        return false;
    const char* data = text.data();
    size_t left = text.size();
    bool ok = true;
    while (left > 0 && ok) {
        ssize_t n = write(fd, data, left);
        ok = n > 0;
        if (ok) {
            data += n;
            left -= (size_t)n;
        }
    }
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temp.c_str(), path.c_str()) == 0;
    if (!ok)
        unlink(temp.c_str());
    return ok;
}

} // namespace raw
