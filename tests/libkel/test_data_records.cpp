/* Records: owned lists and deep copies, removal, equality, merging, and every record through its
 * file and text byte for byte. */
#include <gtest/gtest.h>

#include <clocale>
#include <functional>
#include <memory>

#include "KELData.h"
#include "KelTest.h"

using namespace LibKELData;

namespace {

CTabNavigationData MakePolicy()
{
    CTabNavigationData data;
    CCategory* office = new CCategory();
    office->SetName("office");
    office->AddApplication(new CApplicationInfo("Writer", "/usr/bin/lowriter", ""));
    office->AddApplication(new CApplicationInfo("Calc", "/usr/bin/localc", "/etc/KEL/icons/calc.png", 0));
    data.SetPCategoryInfoList(new CategoryInfoList{office, new CCategory()});
    return data;
}

} // namespace

TEST(DataRecords, ListsAreOwnedCopiesAreDeepAndOnlyOwnItemsAreFreed)
{
    CTabNavigationData data = MakePolicy();
    CategoryInfoList* list = data.GetPCategoryInfoList();
    CCategory* office = list->front();
    data.SetPCategoryInfoList(list); /* handing a record its own list again must not free it */
    office->SetPApplicationInfoList(office->GetPApplicationInfoList());
    CTabNavigationData copy(data);
    copy.GetPCategoryInfoList()->front()->GetPApplicationInfoList()->front()->SetName("Changed");
    EXPECT_EQ("Writer", office->GetPApplicationInfoList()->front()->GetName());
    EXPECT_FALSE(copy.IsEqual(data));
    copy = copy;
    copy = data;
    EXPECT_TRUE(copy.IsEqual(data));

    CCategory stranger;
    CApplicationInfo strangerApp("Writer", "/usr/bin/lowriter", "");
    EXPECT_EQ(-1, data.RemoveCategory(&stranger));
    EXPECT_EQ(-1, data.RemoveProgram(office, &strangerApp));
    EXPECT_EQ(0, data.RemoveProgram(office, office->GetPApplicationInfoList()->back()));
    EXPECT_EQ(0, office->IsApplicationExist("Calc", "/usr/bin/localc"));
    EXPECT_EQ(0, office->IsApplicationExist("Unknown", "  ")); /* a blank path never matches */
    EXPECT_EQ(0, data.RemoveCategory(office));
    EXPECT_EQ(1u, data.GetPCategoryInfoList()->size());
}

TEST(DataRecords, EqualityIsThePolicyContent)
{
    CTabNavigationData reordered = MakePolicy(), none, empty;
    reordered.GetPCategoryInfoList()->reverse();
    EXPECT_FALSE(reordered.IsEqual(MakePolicy()));
    empty.SetPCategoryInfoList(new CategoryInfoList());
    EXPECT_TRUE(none.IsEqual(empty)); /* no list and an empty one both mean none, as once stored */

    /* A schedule is its locked hours: one three-hour section equals three one-hour ones. */
    CLockScheduleData wide, hourly;
    wide.SetPAutomaticLockTimeList(new LockTimeSectionList(1, new CLockTimeSection(4, 21, 24)));
    hourly.SetPAutomaticLockTimeList(new LockTimeSectionList{new CLockTimeSection(4, 23, 24), new CLockTimeSection(4, 21, 22),
                                                             new CLockTimeSection(4, 22, 23)});
    EXPECT_TRUE(wide.IsEqual(hourly));
    hourly.SetManualLock(1);
    EXPECT_FALSE(wide.IsEqual(hourly));
}

TEST(DataRecords, SearchResultsMergeWithoutDuplicates)
{
    CSearchResultData results;
    EXPECT_EQ(1, results.AddUnique(CApplicationInfo("GIMP", "/usr/bin/gimp", "")));
    EXPECT_EQ(0, results.AddUnique(CApplicationInfo("Other name", "/usr/bin/gimp", "")));
    EXPECT_EQ(1, results.AddUnique(CApplicationInfo("Script", "", "")));
    std::unique_ptr<CApplicationInfo> a(new CApplicationInfo("Inkscape", "/usr/bin/inkscape", "")),
        b(new CApplicationInfo("Inkscape twice", "/usr/bin/inkscape", "")), c(new CApplicationInfo("Script", " ", ""));
    EXPECT_EQ(1, results.MergeUnique(ApplicationInfoList{a.get(), b.get(), c.get()}));
    EXPECT_EQ("Inkscape", results.GetPApplicationInfoList()->back()->GetName());
}

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
