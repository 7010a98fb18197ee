/* The keeping of the search-result file: its lock across processes, its mode and its size. */
#include "SearchResultFile.h"

#include "IPCAPI.h"
#include "KELData.h"
#include "KELDataFile.h"
#include "KELLog.h"
#include "ProgramSearch.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using LibKELData::CApplicationInfo;
using LibKELData::CKELLog;
using LibKELData::CSearchResultData;

namespace IPCAPI {

namespace {

const int WAIT_STEP_MS = 10;

/* Bytes a program takes in the result file at most: every character escaped at its longest
 * ("&quot;"), and the element around it. */
size_t StoredSize(const CApplicationInfo& app)
{
    size_t size = 64;
    for (const std::string* text : {&app.GetName(), &app.GetPath(), &app.GetCustomIcon()})
        for (char c : *text)
            size += c && strchr("&<>\"'\r\n\t", c) ? 6 : 1;
    return size;
}

/* The user's own results as text; "" when there are none. False (with why) when the name holds
 * anything but a private file of that user alone. */
bool ReadOwnResults(const std::string& file, uid_t uid, std::string& xml, std::string& problem)
{
    int fd = open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        problem = errno == ENOENT ? "" : strerror(errno);
        return errno == ENOENT;
    }
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == uid && st.st_nlink == 1 &&
              (st.st_mode & 077) == 0 && st.st_size <= MAX_STORED_BYTES;
    problem = ok ? "" : "it is not a private file of user " + std::to_string(uid);
    char buf[65536];
    ssize_t n = 0;
    while (ok && (n = read(fd, buf, sizeof(buf))) != 0) {
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0 && xml.size() + n <= MAX_STORED_BYTES;
        if (ok)
            xml.append(buf, n);
        else
            problem = "it cannot be read";
    }
    close(fd);
    return ok;
}

/* A folder in which no one but this process's user (or root) can rename or remove a name. */
bool FolderIsOurs(const std::string& file)
{
    const std::string dir = file.substr(0, file.rfind('/') + 1);
    struct stat st;
    return lstat(dir.empty() ? "." : dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           (st.st_uid == geteuid() || st.st_uid == 0) && (st.st_mode & 022) == 0;
}

/* Writes a new file beside file, hands it to uid:gid, private, and renames it into place. */
bool ReplaceOwnResults(const std::string& file, const std::string& xml, uid_t uid, gid_t gid, std::string& problem)
{
    if (!FolderIsOurs(file)) {
        problem = "other users can change its folder";
        return false;
    }
    std::vector<char> temp(file.begin(), file.end());
    for (char c : std::string(".XXXXXX"))
        temp.push_back(c);
    temp.push_back('\0');
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        problem = strerror(errno);
        return false;
    }
    bool ok = LibKELData::file::WriteAll(fd, xml.data(), xml.size()) && fchmod(fd, 0600) == 0 &&
              ((uid == geteuid() && gid == getegid()) || fchown(fd, uid, gid) == 0) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temp.data(), file.c_str()) == 0;
    if (!ok) {
        problem = strerror(errno);
        unlink(temp.data());
    }
    return ok;
}

} // namespace

int MergeUserSearchResults(const std::vector<FoundProgram>& found, bool clear, const std::string& file, uid_t uid,
                           gid_t gid, int* added)
{
    if (added)
        *added = 0;
    CSearchResultLock fileLock(file);
    if (!LockSearchResults(fileLock, file))
        return IPC_ERR_SAVE;
    CSearchResultData results;
    std::string xml, problem;
    if (!clear && (!ReadOwnResults(file, uid, xml, problem) || (!xml.empty() && results.LoadFromString(xml) != 0))) {
        CKELLog::WriteLine("Program search: the earlier results in " + file + " are not merged: " +
                               (problem.empty() ? "they cannot be read" : problem),
                           2, "", false);
        clear = true;
    }
    int count = AddFoundPrograms(results, found, nullptr);
    if (added)
        *added = count;
    if (!clear && count == 0)
        return IPC_OK;
    xml.clear();
    if (results.Save2String(xml) != 0 || !ReplaceOwnResults(file, xml, uid, gid, problem)) {
        CKELLog::WriteLine("Program search: cannot save the results to " + file + ": " + problem, 2, "", false);
        return IPC_ERR_SAVE;
    }
    return IPC_OK;
}

CSearchResultLock::CSearchResultLock(const std::string& file)
    : m_Fd(-1)
{
    const std::string path = file + ".lock";
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
    if (fd < 0) {
        m_Problem = "cannot open " + path + ": " + strerror(errno);
        return;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & 077)) {
        m_Problem = path + " is not a private file of this user";
        close(fd);
        return;
    }
    for (int waited = 0; flock(fd, LOCK_EX | LOCK_NB) != 0; waited += WAIT_STEP_MS) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= WAIT_MS) {
            m_Problem = errno == EWOULDBLOCK ? "another search kept " + path + " locked for too long"
                                             : "cannot lock " + path + ": " + strerror(errno);
            close(fd);
            return;
        }
        usleep(WAIT_STEP_MS * 1000);
    }
    m_Fd = fd;
}

CSearchResultLock::~CSearchResultLock()
{
    if (m_Fd >= 0)
        close(m_Fd); /* releases the lock */
}

CPrivateSearchResultFile::CPrivateSearchResultFile(const std::string& file)
    : m_File(file)
    , m_Ready(false)
    , m_Created(false)
{
    int fd = open(file.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd >= 0) {
        m_Created = true;
        close(fd);
        m_Ready = true;
        return;
    }
    struct stat st;
    /* A link or a folder in its place is left for the save to refuse. */
    m_Ready = errno == EEXIST && lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && Restrict();
}

bool CPrivateSearchResultFile::Restrict()
{
    int fd = open(m_File.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st;
    /* Another user's file cannot be changed here; the save replaces it with one of ours. */
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
              (st.st_uid != geteuid() || (st.st_mode & 077) == 0 || fchmod(fd, st.st_mode & 0700) == 0);
    close(fd);
    return ok;
}

bool CPrivateSearchResultFile::Saved()
{
    m_Created = false;
    return Restrict();
}

void CPrivateSearchResultFile::Undo()
{
    struct stat st;
    if (m_Created && lstat(m_File.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0)
        unlink(m_File.c_str());
    m_Created = false;
}

bool LockSearchResults(CSearchResultLock& lock, const std::string& file)
{
    if (lock.Held())
        return true;
    CKELLog::WriteLine("Program search: cannot save the results to " + file + ": " + lock.Problem(), 2, "", false);
    return false;
}

int AddFoundPrograms(CSearchResultData& results, const std::vector<FoundProgram>& found, int* dropped)
{
    std::vector<CApplicationInfo> programs;
    programs.reserve(found.size());
    LibKELData::ApplicationInfoList list;
    for (const FoundProgram& program : found) {
        programs.push_back(CApplicationInfo(program.name, program.command, program.icon, 1));
        list.push_back(&programs.back());
    }
    /* Copies what it adds; the list only points into programs. */
    int count = results.MergeUnique(list);
    int trimmed = TrimSearchResults(results.GetPApplicationInfoList());
    if (dropped)
        *dropped = trimmed;
    return count > trimmed ? count - trimmed : 0;
}

int TrimSearchResults(std::list<CApplicationInfo*>* programs)
{
    if (!programs)
        return 0;
    size_t bytes = 0, kept = 0;
    int dropped = 0;
    for (auto it = programs->begin(); it != programs->end();) {
        CApplicationInfo* app = *it;
        if (app && app->GetName().size() > MAX_NAME_BYTES) {
            std::string name = app->GetName();
            CutAtCharacter(name, MAX_NAME_BYTES);
            app->SetName(name);
        }
        if (app && app->GetCustomIcon().size() > MAX_PATH_BYTES)
            app->SetCustomIcon("");
        size_t size = app ? StoredSize(*app) : 0;
        if (app && app->GetPath().size() <= MAX_COMMAND_BYTES && kept < MAX_STORED_PROGRAMS &&
            bytes + size <= MAX_STORED_BYTES) {
            bytes += size;
            ++kept;
            ++it;
            continue;
        }
        delete app;
        it = programs->erase(it);
        ++dropped;
    }
    return dropped;
}

} // namespace IPCAPI
