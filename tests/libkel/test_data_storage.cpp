/* Policy storage against bad files, unreadable files on disk and failing saves. */
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "KELData.h"
#include "KelFault.h"
#include "KelTest.h"

using namespace LibKELData;

namespace {

using keltest::Entries;
using keltest::FailureLines;

CTabNavigationData OneCategory(const std::string& name)
{
    CTabNavigationData data;
    CCategory* category = new CCategory();
    category->SetName(name);
    category->AddApplication(new CApplicationInfo("Galculator", "/usr/bin/galculator", ""));
    data.SetPCategoryInfoList(new CategoryInfoList(1, category));
    return data;
}

/* Sparse: 100 MiB on paper, nothing on disk, so the refusal costs nothing. */
void WriteHuge(const std::string& path)
{
    ASSERT_TRUE(keltest::WriteFile(path, "<TabNavigation>"));
    ASSERT_EQ(0, truncate(path.c_str(), 100L * 1024 * 1024));
}

const char kGood[] = "<?xml version=\"1.0\"?><TabNavigation><Category name=\"A\" icon=\"\"/></TabNavigation>";

} // namespace

TEST(DataStorage, LoadRefusesBadFilesAndLeavesTheRecordEmpty)
{
    const std::string dir = keltest::EtcKel();
    ASSERT_TRUE(keltest::MakeDirs(dir + "adir.xml"));
    ASSERT_EQ(0, mkfifo((dir + "fifo.xml").c_str(), 0644));
    WriteHuge(dir + "huge.xml");
    /* Content "-": prepared above or absent. */
    const struct { const char* file; std::string content; int expected; const char* reason; } cases[] = {
        {"missing.xml", "-", KEL_ERR_IO, "does not exist"},
        {"empty.xml", "", KEL_ERR_PARSE, "empty"},
        {"truncated.xml", "<?xml version=\"1.0\"?>\n<TabNavigation>\n<Category name=\"A\">", KEL_ERR_PARSE, "line"},
        {"wrongroot.xml", "<LockSchedule autoLock=\"1\"/>", KEL_ERR_FORMAT, "<LockSchedule>"},
        {"badutf8.xml", "<TabNavigation><Category name=\"Gr\xFC\xDF" "e\"/></TabNavigation>", KEL_ERR_PARSE, "not well-formed"},
        {"laughs.xml", "<!DOCTYPE TabNavigation [<!ENTITY a \"aa\"><!ENTITY b \"&a;&a;\">]><TabNavigation/>", KEL_ERR_FORMAT,
         "document type"},
        {"adir.xml", "-", KEL_ERR_NOT_FILE, "directory"},
        {"fifo.xml", "-", KEL_ERR_NOT_FILE, "not a regular file"},
        {"huge.xml", "-", KEL_ERR_TOO_LARGE, "104857600 bytes"},
    };
    for (const auto& c : cases) {
        const std::string path = dir + c.file;
        ASSERT_TRUE(c.content == "-" || keltest::WriteFile(path, c.content)) << c.file;
        CTabNavigationData data = OneCategory("kept from before");
        keltest::LogCapture log;
        EXPECT_EQ(c.expected, data.LoadFromFile(path)) << c.file;
        EXPECT_EQ(nullptr, data.GetPCategoryInfoList()) << c.file;
        EXPECT_EQ(1, FailureLines(log, {path, c.reason})) << c.file;
    }
}

TEST(DataStorage, StreamedListsTakeReferencesSpacingAndPrefixesAndSkipMisplacedElements)
{
    CTabNavigationData tabs;
    CSearchResultData found;
    std::string xml, results;
    ASSERT_EQ(KEL_OK, tabs.LoadFromString(
                          "<k:TabNavigation xmlns:k=\"urn:x\"><Application name=\"outside\"/>"
                          "<k:Category name=\"Tom &amp; Jerry &#38; &amp;#38;\" icon=\"a&lt;b&quot;\"><!-- c --><?pi x?>"
                          "<Application name=\"tab&#9;end\" path=\"  spaced\tout\n \" enable=\"0\"/>"
                          "<Group><Application name=\"too deep\"/></Group>"
                          "<Application k:name=\"prefixed\" name=\"second\">text<Child/></Application></k:Category>"
                          "<Other/><Category/></k:TabNavigation>"));
    ASSERT_EQ(KEL_OK, found.LoadFromString("<SearchResult><Application name=\"A&amp;B\"/><Category><Application/>"
                                           "</Category><Application name=\"C\" enable=\"2\"/></SearchResult>"));
    ASSERT_TRUE(tabs.Save2String(xml) == KEL_OK && found.Save2String(results) == KEL_OK);
    EXPECT_EQ("<Category name=\"Tom &amp; Jerry &amp; &amp;#38;\" icon=\"a&lt;b&quot;\">\n"
              "    <Application name=\"tab&#9;end\" path=\"  spaced out  \" icon=\"\" enable=\"0\"/>\n"
              "    <Application name=\"prefixed\" path=\"\" icon=\"\" enable=\"1\"/>\n  </Category>\n"
              "  <Category name=\"\" icon=\"\"/>\n</TabNavigation>\n",
              xml.substr(xml.find("<Category")));
    EXPECT_EQ("<Application name=\"A&amp;B\" path=\"\" icon=\"\" enable=\"1\"/>\n"
              "  <Application name=\"C\" path=\"\" icon=\"\" enable=\"2\"/>\n</SearchResult>\n",
              results.substr(results.find("<Application")));
}

TEST(DataStorage, AbsurdNumbersSkipTheirItemOnlyAndAreLoggedOnlyForAFileThatLoads)
{
    const std::pair<const char*, const char*> sections[] = {
        {"day=\"0\" start=\"8\" end=\"9\"", ""},
        {"day=\"99\" start=\"8\" end=\"9\"", "day of week 99"},
        {"day=\"1\" start=\"8\" end=\"25\"", "end hour 25"},
        {"day=\"1\" start=\"22\" end=\"6\"", "not after start"},
        {"day=\"1\" start=\"0x10\" end=\"20\"", "start is not a whole number"},
        {"day=\"1\" start=\"3\"", "end is missing"},
        {"day=\"2\" start=\"99999999999\" end=\"5\"", "start is not a whole number"},
        {"day=\" 6 \" start=\"23\" end=\"24\"", ""},
    };
    const std::string path = keltest::EtcKel() + "LockSchedule.xml";
    std::string text = "<?xml version=\"1.0\"?>\n<LockSchedule autoLock=\"yes\" lockStatus=\"2\">\n";
    for (const auto& s : sections)
        text += std::string("  <Section ") + s.first + "/>\n";
    ASSERT_TRUE(keltest::WriteFile(path, text + "</LockSchedule>\n"));
    CLockScheduleData data;
    keltest::LogCapture log;
    ASSERT_EQ(KEL_OK, data.LoadFromFile(path));
    ASSERT_EQ(2u, data.GetPAutomaticLockTimeList()->size());
    EXPECT_EQ(6, data.GetPAutomaticLockTimeList()->back()->GetDayOfWeek());
    EXPECT_EQ(0, data.GetAutoLock()); /* not a number: the default stays */
    EXPECT_EQ(1, FailureLines(log, {path, "line 2", "autoLock"}));
    for (size_t i = 0; i < sizeof sections / sizeof sections[0]; ++i)
        EXPECT_EQ(*sections[i].second ? 1 : 0, FailureLines(log, {"line " + std::to_string(i + 3) + ":", sections[i].second})) << i;
    /* Truncated after the bad values: the file is refused, and only that is said. */
    ASSERT_TRUE(keltest::WriteFile(path, text));
    keltest::LogCapture truncated;
    EXPECT_EQ(KEL_ERR_PARSE, CLockScheduleData().LoadFromFile(path));
    EXPECT_EQ(1u, truncated.Lines().size());
    /* Sections made through the API that could not be read back are not written. */
    data.SetPAutomaticLockTimeList(new LockTimeSectionList{new CLockTimeSection(7, 1, 2), new CLockTimeSection(3, 10, 11)});
    std::string xml;
    ASSERT_EQ(KEL_OK, data.Save2String(xml));
    EXPECT_EQ(std::string::npos, xml.find("day=\"7\""));
    EXPECT_NE(std::string::npos, xml.find("day=\"3\" start=\"10\" end=\"11\""));
}

TEST(DataStorage, UnreadableFilesAreKeptAsideAtMostThreeTimes)
{
    const std::string dir = keltest::EtcKel(), path = dir + "TabNavigation.xml";
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
    /* Saving again over our own good file, an empty one or a good one of someone else keeps nothing more. */
    for (const char* text : {"-", "", kGood}) {
        ASSERT_TRUE(*text == '-' || keltest::WriteFile(path, text));
        ASSERT_EQ(KEL_OK, data.Save2File(path));
    }
    EXPECT_EQ((std::set<std::string>{".kelsave.lock", "TabNavigation.xml", "TabNavigation.xml.unreadable"}), Entries(dir));

    /* Corrupted behind our back: the newest three are kept, the oldest goes. A file too large
     * to read, written again and again, is kept once (a link: no copy of its size). */
    for (const char* text : {"<LockSchedule/>", "<a>", "<b>"}) {
        ASSERT_TRUE(keltest::WriteFile(path, text));
        ASSERT_EQ(KEL_OK, data.Save2File(path));
    }
    EXPECT_EQ("<b>|<a>|<LockSchedule/>", keltest::ReadFile(path + ".unreadable") + "|" +
                                            keltest::ReadFile(path + ".unreadable.1") + "|" +
                                            keltest::ReadFile(path + ".unreadable.2"));
    for (int i = 0; i < 3; ++i) {
        WriteHuge(path);
        ASSERT_EQ(KEL_OK, data.Save2File(path));
    }
    struct stat st;
    ASSERT_EQ(0, stat((path + ".unreadable").c_str(), &st));
    EXPECT_EQ(100L * 1024 * 1024, st.st_size);
    EXPECT_EQ("<b>", keltest::ReadFile(path + ".unreadable.1"));
    EXPECT_EQ(5u, Entries(dir).size());
}

TEST(DataStorage, SaveRefusesTextXmlCannotHold)
{
    /* (Failing writes, renames and folders are in the fault tests, the kept mode in the hostile user's.) */
    const std::string path = keltest::EtcKel() + "TabNavigation.xml";
    ASSERT_TRUE(keltest::WriteFile(path, kGood));
    std::string xml = "left alone";
    EXPECT_EQ(KEL_ERR_ARGUMENT, OneCategory("\xFF\xFE").Save2String(xml));
    EXPECT_EQ("", xml);
    EXPECT_EQ(KEL_ERR_ARGUMENT, OneCategory("Bell\x07").Save2File(path));
    EXPECT_EQ(kGood, keltest::ReadFile(path));
}
