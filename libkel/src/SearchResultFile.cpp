/* The keeping of the search-result file: its lock across processes, its mode and its size. */
#include "SearchResultFile.h"

#include "KELData.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using LibKELData::CApplicationInfo;

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

} // namespace

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
