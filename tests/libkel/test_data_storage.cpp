/* Policy storage against bad files, unreadable files on disk and failing saves. */
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "KELData.h"
#include "KelTest.h"

using namespace LibKELData;

namespace {

/* Level-2 lines that contain every one of the given pieces. */
int FailureLines(const keltest::LogCapture& log, const std::vector<std::string>& pieces)
{
    int n = 0;
    for (const keltest::LogCapture::Line& line : log.Lines()) {
        bool all = line.level == 2;
        for (const std::string& piece : pieces)
            all = all && line.text.find(piece) != std::string::npos;
        n += all ? 1 : 0;
    }
    return n;
}

std::set<std::string> DirEntries(const std::string& dir)
{
    std::set<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (struct dirent* e = readdir(d))
            if (std::string(".") != e->d_name && std::string("..") != e->d_name)
                names.insert(e->d_name);
        closedir(d);
    }
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

/* Sparse: 100 MiB on paper, nothing on disk, so the refusal costs nothing. */
void WriteHuge(const std::string& path)
{
    ASSERT_TRUE(keltest::WriteFile(path, "<TabNavigation>"));
    ASSERT_EQ(0, truncate(path.c_str(), 100L * 1024 * 1024));
}

const char kGoodTabNav[] = "<?xml version=\"1.0\"?><TabNavigation><Category name=\"A\" icon=\"\"/></TabNavigation>";

} // namespace

TEST(DataStorage, LoadRefusesBadFilesAndLeavesTheRecordEmpty)
{
    const std::string dir = keltest::EtcKel();
    ASSERT_TRUE(keltest::WriteFile(dir + "notafolder", "x"));
    ASSERT_TRUE(keltest::MakeDirs(dir + "adir.xml"));
    ASSERT_EQ(0, mkfifo((dir + "fifo.xml").c_str(), 0644));
    WriteHuge(dir + "huge.xml");
    const std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    const std::string laughs = "<!DOCTYPE TabNavigation [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
                               "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">]>"
                               "<TabNavigation><Category name=\"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\"/></TabNavigation>";
    struct Case {
        const char* file;
        std::string content; /* "-": prepared above or absent */
        int expected;
        const char* reason;
    } cases[] = {
        {"missing.xml", "-", KEL_ERR_IO, "does not exist"},
        {"empty.xml", "", KEL_ERR_PARSE, "empty"},
        {"truncated.xml", "<?xml version=\"1.0\"?>\n<TabNavigation>\n<Category name=\"A\">", KEL_ERR_PARSE, "line"},
        {"garbage.xml", png, KEL_ERR_PARSE, "not well-formed"},
        {"wrongroot.xml", "<LockSchedule autoLock=\"1\"/>", KEL_ERR_FORMAT, "<LockSchedule>"},
        {"badutf8.xml", "<TabNavigation><Category name=\"Gr\xFC\xDF" "e\"/></TabNavigation>", KEL_ERR_PARSE, "not well-formed"},
        {"undeclared.xml", "<TabNavigation><Category name=\"&nope;\"/></TabNavigation>", KEL_ERR_PARSE, "not well-formed"},
        {"external.xml", "<!DOCTYPE TabNavigation [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
                         "<TabNavigation><Category name=\"&x;\"/></TabNavigation>", KEL_ERR_FORMAT, "document type"},
        {"laughs.xml", laughs, KEL_ERR_FORMAT, "document type"},
        {"adir.xml", "-", KEL_ERR_NOT_FILE, "directory"},
        {"fifo.xml", "-", KEL_ERR_NOT_FILE, "not a regular file"},
        {"huge.xml", "-", KEL_ERR_TOO_LARGE, "104857600 bytes"},
        {"notafolder/TabNavigation.xml", "-", KEL_ERR_IO, "Not a directory"},
    };
    for (const Case& c : cases) {
        const std::string path = dir + c.file;
        ASSERT_TRUE(c.content == "-" || keltest::WriteFile(path, c.content)) << c.file;
        CTabNavigationData data = OneCategory("kept from before");
        keltest::LogCapture log;
        EXPECT_EQ(c.expected, data.LoadFromFile(path)) << c.file;
        EXPECT_EQ(nullptr, data.GetPCategoryInfoList()) << c.file;
        EXPECT_EQ(1, FailureLines(log, {path, c.reason})) << c.file;
    }
    /* The same refusals for XML text. */
    for (const char* text : {"", "<TabNavigation>", "<SearchResult/>", "<TabNavigation name=\"\xC3\x28\"/>",
                             "<!DOCTYPE x [<!ENTITY e SYSTEM \"file:///etc/hostname\">]><TabNavigation/>"}) {
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
    /* Each section with the complaint it earns; "" for the two good ones (days 0 and 6). */
    const std::pair<const char*, const char*> sections[] = {
        {"day=\"0\" start=\"8\" end=\"9\"", ""},
        {"day=\"99\" start=\"8\" end=\"9\"", "day of week 99"},
        {"day=\"1\" start=\"-1\" end=\"9\"", "start hour -1"},
        {"day=\"1\" start=\"8\" end=\"25\"", "end hour 25"},
        {"day=\"1\" start=\"22\" end=\"6\"", "not after start"},
        {"day=\"1\" start=\"9\" end=\"9\"", "not after start"},
        {"day=\"1\" start=\"0x10\" end=\"20\"", "start is not a whole number"},
        {"day=\"1\" start=\"3\"", "end is missing"},
        {"day=\"2\" start=\"99999999999\" end=\"5\"", "start is not a whole number"},
        {"day=\" 6 \" start=\"23\" end=\"24\"", ""},
    };
    const std::string path = keltest::EtcKel() + "LockSchedule.xml";
    std::string text = "<?xml version=\"1.0\"?>\n<LockSchedule autoLock=\"yes\" manualLock=\"0\" lockStatus=\"2\">\n";
    for (const auto& s : sections)
        text += std::string("  <Section ") + s.first + "/>\n";
    ASSERT_TRUE(keltest::WriteFile(path, text + "</LockSchedule>\n"));
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
    for (size_t i = 0; i < sizeof sections / sizeof sections[0]; ++i)
        EXPECT_EQ(*sections[i].second ? 1 : 0, FailureLines(log, {"line " + std::to_string(i + 3) + ":", sections[i].second})) << i;

    /* Sections made through the API that could not be read back are not written. */
    data.SetPAutomaticLockTimeList(new LockTimeSectionList{new CLockTimeSection(7, 1, 2), new CLockTimeSection(3, 10, 11)});
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
    WriteHuge(path);
    ASSERT_EQ(KEL_OK, data.Save2File(path));
    struct stat st;
    ASSERT_EQ(0, stat((path + ".unreadable.2").c_str(), &st));
    EXPECT_EQ(100L * 1024 * 1024, st.st_size);
    /* Nothing worth keeping: an empty file, a good file we did not read ourselves. */
    for (const char* text : {"", kGoodTabNav}) {
        ASSERT_TRUE(keltest::WriteFile(path, text));
        ASSERT_EQ(KEL_OK, data.Save2File(path));
    }
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
    EXPECT_EQ(KEL_ERR_ARGUMENT, OneCategory("Bell\x07").Save2File(path));
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

    /* A folder we may not write to (root gives up the right to ignore that): no temporary file
     * can be made beside the target, and the old file stays whole. */
    ASSERT_TRUE(keltest::DropFileCapabilities());
    ASSERT_EQ(0, chmod(dir.c_str(), 0555));
    const std::string whole = keltest::ReadFile(path);
    EXPECT_EQ(KEL_ERR_IO, other.Save2File(path));
    EXPECT_EQ(whole, keltest::ReadFile(path));
    chmod(dir.c_str(), 0755);
}
