/* The file side of the policy storage: opening a policy file for reading, and replacing one
 * whole or not at all, safely against other local users. Knows nothing of XML. */
#ifndef KEL_DATA_FILE_H
#define KEL_DATA_FILE_H

#include <sys/stat.h>

#include <functional>
#include <string>

namespace LibKELData {
namespace file {

/* Opens a file to read it as a policy: a regular file of at most maxSize bytes, not empty.
 * Returns the descriptor, or -1 with rc (KEL_ERR_*) and reason set; st is filled whenever
 * the file could be opened. */
int OpenForReading(const std::string& path, long long maxSize, struct stat& st, int& rc, std::string& reason);

/* What we know about a file on disk: read well by us (or written by us), or found unreadable.
 * A save over a file we know nothing about checks it first. */
enum FileState { FILE_UNKNOWN, FILE_GOOD, FILE_UNREADABLE };
void Remember(const struct stat& st, FileState state);

/* Tells whether the file behind fd (a regular file, positioned at its start) can be read as
 * the record being saved. */
typedef std::function<bool(int fd, const struct stat& st)> ContentCheck;

/* Replaces the name at path with a new file holding data. The name is replaced in its folder
 * (a link there is replaced, never followed); the file is written beside it, synced and
 * renamed into place, then the folder is synced. An existing file keeps its mode (without
 * set-id bits), group and extended attributes; a new one gets 0644 less the umask. A file
 * there that check finds unreadable is first kept aside (at most three copies).
 * As root, refuses (KEL_ERR_UNSAFE) a folder that another user owns or can write, and a file
 * that another user owns. KEL_ERR_BUSY when another save into the folder held the lock for
 * longer than a few seconds. Every failure is logged; the old file is then unchanged. */
int Replace(const std::string& path, const std::string& data, const ContentCheck& check);

/* A failure of the storage, logged as an error. */
void Fail(const std::string& text);
/* errno's text, thread-safe. */
std::string ErrnoText(int err);

/* Writes all of data to fd, again after EINTR; false on any other failure. */
bool WriteAll(int fd, const char* data, size_t size);

} // namespace file
} // namespace LibKELData

#endif
