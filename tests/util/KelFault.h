/* Fault injection for tests: system calls made to fail in a child process (seccomp), private mounts, and
 * running a piece of a test in a child that reports back. */
#ifndef KEL_FAULT_H
#define KEL_FAULT_H

#include <sys/types.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "KelTest.h"

namespace keltest {

/* One system call that fails with err. The conditions narrow it down:
 * fdAbove2: only when its first argument (a descriptor) is above 2 and not exceptFd;
 * flagsArg >= 0: only when (argument flagsArg & flagsMask) == flagsValue. */
struct SyscallFault {
    long nr;
    int err;
    bool fdAbove2;
    int exceptFd;
    int flagsArg;
    unsigned flagsMask;
    unsigned flagsValue;
};

/* Common faults, each covering the related calls (write, pwrite64, writev...). */
std::vector<SyscallFault> FailWrites(int err, int exceptFd = -1);
std::vector<SyscallFault> FailReads(int err, int exceptFd = -1);
/* open/openat/creat of a new file (O_CREAT) whose access mode is accessMode (-1: any). */
std::vector<SyscallFault> FailCreate(int err, int accessMode = -1);
std::vector<SyscallFault> FailCalls(const std::vector<long>& nrs, int err);

/* Installs the faults for the rest of this process (and its threads). False when the kernel
 * refuses; the process should then end. */
bool InstallFaults(const std::vector<SyscallFault>& faults);

/* Runs body in a forked child. body returns a description of what went wrong ("" when all
 * is well); the child may install faults, change user or mounts: it never returns. The
 * child's output is sent back through a descriptor that injected faults leave alone
 * (ReportFd() inside body). Returns the child's report, or why the child failed. A report
 * starting with "SKIP:" means the child could not set up what the case needs. */
std::string RunInChild(const std::function<std::string()>& body);
/* In a child: a mount namespace of its own, so scratch mounts vanish with it. */
bool PrivateMounts(std::string& why);
int ReportFd();

/* What a child execs, made before the fork: the child of a process with threads may only call
 * what is safe after fork until it execs, and an allocation there can wait for ever on a lock
 * another thread held when the process forked. ExecArgv points into argv, which must outlive
 * it; ExecEnviron is this environment with env's changes ("NAME=value" set, "NAME" alone
 * unset), freed with g_strfreev. */
std::vector<char*> ExecArgv(const std::vector<std::string>& argv);
char** ExecEnviron(const std::vector<std::string>& env);
/* Starts a command (its standard output to outFd when given) and returns its process id. env
 * entries "NAME=value" are set, "NAME" alone unset. */
pid_t StartProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env = {}, int outFd = -1);
/* Runs a command, returns its exit status (-1 when it did not end normally); out receives
 * its standard output. */
int RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env, std::string& out);

/* In a child: drops root for the user nobody (65534), the hostile local user of the tests.
 * False with why when not root or when it fails. */
bool BecomeNobody(std::string& why);
/* Lets other users into the sandbox, then runs steps as nobody in a child: the steps' report,
 * or "SKIP: why" when nobody cannot be become. */
std::string RunAsNobody(const std::function<std::string()>& steps);

/* What a fault left: the names in a folder (without "." and ".."), and how many level-2 log
 * lines hold every one of the pieces. */
std::set<std::string> Entries(const std::string& dir);
int FailureLines(const LogCapture& log, const std::vector<std::string>& pieces);

/* Checks a leak now in sanitizer builds (a child ends with _exit, which skips the exit check). */
void CheckLeaksNow();

} // namespace keltest

#endif
