/* Hostile documents fed to every record, as text and as a file: each one is refused with a logged reason or
 * loaded into a record that saves and loads back the same; none crashes, hangs or reads anything else. */
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "KELData.h"
#include "KelTest.h"

using namespace LibKELData;

namespace {

struct Kind {
    const char* root;
    std::function<CKELDataProvider*()> make;
};

const std::vector<Kind>& Kinds()
{
    static const std::vector<Kind> kinds = {
        {"TabNavigation", [] { return new CTabNavigationData(); }},
        {"DefaultConfig", [] { return new CDefaultConfigData(); }},
        {"SearchResult", [] { return new CSearchResultData(); }},
        {"LockSchedule", [] { return new CLockScheduleData(); }},
        {"KELSystemSetting", [] { return new CKELSystemSettingData(); }},
        {"StudentInfo", [] { return new CStudentInfoData(); }},
        {"KELTheme", [] { return new CKELThemeData(); }},
    };
    return kinds;
}

std::string Text(CKELDataProvider& record)
{
    std::string xml;
    return record.Save2String(xml) == KEL_OK ? xml : "(cannot be saved)";
}

std::string Repeat(const std::string& piece, int times)
{
    std::string out;
    out.reserve(piece.size() * times);
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

/* Documents with $ standing for the record's root element name. */
std::vector<std::pair<std::string, std::string>> Hostile()
{
    const std::string inner = "<Category name=\"c\" icon=\"\"><Application name=\"a\" path=\"/bin/a\" icon=\"\"/></Category>"
                              "<Section day=\"1\" start=\"2\" end=\"3\"/><Student name=\"s\" address=\"a\"/>";
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("<$ version=\"1\"/>")) {
        utf16 += c;
        utf16 += '\0';
    }
    return {
        {"deeply nested", "<$>" + Repeat("<Category>", 100000) + "</$>"},
        {"nested closed", "<$>" + Repeat("<x>", 3000) + Repeat("</x>", 3000) + inner + "</$>"},
        {"11 MB attribute", "<$ theme=\"" + std::string(11 * 1024 * 1024, 'a') + "\">" + inner + "</$>"},
        {"1 MB names", "<$><Category name=\"" + std::string(1024 * 1024, 'n') + "\"/><Student name=\"" +
                           std::string(1024 * 1024, 'n') + "\"/></$>"},
        {"20,000 entries", "<$>" + Repeat(inner, 20000) + "</$>"},
        {"3,000 attributes", "<$ " + [] {
             std::string a;
             for (int i = 0; i < 3000; ++i)
                 a += "a" + std::to_string(i) + "=\"1\" ";
             return a;
         }() + "/>"},
        {"utf-16 with byte order mark", utf16},
        {"unknown encoding", "<?xml version=\"1.0\" encoding=\"x-no-such\"?><$/>"},
        {"latin-1 declared", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><$><Category name=\"Gr\xFC\xDF" "e\"/></$>"},
        {"nul byte", std::string("<$><Category name=\"a\0b\"/></$>", 30)},
        {"nul character reference", "<$><Category name=\"a&#0;b\"/></$>"},
        {"control character reference", "<$><Category name=\"a&#1;b\"/></$>"},
        {"noncharacter reference", "<$><Category name=\"a&#xFFFE;b\"/></$>"},
        {"surrogate reference", "<$><Category name=\"a&#xD800;b\"/></$>"},
        {"huge character reference", "<$><Category name=\"&#99999999999;\"/></$>"},
        {"duplicate attribute", "<$><Category name=\"a\" name=\"b\"/></$>"},
        {"external DTD", "<!DOCTYPE $ SYSTEM \"http://127.0.0.1:9/x.dtd\"><$/>"},
        {"parameter entities", "<!DOCTYPE $ [<!ENTITY % p SYSTEM \"file:///etc/passwd\"> %p;]><$/>"},
        {"xinclude", "<$ xmlns:xi=\"http://www.w3.org/2001/XInclude\"><xi:include href=\"/etc/passwd\" parse=\"text\"/>" +
                         inner + "</$>"},
        {"namespaced root", "<k:$ xmlns:k=\"urn:x\">" + inner + "</k:$>"},
        {"comments, PIs and CDATA", "<?pi x?><!--c--><$><![CDATA[<Category name=\"no\"/>]]><!--" + inner + "-->" + inner +
                                        "<?x y?></$><!--after-->"},
        {"content after the root", "<$/><$/>"},
        {"text before the root", "junk<$/>"},
        {"truncated inside a name", "<$><Categ"},
        {"numbers of every odd form", "<$ version=\"99\" autoLock=\"1e3\" manualLock=\"0x10\" lockStatus=\"2147483648\" "
                                      "usbStorageEnabled=\"-2147483649\" newStudentConnectDialog=\"\xD9\xA3\">"
                                      "<Section day=\" 3 \" start=\"+4\" end=\"-0\"/><Section day=\"\" start=\"\" end=\"\"/>"
                                      "<Application name=\"x\" path=\"/x\" enable=\"99999999999999999999\"/></$>"},
        {"only whitespace", " \t\r\n "},
        {"byte order mark only", "\xEF\xBB\xBF"},
        {"byte order mark then root", "\xEF\xBB\xBF<$/>"},
    };
}

} // namespace

TEST(InputFaults, HostileDocumentsAreRefusedOrLoadedWholeByEveryRecord)
{
    const std::string path = keltest::EtcKel() + "hostile.xml";
    int cases = 0;
    for (const Kind& kind : Kinds()) {
        for (const auto& doc : Hostile()) {
            std::string text = doc.second;
            for (size_t at; (at = text.find('$')) != std::string::npos;)
                text.replace(at, 1, kind.root);
            const std::string what = std::string(kind.root) + ", " + doc.first;
            ++cases;

            std::unique_ptr<CKELDataProvider> fromText(kind.make());
            std::unique_ptr<CKELDataProvider> fromFile(kind.make());
            ASSERT_TRUE(keltest::WriteFile(path, text));
            keltest::LogCapture log;
            const int rcText = fromText->LoadFromString(text);
            const int rcFile = fromFile->LoadFromFile(path);
            EXPECT_EQ(rcText, rcFile) << what;
            EXPECT_EQ(Text(*fromText), Text(*fromFile)) << what;
            if (rcText != KEL_OK) {
                EXPECT_LT(rcText, 0) << what;
                std::unique_ptr<CKELDataProvider> empty(kind.make());
                EXPECT_EQ(Text(*empty), Text(*fromText)) << what << ": a refused document left content";
                bool logged = false;
                for (const auto& line : log.Lines())
                    logged = logged || (line.level == 2 && line.text.find("Cannot load") == 0);
                EXPECT_TRUE(logged) << what << ": refused without a reason";
                continue;
            }
            const std::string saved = Text(*fromText);
            ASSERT_NE("(cannot be saved)", saved) << what << ": loaded but cannot be saved";
            EXPECT_EQ(std::string::npos, saved.find("root:")) << what << ": something outside the document was read";
            std::unique_ptr<CKELDataProvider> again(kind.make());
            EXPECT_EQ(KEL_OK, again->LoadFromString(saved)) << what;
            EXPECT_EQ(saved, Text(*again)) << what << ": does not load back the same";
        }
    }
    RecordProperty("cases", cases);
}

TEST(InputFaults, RefusedDocumentsOfNoteAreRefusedForTheRightReason)
{
    /* Where the outcome matters beyond "no crash": nothing outside the document is ever read,
     * and hidden characters never get into a record. */
    struct Case {
        const char* text;
        int expected;
    } cases[] = {
        {"<!DOCTYPE TabNavigation SYSTEM \"http://127.0.0.1:9/x.dtd\"><TabNavigation/>", KEL_ERR_FORMAT},
        {"<!DOCTYPE TabNavigation [<!ENTITY % p SYSTEM \"file:///etc/passwd\"> %p;]><TabNavigation/>", KEL_ERR_FORMAT},
        {"<TabNavigation><Category name=\"a&#1;b\"/></TabNavigation>", KEL_ERR_PARSE},
        {"<TabNavigation><Category name=\"a&#xFFFE;b\"/></TabNavigation>", KEL_ERR_PARSE},
        {"<TabNavigation><Category name=\"a\" name=\"b\"/></TabNavigation>", KEL_ERR_PARSE},
        {"<TabNavigation/><TabNavigation/>", KEL_ERR_PARSE},
    };
    for (const Case& c : cases) {
        CTabNavigationData data;
        EXPECT_EQ(c.expected, data.LoadFromString(c.text)) << c.text;
    }
    /* XInclude is never processed: the include element is an unknown element, skipped. */
    CTabNavigationData data;
    ASSERT_EQ(KEL_OK, data.LoadFromString("<TabNavigation xmlns:xi=\"http://www.w3.org/2001/XInclude\">"
                                          "<xi:include href=\"/etc/passwd\" parse=\"text\"/></TabNavigation>"));
    ASSERT_NE(nullptr, data.GetPCategoryInfoList());
    EXPECT_TRUE(data.GetPCategoryInfoList()->empty());
}
