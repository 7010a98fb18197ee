/* Test main: every test process runs in a sandbox of its own. The parent makes a fresh
 * KEL_ROOT and HOME, runs the tests in a child (the constants read KEL_ROOT when the
 * libraries load, so it must be set before the child starts), then removes the sandbox. */
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <execinfo.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_THREAD__)
/* GLib's mutexes are futexes that ThreadSanitizer cannot see; the GDK lock, which orders the
 * callbacks' widget work against the main thread, is made a pthread mutex so that it can. */
static pthread_mutex_t g_GdkLock = PTHREAD_MUTEX_INITIALIZER;
static void GdkLockEnter()
{
    pthread_mutex_lock(&g_GdkLock);
}
static void GdkLockLeave()
{
    pthread_mutex_unlock(&g_GdkLock);
}
#endif

static bool IsListing(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (strncmp(argv[i], "--gtest_list_tests", 18) == 0)
            return true;
    return false;
}

static int RunInSandbox(int argc, char** argv)
{
    char tmpl[] = "/tmp/kel-test-XXXXXX";
    char* dir = mkdtemp(tmpl);
    if (!dir) {
        perror("mkdtemp");
        return 2;
    }
    std::string root = std::string(dir) + "/root";
    std::string home = std::string(dir) + "/home";
    g_mkdir_with_parents((root + "/etc/KEL").c_str(), 0755);
    g_mkdir_with_parents(home.c_str(), 0700);

    pid_t pid = fork();
    if (pid < 0) {
        perror("fork");
        return 2;
    }
    if (pid == 0) {
        setenv("KEL_ROOT", root.c_str(), 1);
        setenv("HOME", home.c_str(), 1);
        setenv("KEL_TEST_CHILD", "1", 1);
        execv("/proc/self/exe", argv);
        perror("execv");
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    std::string cmd = std::string("rm -rf '") + dir + "'";
    if (system(cmd.c_str()) != 0)
        fprintf(stderr, "could not remove %s\n", dir);
    (void)argc;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    fprintf(stderr, "test process ended by signal %d\n", WIFSIGNALED(status) ? WTERMSIG(status) : -1);
    return 1;
}

/* A critical fails the test (G_DEBUG=fatal-criticals); say where it came from first. */
static void LogWithBacktrace(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer data)
{
    g_log_default_handler(domain, level, message, data);
    if (level & (G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_ERROR)) {
        void* frames[64];
        int n = backtrace(frames, 64);
        backtrace_symbols_fd(frames, n, 2);
    }
}

int main(int argc, char** argv)
{
    if (!IsListing(argc, argv) && !getenv("KEL_TEST_CHILD"))
        return RunInSandbox(argc, argv);

    ::testing::InitGoogleTest(&argc, argv);
    if (IsListing(argc, argv))
        return RUN_ALL_TESTS();

    g_log_set_default_handler(LogWithBacktrace, NULL);

    /* GTK started once, the GTK 2 threading way: GDK lock held around the main thread's work. */
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    if (!g_threads_got_initialized)
        g_thread_init(NULL);
    G_GNUC_END_IGNORE_DEPRECATIONS
#if defined(__SANITIZE_THREAD__)
    gdk_threads_set_lock_functions(G_CALLBACK(GdkLockEnter), G_CALLBACK(GdkLockLeave));
#endif
    gdk_threads_init();
    if (getenv("DISPLAY") && *getenv("DISPLAY")) {
        /* A loaded Xvfb now and then refuses a connection (EAGAIN): try again a few times
         * rather than run the window tests on no display. */
        bool open = false;
        for (int attempt = 1; attempt <= 20 && !open; ++attempt) {
            open = gtk_init_check(&argc, &argv);
            if (!open)
                g_usleep(100000 * attempt);
        }
        if (!open)
            fprintf(stderr, "cannot open display %s: window tests will fail\n", getenv("DISPLAY"));
    }
    gdk_threads_enter();
    int result = RUN_ALL_TESTS();
    gdk_threads_leave();
    return result;
}
