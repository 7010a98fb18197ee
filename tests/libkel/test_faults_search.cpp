/* The program search and its result file against hostile folders and a hostile local user: traps and
 * links in the searched folder, oversized entries, another user reading or locking, two searches at once. */
#include <gtest/gtest.h>

#include <glib.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <functional>
#include <set>

#include "../../libkel/src/LocalService.h"
#include "KELConstants.h"
#include "KELData.h"
#include "KelFault.h"
#include "KelTest.h"

using namespace IPCAPI;
using LibKELData::CApplicationInfo;

namespace {

template <size_t N> std::string Bytes(const char (&text)[N])
{
    return std::string(text, N - 1);
}

std::string ResultFile()
{
    return LibKELData::CONFIG_FILE_DIR + LibKELData::SEARCH_RESULT;
}

void Entry(const std::string& path, const std::string& name, const std::string& more = "")
{
    keltest::WriteFile(path, "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=/bin/true " + name + "\n" + more);
}

std::vector<FoundProgram> Search(const std::string& tree)
{
    ProgramSearchEnvironment env;
    std::atomic<bool> cancel(false);
    CProgramSearch search(env, &cancel);
    std::vector<FoundProgram> found;
    EXPECT_EQ(CProgramSearch::DONE, search.Run(tree, found));
    return found;
}

/* The names stored in the result file; the load must succeed. */
std::set<std::string> Stored()
{
    std::set<std::string> names;
    LibKELData::CSearchResultData results;
    EXPECT_EQ(0, results.LoadFromFile(ResultFile()));
    if (results.GetPApplicationInfoList())
        for (const CApplicationInfo* app : *results.GetPApplicationInfoList())
            names.insert(app->GetName());
    return names;
}

/* The hostile user's steps, in a child as nobody; the sandbox is opened to it. */
std::string AsNobody(const std::function<std::string()>& steps)
{
    if (geteuid() != 0)
        return "SKIP: another user is needed (run the tests as root)";
    chmod(keltest::Root().c_str(), 0755);
    chmod((keltest::Root() + "/..").c_str(), 0755);
    return keltest::RunInChild([&]() -> std::string {
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
            return "SKIP: cannot become nobody";
        return steps();
    });
}

} // namespace

TEST(SearchFaults, AFolderOfTrapsAndLinksOutOfItEndsWithTheGoodEntriesOnly)
{
    const std::string tree = keltest::Root() + "/traps";
    const std::string png = keltest::Root() + "/icon.png", fake = keltest::Root() + "/fake.png";
    ASSERT_TRUE(keltest::WritePng(png));
    ASSERT_TRUE(keltest::WriteFile(fake, "/* XPM */\nstatic char* x[] = {\"1 1 1 1\", \"a c #000000\", \"a\"};\n"));
    Entry(tree + "/good.desktop", "Good", "Icon=" + png + "\n");
    Entry(tree + "/fake-icon.desktop", "FakeIcon", "Icon=" + fake + "\n");
    ASSERT_EQ(0, mkfifo((tree + "/fifo.desktop").c_str(), 0644)); /* opening it plainly would hang */
    ASSERT_EQ(0, symlink("/dev/zero", (tree + "/zero.desktop").c_str())); /* endless */
    ASSERT_EQ(0, symlink("loop-b.desktop", (tree + "/loop-a.desktop").c_str()));
    ASSERT_EQ(0, symlink("loop-a.desktop", (tree + "/loop-b.desktop").c_str()));
    {
        int s = socket(AF_UNIX, SOCK_STREAM, 0);
        struct sockaddr_un a = {};
        a.sun_family = AF_UNIX;
        snprintf(a.sun_path, sizeof a.sun_path, "%s", (tree + "/sock.desktop").c_str());
        ASSERT_EQ(0, bind(s, (struct sockaddr*)&a, sizeof a));
        close(s);
    }
    Entry(tree + "/folder.desktop/inside.desktop", "Inside");
    keltest::WriteFile(tree + "/binary.desktop", Bytes("\x7f" "ELF\0\0\xff\xfe[Desktop Entry]\n"));
    /* A NUL byte cuts a value short where GLib reads it: the entry the fuzzer found named "/usr/bin/[". */
    keltest::WriteFile(tree + "/nul.desktop", Bytes("[Desktop Entry]\nType=Application\nName=N\0ul\nExec=/bin/true\n"));
    keltest::WriteFile(tree + "/fuzz.desktop", Bytes("[Desktop Entry]\nType=Application\nName=Text Editovoz\n"
                                                     "Exec=[\0\0De\xca" "hon=sry] %e"));
    keltest::WriteFile(tree + "/latin1.desktop", "[Desktop Entry]\nType=Application\nName=Gr\xFC\xDF" "e\nExec=/bin/true\n");
    keltest::WriteFile(tree + "/huge.desktop", "[Desktop Entry]\nType=Application\nName=Huge\nExec=/bin/true\n" +
                                                 std::string(2 * 1024 * 1024, '#'));
    keltest::WriteFile(tree + "/controls.desktop", "[Desktop Entry]\nType=Application\nName=Bell\x07\x1b[31m\nExec=/bin/true\n");
    Entry(tree + "/bad\xff\xfe name\n.desktop", "OddFileName");
    std::string deep = tree + "/deep"; /* deeper than any walk goes */
    for (int i = 0; i < 80; ++i)
        deep += "/d";
    Entry(deep + "/deep.desktop", "TooDeep");
    Entry(tree + "/shallow/d/d/d/ok.desktop", "Shallow");
    for (int i = 0; i < 5000; ++i)
        keltest::WriteFile(tree + "/crowd/e" + std::to_string(i) + ".desktop", "");
    /* Links to folders: within the tree they are followed (once), out of it never. */
    Entry(keltest::Root() + "/elsewhere/out.desktop", "Outside");
    ASSERT_EQ(0, symlink("/", (tree + "/machine").c_str()));
    ASSERT_EQ(0, symlink("../elsewhere", (tree + "/out").c_str()));
    ASSERT_EQ(0, symlink("shallow/d", (tree + "/within").c_str()));

    std::set<std::string> names;
    for (const FoundProgram& p : Search(tree)) {
        names.insert(p.name);
        EXPECT_EQ(p.name == "Good" ? png : "", p.icon) << p.name;
    }
    EXPECT_EQ(std::set<std::string>({"FakeIcon", "Good", "Inside", "OddFileName", "Shallow"}), names);
    struct stat st;
    ASSERT_EQ(0, lstat((tree + "/fifo.desktop").c_str(), &st));
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(SearchFaults, ResultFileIsTheOwnersAloneAndItsLockCannotBeTakenByAnother)
{
    ASSERT_TRUE(keltest::MakeDirs(LibKELData::CONFIG_FILE_DIR));
    chmod(LibKELData::CONFIG_FILE_DIR.c_str(), 0755);
    const mode_t mask = umask(022);
    ASSERT_EQ(IPC_OK, MergeSearchResults({{"Secret", "/bin/true --password=hunter2", ""}}, 1, ResultFile(), nullptr));
    struct stat st;
    ASSERT_EQ(0, stat(ResultFile().c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 07777);
    /* An older file readable by all is made private by the next search. */
    ASSERT_EQ(0, chmod(ResultFile().c_str(), 0644));
    ASSERT_EQ(IPC_OK, MergeSearchResults({{"More", "/bin/true more", ""}}, 0, ResultFile(), nullptr));
    ASSERT_EQ(0, stat(ResultFile().c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 07777);
    umask(mask);
    EXPECT_EQ(std::set<std::string>({"Secret", "More"}), Stored());

    std::string report = AsNobody([]() -> std::string {
        std::string problems;
        if (open(ResultFile().c_str(), O_RDONLY) >= 0 || errno != EACCES)
            problems += " another user reads the results;";
        if (open((ResultFile() + ".lock").c_str(), O_RDONLY) >= 0 || errno != EACCES)
            problems += " another user can open (and so hold) the lock;";
        return problems;
    });
    if (report.compare(0, 5, "SKIP:") == 0)
        GTEST_SKIP() << report;
    EXPECT_EQ("", report);
}

TEST(SearchFaults, OversizedEntriesAreCappedSoTheResultsAlwaysLoadAgain)
{
    /* Names full of quotes grow sixfold once stored: twelve of 1 MiB made 72 MiB, above what a
     * load reads. What a search reads is cut; what it stores is capped. */
    ProgramSearchEnvironment env;
    std::atomic<bool> cancel(false);
    CProgramSearch search(env, &cancel);
    FoundProgram program;
    ASSERT_TRUE(search.ReadDesktopEntry("[Desktop Entry]\nType=Application\nExec=/bin/true\nName=" +
                                            std::string(300000, '"') + "\n",
                                        program));
    EXPECT_EQ(std::string(MAX_NAME_BYTES, '"'), program.name);
    EXPECT_FALSE(search.ReadDesktopEntry("[Desktop Entry]\nType=Application\nName=Long\nExec=/bin/true " +
                                             std::string(5000, 'a') + "\n",
                                         program));

    ASSERT_TRUE(keltest::MakeDirs(LibKELData::CONFIG_FILE_DIR));
    /* The most a result file holds, every character escaped at its longest, loads again. */
    std::vector<FoundProgram> huge;
    const std::string quotes(4080, '"');
    for (int i = 0; i < 1000; ++i)
        huge.push_back({std::to_string(i) + quotes, "/bin/" + std::to_string(i) + quotes, "/" + quotes});
    int added = -1;
    ASSERT_EQ(IPC_OK, MergeSearchResults(huge, 1, ResultFile(), &added));
    struct stat st;
    ASSERT_EQ(0, stat(ResultFile().c_str(), &st));
    EXPECT_LT(st.st_size, 64 * 1024 * 1024);
    const std::set<std::string> first = Stored();
    EXPECT_EQ((size_t)added, first.size());
    EXPECT_TRUE(added > 100 && added < 1000) << added;
    /* A further search adds what still fits and leaves the file loadable: no copy is set aside. */
    ASSERT_EQ(IPC_OK, MergeSearchResults({{"Small", "/bin/true small", ""}}, 0, ResultFile(), &added));
    EXPECT_EQ(1, added);
    const std::set<std::string> second = Stored();
    EXPECT_TRUE(second.size() == first.size() + 1 && second.count("Small"));
    EXPECT_NE(0, access((ResultFile() + ".unreadable").c_str(), F_OK));
}

TEST(SearchFaults, TwoProcessesMergingAtOnceKeepBothSearches)
{
    /* Each process merges its own programs one search at a time; without a lock between
     * them, one's load-merge-save overwrites the other's. */
    const int rounds = 40;
    ASSERT_TRUE(keltest::MakeDirs(LibKELData::CONFIG_FILE_DIR));
    int go[2];
    ASSERT_EQ(0, pipe(go));
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            close(go[1]);
            char byte;
            if (read(go[0], &byte, 1) != 0)
                _exit(3);
            for (int i = 0; i < rounds; ++i) {
                const std::string name = std::string(1, "AB"[c]) + std::to_string(i);
                if (MergeSearchResults({{name, "/bin/true " + name, ""}}, 0, ResultFile(), nullptr) != IPC_OK)
                    _exit(1);
            }
            _exit(0);
        }
    }
    close(go[0]);
    close(go[1]); /* both start now */
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(2u * rounds, Stored().size());
}

TEST(SearchFaults, DesktopEntryWithABadEscapeLeaksNothing)
{
    /* GLib's own lookup of a value in the user's language loses an error whenever the value
     * holds an escape it does not know; a search of a folder full of such entries must not
     * grow the service (the sanitizer run sees the leak). */
    const std::string entry = "[Desktop Entry]\nType=Application\nName=Bad\\x escape\nName[de]=Schlecht\n"
                              "Exec=/bin/true\nIcon=bad\\y\nIcon[de]=b\\q\n";
    ProgramSearchEnvironment env;
    std::atomic<bool> cancel(false);
    const std::pair<const char*, const char*> expected[] = {{"C", "Bad\\x escape"}, {"de", "Schlecht"}};
    for (const auto& e : expected) {
        g_setenv("LANGUAGE", e.first, TRUE);
        for (int i = 0; i < 100; ++i) {
            CProgramSearch search(env, &cancel);
            FoundProgram program;
            ASSERT_TRUE(search.ReadDesktopEntry(entry, program)) << e.first;
            EXPECT_EQ(e.second, program.name) << e.first;
        }
    }
    g_unsetenv("LANGUAGE");
}
