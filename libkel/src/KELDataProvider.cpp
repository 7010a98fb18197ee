/* Loading and saving of every policy record: safe XML reading and whole-or-nothing writing.
 *
 * The XML schema of the policy files (UTF-8, one element per record, values in attributes;
 * every root carries version="1"; unknown elements and attributes are ignored on reading,
 * so later versions can add to them):
 *
 *   TabNavigation.xml, DefaultConfig.xml (the same content under another root)
 *     <TabNavigation version="1">                  or <DefaultConfig version="1">
 *       <Category name="Internet" icon="/etc/KEL/icons/internet.png">
 *         <Application name="Firefox ESR" path="/usr/bin/firefox-esr"
 *                      icon="/etc/KEL/icons/browser.png" enable="1"/>
 *       </Category>
 *     </TabNavigation>
 *     Order of categories and programs is the order of the shell's tabs and buttons.
 *     enable: 1 shown on the student shell, 0 hidden (absent: 1).
 *
 *   SearchResult.xml
 *     <SearchResult version="1"> <Application .../>... </SearchResult>
 *
 *   LockSchedule.xml
 *     <LockSchedule version="1" autoLock="1" manualLock="0" lockStatus="2">
 *       <Section day="0" start="22" end="23"/>
 *     </LockSchedule>
 *     day 0 = Monday .. 6 = Sunday; start 0..23 and end 1..24 in whole hours, end > start.
 *     A section outside these ranges is skipped with a log line; the rest of the file loads.
 *     lockStatus: 0 unlocked, 1 locked by hand, 2 automatic locking on, 3 off.
 *
 *   KELSystemSetting.xml
 *     <KELSystemSetting version="1" usbStorageEnabled="1" newStudentConnectDialog="0"/>
 *
 *   StudentInfo.xml (the classroom roster)
 *     <StudentInfo version="1"> <Student name="Anna" address="pc01"/>... </StudentInfo>
 *
 *   KELTheme.xml
 *     <KELTheme version="1" theme="Blue" font="Sans 10" background="/etc/KEL/image/bg.png"/>
 *
 * Numbers are plain decimals; a number that is not one is logged and its default kept.
 * Reading refuses (and logs why): anything but a regular file, files above the size cap,
 * malformed XML or invalid UTF-8, document type declarations (so no entity is ever
 * declared, fetched or expanded), and a root element of another record.
 *
 * The size cap is the record's MaxFileSize: 64 MiB for the long lists, less for the records
 * read whole as a tree. Categories and programs are only ever read as a stream of elements
 * (KELDataIO.cpp), never from a tree.
 *
 * Saving hands the whole document to the file side (KELDataFile.cpp), which replaces the
 * file whole or not at all and keeps an unreadable file aside first.
 */
#include "KELData.h"

#include <libxml/parser.h>
#include <libxml/xmlwriter.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>

#include "KELDataFile.h"
#include "KELDataIO.h"
#include "KELLog.h"

namespace LibKELData {

using file::ErrnoText;
using file::Fail;

namespace {

/* Our largest realistic file (10,000 programs) is about 2 MB. */
const long long MAX_FILE_SIZE = 64 * 1024 * 1024;
const int PARSE_OPTIONS = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_COMPACT;

void InitXml()
{
    /* libxml2 needs one initialisation before threads use it (the search worker saves too). */
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

/* ---- Reading */

/* A document read as a stream of elements: where the reader stands and what the root was. */
struct StreamState {
    io::StreamReader* reader;
    const char* rootName;
    int depth;
    bool rootOk;
    std::string rootFound;
};

/* libxml2 asks for 4000 bytes at a time: the file is read in larger pieces, a tenth of the
 * system calls for a policy of 10,000 programs. */
const size_t READ_BUFFER_BYTES = 64 * 1024;

struct ReadState {
    int fd;
    long long limit;
    long long total;
    bool tooLarge;
    bool doctype;
    int readErrno;       /* a failing disk is not a malformed file */
    StreamState* stream; /* null: the parser builds a tree */
    char* buffer;        /* READ_BUFFER_BYTES, read from fd and not yet handed on from at */
    size_t at;
    size_t end;
};

int ReadChunk(void* context, char* buffer, int len)
{
    ReadState* state = static_cast<ReadState*>(context);
    if (state->at == state->end) {
        ssize_t n;
        do {
            n = read(state->fd, state->buffer, READ_BUFFER_BYTES);
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            state->readErrno = errno;
            return -1;
        }
        state->total += n;
        if (state->total > state->limit) {
            /* The file grew after we measured it. */
            state->tooLarge = true;
            return -1;
        }
        state->at = 0;
        state->end = static_cast<size_t>(n);
    }
    size_t n = std::min(state->end - state->at, static_cast<size_t>(len > 0 ? len : 0));
    memcpy(buffer, state->buffer + state->at, n);
    state->at += n;
    return static_cast<int>(n);
}

void RefuseDoctype(void* context, const xmlChar*, const xmlChar*, const xmlChar*)
{
    /* Stop before any entity can be declared: our files never carry a DTD. */
    xmlParserCtxtPtr ctxt = static_cast<xmlParserCtxtPtr>(context);
    static_cast<ReadState*>(ctxt->_private)->doctype = true;
    xmlStopParser(ctxt);
}

/* The line as a tree would record it for the element: 65535 stands for any later line. */
long LineOf(xmlParserCtxtPtr ctxt)
{
    if (!ctxt->input)
        return 0;
    return ctxt->input->line < 65535 ? ctxt->input->line : 65535;
}

void StreamStartElement(void* context, const xmlChar* localname, const xmlChar*, const xmlChar*, int,
                        const xmlChar**, int nbAttributes, int nbDefaulted, const xmlChar** attributes)
{
    xmlParserCtxtPtr ctxt = static_cast<xmlParserCtxtPtr>(context);
    StreamState* stream = static_cast<ReadState*>(ctxt->_private)->stream;
    int depth = stream->depth++;
    if (depth == 0) {
        stream->rootFound = reinterpret_cast<const char*>(localname);
        stream->rootOk = xmlStrEqual(localname, BAD_CAST stream->rootName);
    }
    /* Under another root nothing is read; the load fails once the parse is through. Attributes
     * defaulted by a DTD would not be in a tree either (and no DTD gets this far). */
    if (stream->rootOk && stream->reader)
        stream->reader->StartElement(depth, reinterpret_cast<const char*>(localname),
                                     io::StreamAttributes(attributes, nbAttributes - nbDefaulted, LineOf(ctxt),
                                                          stream->reader->DeferredLog()));
}

void StreamEndElement(void* context, const xmlChar*, const xmlChar*, const xmlChar*)
{
    xmlParserCtxtPtr ctxt = static_cast<xmlParserCtxtPtr>(context);
    --static_cast<ReadState*>(ctxt->_private)->stream->depth;
}

std::string FirstLine(const char* message)
{
    std::string text = message ? message : "";
    size_t end = text.find('\n');
    if (end != std::string::npos)
        text.erase(end);
    return text;
}

/* Parses from the descriptor (fd >= 0) or from memory. Returns the document or null with
 * rc and reason set. With a stream the elements go to its reader and the document stays
 * empty: the same parser, limits and refusals, without the tree. */
xmlDocPtr ParseXml(int fd, long long limit, const char* data, size_t size, const char* url, int& rc,
                   std::string& reason, StreamState* stream = nullptr)
{
    InitXml();
    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    if (!ctxt) {
        rc = KEL_ERR_IO;
        reason = "out of memory";
        return nullptr;
    }
    std::unique_ptr<char[]> buffer(fd >= 0 ? new char[READ_BUFFER_BYTES] : nullptr);
    ReadState state = {fd, limit, 0, false, false, 0, stream, buffer.get(), 0, 0};
    ctxt->_private = &state;
    ctxt->sax->internalSubset = RefuseDoctype;
    if (stream) {
        ctxt->sax->startElementNs = StreamStartElement;
        ctxt->sax->endElementNs = StreamEndElement;
        /* Text, comments and processing instructions carry nothing the records read. */
        ctxt->sax->characters = nullptr;
        ctxt->sax->ignorableWhitespace = nullptr;
        ctxt->sax->cdataBlock = nullptr;
        ctxt->sax->comment = nullptr;
        ctxt->sax->processingInstruction = nullptr;
        ctxt->sax->reference = nullptr;
    }
    xmlDocPtr doc;
    if (fd >= 0)
        doc = xmlCtxtReadIO(ctxt, ReadChunk, nullptr, &state, url, nullptr, PARSE_OPTIONS);
    else
        doc = xmlCtxtReadMemory(ctxt, data, static_cast<int>(size), url, nullptr, PARSE_OPTIONS);
    if (state.doctype) {
        rc = KEL_ERR_FORMAT;
        reason = "document type declarations are not accepted";
    } else if (state.readErrno != 0) {
        rc = KEL_ERR_IO;
        reason = "reading failed: " + ErrnoText(state.readErrno);
    } else if (state.tooLarge) {
        rc = KEL_ERR_TOO_LARGE;
        reason = "the file grew beyond " + std::to_string(limit) + " bytes while being read";
    } else if (!doc || !ctxt->wellFormed) {
        xmlErrorPtr error = xmlCtxtGetLastError(ctxt);
        rc = KEL_ERR_PARSE;
        reason = "not well-formed XML";
        if (error && error->message) {
            reason += " (";
            if (error->line > 0)
                reason += "line " + std::to_string(error->line) + ": ";
            reason += FirstLine(error->message) + ")";
        }
    } else {
        rc = KEL_OK;
    }
    if (rc != KEL_OK && doc) {
        xmlFreeDoc(doc);
        doc = nullptr;
    }
    xmlFreeParserCtxt(ctxt);
    return doc;
}

/* After a well-formed document read as a stream: the same checks and outcome as
 * LoadDocument on its tree. */
int FinishStream(StreamState& stream)
{
    if (stream.rootFound.empty())
        return KEL_ERR_FORMAT;
    if (!stream.rootOk) {
        Fail("Cannot load " + io::Source() + ": the root element is <" + stream.rootFound + ">, expected <" +
             stream.rootName + ">");
        return KEL_ERR_FORMAT;
    }
    if (stream.reader)
        stream.reader->Commit();
    return KEL_OK;
}

/* Is the file on disk a well-formed document with this root and within the size cap? Read
 * as a stream without a reader: only the root is looked at, and no tree is built. */
bool IsReadable(int fd, const struct stat& st, const char* rootName, long long limit, const std::string& path)
{
    if (st.st_size > limit)
        return false;
    int rc;
    std::string reason;
    StreamState stream = {nullptr, rootName, 0, false, std::string()};
    xmlDocPtr doc = ParseXml(fd, limit, nullptr, 0, path.c_str(), rc, reason, &stream);
    xmlFreeDoc(doc);
    return doc && stream.rootOk;
}

} // namespace

CKELDataProvider::CKELDataProvider()
{
}

CKELDataProvider::~CKELDataProvider()
{
}

io::StreamReader* CKELDataProvider::NewStreamReader()
{
    return nullptr;
}

int CKELDataProvider::ReadElement(_xmlNode*)
{
    return KEL_ERR_FORMAT; /* records that stream their lists never read a tree */
}

long long CKELDataProvider::MaxFileSize() const
{
    return MAX_FILE_SIZE;
}

int CKELDataProvider::LoadDocument(_xmlDoc* doc)
{
    xmlNode* root = xmlDocGetRootElement(doc);
    if (!root)
        return KEL_ERR_FORMAT;
    if (!xmlStrEqual(root->name, BAD_CAST RootElementName())) {
        Fail("Cannot load " + io::Source() + ": the root element is <" + reinterpret_cast<const char*>(root->name) +
             ">, expected <" + RootElementName() + ">");
        return KEL_ERR_FORMAT;
    }
    int rc = ReadElement(root);
    if (rc != KEL_OK) {
        Fail("Cannot load " + io::Source() + ": its content is not a valid <" + RootElementName() + ">");
        Clear();
    }
    return rc;
}

int CKELDataProvider::LoadFromFile(const std::string& path)
{
    Clear();
    if (path.empty()) {
        Fail(std::string("Cannot load <") + RootElementName() + ">: no file name given");
        return KEL_ERR_ARGUMENT;
    }
    io::Scope scope(path);
    struct stat st;
    int rc;
    std::string reason;
    int fd = file::OpenForReading(path, MaxFileSize(), st, rc, reason);
    if (fd < 0) {
        Fail("Cannot load " + path + ": " + reason);
        if (rc == KEL_ERR_TOO_LARGE)
            file::Remember(st, file::FILE_UNREADABLE);
        return rc;
    }
    std::unique_ptr<io::StreamReader> reader(NewStreamReader());
    StreamState stream = {reader.get(), RootElementName(), 0, false, std::string()};
    xmlDocPtr doc = ParseXml(fd, MaxFileSize(), nullptr, 0, path.c_str(), rc, reason, reader ? &stream : nullptr);
    close(fd);
    if (!doc) {
        Fail("Cannot load " + path + ": " + reason);
        if (rc != KEL_ERR_IO) /* a read error says nothing about the content */
            file::Remember(st, file::FILE_UNREADABLE);
        return rc;
    }
    rc = reader ? FinishStream(stream) : LoadDocument(doc);
    xmlFreeDoc(doc);
    file::Remember(st, rc == KEL_OK ? file::FILE_GOOD : file::FILE_UNREADABLE);
    return rc;
}

int CKELDataProvider::LoadFromString(const std::string& xml)
{
    Clear();
    io::Scope scope("XML text");
    if (xml.empty()) {
        Fail(std::string("Cannot load <") + RootElementName() + "> from XML text: the text is empty");
        return KEL_ERR_PARSE;
    }
    if (xml.size() > static_cast<unsigned long long>(MaxFileSize()) || xml.size() > static_cast<size_t>(INT_MAX)) {
        Fail(std::string("Cannot load <") + RootElementName() + "> from XML text: its " + std::to_string(xml.size()) +
             " bytes are more than a policy may have");
        return KEL_ERR_TOO_LARGE;
    }
    int rc;
    std::string reason;
    std::unique_ptr<io::StreamReader> reader(NewStreamReader());
    StreamState stream = {reader.get(), RootElementName(), 0, false, std::string()};
    xmlDocPtr doc = ParseXml(-1, MaxFileSize(), xml.data(), xml.size(), "policy.xml", rc, reason,
                             reader ? &stream : nullptr);
    if (!doc) {
        Fail(std::string("Cannot load <") + RootElementName() + "> from XML text: " + reason);
        return rc;
    }
    rc = reader ? FinishStream(stream) : LoadDocument(doc);
    xmlFreeDoc(doc);
    return rc;
}

int CKELDataProvider::Serialize(std::string& out)
{
    InitXml();
    out.clear();
    xmlBufferPtr buffer = xmlBufferCreateSize(16384);
    if (!buffer)
        return KEL_ERR_IO;
    xmlTextWriterPtr writer = xmlNewTextWriterMemory(buffer, 0);
    if (!writer) {
        xmlBufferFree(buffer);
        return KEL_ERR_IO;
    }
    xmlTextWriterSetIndent(writer, 1);
    xmlTextWriterSetIndentString(writer, BAD_CAST "  ");
    int rc = KEL_OK;
    if (xmlTextWriterStartDocument(writer, nullptr, "UTF-8", nullptr) < 0)
        rc = KEL_ERR_IO;
    if (rc == KEL_OK)
        rc = io::StartElement(writer, RootElementName());
    if (rc == KEL_OK)
        rc = io::WriteAttr(writer, "version", "1");
    if (rc == KEL_OK)
        rc = WriteElements(writer);
    if (rc == KEL_OK && xmlTextWriterEndDocument(writer) < 0)
        rc = KEL_ERR_IO;
    xmlFreeTextWriter(writer); /* flushes into the buffer */
    if (rc == KEL_OK)
        out.assign(reinterpret_cast<const char*>(xmlBufferContent(buffer)), xmlBufferLength(buffer));
    xmlBufferFree(buffer);
    return rc;
}

int CKELDataProvider::Save2String(std::string& xml)
{
    io::Scope scope("XML text");
    int rc = Serialize(xml);
    if (rc != KEL_OK) {
        std::string why = io::WriteProblem().empty() ? "the XML writer failed" : io::WriteProblem();
        Fail(std::string("Cannot write <") + RootElementName() + "> as XML text: " + why);
        xml.clear();
    }
    return rc;
}

int CKELDataProvider::Save2File(const std::string& path)
{
    if (path.empty()) {
        Fail(std::string("Cannot save <") + RootElementName() + ">: no file name given");
        return KEL_ERR_ARGUMENT;
    }
    io::Scope scope(path);
    std::string xml;
    int rc = Serialize(xml);
    if (rc != KEL_OK) {
        std::string why = io::WriteProblem().empty() ? "the XML writer failed" : io::WriteProblem();
        Fail("Cannot save " + path + ": " + why);
        return rc;
    }
    const char* root = RootElementName();
    const long long limit = MaxFileSize();
    return file::Replace(path, xml, [root, limit, &path](int fd, const struct stat& st) {
        return IsReadable(fd, st, root, limit, path);
    });
}

} // namespace LibKELData
