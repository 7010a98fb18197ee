/* The keeping of the search-result file: one writer at a time across processes, readable by its owner
 * only, never larger than can be loaded again. */
#ifndef KEL_SEARCH_RESULT_FILE_H
#define KEL_SEARCH_RESULT_FILE_H

#include <sys/types.h>

#include <list>
#include <string>
#include <vector>

namespace LibKELData {
class CApplicationInfo;
class CSearchResultData;
}

namespace IPCAPI {

struct FoundProgram;

/* Serializes load, merge and save of one result file across processes. The lock is a file of
 * its own beside the results ("<file>.lock"), made by and for the writer's user (0600, never
 * through a link): no other user can open it, so no other user can hold the lock. A writer
 * that does not get it within WAIT_MS gives up rather than hang. */
class CSearchResultLock {
public:
    explicit CSearchResultLock(const std::string& file);
    ~CSearchResultLock();
    CSearchResultLock(const CSearchResultLock&) = delete;
    CSearchResultLock& operator=(const CSearchResultLock&) = delete;

    bool Held() const { return m_Fd >= 0; }
    /* Why it is not held. */
    const std::string& Problem() const { return m_Problem; }

    enum { WAIT_MS = 10000 };

private:
    int m_Fd;
    std::string m_Problem;
};

/* The result file tells what the user's search found (commands with their arguments, icons in
 * private folders): only its owner reads it. A file not there yet is made, empty and private,
 * before the save fills it, so that it never exists readable by others; an existing one of
 * the user is made private before and after the save. */
class CPrivateSearchResultFile {
public:
    explicit CPrivateSearchResultFile(const std::string& file);
    /* False when something other than a regular file is in its place, or it cannot be made
     * private. */
    bool Ready() const { return m_Ready; }
    /* After a successful save: the new file made private too. */
    bool Saved();
    /* After a failed save: removes the empty file made here, if any. */
    void Undo();

private:
    bool Restrict();

    std::string m_File;
    bool m_Ready;
    bool m_Created;
};

/* What one stored program may hold: a name is cut (at a character), a longer command drops the
 * program, a longer icon path drops the icon. */
enum { MAX_NAME_BYTES = 256, MAX_COMMAND_BYTES = 4096, MAX_PATH_BYTES = 4096 };
/* What a result file may hold: the loader reads files of up to 64 MiB, and long values slow
 * it down or make it give up well before that. A real search stores some hundred bytes a
 * program. */
enum { MAX_STORED_PROGRAMS = 20000, MAX_STORED_BYTES = 16 * 1024 * 1024 };

/* Keeps a list of programs within what a result file can hold and load again: each program
 * within the limits above, and at most MAX_STORED_PROGRAMS of them taking MAX_STORED_BYTES even
 * if every character had to be escaped. Programs at the end of the list go first; returns
 * how many went. */
int TrimSearchResults(std::list<LibKELData::CApplicationInfo*>* programs);

/* Takes the lock of a result file; when it cannot, logs why. */
bool LockSearchResults(CSearchResultLock& lock, const std::string& file);

/* Adds the found programs the results do not hold yet, then trims them as TrimSearchResults does.
 * Returns how many of the added ones stay; dropped (if given) tells how many the trim left out. */
int AddFoundPrograms(LibKELData::CSearchResultData& results, const std::vector<FoundProgram>& found, int* dropped);

/* Merges a search's programs into the results of one user, as the service does for its callers
 * (clear: replace them). Only a regular file of that user with no other name and no access for
 * anyone else is read: anything else in its place (another user's file, a file shared with a
 * group, a link) is left unread, logged, and replaced. The new file is written beside it in a
 * folder that only this process's user (or root) may change, given to uid:gid and mode 0600
 * through its descriptor before it is renamed into place. IPC_OK or IPC_ERR_SAVE (logged). */
int MergeUserSearchResults(const std::vector<FoundProgram>& found, bool clear, const std::string& file, uid_t uid,
                           gid_t gid, int* added);

/* Cuts UTF-8 text to at most max bytes without splitting a character. */
void CutAtCharacter(std::string& text, size_t max);

} // namespace IPCAPI

#endif
