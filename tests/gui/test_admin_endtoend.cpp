/* The administrator tool's window used like a person would, from end to end: the real
 * name-and-icon dialog, a real search through the local service, Apply through the
 * service, and the edits found in the policy files on disk. */
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "CShellSettingForAdminTool.h"
#include "KELConstants.h"
#include "KELData.h"
#include "KelTest.h"

using namespace LibKELData;

namespace {

class Window : public LibKELGUI::CShellSettingForAdminTool {
public:
    GtkWidget* Hour(int day, int hour) { return m_TimeGrid[day][hour]; }
    GtkWidget* USB() { return m_pUSBCheckBox; }
    GtkWidget* AddCategoryButton() { return m_pAddCategoryBtn; }
    GtkWidget* EditCategoryButton() { return m_pEditCategoryBtn; }
    GtkWidget* AddProgramButton() { return m_pAddProgramBtn; }
};

void Install(const std::string& folder, const std::string& id, const std::string& name)
{
    std::string exec = folder + "/bin/" + id;
    ASSERT_TRUE(keltest::WriteFile(exec, "#!/bin/sh\nexit 0\n"));
    ASSERT_EQ(0, chmod(exec.c_str(), 0755));
    ASSERT_TRUE(keltest::WritePng(folder + "/icons/" + id + ".png", 48, 0x22aa66ff));
    ASSERT_TRUE(keltest::WriteFile(folder + "/applications/" + id + ".desktop",
                                   "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec +
                                       "\nIcon=" + folder + "/icons/" + id + ".png\n"));
}

GtkWidget* OnlyWindowTitled(const char* title)
{
    std::vector<GtkWindow*> found = keltest::ToplevelsWithTitle(title);
    return found.size() == 1 ? GTK_WIDGET(found[0]) : NULL;
}

const CCategory* FindCategory(const CTabNavigationData& data, const std::string& name)
{
    if (!data.GetPCategoryInfoList())
        return NULL;
    for (const CCategory* c : *data.GetPCategoryInfoList())
        if (c->GetName() == name)
            return c;
    return NULL;
}

} // namespace

TEST(AdminEndToEnd, CategoryProgramsScheduleAndUsbEditedThroughTheWindowReachTheFiles)
{
    keltest::CopySampleRoot();
    ASSERT_TRUE(keltest::WriteFile(keltest::EtcKel() + KEL_SYSTEM_SETTING,
                                   "<KELSystemSetting version=\"1\" usbStorageEnabled=\"0\" "
                                   "newStudentConnectDialog=\"0\"/>\n"));
    std::string folder = keltest::Root() + "/opt/lab";
    Install(folder, "planets", "Planet Viewer");
    Install(folder, "wordbuilder", "Word Builder");

    Window w;
    w.Init();
    ASSERT_EQ(1, w.Show());
    keltest::Drain();

    /* A new category, renamed through the name-and-icon dialog. */
    keltest::Click(w.AddCategoryButton());
    keltest::Click(w.EditCategoryButton());
    GtkWidget* edit = OnlyWindowTitled("Edit Category");
    ASSERT_TRUE(edit);
    gtk_entry_set_text(GTK_ENTRY(keltest::FindByType(edit, GTK_TYPE_ENTRY)), "  Science Club \n");
    keltest::Click(keltest::FindButtonByLabel(edit, "OK"));
    EXPECT_FALSE(OnlyWindowTitled("Edit Category"));

    /* Two programs found by a real search of a folder of this machine. */
    keltest::Click(w.AddProgramButton());
    GtkWidget* add = OnlyWindowTitled("Add Application");
    ASSERT_TRUE(add);
    keltest::Click(keltest::FindButtonByLabel(add, "Search"));
    GtkWidget* search = OnlyWindowTitled("Search Program");
    ASSERT_TRUE(search);
    gtk_entry_set_text(GTK_ENTRY(keltest::FindByType(search, GTK_TYPE_ENTRY)), folder.c_str());
    GtkWidget* panel = keltest::FindByName(search, KEL_STYLE_BUTTON_PANEL);
    keltest::Click(keltest::FindByType(panel, GTK_TYPE_BUTTON));
    ASSERT_TRUE(keltest::PumpUntil([search] {
        return keltest::FindLabel(search, "Search program is done!") != NULL;
    }, 20000));
    keltest::CloseFromFrame(search);
    /* The earlier results of the sample root are listed too; pick the two new programs. */
    GtkTreeView* results = GTK_TREE_VIEW(keltest::FindByType(add, GTK_TYPE_TREE_VIEW));
    GtkTreeModel* model = gtk_tree_view_get_model(results);
    GtkTreeIter iter;
    int picked = 0;
    for (gboolean ok = gtk_tree_model_get_iter_first(model, &iter); ok; ok = gtk_tree_model_iter_next(model, &iter)) {
        gchar* name = NULL;
        gtk_tree_model_get(model, &iter, 1, &name, -1);
        if (g_strcmp0(name, "Planet Viewer") == 0 || g_strcmp0(name, "Word Builder") == 0) {
            gtk_tree_selection_select_iter(gtk_tree_view_get_selection(results), &iter);
            ++picked;
        }
        g_free(name);
    }
    ASSERT_EQ(2, picked);
    keltest::Click(keltest::FindButtonByLabel(add, "OK"));
    EXPECT_FALSE(OnlyWindowTitled("Add Application"));

    /* Monday 8 to 10 locked; USB storage no longer disabled. */
    for (int hour = 8; hour < 10; ++hour)
        if (!gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w.Hour(0, hour))))
            keltest::Click(w.Hour(0, hour));
    ASSERT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w.USB())));
    keltest::Click(w.USB());

    /* OK applies through the service and closes; a question, should one come, is answered Yes. */
    keltest::MessageBoxAnswerer yes(GTK_RESPONSE_YES, 2000);
    yes.AnswerAll(true);
    keltest::Click(keltest::FindButtonByLabel(w.GetWindow(), "OK"));
    EXPECT_FALSE(w.GetWindow());
    EXPECT_FALSE(yes.Answered()) << "nothing should be left to ask about: " << yes.Text();

    CTabNavigationData tabs;
    ASSERT_EQ(0, tabs.LoadFromFile(keltest::EtcKel() + TAB_NAVIGATION));
    const CCategory* club = FindCategory(tabs, "Science Club");
    ASSERT_TRUE(club) << "the renamed category was not saved";
    ASSERT_TRUE(club->GetPApplicationInfoList());
    ASSERT_EQ(2u, club->GetPApplicationInfoList()->size());
    EXPECT_EQ(1, club->IsApplicationExist("Planet Viewer", ""));
    EXPECT_EQ(1, club->IsApplicationExist("Word Builder", ""));
    for (const CApplicationInfo* app : *club->GetPApplicationInfoList())
        EXPECT_EQ(1, app->GetEnable());

    CLockScheduleData schedule;
    ASSERT_EQ(0, schedule.LoadFromFile(keltest::EtcKel() + LOCK_SCHEDULE));
    int monday8 = 0, monday9 = 0;
    for (const CLockTimeSection* s : *schedule.GetPAutomaticLockTimeList()) {
        monday8 += s->GetDayOfWeek() == 0 && s->GetStartTime() == 8 && s->GetEndTime() == 9;
        monday9 += s->GetDayOfWeek() == 0 && s->GetStartTime() == 9 && s->GetEndTime() == 10;
    }
    EXPECT_EQ(1, monday8);
    EXPECT_EQ(1, monday9);

    CKELSystemSettingData settings;
    ASSERT_EQ(0, settings.LoadFromFile(keltest::EtcKel() + KEL_SYSTEM_SETTING));
    EXPECT_EQ(1, settings.GetUSBStorageenabled());

    /* Reopened, the window shows the edits and has nothing to save. */
    Window again;
    again.Init();
    EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(again.Hour(0, 9))));
    EXPECT_FALSE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(again.USB())));
    again.FetchTabNavData();
    again.FetchScheuleData();
    again.FetchUSBData();
    EXPECT_FALSE(again.IsDataDirty());
}
