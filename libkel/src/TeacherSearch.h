/* The teacher's side of a class search: what one search tracks, and how a student's answer is
 * checked and merged into the teacher's result file. */
#ifndef KEL_TEACHER_SEARCH_H
#define KEL_TEACHER_SEARCH_H

#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace IPCAPI {

/* One class search. Its fields are guarded by the service's mutex; deliver is held by the thread
 * that merges and delivers, so that a cancel never succeeds while an answer is on its way. */
struct RemoteSearch {
    enum Phase { RUNNING, CANCELLED, DONE };
    int op = 0;
    std::string id;
    int clear = 0;
    Phase phase = RUNNING;
    std::set<std::string> waiting;
    std::vector<std::string> givenUp;
    std::map<std::string, std::string> names;
    int answered = 0;
    int listed = -1; /* students the caller was last told were online */
    std::set<std::string> mergedPaths; /* in the result file since this search began */
    std::map<std::string, size_t> mergedAnswers; /* checksum of an answer's programs -> their number */
    bool merged = false; /* something was merged: later answers no longer clear */
    std::chrono::steady_clock::time_point deadline;
    std::mutex deliver;
};

/* A student's answer may bring this many programs, a whole search this many new ones: a class
 * of notebooks finds some hundred, and one student must not fill the teacher's file. */
enum { MAX_ANSWER_PROGRAMS = 2000, MAX_SEARCH_PROGRAMS = 10000 };

/* With s.deliver held: checks the answer's programs against what a local search would store
 * and merges them. False with an "error: " result when the answer was refused or could not be
 * merged; else "found N, new M", with what the student skipped (its "K CODE L", taken when
 * well-formed) and what a cap left out. */
bool MergeAnswer(RemoteSearch& s, const std::string& body, std::string& result, const std::string& skipped = "");

/* Roster names by student id (the roster's address, or its name when that is the id). */
std::map<std::string, std::string> RosterNames();
std::string DisplayName(const std::map<std::string, std::string>& names, const std::string& id);

} // namespace IPCAPI

#endif
