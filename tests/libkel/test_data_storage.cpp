/* Policy storage against bad files, unreadable files on disk, failing saves and a decimal-comma locale. */
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <clocale>
#include <set>
#include <thread>

#include "KELData.h"
#include "KelTest.h"

using namespace LibKELData;

namespace {

/* Level-2 lines that contain every one of the given pieces. */
int FailureLines(const keltest::LogCapture& log, const std::vector<std::string>& pieces)
{
    int n = 0;
    for (const keltest::LogCapture::Line& line : log.Lines()) {
        if (line.level != 2)
            continue;
        bool all = true;
        for (const std::string& piece : pieces)
            all = all && line.text.find(piece) != std::string::npos;
        n += all ? 1 : 0;
    }
    return n;
}

std::set<std::string> DirEntries(const std::string& dir)
{
    std::set<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (!d)
        return names;
    while (struct dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != "..")
            names.insert(name);
    }
    closedir(d);
    return names;
}

CTabNavigationData OneCategory(const std::string& name)
{
    CTabNavigationData data;
    CCategory* category = new CCategory();
    category->SetName(name);
    category->AddApplication(new CApplicationInfo("Galculator", "/usr/bin/galculator", "/etc/KEL/icons/calculator.png"));
    data.SetPCategoryInfoList(new CategoryInfoList(1, category));
    return data;
}

const char kGoodTabNav[] = "<?xml version=\"1.0\"?><TabNavigation><Category name=\"A\" icon=\"\"/></TabNavigation>";

} // namespace

TEST(DataStorage, LoadRefusesBadFilesAndLeavesTheRecordEmpty)
{
    const std::string dir = keltest::EtcKel();
    ASSERT_TRUE(keltest::WriteFile(dir + "notafolder", "x"));
    ASSERT_TRUE(keltest::MakeDirs(dir + "adir.xml"));
    ASSERT_EQ(0, mkfifo((dir + "fifo.xml").c_str(), 0644));
    /* Sparse: 100 MiB on paper, nothing on disk, so the refusal costs nothing. */
    ASSERT_TRUE(keltest::WriteFile(dir + "huge.xml", "<TabNavigation>"));
    ASSERT_EQ(0, truncate((dir + "huge.xml").c_str(), 100L * 1024 * 1024));

    const std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    struct Case {
        const char* file;
        const char* content; /* null: prepared above or absent */
        int expected;
        const char* reason;
    } cases[] = {
        {"missing.xml", nullptr, KEL_ERR_IO, "does not exist"},
        {"empty.xml", "", KEL_ERR_PARSE, "empty"},
        {"blank.xml", "  \n\t\n", KEL_ERR_PARSE, "not well-formed"},
        {"truncated.xml", "<?xml version=\"1.0\"?>\n<TabNavigation>\n<Category name=\"A\">", KEL_ERR_PARSE, "line"},
        {"garbage.xml", png.c_str(), KEL_ERR_PARSE, "not well-formed"},
        {"wrongroot.xml", "<LockSchedule autoLock=\"1\"/>", KEL_ERR_FORMAT, "<LockSchedule>"},
        {"badutf8.xml", "<TabNavigation><Category name=\"Gr\xFC\xDF" "e\"/></TabNavigation>", KEL_ERR_PARSE,
         "not well-formed"},
        {"undeclared.xml", "<TabNavigation><Category name=\"&nope;\"/></TabNavigation>", KEL_ERR_PARSE,
         "not well-formed"},
        {"external.xml",
         "<!DOCTYPE TabNavigation [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
         "<TabNavigation><Category name=\"&x;\"/></TabNavigation>",
         KEL_ERR_FORMAT, "document type"},
        {"laughs.xml",
         "<!DOCTYPE TabNavigation [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
         "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">]>"
         "<TabNavigation><Category name=\"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\"/></TabNavigation>",
         KEL_ERR_FORMAT, "document type"},
        {"adir.xml", nullptr, KEL_ERR_NOT_FILE, "directory"},
        {"fifo.xml", nullptr, KEL_ERR_NOT_FILE, "not a regular file"},
        {"huge.xml", nullptr, KEL_ERR_TOO_LARGE, "104857600 bytes"},
        {"notafolder/TabNavigation.xml", nullptr, KEL_ERR_IO, "Not a directory"},
    };
    for (const Case& c : cases) {
        const std::string path = dir + c.file;
        if (c.content) {
            ASSERT_TRUE(keltest::WriteFile(path, c.content == png.c_str() ? png : std::string(c.content)));
        }
        CTabNavigationData data = OneCategory("kept from before");
        keltest::LogCapture log;
        EXPECT_EQ(c.expected, data.LoadFromFile(path)) << c.file;
        EXPECT_EQ(nullptr, data.GetPCategoryInfoList()) << c.file;
        EXPECT_EQ(1, FailureLines(log, {path, c.reason})) << c.file;
    }

    /* The same refusals for XML text. */
    const char* texts[] = {"", "<TabNavigation>", "<SearchResult/>", "<TabNavigation name=\"\xC3\x28\"/>",
                           "<!DOCTYPE x [<!ENTITY e SYSTEM \"file:///etc/hostname\">]><TabNavigation/>"};
    for (const char* text : texts) {
        CTabNavigationData data = OneCategory("kept from before");
        keltest::LogCapture log;
        EXPECT_LT(data.LoadFromString(text), 0) << text;
        EXPECT_EQ(nullptr, data.GetPCategoryInfoList()) << text;
        EXPECT_EQ(1, FailureLines(log, {"XML text"})) << text;
    }
}

TEST(DataStorage, ListsAreReadAsTheTreeReadsThem)
{
    /* The long lists are read from the parser's element stream: references in values, spacing,
     * prefixes and misplaced elements must come out as a tree would give them. */
    const std::string path = keltest::EtcKel() + "TabNavigation.xml";
    ASSERT_TRUE(keltest::WriteFile(
        path, "<?xml version=\"1.0\"?>\n"
              "<k:TabNavigation xmlns:k=\"urn:x\" version=\"1\">\n"
              "  <Application name=\"outside any category\"/>\n"
              "  <k:Category name=\"Tom &amp; Jerry &#38; &#x26;amp; &amp;#38;\" icon=\"a&lt;b&gt;c&quot;&apos;\">\n"
              "    <!-- a comment --><?pi here?>\n"
              "    <Application name=\"tab&#9;newline&#10;end\" path=\"  spaced\tout\n \" enable=\"0\"/>\n"
              "    <Group><Application name=\"nested too deep\"/></Group>\n"
              "    <Application k:name=\"prefixed\" name=\"second\" unknown=\"1\">text<Child/></Application>\n"
              "  </k:Category>\n"
              "  <Other name=\"ignored\"/>\n"
              "  <Category/>\n"
              "</k:TabNavigation>\n"));
    CTabNavigationData data;
    ASSERT_EQ(KEL_OK, data.LoadFromFile(path));
    ASSERT_NE(nullptr, data.GetPCategoryInfoList());
    ASSERT_EQ(2u, data.GetPCategoryInfoList()->size());
    CCategory* first = data.GetPCategoryInfoList()->front();
    EXPECT_EQ("Tom & Jerry & &amp; &#38;", first->GetName());
    EXPECT_EQ("a<b>c\"'", first->GetCategoryIcon());
    ASSERT_NE(nullptr, first->GetPApplicationInfoList());
    ASSERT_EQ(2u, first->GetPApplicationInfoList()->size());
    CApplicationInfo* app = first->GetPApplicationInfoList()->front();
    EXPECT_EQ("tab\tnewline\nend", app->GetName());
    EXPECT_EQ("  spaced out  ", app->GetPath()) << "literal blanks in values become spaces";
    EXPECT_EQ(0, app->GetEnable());
    /* The first attribute of that name, whatever its prefix, as for the tree. */
    EXPECT_EQ("prefixed", first->GetPApplicationInfoList()->back()->GetName());
    CCategory* second = data.GetPCategoryInfoList()->back();
    EXPECT_EQ("", second->GetName());
    ASSERT_NE(nullptr, second->GetPApplicationInfoList()) << "a category read always has a list";
    EXPECT_TRUE(second->GetPApplicationInfoList()->empty());

    /* Search results: only the root's own program children. */
    const std::string results = keltest::EtcKel() + "SearchResult.xml";
    ASSERT_TRUE(keltest::WriteFile(results, "<SearchResult><Application name=\"A&amp;B\" path=\"/a\"/>"
                                            "<Category><Application name=\"inside\"/></Category>"
                                            "<Application name=\"C\" enable=\"2\"/></SearchResult>"));
    CSearchResultData found;
    ASSERT_EQ(KEL_OK, found.LoadFromFile(results));
    ASSERT_NE(nullptr, found.GetPApplicationInfoList());
    ASSERT_EQ(2u, found.GetPApplicationInfoList()->size());
    EXPECT_EQ("A&B", found.GetPApplicationInfoList()->front()->GetName());
    EXPECT_EQ(2, found.GetPApplicationInfoList()->back()->GetEnable());
}

TEST(DataStorage, SkippedValuesAreLoggedOnlyForAFileThatLoads)
{
    const std::string path = keltest::EtcKel() + "TabNavigation.xml";
    const std::string head = "<?xml version=\"1.0\"?>\n<TabNavigation>\n<Category name=\"A\">\n"
                             "<Application name=\"P\" enable=\"yes\"/>\n";
    ASSERT_TRUE(keltest::WriteFile(path, head + "</Category>\n</TabNavigation>\n"));
    {
        keltest::LogCapture log;
        CTabNavigationData data;
        ASSERT_EQ(KEL_OK, data.LoadFromFile(path));
        EXPECT_EQ(1, FailureLines(log, {path, "line 4", "enable"}));
        EXPECT_EQ(1, data.GetPCategoryInfoList()->front()->GetPApplicationInfoList()->front()->GetEnable());
    }
    /* Truncated after the bad value: the file is refused, and only that is said. */
    ASSERT_TRUE(keltest::WriteFile(path, head + "</Category>\n"));
    {
        keltest::LogCapture log;
        CTabNavigationData data;
        EXPECT_EQ(KEL_ERR_PARSE, data.LoadFromFile(path));
        EXPECT_EQ(0, FailureLines(log, {"enable"}));
        EXPECT_EQ(1, FailureLines(log, {path, "not well-formed"}));
    }
    /* Another record's root: refused after the whole file is read, as before. */
    ASSERT_TRUE(keltest::WriteFile(path, "<SearchResult><Application name=\"P\" enable=\"yes\"/></SearchResult>"));
    {
        keltest::LogCapture log;
        CTabNavigationData data;
        EXPECT_EQ(KEL_ERR_FORMAT, data.LoadFromFile(path));
        EXPECT_EQ(0, FailureLines(log, {"enable"}));
        EXPECT_EQ(1, FailureLines(log, {"<SearchResult>", "<TabNavigation>"}));
    }
}

TEST(DataStorage, AbsurdNumbersSkipTheirItemOnly)
{
    const std::string path = keltest::EtcKel() + "LockSchedule.xml";
    ASSERT_TRUE(keltest::WriteFile(path, "<?xml version=\"1.0\"?>\n"
                                         "<LockSchedule autoLock=\"yes\" manualLock=\"0\" lockStatus=\"2\">\n"
                                         "  <Section day=\"0\" start=\"8\" end=\"9\"/>\n"
                                         "  <Section day=\"99\" start=\"8\" end=\"9\"/>\n"
                                         "  <Section day=\"1\" start=\"-1\" end=\"9\"/>\n"
                                         "  <Section day=\"1\" start=\"8\" end=\"25\"/>\n"
                                         "  <Section day=\"1\" start=\"22\" end=\"6\"/>\n"
                                         "  <Section day=\"1\" start=\"9\" end=\"9\"/>\n"
                                         "  <Section day=\"1\" start=\"0x10\" end=\"20\"/>\n"
                                         "  <Section day=\"1\" start=\"3\"/>\n"
                                         "  <Section day=\"2\" start=\"99999999999\" end=\"5\"/>\n"
                                         "  <Section day=\" 6 \" start=\"23\" end=\"24\"/>\n"
                                         "</LockSchedule>\n"));
    CLockScheduleData data;
    keltest::LogCapture log;
    ASSERT_EQ(KEL_OK, data.LoadFromFile(path));
    ASSERT_NE(nullptr, data.GetPAutomaticLockTimeList());
    ASSERT_EQ(2u, data.GetPAutomaticLockTimeList()->size());
    EXPECT_EQ(0, data.GetPAutomaticLockTimeList()->front()->GetDayOfWeek());
    EXPECT_EQ(6, data.GetPAutomaticLockTimeList()->back()->GetDayOfWeek());
    EXPECT_EQ(0, data.GetAutoLock()); /* not a number: the default stays */
    EXPECT_EQ(2, data.GetLockStatus());
    EXPECT_EQ(1, FailureLines(log, {path, "line 2", "autoLock"}));
    EXPECT_EQ(1, FailureLines(log, {path, "line 4", "day of week 99"}));
    EXPECT_EQ(1, FailureLines(log, {"line 5", "start hour -1"}));
    EXPECT_EQ(1, FailureLines(log, {"line 6", "end hour 25"}));
    EXPECT_EQ(1, FailureLines(log, {"line 7", "not after start"}));
    EXPECT_EQ(1, FailureLines(log, {"line 8", "not after start"}));
    EXPECT_EQ(1, FailureLines(log, {"line 9", "start is not a whole number"}));
    EXPECT_EQ(1, FailureLines(log, {"line 10", "end is missing"}));
    EXPECT_EQ(1, FailureLines(log, {"line 11", "start is not a whole number"}));

    /* Sections made through the API that could not be read back are not written. */
    LockTimeSectionList* list = new LockTimeSectionList();
    list->push_back(new CLockTimeSection(7, 1, 2));
    list->push_back(new CLockTimeSection(3, 10, 11));
    data.SetPAutomaticLockTimeList(list);
    std::string xml;
    ASSERT_EQ(KEL_OK, data.Save2String(xml));
    EXPECT_EQ(std::string::npos, xml.find("day=\"7\""));
    EXPECT_NE(std::string::npos, xml.find("day=\"3\" start=\"10\" end=\"11\""));
}

TEST(DataStorage, UnreadableFileIsKeptAsideOnceBeforeItIsReplaced)
{
    const std::string dir = keltest::EtcKel();
    const std::string path = dir + "TabNavigation.xml";
    const std::string corrupt = "<?xml version=\"1.0\"?>\n<TabNavigation>\n<Category name=\"Half";
    ASSERT_TRUE(keltest::WriteFile(path, corrupt));

    CTabNavigationData data;
    EXPECT_EQ(KEL_ERR_PARSE, data.LoadFromFile(path));
    data = OneCategory("Neu");
    {
        keltest::LogCapture log;
        ASSERT_EQ(KEL_OK, data.Save2File(path));
        EXPECT_EQ(1, FailureLines(log, {"Kept the unreadable file", path + ".unreadable"}));
    }
    EXPECT_EQ(corrupt, keltest::ReadFile(path + ".unreadable"));
    CTabNavigationData reread;
    ASSERT_EQ(KEL_OK, reread.LoadFromFile(path));
    EXPECT_TRUE(reread.IsEqual(data));

    /* Saving again over our own good file keeps nothing more. */
    ASSERT_EQ(KEL_OK, data.Save2File(path));
    EXPECT_EQ((std::set<std::string>{"TabNavigation.xml", "TabNavigation.xml.unreadable"}), DirEntries(dir));

    /* A file corrupted behind our back (never loaded here, of another record) is kept too,
     * beside the earlier copy, which stays as it was. */
    const std::string foreign = "<LockSchedule autoLock=\"1\"/>";
    ASSERT_TRUE(keltest::WriteFile(path, foreign));
    ASSERT_EQ(KEL_OK, data.Save2File(path));
    EXPECT_EQ(foreign, keltest::ReadFile(path + ".unreadable.1"));
    EXPECT_EQ(corrupt, keltest::ReadFile(path + ".unreadable"));

    /* A file too large to read is kept as well (a link, so no copy of its size is made). */
    ASSERT_TRUE(keltest::WriteFile(path, "<TabNavigation>"));
    ASSERT_EQ(0, truncate(path.c_str(), 100L * 1024 * 1024));
    EXPECT_EQ(KEL_ERR_TOO_LARGE, CTabNavigationData().LoadFromFile(path));
    ASSERT_EQ(KEL_OK, data.Save2File(path));
    struct stat st;
    ASSERT_EQ(0, stat((path + ".unreadable.2").c_str(), &st));
    EXPECT_EQ(100L * 1024 * 1024, st.st_size);

    /* Nothing worth keeping: an empty file, a good file we did not read ourselves. */
    ASSERT_TRUE(keltest::WriteFile(path, ""));
    ASSERT_EQ(KEL_OK, data.Save2File(path));
    ASSERT_TRUE(keltest::WriteFile(path, kGoodTabNav));
    ASSERT_EQ(KEL_OK, data.Save2File(path));
    EXPECT_EQ(4u, DirEntries(dir).size());
}

TEST(DataStorage, SaveIsWholeOrNothing)
{
    const std::string dir = keltest::EtcKel();
    const std::string path = dir + "TabNavigation.xml";
    CTabNavigationData data = OneCategory(std::string(4096, 'x'));

    /* Folders that do not exist, or are files: nothing can be created there, even by root. */
    ASSERT_TRUE(keltest::WriteFile(dir + "plainfile", "x"));
    EXPECT_EQ(KEL_ERR_IO, data.Save2File(dir + "nofolder/TabNavigation.xml"));
    EXPECT_EQ(KEL_ERR_IO, data.Save2File(dir + "plainfile/TabNavigation.xml"));
    ASSERT_TRUE(keltest::MakeDirs(dir + "TabNavigation.dir"));
    EXPECT_EQ(KEL_ERR_NOT_FILE, data.Save2File(dir + "TabNavigation.dir"));

    /* A write that fails half-way (file size limit; root is bound by it too) leaves the
     * old file whole and no temporary file behind. */
    ASSERT_TRUE(keltest::WriteFile(path, kGoodTabNav));
    ASSERT_EQ(0, chmod(path.c_str(), 0640));
    const std::set<std::string> before = DirEntries(dir);
    struct rlimit saved;
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &saved));
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1024;
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
    keltest::LogCapture log;
    int rc = data.Save2File(path);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(KEL_ERR_IO, rc);
    EXPECT_EQ(1, FailureLines(log, {path, "writing failed", "old file is unchanged"}));
    EXPECT_EQ(kGoodTabNav, keltest::ReadFile(path));
    EXPECT_EQ(before, DirEntries(dir));

    /* Text XML cannot hold is refused before anything is touched. */
    CTabNavigationData bad = OneCategory("Bell\x07");
    EXPECT_EQ(KEL_ERR_ARGUMENT, bad.Save2File(path));
    std::string xml = "left alone";
    EXPECT_EQ(KEL_ERR_ARGUMENT, OneCategory("\xFF\xFE").Save2String(xml));
    EXPECT_EQ("", xml);
    EXPECT_EQ(kGoodTabNav, keltest::ReadFile(path));

    /* A good save keeps the old mode; a new file gets 0644 whatever the umask. */
    ASSERT_EQ(KEL_OK, data.Save2File(path));
    struct stat st;
    ASSERT_EQ(0, stat(path.c_str(), &st));
    EXPECT_EQ(0640u, st.st_mode & 07777);
    mode_t oldMask = umask(077);
    ASSERT_EQ(KEL_OK, data.Save2File(dir + "Fresh.xml"));
    umask(oldMask);
    ASSERT_EQ(0, stat((dir + "Fresh.xml").c_str(), &st));
    EXPECT_EQ(0644u, st.st_mode & 07777);

    /* A link stays a link; the file it names is replaced. */
    ASSERT_EQ(0, symlink("Fresh.xml", (dir + "Link.xml").c_str()));
    CTabNavigationData other = OneCategory("via link");
    ASSERT_EQ(KEL_OK, other.Save2File(dir + "Link.xml"));
    ASSERT_EQ(0, lstat((dir + "Link.xml").c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    CTabNavigationData reread;
    ASSERT_EQ(KEL_OK, reread.LoadFromFile(dir + "Fresh.xml"));
    EXPECT_TRUE(reread.IsEqual(other));

    for (const std::string& name : DirEntries(dir))
        EXPECT_NE('.', name[0]) << "temporary file left: " << name;
}

TEST(DataStorage, RoundTripUnderDecimalCommaLocale)
{
    if (!setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    CLockScheduleData schedule;
    schedule.SetAutoLock(1);
    schedule.SetLockStatus(2);
    LockTimeSectionList* sections = new LockTimeSectionList();
    for (int h = 0; h < 24; ++h)
        sections->push_back(new CLockTimeSection(h % 7, h, h + 1));
    schedule.SetPAutomaticLockTimeList(sections);
    const std::string path = keltest::EtcKel() + "LockSchedule.xml";
    ASSERT_EQ(KEL_OK, schedule.Save2File(path));
    const std::string text = keltest::ReadFile(path);
    EXPECT_NE(std::string::npos, text.find("<Section day=\"3\" start=\"10\" end=\"11\"/>"));
    CLockScheduleData loaded;
    ASSERT_EQ(KEL_OK, loaded.LoadFromFile(path));
    EXPECT_TRUE(loaded.IsEqual(schedule));
    EXPECT_EQ(24u, loaded.GetPAutomaticLockTimeList()->size());

    CTabNavigationData nav = OneCategory("Übungen für Größere – 1,5 €");
    std::string xml;
    ASSERT_EQ(KEL_OK, nav.Save2String(xml));
    CTabNavigationData navLoaded;
    ASSERT_EQ(KEL_OK, navLoaded.LoadFromString(xml));
    EXPECT_TRUE(navLoaded.IsEqual(nav));

    CKELSystemSettingData settings;
    settings.SetUSBStorageenabled(0);
    settings.SetNewStudentConnectDialogEnable(1);
    ASSERT_EQ(KEL_OK, settings.Save2String(xml));
    CKELSystemSettingData settingsLoaded;
    ASSERT_EQ(KEL_OK, settingsLoaded.LoadFromString(xml));
    EXPECT_TRUE(settingsLoaded.IsEqual(settings));
    setlocale(LC_ALL, "C");
}

TEST(DataStorage, ReaderNeverSeesAHalfWrittenFile)
{
    /* The search worker saves the results while the window reads them. */
    const std::string path = keltest::EtcKel() + "TabNavigation.xml";
    const CTabNavigationData small = OneCategory("small");
    CTabNavigationData large = OneCategory("large");
    for (int i = 0; i < 2000; ++i)
        large.GetPCategoryInfoList()->front()->AddApplication(
            new CApplicationInfo("Program " + std::to_string(i), "/usr/bin/p" + std::to_string(i), ""));
    ASSERT_EQ(KEL_OK, CTabNavigationData(small).Save2File(path));
    std::atomic<bool> writerFailed(false);
    std::thread writer([&] {
        for (int i = 0; i < 40; ++i) {
            CTabNavigationData copy(i % 2 ? small : large);
            if (copy.Save2File(path) != KEL_OK)
                writerFailed = true;
        }
    });
    int loads = 0;
    int bad = 0;
    for (; loads < 200; ++loads) {
        CTabNavigationData loaded;
        if (loaded.LoadFromFile(path) != KEL_OK || !(loaded.IsEqual(small) || loaded.IsEqual(large)))
            ++bad;
    }
    writer.join();
    EXPECT_FALSE(writerFailed);
    EXPECT_EQ(0, bad) << "of " << loads << " loads";
}
