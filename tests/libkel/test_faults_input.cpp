/* Hostile documents whose outcome matters, fed to every record as text and as a file: nothing
 * outside the document is ever read, no hidden character gets in, odd numbers and encodings
 * load into a record that saves and loads back the same. (The fuzz targets feed every record
 * far more shapes for crashes and the same invariants.) */
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "KELData.h"
#include "KelTest.h"

using namespace LibKELData;

TEST(InputFaults, HostileDocumentsAreRefusedOrLoadedWholeByEveryRecord)
{
    const std::vector<std::pair<const char*, std::function<CKELDataProvider*()>>> kinds = {
        {"TabNavigation", [] { return new CTabNavigationData(); }}, {"DefaultConfig", [] { return new CDefaultConfigData(); }},
        {"SearchResult", [] { return new CSearchResultData(); }},   {"LockSchedule", [] { return new CLockScheduleData(); }},
        {"KELSystemSetting", [] { return new CKELSystemSettingData(); }},
        {"StudentInfo", [] { return new CStudentInfoData(); }},     {"KELTheme", [] { return new CKELThemeData(); }},
    };
    const std::string inner = "<Category name=\"c\"><Application name=\"a\" path=\"/bin/a\"/></Category>"
                              "<Section day=\"1\" start=\"2\" end=\"3\"/><Student name=\"s\" address=\"a\"/>";
    /* $ stands for the record's root element; the number is the expected result (1: loads). */
    const std::vector<std::pair<std::string, int>> docs = {
        {"<!DOCTYPE $ SYSTEM \"http://127.0.0.1:9/x.dtd\"><$/>", KEL_ERR_FORMAT},
        {"<!DOCTYPE $ [<!ENTITY % p SYSTEM \"file:///etc/passwd\"> %p;]><$/>", KEL_ERR_FORMAT},
        {"<$ xmlns:xi=\"http://www.w3.org/2001/XInclude\"><xi:include href=\"/etc/passwd\" parse=\"text\"/>" + inner + "</$>", 1},
        {"<$><Category name=\"a&#1;b\"/></$>", KEL_ERR_PARSE},
        {"<$><Category name=\"a&#xFFFE;b\"/></$>", KEL_ERR_PARSE},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><$><Category name=\"Gr\xFC\xDF" "e\"/></$>", 1},
        {"<$ autoLock=\"1e3\" lockStatus=\"2147483648\"><Section day=\" 3 \" start=\"+4\" end=\"-0\"/>"
         "<Application enable=\"99999999999999999999\"/></$>", 1},
    };
    const std::string path = keltest::EtcKel() + "hostile.xml";
    for (const auto& kind : kinds) {
        for (const auto& doc : docs) {
            std::string text = doc.first;
            for (size_t at; (at = text.find('$')) != std::string::npos;)
                text.replace(at, 1, kind.first);
            std::unique_ptr<CKELDataProvider> fromText(kind.second()), fromFile(kind.second()), again(kind.second());
            ASSERT_TRUE(keltest::WriteFile(path, text));
            keltest::LogCapture log;
            const int rc = fromText->LoadFromString(text);
            EXPECT_EQ(rc, fromFile->LoadFromFile(path)) << text;
            EXPECT_EQ(doc.second == 1 ? KEL_OK : doc.second, rc) << text;
            std::string saved, empty, fileSaved;
            ASSERT_EQ(KEL_OK, fromText->Save2String(saved)) << text;
            ASSERT_EQ(KEL_OK, fromFile->Save2String(fileSaved)) << text;
            EXPECT_EQ(saved, fileSaved) << text;
            EXPECT_EQ(std::string::npos, saved.find("root:")) << text << ": something outside the document was read";
            std::unique_ptr<CKELDataProvider>(kind.second())->Save2String(empty);
            if (rc != KEL_OK) {
                EXPECT_EQ(empty, saved) << text << ": a refused document left content";
                EXPECT_FALSE(log.Lines().empty()) << text << ": refused without a reason";
                continue;
            }
            EXPECT_EQ(KEL_OK, again->LoadFromString(saved)) << text;
            std::string twice;
            again->Save2String(twice);
            EXPECT_EQ(saved, twice) << text << ": does not load back the same";
        }
    }
}
