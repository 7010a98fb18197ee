/* The program search and its result file against hostile folders and a hostile local user: traps and
 * links in the searched folder, oversized entries, another user reading or locking, two searches at once. */
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <set>

#include "../../libkel/src/LocalService.h"
#include "KELConstants.h"
#include "KELData.h"
#include "KelFault.h"
#include "KelTest.h"

using namespace IPCAPI;
using LibKELData::CApplicationInfo;

namespace {

/* The whole literal, NUL bytes included. */
template <size_t N> std::string Bytes(const char (&text)[N]) { return std::string(text, N - 1); }
std::string ResultFile() { return LibKELData::CONFIG_FILE_DIR + LibKELData::SEARCH_RESULT; }

void Entry(const std::string& path, const std::string& name, const std::string& more = "")
{
    keltest::WriteFile(path, "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=/bin/true " + name + "\n" + more);
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

} // namespace

TEST(SearchFaults, AFolderOfTrapsAndLinksOutOfItEndsWithTheGoodEntriesOnly)
{
    const std::string tree = keltest::Root() + "/traps";
    const std::string png = tree + "/icon.png", fake = keltest::Root() + "/fake.png";
    /* The icon, in the walked tree, is past 4 GiB (sparse) and dated 2100 (or the latest date the
     * file system keeps): a 32-bit build without large files and 64-bit times cannot open or
     * stat it (EOVERFLOW) and drops it. */
    const struct timespec late[2] = {{4102444800, 0}, {4102444800, 0}};
    ASSERT_TRUE(keltest::WritePng(png) && !truncate(png.c_str(), 5LL << 30) && !utimensat(-1, png.c_str(), late, 0));
    ASSERT_TRUE(keltest::WriteFile(fake, "/* XPM */\nstatic char* x[] = {\"1 1 1 1\", \"a c #000000\", \"a\"};\n"));
    Entry(tree + "/good.desktop", "Good", "Icon=" + png + "\n");
    Entry(tree + "/fake-icon.desktop", "FakeIcon", "Icon=" + fake + "\n");
    ASSERT_EQ(0, mkfifo((tree + "/fifo.desktop").c_str(), 0644)); /* opening it plainly would hang */
    ASSERT_EQ(0, symlink("/dev/zero", (tree + "/zero.desktop").c_str())); /* endless */
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

    std::atomic<bool> cancel(false);
    std::vector<FoundProgram> found;
    /* The environment given is a temporary, gone before the walk: the search keeps its own. */
    CProgramSearch search(ProgramSearchEnvironment{}, &cancel);
    ASSERT_EQ(CProgramSearch::DONE, search.Run(tree, found));
    std::set<std::string> names;
    for (const FoundProgram& p : found) {
        names.insert(p.name);
        EXPECT_EQ(p.name == "Good" ? png : "", p.icon) << p.name;
    }
    EXPECT_EQ(std::set<std::string>({"FakeIcon", "Good", "Inside", "OddFileName", "Shallow"}), names);
}

TEST(SearchFaults, ResultFileIsTheOwnersAloneAndItsLockCannotBeTakenByAnother)
{
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

    if (geteuid() != 0)
        GTEST_SKIP() << "another user is needed (run the tests as root)";
    std::string report = keltest::RunAsNobody([]() -> std::string {
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
     * load reads. Long values are cut or dropped and the whole is capped: the most a result
     * file holds, every character escaped at its longest, loads again. */
    std::vector<FoundProgram> huge;
    const std::string quotes(4080, '"');
    for (int i = 0; i < 400; ++i)
        huge.push_back({std::to_string(i) + quotes, "/bin/" + std::to_string(i) + quotes, "/" + quotes});
    int added = -1, more = -1;
    ASSERT_EQ(IPC_OK, MergeSearchResults(huge, 1, ResultFile(), &added));
    EXPECT_TRUE(added > 100 && added < 400) << added;
    /* A further search adds what still fits and leaves the file loadable: no copy is set aside. */
    ASSERT_EQ(IPC_OK, MergeSearchResults({{"Small", "/bin/true small", ""}}, 0, ResultFile(), &more));
    EXPECT_EQ(1, more);
    struct stat st;
    ASSERT_EQ(0, stat(ResultFile().c_str(), &st));
    EXPECT_LT(st.st_size, 64 * 1024 * 1024);
    const std::set<std::string> stored = Stored();
    EXPECT_TRUE(stored.size() == (size_t)added + 1 && stored.count("Small"));
    EXPECT_NE(0, access((ResultFile() + ".unreadable").c_str(), F_OK));
}

TEST(SearchFaults, TwoProcessesMergingAtOnceKeepBothSearches)
{
    /* Each process merges its own programs one search at a time; without a lock between
     * them, one's load-merge-save overwrites the other's. */
    const int rounds = 40;
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
