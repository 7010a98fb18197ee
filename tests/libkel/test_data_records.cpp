/* Every record through its file and text byte for byte. (Ownership, removal, equality and
 * merging are exercised by the windows' and the service's tests, under ASan.) */
#include <gtest/gtest.h>

#include <clocale>
#include <functional>
#include <memory>

#include "KELData.h"
#include "KelTest.h"

using namespace LibKELData;

TEST(DataRecords, EveryRecordRoundTripsThroughFileAndTextByteForByte)
{
    /* Under a decimal-comma locale where there is one: numbers in the files must not follow it.
     * Nothing is lost, altered or escaped wrongly, so an unchanged policy is never rewritten. */
    setlocale(LC_ALL, "de_DE.UTF-8");
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    const std::string tricky = "Bücher &amp; &quot;Hefte&quot; &lt;neu&gt; 'ö' € 📚";
    const std::vector<std::pair<std::function<CKELDataProvider*()>, std::string>> cases = {
        {[] { return new CTabNavigationData(); },
         "<TabNavigation version=\"1\">\n  <Category name=\"office\" icon=\"/etc/KEL/icons/office.png\">\n"
         "    <Application name=\"" + tricky + "\" path=\"/opt/a b/c&amp;d\" icon=\"\" enable=\"0\"/>\n  </Category>\n"
         "  <Category name=\"Leer&#9;Tab&#10;Zeile\" icon=\"\"/>\n</TabNavigation>\n"},
        {[] { return new CLockScheduleData(); },
         "<LockSchedule version=\"1\" autoLock=\"1\" manualLock=\"1\" lockStatus=\"2\">\n"
         "  <Section day=\"6\" start=\"23\" end=\"24\"/>\n  <Section day=\"2\" start=\"0\" end=\"6\"/>\n</LockSchedule>\n"},
        {[] { return new CKELSystemSettingData(); }, "<KELSystemSetting version=\"1\" usbStorageEnabled=\"2\" newStudentConnectDialog=\"1\"/>\n"},
        {[] { return new CStudentInfoData(); }, "<StudentInfo version=\"1\">\n  <Student name=\"" + tricky + "\" address=\"pc-02\"/>\n</StudentInfo>\n"},
        {[] { return new CKELThemeData(); }, "<KELTheme version=\"1\" theme=\"Blue\" font=\"DejaVu Sans 10\" background=\"/b – Wiese.png\"/>\n"},
    };
    const std::string path = keltest::EtcKel() + "record.xml";
    for (const auto& c : cases) {
        std::unique_ptr<CKELDataProvider> fromFile(c.first()), fromText(c.first());
        ASSERT_TRUE(keltest::WriteFile(path, head + c.second));
        keltest::LogCapture log;
        ASSERT_EQ(KEL_OK, fromFile->LoadFromFile(path)) << c.second;
        EXPECT_TRUE(log.Lines().empty()) << c.second;
        std::string again;
        ASSERT_EQ(KEL_OK, fromFile->Save2String(again));
        EXPECT_EQ(head + c.second, again);
        ASSERT_EQ(KEL_OK, fromText->LoadFromString(again));
        ASSERT_EQ(KEL_OK, fromText->Save2File(path + ".again"));
        EXPECT_EQ(head + c.second, keltest::ReadFile(path + ".again"));
    }
    setlocale(LC_ALL, "C");
}
