/* Test main: every test process runs in a sandbox of its own. The parent makes a fresh KEL_ROOT
 * and HOME, and a display of its own when there is one to be had, and runs the tests in a child
 * (the libraries read KEL_ROOT when they load, so it must be set before the child starts), then
 * removes the sandbox. */
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <execinfo.h>
#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#if defined(__SANITIZE_THREAD__)
/* GLib's mutexes are futexes ThreadSanitizer cannot see; the GDK lock, which orders the callbacks'
 * widget work against the main thread, is made a pthread mutex so that it can. */
static pthread_mutex_t g_GdkLock = PTHREAD_MUTEX_INITIALIZER;
static void GdkLockEnter() { pthread_mutex_lock(&g_GdkLock); }
static void GdkLockLeave() { pthread_mutex_unlock(&g_GdkLock); }
#endif

/* As root: the class searches' system user, made when missing (two test processes may try at
 * once: the one that loses finds it made). Its group may pass through the sandbox's top folder
 * (0710) and no one else, so that a class search sees what the test lays out for it. */
static void LetTheSearchUserIn(const char* dir)
{
    if (geteuid() != 0)
        return;
    if (!getpwnam("kel-search") &&
        system("useradd --system --user-group --no-create-home --home-dir /nonexistent "
               "--shell /usr/sbin/nologin kel-search >/dev/null 2>&1") != 0 && !getpwnam("kel-search"))
        fprintf(stderr, "cannot make the system user kel-search: class searches will fail\n");
    struct passwd* pw = getpwnam("kel-search");
    if (pw && (chown(dir, 0, pw->pw_gid) != 0 || chmod(dir, 0710) != 0))
        fprintf(stderr, "cannot open %s to kel-search\n", dir);
}

/* Tests running side by side on one display share what an X server holds for all its clients:
 * the PRIMARY selection (another test's entry claiming it clears the selection of ours), the
 * pointer, the keyboard grab, the theme switch. Each test process gets an Xvfb of its own when
 * tests run under a display at all; it answers on DISPLAY once it accepts connections. */
static pid_t StartOwnDisplay()
{
    const char* shared = getenv("DISPLAY");
    if (!shared || !*shared)
        return -1;
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const std::string fd = std::to_string(fds[1]); /* no allocation after the fork */
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        /* It goes with the test process, however that ends; neither it nor what it starts
         * (xkbcomp) holds the test's output open. */
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0)
            dup2(null, 1), dup2(null, 2);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
               "-noreset", (char*)NULL);
        _exit(127);
    }
    close(fds[1]);
    char number[32] = "";
    size_t got = 0;
    ssize_t n;
    while (pid > 0 && got < sizeof number - 1 && (n = read(fds[0], number + got, sizeof number - 1 - got)) != 0) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || memchr(number, '\n', got += n))
            break;
    }
    close(fds[0]);
    if (pid < 0 || !got || number[0] < '0' || number[0] > '9') {
        fprintf(stderr, "no display of its own (Xvfb did not start): the test uses %s\n", shared);
        if (pid > 0)
            kill(pid, SIGTERM), waitpid(pid, NULL, 0);
        return -1;
    }
    setenv("DISPLAY", (":" + std::to_string(atoi(number))).c_str(), 1);
    return pid;
}

static int RunInSandbox(char** argv)
{
    char tmpl[] = "/tmp/kel-test-XXXXXX";
    const char* dir = mkdtemp(tmpl);
    if (!dir)
        return 2;
    LetTheSearchUserIn(dir);
    const std::string root = std::string(dir) + "/root", home = std::string(dir) + "/home";
    g_mkdir_with_parents((root + "/etc/KEL").c_str(), 0755);
    g_mkdir_with_parents(home.c_str(), 0700);
    const pid_t display = StartOwnDisplay();
    pid_t pid = fork();
    if (pid == 0) {
        setenv("KEL_ROOT", root.c_str(), 1);
        setenv("HOME", home.c_str(), 1);
        setenv("KEL_TEST_CHILD", "1", 1);
        execv("/proc/self/exe", argv);
        _exit(127);
    }
    int status = 1;
    while (pid > 0 && waitpid(pid, &status, 0) < 0) {
    }
    if (display > 0) {
        kill(display, SIGTERM);
        waitpid(display, NULL, 0);
    }
    if (system(("rm -rf '" + std::string(dir) + "'").c_str()) != 0)
        fprintf(stderr, "could not remove %s\n", dir);
    if (WIFSIGNALED(status))
        fprintf(stderr, "test process ended by signal %d\n", WTERMSIG(status));
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

/* A critical fails the test (G_DEBUG=fatal-criticals); say where it came from first. */
static void LogWithBacktrace(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer data)
{
    g_log_default_handler(domain, level, message, data);
    void* frames[64];
    if (level & (G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_ERROR))
        backtrace_symbols_fd(frames, backtrace(frames, 64), 2);
}

int main(int argc, char** argv)
{
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || strncmp(argv[i], "--gtest_list_tests", 18) == 0;
    if (!listing && !getenv("KEL_TEST_CHILD"))
        return RunInSandbox(argv);
    ::testing::InitGoogleTest(&argc, argv);
    if (listing)
        return RUN_ALL_TESTS();
    g_log_set_default_handler(LogWithBacktrace, NULL);
#if defined(__SANITIZE_THREAD__)
    gdk_threads_set_lock_functions(G_CALLBACK(GdkLockEnter), G_CALLBACK(GdkLockLeave));
#endif
    gdk_threads_init(); /* GTK 2 threading: the GDK lock held around the main thread's work */
    if (getenv("DISPLAY") && *getenv("DISPLAY")) {
        /* A loaded Xvfb now and then refuses a connection (EAGAIN): try again a few times. */
        bool open = false;
        for (int attempt = 1; attempt <= 20 && !open; ++attempt)
            if (!(open = gtk_init_check(&argc, &argv)))
                g_usleep(100000 * attempt);
        if (!open)
            fprintf(stderr, "cannot open display %s: window tests will fail\n", getenv("DISPLAY"));
        /* GTK's tooltip query walks the windows under the pointer, the service's too, with no
         * guard against one of them dying meanwhile (a BadWindow ends the test). The pointer
         * waits in a corner no test window reaches. */
        GdkScreen* screen = open ? gdk_screen_get_default() : NULL;
        if (screen)
            gdk_display_warp_pointer(gdk_display_get_default(), screen, gdk_screen_get_width(screen) - 1,
                                     gdk_screen_get_height(screen) - 1);
    }
    gdk_threads_enter();
    int result = RUN_ALL_TESTS();
    gdk_threads_leave();
    return result;
}
