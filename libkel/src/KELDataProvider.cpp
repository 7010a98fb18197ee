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
 *     <StudentInfo version="1"> <Student name="Anna" address="192.168.10.21"/>... </StudentInfo>
 *
 *   KELTheme.xml
 *     <KELTheme version="1" theme="Blue" font="Sans 10" background="/etc/KEL/image/bg.png"/>
 *
 * Numbers are plain decimals; a number that is not one is logged and its default kept.
 * Reading refuses (and logs why): anything but a regular file, files above MAX_FILE_SIZE,
 * malformed XML or invalid UTF-8, document type declarations (so no entity is ever
 * declared, fetched or expanded), and a root element of another record.
 *
 * Saving writes a temporary file beside the target (mkstemp), syncs it, gives it the old
 * file's mode (or 0644) and renames it over the target, then syncs the folder. Saves into
 * one folder share a lock on it (flock) while their temporary file exists; a save that gets
 * it alone first removes the temporary files of its target that saves killed half-way
 * left behind, so they never pile up. A target
 * that exists but could not be read as this record is first kept beside itself as
 * "<name>.unreadable" (then ".unreadable.1", ...; an earlier kept copy is never replaced).
 */
#include "KELData.h"

#include <fcntl.h>
#include <libxml/parser.h>
#include <libxml/xmlwriter.h>
#include <dirent.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>

#include "KELDataIO.h"
#include "KELLog.h"

namespace LibKELData {

namespace {

/* Our largest realistic file (10,000 programs) is about 2 MB. */
const off_t MAX_FILE_SIZE = 64 * 1024 * 1024;
const int PARSE_OPTIONS = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_COMPACT;
const int MAX_KEPT_COPIES = 100;

void Fail(const std::string& text)
{
    CKELLog::WriteLine(text, 2, "", false);
}

std::string ErrnoText(int err)
{
    char buffer[256];
    /* GNU strerror_r: the result may or may not be the buffer. */
    return strerror_r(err, buffer, sizeof buffer);
}

void InitXml()
{
    /* libxml2 needs one initialisation before threads use it (the search worker saves too). */
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

/* ---- What we know about files on disk: read well by us (or written by us), or found
 * unreadable. A save over a file we know nothing about checks it first. */
struct FileId {
    dev_t dev;
    ino_t ino;
    off_t size;
    time_t sec;
    long nsec;
    bool operator<(const FileId& o) const
    {
        return std::tie(dev, ino, size, sec, nsec) < std::tie(o.dev, o.ino, o.size, o.sec, o.nsec);
    }
};

FileId IdOf(const struct stat& st)
{
    return FileId{st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

enum FileState { FILE_UNKNOWN, FILE_GOOD, FILE_UNREADABLE };

std::mutex g_KnownMutex;
std::map<FileId, FileState> g_Known;

void Remember(const struct stat& st, FileState state)
{
    std::lock_guard<std::mutex> lock(g_KnownMutex);
    if (g_Known.size() > 1024)
        g_Known.clear(); /* only a shortcut: forgetting costs one check at the next save */
    g_Known[IdOf(st)] = state;
}

FileState Recall(const struct stat& st)
{
    std::lock_guard<std::mutex> lock(g_KnownMutex);
    auto it = g_Known.find(IdOf(st));
    return it == g_Known.end() ? FILE_UNKNOWN : it->second;
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

struct ReadState {
    int fd;
    off_t total;
    bool tooLarge;
    bool doctype;
    int readErrno;       /* a failing disk is not a malformed file */
    StreamState* stream; /* null: the parser builds a tree */
};

int ReadChunk(void* context, char* buffer, int len)
{
    ReadState* state = static_cast<ReadState*>(context);
    ssize_t n;
    do {
        n = read(state->fd, buffer, len);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        state->readErrno = errno;
        return -1;
    }
    state->total += n;
    if (state->total > MAX_FILE_SIZE) {
        /* The file grew after we measured it. */
        state->tooLarge = true;
        return -1;
    }
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
    if (stream->rootOk)
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
xmlDocPtr ParseXml(int fd, const char* data, size_t size, const char* url, int& rc, std::string& reason,
                   StreamState* stream = nullptr)
{
    InitXml();
    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    if (!ctxt) {
        rc = KEL_ERR_IO;
        reason = "out of memory";
        return nullptr;
    }
    ReadState state = {fd, 0, false, false, 0, stream};
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
        reason = "the file grew beyond " + std::to_string(static_cast<long long>(MAX_FILE_SIZE)) + " bytes while being read";
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

/* Opens a file to read it as a policy: a regular file of a sane size. fd < 0 on failure,
 * with rc and reason set; st is filled whenever the file could be opened. */
int OpenPolicyFile(const std::string& path, struct stat& st, int& rc, std::string& reason)
{
    /* O_NONBLOCK so that a FIFO in the file's place cannot hang us before fstat tells. */
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        int err = errno;
        rc = KEL_ERR_IO;
        reason = err == ENOENT ? "the file does not exist" : ErrnoText(err);
        return -1;
    }
    if (fstat(fd, &st) != 0) {
        rc = KEL_ERR_IO;
        reason = ErrnoText(errno);
        close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        rc = KEL_ERR_NOT_FILE;
        reason = S_ISDIR(st.st_mode) ? "it is a directory, not a file" : "it is not a regular file";
        close(fd);
        return -1;
    }
    if (st.st_size > MAX_FILE_SIZE) {
        rc = KEL_ERR_TOO_LARGE;
        reason = "its " + std::to_string(static_cast<long long>(st.st_size)) + " bytes are more than the " +
                 std::to_string(static_cast<long long>(MAX_FILE_SIZE)) + " a policy file may have";
        close(fd);
        return -1;
    }
    if (st.st_size == 0) {
        rc = KEL_ERR_PARSE;
        reason = "the file is empty";
        close(fd);
        return -1;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    rc = KEL_OK;
    return fd;
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
    stream.reader->Commit();
    return KEL_OK;
}

/* Is the file on disk a readable document with this root? Used before replacing a file
 * that this process has not read. */
FileState CheckExisting(const std::string& path, const char* rootName)
{
    struct stat st;
    int rc;
    std::string reason;
    int fd = OpenPolicyFile(path, st, rc, reason);
    if (fd < 0)
        return FILE_UNREADABLE;
    xmlDocPtr doc = ParseXml(fd, nullptr, 0, path.c_str(), rc, reason);
    close(fd);
    FileState state = FILE_UNREADABLE;
    if (doc) {
        xmlNode* root = xmlDocGetRootElement(doc);
        if (root && xmlStrEqual(root->name, BAD_CAST rootName))
            state = FILE_GOOD;
        xmlFreeDoc(doc);
    }
    return state;
}

/* ---- Writing */
std::string DirName(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

bool WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

int SyncDir(const std::string& dir)
{
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    int rc = fsync(fd);
    close(fd);
    return rc;
}

bool CopyFileExclusive(const std::string& from, const std::string& to, int& err)
{
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        err = errno;
        return false;
    }
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        err = errno;
        close(in);
        return false;
    }
    char buffer[65536];
    bool ok = true;
    for (;;) {
        ssize_t n = read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (!WriteAll(out, buffer, static_cast<size_t>(n))) {
            ok = false;
            break;
        }
    }
    if (ok && fsync(out) != 0)
        ok = false;
    err = ok ? 0 : errno;
    close(out);
    close(in);
    if (!ok)
        unlink(to.c_str());
    return ok;
}

/* The name part that mkstemp fills in. */
bool IsTempSuffix(const char* text)
{
    for (int i = 0; i < 6; ++i) {
        char c = text[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    }
    return text[6] == '\0';
}

/* Shared by the saves into one folder, in this process and in others. A save holds it
 * shared while its temporary file exists, so whoever holds it alone knows that every
 * temporary file there belongs to a save that died. Where the file system has no such
 * locks, saving goes on without them and nothing is removed. */
class FolderSaveLock {
public:
    explicit FolderSaveLock(const std::string& dir)
        : m_Fd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
    }
    ~FolderSaveLock()
    {
        if (m_Fd >= 0)
            close(m_Fd); /* releases the lock */
    }
    FolderSaveLock(const FolderSaveLock&) = delete;
    FolderSaveLock& operator=(const FolderSaveLock&) = delete;

    bool TryAlone() { return m_Fd >= 0 && flock(m_Fd, LOCK_EX | LOCK_NB) == 0; }
    void Share()
    {
        if (m_Fd >= 0)
            while (flock(m_Fd, LOCK_SH) != 0 && errno == EINTR) {
            }
    }
    int Fd() const { return m_Fd; }

private:
    int m_Fd;
};

/* Removes the temporary files of base ("." base ".XXXXXX") that killed saves left in the
 * folder. Only regular files of exactly that form are touched. Call holding the lock alone. */
void RemoveStaleTemps(int dirFd, const std::string& dir, const std::string& base)
{
    int fd = dup(dirFd);
    if (fd < 0)
        return;
    DIR* d = fdopendir(fd);
    if (!d) {
        close(fd);
        return;
    }
    const std::string prefix = "." + base + ".";
    while (struct dirent* entry = readdir(d)) {
        const char* name = entry->d_name;
        if (strncmp(name, prefix.c_str(), prefix.size()) != 0 || !IsTempSuffix(name + prefix.size()))
            continue;
        struct stat st;
        if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (unlinkat(dirFd, name, 0) == 0)
            CKELLog::WriteLine("Removed " + dir + "/" + name + ", left by a save that was interrupted", 1, "", false);
    }
    closedir(d);
}

/* Keeps the unreadable file beside itself under a name of its own. 0 or negative. */
int KeepAside(const std::string& path)
{
    for (int n = 0; n < MAX_KEPT_COPIES; ++n) {
        std::string kept = path + ".unreadable";
        if (n > 0)
            kept += "." + std::to_string(n);
        /* A hard link takes the name only if it is free, and the file stays in place. */
        if (link(path.c_str(), kept.c_str()) == 0) {
            Fail("Kept the unreadable file " + path + " as " + kept + " before replacing it");
            return KEL_OK;
        }
        int err = errno;
        if (err == EEXIST)
            continue;
        if (err == EPERM || err == EXDEV || err == EOPNOTSUPP || err == EMLINK) {
            /* A file system without hard links: copy instead. */
            if (CopyFileExclusive(path, kept, err)) {
                Fail("Kept the unreadable file " + path + " as " + kept + " before replacing it");
                return KEL_OK;
            }
            if (err == EEXIST)
                continue;
        }
        Fail("Cannot save " + path + ": the unreadable file there could not be kept as " + kept + ": " + ErrnoText(err));
        return KEL_ERR_IO;
    }
    Fail("Cannot save " + path + ": the unreadable file there could not be kept, " +
         std::to_string(MAX_KEPT_COPIES) + " earlier copies are in the way");
    return KEL_ERR_IO;
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
    int fd = OpenPolicyFile(path, st, rc, reason);
    if (fd < 0) {
        Fail("Cannot load " + path + ": " + reason);
        if (rc == KEL_ERR_TOO_LARGE)
            Remember(st, FILE_UNREADABLE);
        return rc;
    }
    std::unique_ptr<io::StreamReader> reader(NewStreamReader());
    StreamState stream = {reader.get(), RootElementName(), 0, false, std::string()};
    xmlDocPtr doc = ParseXml(fd, nullptr, 0, path.c_str(), rc, reason, reader ? &stream : nullptr);
    close(fd);
    if (!doc) {
        Fail("Cannot load " + path + ": " + reason);
        if (rc != KEL_ERR_IO) /* a read error says nothing about the content */
            Remember(st, FILE_UNREADABLE);
        return rc;
    }
    rc = reader ? FinishStream(stream) : LoadDocument(doc);
    xmlFreeDoc(doc);
    Remember(st, rc == KEL_OK ? FILE_GOOD : FILE_UNREADABLE);
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
    if (xml.size() > static_cast<size_t>(MAX_FILE_SIZE) || xml.size() > static_cast<size_t>(INT_MAX)) {
        Fail(std::string("Cannot load <") + RootElementName() + "> from XML text: its " + std::to_string(xml.size()) +
             " bytes are more than a policy may have");
        return KEL_ERR_TOO_LARGE;
    }
    int rc;
    std::string reason;
    std::unique_ptr<io::StreamReader> reader(NewStreamReader());
    StreamState stream = {reader.get(), RootElementName(), 0, false, std::string()};
    xmlDocPtr doc = ParseXml(-1, xml.data(), xml.size(), "policy.xml", rc, reason, reader ? &stream : nullptr);
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
    std::string target = path;
    struct stat st;
    bool exists = false;
    if (lstat(path.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            /* Replace the file the link points to and keep the link. */
            char* real = realpath(path.c_str(), nullptr);
            if (!real) {
                Fail("Cannot save " + path + ": it is a link to nothing usable (" + ErrnoText(errno) + ")");
                return KEL_ERR_IO;
            }
            target = real;
            free(real);
            if (stat(target.c_str(), &st) != 0) {
                Fail("Cannot save " + path + ": " + ErrnoText(errno));
                return KEL_ERR_IO;
            }
        }
        if (!S_ISREG(st.st_mode)) {
            Fail("Cannot save " + path + ": " + (S_ISDIR(st.st_mode) ? "a directory" : "something other than a file") +
                 " is in its place");
            return KEL_ERR_NOT_FILE;
        }
        exists = true;
    } else if (errno != ENOENT) {
        Fail("Cannot save " + path + ": " + ErrnoText(errno));
        return KEL_ERR_IO;
    }

    std::string xml;
    int rc = Serialize(xml);
    if (rc != KEL_OK) {
        std::string why = io::WriteProblem().empty() ? "the XML writer failed" : io::WriteProblem();
        Fail("Cannot save " + path + ": " + why);
        return rc;
    }

    const std::string dir = DirName(target);
    size_t slash = target.rfind('/');
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    FolderSaveLock folderLock(dir);
    if (folderLock.TryAlone())
        RemoveStaleTemps(folderLock.Fd(), dir, base);
    folderLock.Share();
    std::string temp = dir + "/." + base + ".XXXXXX";
    int fd = mkostemp(&temp[0], O_CLOEXEC);
    if (fd < 0) {
        Fail("Cannot save " + path + ": no temporary file can be made in " + dir + ": " + ErrnoText(errno));
        return KEL_ERR_IO;
    }
    std::string failure;
    mode_t mode = exists ? (st.st_mode & 07777) : 0644;
    if (!WriteAll(fd, xml.data(), xml.size()))
        failure = "writing failed: " + ErrnoText(errno);
    else if (fchmod(fd, mode) != 0)
        failure = "setting the file mode failed: " + ErrnoText(errno);
    else if (fsync(fd) != 0)
        failure = "syncing failed: " + ErrnoText(errno);
    if (failure.empty() && exists && geteuid() == 0 && (st.st_uid != 0 || st.st_gid != 0)) {
        /* Keep the owner of a file that root rewrites for someone else. */
        if (fchown(fd, st.st_uid, st.st_gid) != 0)
            failure = "restoring the owner failed: " + ErrnoText(errno);
    }
    struct stat written;
    if (failure.empty() && fstat(fd, &written) != 0)
        failure = ErrnoText(errno);
    if (close(fd) != 0 && failure.empty())
        failure = "closing failed: " + ErrnoText(errno);

    if (failure.empty() && exists && st.st_size > 0) { /* an empty file holds nothing to keep */
        FileState state = Recall(st);
        if (state == FILE_UNKNOWN)
            state = CheckExisting(target, RootElementName());
        if (state == FILE_UNREADABLE && KeepAside(target) != KEL_OK) {
            unlink(temp.c_str());
            return KEL_ERR_IO;
        }
    }
    if (failure.empty() && rename(temp.c_str(), target.c_str()) != 0)
        failure = "renaming the new file into place failed: " + ErrnoText(errno);
    if (!failure.empty()) {
        unlink(temp.c_str());
        Fail("Cannot save " + path + ": " + failure + "; the old file is unchanged");
        return KEL_ERR_IO;
    }
    Remember(written, FILE_GOOD);
    if (SyncDir(dir) != 0)
        Fail("Saved " + path + ", but syncing its folder failed: " + ErrnoText(errno));
    return KEL_OK;
}

} // namespace LibKELData
