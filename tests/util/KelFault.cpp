/* Fault injection for tests: seccomp filters that fail chosen system calls, children that report back or run as another user. */
#include "KelFault.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#define KEL_TEST_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KEL_TEST_LSAN 1
#endif
#endif
#ifdef KEL_TEST_LSAN
#include <sanitizer/lsan_interface.h>
#endif

namespace keltest {

namespace {

int g_ReportFd = -1;
/* The leak check reads /proc and writes through a pipe: not possible once reads or writes fail. */
bool g_NoLeakCheck = false;

/* The calls, each failing with err on descriptors above 2 (but exceptFd) or on any argument. */
std::vector<SyscallFault> Each(const std::vector<long>& nrs, int err, bool onDescriptor, int exceptFd = -1)
{
    std::vector<SyscallFault> f;
    for (long nr : nrs)
        f.push_back(SyscallFault{nr, err, onDescriptor, exceptFd, -1, 0, 0});
    return f;
}

const int kArch =
#if defined(__x86_64__)
    AUDIT_ARCH_X86_64;
#elif defined(__i386__)
    AUDIT_ARCH_I386;
#elif defined(__aarch64__)
    AUDIT_ARCH_AARCH64;
#else
    0;
#endif

unsigned ArgLow(int index)
{
    return offsetof(struct seccomp_data, args) + index * sizeof(__u64)
#if __BYTE_ORDER == __BIG_ENDIAN
           + sizeof(__u32)
#endif
        ;
}

bool Failed(std::string& why, const char* what)
{
    why = std::string(what) + ": " + strerror(errno);
    return false;
}

/* Reads the pipe to its end, closes it and waits for the child; returns its wait status. */
int DrainAndWait(int fd, pid_t pid, std::string& out)
{
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno != EINTR)
            break;
        if (n > 0)
            out.append(buffer, (size_t)n);
    }
    close(fd);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

} // namespace

std::vector<SyscallFault> FailWrites(int err, int exceptFd)
{
    return Each({SYS_write, SYS_pwrite64, SYS_writev, SYS_pwritev}, err, true, exceptFd);
}

std::vector<SyscallFault> FailReads(int err, int exceptFd)
{
    return Each({SYS_read, SYS_pread64, SYS_readv, SYS_preadv}, err, true, exceptFd);
}

std::vector<SyscallFault> FailCreate(int err, int accessMode)
{
    unsigned mask = O_CREAT | (accessMode >= 0 ? O_ACCMODE : 0);
    unsigned value = O_CREAT | (accessMode >= 0 ? (unsigned)accessMode : 0);
    std::vector<SyscallFault> f;
#ifdef SYS_open
    f.push_back(SyscallFault{SYS_open, err, false, -1, 1, mask, value});
#endif
    f.push_back(SyscallFault{SYS_openat, err, false, -1, 2, mask, value});
#ifdef SYS_creat
    f.push_back(SyscallFault{SYS_creat, err, false, -1, -1, 0, 0});
#endif
    return f;
}

std::vector<SyscallFault> FailCalls(const std::vector<long>& nrs, int err)
{
    return Each(nrs, err, false);
}

bool InstallFaults(const std::vector<SyscallFault>& faults)
{
    if (kArch == 0)
        return false;
    for (const SyscallFault& f : faults)
        g_NoLeakCheck = g_NoLeakCheck || f.nr == SYS_read || f.nr == SYS_write;
    const unsigned nrOffset = offsetof(struct seccomp_data, nr);
    std::vector<sock_filter> prog = {BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch)),
                                     BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, (unsigned)kArch, 1, 0),
                                     BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW)};
    /* Each block falls through to the next one when its call (or its arguments) do not match;
     * the argument check jumps over the failing return. */
    for (const SyscallFault& f : faults) {
        std::vector<sock_filter> args;
        if (f.fdAbove2)
            args = {BPF_STMT(BPF_LD | BPF_W | BPF_ABS, ArgLow(0)), BPF_JUMP(BPF_JMP | BPF_JGT | BPF_K, 2, 0, 2),
                    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, (unsigned)f.exceptFd, 1, 0)};
        else if (f.flagsArg >= 0)
            args = {BPF_STMT(BPF_LD | BPF_W | BPF_ABS, ArgLow(f.flagsArg)), BPF_STMT(BPF_ALU | BPF_AND | BPF_K, f.flagsMask),
                    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, f.flagsValue, 0, 1)};
        prog.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, nrOffset));
        prog.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, (unsigned)f.nr, 0, (unsigned char)(args.size() + 1)));
        prog.insert(prog.end(), args.begin(), args.end());
        prog.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ((unsigned)f.err & SECCOMP_RET_DATA)));
    }
    prog.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));

    struct sock_fprog fprog;
    fprog.len = (unsigned short)prog.size();
    fprog.filter = prog.data();
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return false;
    return syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, SECCOMP_FILTER_FLAG_TSYNC, &fprog) == 0;
}

int ReportFd()
{
    return g_ReportFd;
}

std::string RunInChild(const std::function<std::string()>& body)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return std::string("pipe: ") + strerror(errno);
    pid_t pid = fork();
    if (pid < 0)
        return std::string("fork: ") + strerror(errno);
    if (pid == 0) {
        close(fds[0]);
        g_ReportFd = fds[1];
        std::string report = body();
        CheckLeaksNow();
        for (ssize_t n, done = 0; done < (ssize_t)report.size(); done += n)
            if ((n = write(fds[1], report.data() + done, report.size() - done)) <= 0)
                _exit(2);
        _exit(0);
    }
    close(fds[1]);
    std::string report;
    int status = DrainAndWait(fds[0], pid, report);
    if (WIFSIGNALED(status))
        return report + " [child killed by signal " + std::to_string(WTERMSIG(status)) + "]";
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return report + " [child exited with " + std::to_string(WEXITSTATUS(status)) + "]";
    return report;
}

bool PrivateMounts(std::string& why)
{
    if (unshare(CLONE_NEWNS) != 0)
        return Failed(why, "unshare(CLONE_NEWNS)");
    return mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 || Failed(why, "making mounts private");
}

std::vector<char*> ExecArgv(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    return args;
}

char** ExecEnviron(const std::vector<std::string>& env)
{
    gchar** envp = g_get_environ();
    for (const std::string& e : env) {
        size_t eq = e.find('=');
        envp = eq == std::string::npos ? g_environ_unsetenv(envp, e.c_str())
                                       : g_environ_setenv(envp, e.substr(0, eq).c_str(), e.c_str() + eq + 1, TRUE);
    }
    return envp;
}

pid_t StartProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env, int outFd)
{
    std::vector<char*> args = ExecArgv(argv);
    char** envp = ExecEnviron(env);
    const pid_t parent = getpid();
    pid_t pid = fork();
    if (pid != 0) {
        g_strfreev(envp);
        return pid;
    }
    /* A test killed at its time limit takes what it started with it (also when it died before
     * this line). */
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent)
        _exit(127);
    if (outFd >= 0)
        dup2(outFd, 1);
    execve(args[0], args.data(), envp);
    _exit(127);
}

int RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env, std::string& out)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    pid_t pid = StartProgram(argv, env, fds[1]);
    close(fds[1]);
    out.clear();
    if (pid < 0) {
        close(fds[0]);
        return -1;
    }
    int status = DrainAndWait(fds[0], pid, out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool BecomeNobody(std::string& why)
{
    if (getuid() != 0)
        return why = "needs root to run the other user's steps as nobody", false;
    return (setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0) || Failed(why, "becoming nobody");
}

std::string RunAsNobody(const std::function<std::string()>& steps)
{
    chmod(Root().c_str(), 0755);
    chmod((Root() + "/..").c_str(), 0755);
    return RunInChild([&]() -> std::string {
        std::string why;
        return BecomeNobody(why) ? steps() : "SKIP: " + why;
    });
}

std::set<std::string> Entries(const std::string& dir)
{
    std::set<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (struct dirent* e = readdir(d))
            if (strcmp(e->d_name, ".") && strcmp(e->d_name, ".."))
                names.insert(e->d_name);
        closedir(d);
    }
    return names;
}

int FailureLines(const LogCapture& log, const std::vector<std::string>& pieces)
{
    int n = 0;
    for (const LogCapture::Line& line : log.Lines()) {
        bool all = line.level == 2;
        for (const std::string& piece : pieces)
            all = all && line.text.find(piece) != std::string::npos;
        n += all;
    }
    return n;
}

void CheckLeaksNow()
{
#ifdef KEL_TEST_LSAN
    if (!g_NoLeakCheck && __lsan_do_recoverable_leak_check() != 0)
        _exit(23);
#endif
}

} // namespace keltest
