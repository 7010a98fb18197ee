/* Starting kel-walk with another user's rights and a clean environment, and reading what it found. */
#include "SearchWalk.h"

#include "ProgramSearch.h"

#include <gio/gio.h>
#include <gio/gunixinputstream.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace KelService {
namespace walk {

namespace {

const char* const PASSED_VARIABLES[] = {
    "KEL_ROOT", "LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES",
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    /* A sanitizer build's walk needs its suppressions too, or it fails on what they silence. */
    "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS",
#endif
};
/* A walk's output above this is not a list of programs a policy could hold. */
const size_t MAX_OUTPUT = 64 * 1024 * 1024;
/* A count above this is no walk's: the sums stay far from overflowing. */
const unsigned long MAX_COUNT = 1ul << 30;
/* How often a waiting class search looks at its cancel flag. */
const int CANCEL_CHECK_MS = 100;

/* In the child between fork and exec: system calls only. */
void TakeIdentity(gpointer data)
{
    const Identity* id = static_cast<const Identity*>(data);
    if (id->drop && (setgroups(id->groups.size(), id->groups.data()) != 0 || setgid(id->gid) != 0 ||
                     setuid(id->uid) != 0))
        _exit(126);
}

} // namespace

unsigned TimeLimit()
{
    const char* value = secure_getenv("KEL_WALK_SECONDS");
    unsigned long seconds = value ? strtoul(value, nullptr, 10) : 0;
    return seconds > 0 && seconds < 86400 ? static_cast<unsigned>(seconds) : 300;
}

std::string BesideSelf()
{
    gchar* self = g_file_read_link("/proc/self/exe", nullptr);
    std::string dir = self ? self : "";
    g_free(self);
    return dir.substr(0, dir.rfind('/') + 1) + PROGRAM;
}

bool IdentityOf(const char* user, Identity& id)
{
    struct passwd pw, *found = nullptr;
    std::vector<char> buf(16384);
    if (getpwnam_r(user, &pw, buf.data(), buf.size(), &found) != 0 || !found)
        return false;
    id.drop = true;
    id.uid = pw.pw_uid;
    id.gid = pw.pw_gid;
    int n = 64;
    id.groups.resize(n);
    if (getgrouplist(pw.pw_name, pw.pw_gid, id.groups.data(), &n) < 0) {
        id.groups.resize(n);
        if (getgrouplist(pw.pw_name, pw.pw_gid, id.groups.data(), &n) < 0)
            return false;
    }
    id.groups.resize(n);
    return true;
}

gchar** Environment()
{
    gchar** env = g_new0(gchar*, G_N_ELEMENTS(PASSED_VARIABLES) + 1);
    size_t n = 0;
    for (const char* name : PASSED_VARIABLES)
        if (const char* value = g_getenv(name))
            env[n++] = g_strconcat(name, "=", value, nullptr);
    return env;
}

GSubprocess* Start(const std::string& walker, const std::string& folder, bool svg, const Identity& id, GError** error)
{
    GSubprocessLauncher* launcher = g_subprocess_launcher_new(G_SUBPROCESS_FLAGS_STDOUT_PIPE);
    g_subprocess_launcher_set_cwd(launcher, "/");
    gchar** env = Environment();
    g_subprocess_launcher_set_environ(launcher, env);
    g_strfreev(env);
    /* The launcher spawns before this returns: id outlives the child's setup. */
    g_subprocess_launcher_set_child_setup(launcher, TakeIdentity, const_cast<Identity*>(&id), nullptr);
    GSubprocess* process = svg ? g_subprocess_launcher_spawn(launcher, error, walker.c_str(), folder.c_str(), nullptr)
                               : g_subprocess_launcher_spawn(launcher, error, walker.c_str(), NO_SVG, folder.c_str(),
                                                             nullptr);
    g_object_unref(launcher);
    return process;
}

bool Parse(const std::string& out, std::vector<IPCAPI::FoundProgram>& found, IPCAPI::SkippedEntries* skipped)
{
    const char* p = out.data();
    const char* end = p + out.size();
    while (p < end) {
        found.emplace_back();
        IPCAPI::FoundProgram& program = found.back();
        for (std::string* f : {&program.name, &program.command, &program.icon}) {
            const char* nul = static_cast<const char*>(memchr(p, '\0', end - p));
            if (!nul)
                return false;
            f->assign(p, nul - p);
            p = nul + 1;
        }
        /* A program always has a name: the record without one is the skipped entries'. */
        if (program.name.empty()) {
            IPCAPI::SkippedEntries counts;
            const char* c = program.command.c_str();
            for (size_t& n : counts.count) {
                char* next = nullptr;
                n = std::min<unsigned long>(strtoul(c, &next, 10), MAX_COUNT);
                c = next;
            }
            if (skipped)
                *skipped = counts;
            found.pop_back();
        }
    }
    return true;
}

int RunAndWait(const std::string& walker, const std::string& folder, bool svg, const Identity& id,
               const std::atomic<bool>* cancel, unsigned seconds, std::vector<IPCAPI::FoundProgram>& found,
               std::string& why, IPCAPI::SkippedEntries* skipped)
{
    GError* error = nullptr;
    GSubprocess* process = Start(walker, folder, svg, id, &error);
    if (!process) {
        why = std::string("cannot start the walk: ") + error->message;
        g_error_free(error);
        return -1;
    }
    int fd = g_unix_input_stream_get_fd(G_UNIX_INPUT_STREAM(g_subprocess_get_stdout_pipe(process)));
    const gint64 deadline = g_get_monotonic_time() + gint64(seconds) * G_USEC_PER_SEC;
    std::string out;
    char buf[65536];
    why.clear();
    for (;;) {
        if (cancel && *cancel) {
            why = "cancelled";
            break;
        }
        if (g_get_monotonic_time() >= deadline) {
            why = "the walk took too long";
            break;
        }
        struct pollfd pfd = {fd, POLLIN, 0};
        if (poll(&pfd, 1, CANCEL_CHECK_MS) <= 0)
            continue;
        ssize_t n = read(fd, buf, sizeof(buf));
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            break;
        if (out.size() + n > MAX_OUTPUT) {
            why = "the walk's output is too large";
            break;
        }
        out.append(buf, n);
    }
    if (!why.empty())
        g_subprocess_force_exit(process);
    g_subprocess_wait(process, nullptr, nullptr);
    int status = g_subprocess_get_if_exited(process) ? g_subprocess_get_exit_status(process) : -1;
    g_object_unref(process);
    if (!why.empty())
        return -1;
    if (status == FOLDER_UNUSABLE)
        return FOLDER_UNUSABLE;
    if (status != DONE || !Parse(out, found, skipped)) {
        why = "the walk failed (exit " + std::to_string(status) + ")";
        found.clear();
        return -1;
    }
    return DONE;
}

} // namespace walk
} // namespace KelService
