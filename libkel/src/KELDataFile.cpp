/* Safe file handling of the policy storage: reading limits, whole-or-nothing replacement,
 * the save lock, keeping unreadable files aside.
 *
 * Replacing works on the folder's descriptor (openat, O_NOFOLLOW, renameat), so a link
 * planted under the target's name is replaced like any other name and what it points to is
 * never written. The temporary file is made beside the target as "." name ".XXXXXX".
 *
 * Saves into one folder share a lock while their temporary file exists; a save that gets it
 * alone first removes the temporary files of its target that killed saves left behind. The
 * lock is the file ".kelsave.lock" in the folder, mode 0600 and owned by the saving user:
 * another user can neither create it in a folder only we can write nor open it, so nobody
 * else can hold a save up. A lock file owned by someone else is not used (the save goes on
 * without cleaning up), and a save waits for the lock at most LOCK_WAIT_MS.
 *
 * A file that could not be read as its record is kept before it is replaced, as
 * "<name>.unreadable"; older copies move on to ".unreadable.1" and ".unreadable.2", and the
 * oldest is removed. A file identical to the newest copy is not kept again.
 *
 * New files get 0644 less the process's umask: with the usual umask 022 the shell's programs
 * can read the policy, and an administrator who sets a stricter umask gets stricter files.
 * An existing file's mode is kept, without its set-id bits. */
#include "KELDataFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

#include "KELData.h"
#include "KELLog.h"

namespace LibKELData {
namespace file {

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

namespace {

const int MAX_KEPT_COPIES = 3;
const int LOCK_WAIT_MS = 3000;
const char* const LOCK_FILE = ".kelsave.lock";

/* A descriptor closed when it goes out of scope. */
class Fd {
public:
    explicit Fd(int fd = -1)
        : m_Fd(fd)
    {
    }
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_Fd; }
    int Release()
    {
        int fd = m_Fd;
        m_Fd = -1;
        return fd;
    }
    void Reset(int fd = -1)
    {
        if (m_Fd >= 0)
            close(m_Fd);
        m_Fd = fd;
    }

private:
    int m_Fd;
};

/* ---- What we know about files on disk */
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

std::mutex g_KnownMutex;
std::map<FileId, FileState> g_Known;

FileId IdOf(const struct stat& st)
{
    return FileId{st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

FileState Recall(const struct stat& st)
{
    std::lock_guard<std::mutex> lock(g_KnownMutex);
    auto it = g_Known.find(IdOf(st));
    return it == g_Known.end() ? FILE_UNKNOWN : it->second;
}

/* ---- Writing helpers */
ssize_t ReadSome(int fd, char* buffer, size_t size)
{
    ssize_t n;
    do {
        n = read(fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    return n;
}

/* The name part that a temporary file gets. */
const char TEMP_CHARS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

bool IsTempSuffix(const char* text)
{
    for (int i = 0; i < 6; ++i) {
        if (!text[i] || !strchr(TEMP_CHARS, text[i]))
            return false;
    }
    return text[6] == '\0';
}

/* Creates "." base ".XXXXXX" in the folder, never through a link; mode 0644 less the umask. */
int MakeTemp(int dirFd, const std::string& base, std::string& name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char bytes[6];
        if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
            for (unsigned char& b : bytes)
                b = static_cast<unsigned char>(rand());
        }
        name = "." + base + ".";
        for (unsigned char b : bytes)
            name += TEMP_CHARS[b % (sizeof TEMP_CHARS - 1)];
        int fd = openat(dirFd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

/* Copies the extended attributes (ACLs, security labels, user attributes) of one file onto
 * another, where the file system has them. File capabilities are not carried over. */
void CopyXattrs(int from, int to, const std::string& path)
{
    ssize_t size = flistxattr(from, nullptr, 0);
    if (size <= 0)
        return; /* none, or no extended attributes on this file system */
    std::vector<char> names(static_cast<size_t>(size));
    size = flistxattr(from, names.data(), names.size());
    if (size <= 0)
        return;
    std::string lost;
    for (const char* name = names.data(); name < names.data() + size; name += strlen(name) + 1) {
        if (strcmp(name, "security.capability") == 0)
            continue;
        ssize_t length = fgetxattr(from, name, nullptr, 0);
        std::vector<char> value(length > 0 ? static_cast<size_t>(length) : 1);
        if (length >= 0)
            length = fgetxattr(from, name, value.data(), value.size());
        if (length < 0 || fsetxattr(to, name, value.data(), static_cast<size_t>(length), 0) != 0)
            lost += std::string(lost.empty() ? "" : ", ") + name;
    }
    if (!lost.empty())
        CKELLog::WriteLine("Saving " + path + ": extended attributes not kept: " + lost, 1, "", false);
}

/* Shared by the saves into one folder (see the top of this file). */
class SaveLock {
public:
    explicit SaveLock(int dirFd)
    {
        int fd = openat(dirFd, LOCK_FILE, O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
        struct stat st;
        if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid())) {
            close(fd);
            fd = -1;
        }
        m_Fd.Reset(fd);
    }
    bool TryAlone() { return m_Fd.Get() >= 0 && flock(m_Fd.Get(), LOCK_EX | LOCK_NB) == 0; }
    /* Shared, waiting at most LOCK_WAIT_MS; true also where there is no lock to take. */
    bool Share()
    {
        if (m_Fd.Get() < 0)
            return true;
        struct timespec step = {0, 20 * 1000 * 1000};
        for (int waited = 0;; waited += 20) {
            if (flock(m_Fd.Get(), LOCK_SH | LOCK_NB) == 0)
                return true;
            if (errno != EWOULDBLOCK && errno != EINTR)
                return true; /* a file system without locks: go on without */
            if (waited >= LOCK_WAIT_MS)
                return false;
            nanosleep(&step, nullptr);
        }
    }

private:
    Fd m_Fd;
};

/* Removes the temporary files of base that killed saves left in the folder. Only regular
 * files of exactly that form are touched. Call holding the lock alone. */
void RemoveStaleTemps(int dirFd, const std::string& dir, const std::string& base)
{
    int fd = openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* d = fd >= 0 ? fdopendir(fd) : nullptr;
    if (!d) {
        if (fd >= 0)
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

std::string KeptName(const std::string& base, int n)
{
    return base + ".unreadable" + (n > 0 ? "." + std::to_string(n) : std::string());
}

/* True when the kept copy holds the same bytes as the open file. */
bool SameAsKept(int dirFd, const std::string& kept, int fd, const struct stat& st)
{
    Fd other(openat(dirFd, kept.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat ost;
    if (other.Get() < 0 || fstat(other.Get(), &ost) != 0 || !S_ISREG(ost.st_mode) || ost.st_size != st.st_size)
        return false;
    if (ost.st_dev == st.st_dev && ost.st_ino == st.st_ino)
        return true;
    static const size_t CHUNK = 65536;
    std::vector<char> a(CHUNK), b(CHUNK);
    for (off_t offset = 0;;) {
        ssize_t n = pread(fd, a.data(), CHUNK, offset);
        ssize_t m = pread(other.Get(), b.data(), CHUNK, offset);
        if (n < 0 || n != m || memcmp(a.data(), b.data(), static_cast<size_t>(n)) != 0)
            return false;
        if (n == 0)
            return true;
        offset += n;
    }
}

/* Keeps the unreadable file (open as fd) beside itself; the oldest of three copies goes. */
int KeepAside(int dirFd, const std::string& dir, const std::string& base, int fd, const struct stat& st)
{
    const std::string path = dir + "/" + base;
    if (SameAsKept(dirFd, KeptName(base, 0), fd, st))
        return KEL_OK; /* already kept as it is */
    unlinkat(dirFd, KeptName(base, MAX_KEPT_COPIES - 1).c_str(), 0);
    for (int n = MAX_KEPT_COPIES - 2; n >= 0; --n)
        renameat(dirFd, KeptName(base, n).c_str(), dirFd, KeptName(base, n + 1).c_str());
    const std::string kept = KeptName(base, 0);
    /* A hard link keeps the file in place; where the file system has none, copy it. */
    if (linkat(dirFd, base.c_str(), dirFd, kept.c_str(), 0) != 0) {
        int err = errno;
        Fd out(openat(dirFd, kept.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        bool ok = out.Get() >= 0 && lseek(fd, 0, SEEK_SET) == 0;
        char buffer[65536];
        ssize_t n = 0;
        while (ok && (n = ReadSome(fd, buffer, sizeof buffer)) > 0)
            ok = WriteAll(out.Get(), buffer, static_cast<size_t>(n));
        ok = ok && n == 0 && fsync(out.Get()) == 0;
        if (!ok) {
            err = out.Get() >= 0 ? errno : err;
            if (out.Get() >= 0)
                unlinkat(dirFd, kept.c_str(), 0);
            Fail("Cannot save " + path + ": the unreadable file there could not be kept as " + dir + "/" + kept +
                 ": " + ErrnoText(err));
            return KEL_ERR_IO;
        }
    }
    Fail("Kept the unreadable file " + path + " as " + dir + "/" + kept + " before replacing it");
    return KEL_OK;
}

/* Why root must not write here, or empty: another user could swap the name under us. */
std::string UnsafeFolder(const struct stat& st)
{
    if (st.st_uid != 0)
        return "the folder belongs to another user (uid " + std::to_string(st.st_uid) + ")";
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return "other users can write to the folder";
    return std::string();
}

} // namespace

void Remember(const struct stat& st, FileState state)
{
    std::lock_guard<std::mutex> lock(g_KnownMutex);
    if (g_Known.size() > 1024)
        g_Known.clear(); /* only a shortcut: forgetting costs one check at the next save */
    g_Known[IdOf(st)] = state;
}

int OpenForReading(const std::string& path, long long maxSize, struct stat& st, int& rc, std::string& reason)
{
    /* O_NONBLOCK so that a FIFO in the file's place cannot hang us before fstat tells. */
    Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    rc = KEL_ERR_IO;
    if (fd.Get() < 0) {
        reason = errno == ENOENT ? "the file does not exist" : ErrnoText(errno);
        return -1;
    }
    if (fstat(fd.Get(), &st) != 0) {
        reason = ErrnoText(errno);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        rc = KEL_ERR_NOT_FILE;
        reason = S_ISDIR(st.st_mode) ? "it is a directory, not a file" : "it is not a regular file";
        return -1;
    }
    if (st.st_size > maxSize) {
        rc = KEL_ERR_TOO_LARGE;
        reason = "its " + std::to_string(static_cast<long long>(st.st_size)) + " bytes are more than the " +
                 std::to_string(maxSize) + " this file may have";
        return -1;
    }
    if (st.st_size == 0) {
        rc = KEL_ERR_PARSE;
        reason = "the file is empty";
        return -1;
    }
    int flags = fcntl(fd.Get(), F_GETFL);
    if (flags >= 0)
        fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK);
    rc = KEL_OK;
    return fd.Release();
}

namespace {

/* What stands at the name, looked at as it is, never followed: nothing, a link (replaced like
 * a file), or a regular file, then opened into old with its state in st and exists set.
 * KEL_OK, or the failure (logged): a folder or a device there, a file that cannot be opened,
 * as root one that another user owns. */
int OpenReplaced(int dirFd, const std::string& path, const std::string& base, bool root, struct stat& st, Fd& old,
                 bool& exists)
{
    exists = false;
    if (fstatat(dirFd, base.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return KEL_OK;
        Fail("Cannot save " + path + ": " + ErrnoText(errno));
        return KEL_ERR_IO;
    }
    if (S_ISDIR(st.st_mode) || (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))) {
        Fail("Cannot save " + path + ": " + (S_ISDIR(st.st_mode) ? "a directory" : "something other than a file") +
             " is in its place");
        return KEL_ERR_NOT_FILE;
    }
    if (!S_ISREG(st.st_mode))
        return KEL_OK;
    old.Reset(openat(dirFd, base.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (old.Get() < 0 || fstat(old.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        Fail("Cannot save " + path + ": the file there cannot be opened: " + ErrnoText(errno));
        return KEL_ERR_IO;
    }
    exists = true;
    if (root && st.st_uid != 0) {
        Fail("Cannot save " + path + ": refused, the file there belongs to another user (uid " +
             std::to_string(st.st_uid) + ")");
        return KEL_ERR_UNSAFE;
    }
    return KEL_OK;
}

/* Writes data into the new file fd (closed here) and syncs it; it takes the group, mode and
 * extended attributes of the replaced file (replaced, with oldFd) when there is one. written:
 * the new file's state. "" or what failed. */
std::string WriteReplacement(int fd, const std::string& data, const std::string& path, bool root,
                             const struct stat* replaced, int oldFd, struct stat& written)
{
    std::string failure;
    if (!WriteAll(fd, data.data(), data.size()))
        failure = "writing failed: " + ErrnoText(errno);
    if (failure.empty() && replaced) {
        /* Keep the group of the file we replace; the owner is ours (as root, checked before). */
        if (replaced->st_gid != getegid() && fchown(fd, static_cast<uid_t>(-1), replaced->st_gid) != 0 && root)
            failure = "keeping the file's group failed: " + ErrnoText(errno);
        if (failure.empty() && fchmod(fd, replaced->st_mode & 0777) != 0)
            failure = "setting the file mode failed: " + ErrnoText(errno);
        if (failure.empty())
            CopyXattrs(oldFd, fd, path);
    }
    if (failure.empty() && fsync(fd) != 0)
        failure = "syncing failed: " + ErrnoText(errno);
    if (failure.empty() && fstat(fd, &written) != 0)
        failure = ErrnoText(errno);
    if (close(fd) != 0 && failure.empty())
        failure = "closing failed: " + ErrnoText(errno);
    return failure;
}

} // namespace

int Replace(const std::string& path, const std::string& data, const ContentCheck& check)
{
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.empty() || base == "." || base == "..") {
        Fail("Cannot save " + path + ": it names a folder, not a file");
        return KEL_ERR_NOT_FILE;
    }
    Fd dirFd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat dst;
    if (dirFd.Get() < 0 || fstat(dirFd.Get(), &dst) != 0) {
        Fail("Cannot save " + path + ": its folder cannot be opened: " + ErrnoText(errno));
        return KEL_ERR_IO;
    }
    const bool root = geteuid() == 0;
    std::string unsafe = root ? UnsafeFolder(dst) : std::string();
    if (!unsafe.empty()) {
        Fail("Cannot save " + path + ": refused, " + unsafe);
        return KEL_ERR_UNSAFE;
    }

    struct stat st;
    Fd old;
    bool exists = false;
    int rc = OpenReplaced(dirFd.Get(), path, base, root, st, old, exists);
    if (rc != KEL_OK)
        return rc;

    SaveLock lock(dirFd.Get());
    if (lock.TryAlone())
        RemoveStaleTemps(dirFd.Get(), dir, base);
    if (!lock.Share()) {
        Fail("Cannot save " + path + ": another save into " + dir + " has held it up for more than " +
             std::to_string(LOCK_WAIT_MS / 1000) + " seconds");
        return KEL_ERR_BUSY;
    }
    std::string temp;
    Fd out(MakeTemp(dirFd.Get(), base, temp));
    if (out.Get() < 0) {
        Fail("Cannot save " + path + ": no temporary file can be made in " + dir + ": " + ErrnoText(errno));
        return KEL_ERR_IO;
    }
    struct stat written;
    std::string failure = WriteReplacement(out.Release(), data, path, root, exists ? &st : nullptr, old.Get(), written);

    if (failure.empty() && exists && st.st_size > 0) { /* an empty file holds nothing to keep */
        FileState state = Recall(st);
        if (state == FILE_UNKNOWN)
            state = check(old.Get(), st) ? FILE_GOOD : FILE_UNREADABLE;
        if (state == FILE_UNREADABLE && KeepAside(dirFd.Get(), dir, base, old.Get(), st) != KEL_OK) {
            unlinkat(dirFd.Get(), temp.c_str(), 0);
            return KEL_ERR_IO;
        }
    }
    if (failure.empty() && renameat(dirFd.Get(), temp.c_str(), dirFd.Get(), base.c_str()) != 0)
        failure = "renaming the new file into place failed: " + ErrnoText(errno);
    if (!failure.empty()) {
        unlinkat(dirFd.Get(), temp.c_str(), 0);
        Fail("Cannot save " + path + ": " + failure + "; the old file is unchanged");
        return KEL_ERR_IO;
    }
    Remember(written, FILE_GOOD);
    if (fsync(dirFd.Get()) != 0)
        Fail("Saved " + path + ", but syncing its folder failed: " + ErrnoText(errno));
    return KEL_OK;
}

} // namespace file
} // namespace LibKELData
