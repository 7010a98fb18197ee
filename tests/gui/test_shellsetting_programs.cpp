/* The Program Registration page: naming new categories, editing both lists through the one edit
 * path, programs added without duplicates, and the keyboard on the program rows. */
#include <gtest/gtest.h>

#include <gdk/gdkkeysyms.h>

#include "CCategoryNaming.h"
#include "CShellSettingCtrlForShellController.h"
#include "shellsetting_fixture.h"

using LibKELData::CApplicationInfo;
typedef std::vector<std::string> Names;

namespace {

enum { PROG_SHOW = 0, CAT_NAME = 1, PROG_NAME = 2 };

class ShellSettingPrograms : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(keltest::WriteTabNavigation({{"Office", {{"Writer", "/usr/bin/writer", "", 1}, {"Calc", "/usr/bin/calc", "", 0}}},
                                                 {"Games", {{"Chess", "/usr/games/chess", "", 1}}},
                                                 {"Empty", {}}}));
        keltest::Open(w);
        win = w.GetWindow();
        gtk_notebook_set_current_page(GTK_NOTEBOOK(keltest::FindByType(win, GTK_TYPE_NOTEBOOK)), 1);
        keltest::Drain();
        categories = keltest::List(win, 0);
        programs = keltest::List(win, 1);
    }
    gboolean Shown(int row) { return keltest::CellAt<gboolean>(gtk_tree_view_get_model(programs), row, PROG_SHOW); }
    LibKELGUI::CShellSettingCtrlForShellController w;
    GtkWidget* win = NULL;
    GtkTreeView *categories = NULL, *programs = NULL;
};

/* Answers the one open name-and-icon dialog with a name, or cancels it. */
void AnswerDialog(const std::string& title, const char* name)
{
    std::vector<GtkWindow*> dialogs = keltest::ToplevelsWithTitle(title);
    ASSERT_EQ(1u, dialogs.size());
    if (name)
        gtk_entry_set_text(GTK_ENTRY(keltest::FindByType(GTK_WIDGET(dialogs[0]), GTK_TYPE_ENTRY, 0)), name);
    keltest::Click(keltest::FindButtonByLabel(GTK_WIDGET(dialogs[0]), name ? "OK" : "Cancel"));
}

} // namespace

TEST(ShellSettingNaming, NamingANewCategoryEndsWhateverTheRecordAnswers)
{
    int asked = 0;
    auto odd = [&asked](const std::string&) { return ++asked, -1; };
    EXPECT_EQ("New Category (6)", LibKELGUI::CCategoryNaming::Build("New Category", odd, 5));
    EXPECT_EQ(5, asked);
}

TEST_F(ShellSettingPrograms, CategoriesAndProgramsEditedThroughOneDialogPathReachTheFile)
{
    keltest::Click(keltest::FindButtonByLabel(win, "+"));
    EXPECT_EQ((Names{"Office", "Games", "Empty", "New Category"}), keltest::Names(categories, CAT_NAME));
    /* Another category's name is refused; then a free one is taken. */
    for (const char* name : {"Games", "Science"}) {
        keltest::MessageBoxAnswerer refused(GTK_RESPONSE_OK);
        keltest::Click(keltest::NthButton(win, "Edit", 0));
        AnswerDialog("Edit Category", name);
        EXPECT_EQ(name == std::string("Games"), refused.Text() == "The specified category name already exists!");
    }
    /* Programs: a name of the same category is refused, one of another category is fine. */
    keltest::SetCursorRow(categories, 0);
    keltest::SetCursorRow(programs, 0);
    for (const char* name : {"Calc", "Chess"}) {
        keltest::MessageBoxAnswerer refused(GTK_RESPONSE_OK);
        keltest::Click(keltest::NthButton(win, "Edit", 1));
        AnswerDialog("Edit Application", name);
        EXPECT_EQ(name == std::string("Calc"), refused.Text() == "The specified application name already exists!");
    }
    for (int row : {0, 2}) { /* a category with programs is deleted only on Yes; an empty one at once */
        keltest::SetCursorRow(categories, row);
        keltest::MessageBoxAnswerer no(GTK_RESPONSE_NO);
        keltest::Click(keltest::NthButton(win, "-", 0));
        EXPECT_EQ(row == 0, no.Text().find("The category Office holds") == 0) << no.Text();
    }
    w.OnApply();
    LibKELGUI::CShellSettingCtrlForShellController again;
    again.Init();
    EXPECT_EQ((Names{"Office", "Games", "Science"}), keltest::Names(keltest::List(again.GetWindow(), 0), CAT_NAME));
    EXPECT_EQ((Names{"Chess", "Calc"}), keltest::Names(keltest::List(again.GetWindow(), 1), PROG_NAME));
}

TEST_F(ShellSettingPrograms, AddedProgramsSkipDuplicatesAndStartShown)
{
    std::string longName(120, 'x');
    keltest::MessageBoxAnswerer answer(GTK_RESPONSE_OK);
    answer.AnswerAll(true);
    EXPECT_EQ(0, w.AddPrograms({CApplicationInfo(longName, "/usr/bin/long", "", 0),
                                CApplicationInfo("Calc", "/usr/bin/calc", "", 1),
                                CApplicationInfo("Base", "/usr/bin/base", "", 0),
                                CApplicationInfo("Base", "/usr/bin/base", "", 1)}));
    keltest::Drain();
    EXPECT_EQ(1, answer.Count());
    EXPECT_EQ("The same applications have been filtered!", answer.Text());
    EXPECT_EQ((Names{"Writer", "Calc", longName, "Base"}), keltest::Names(programs, PROG_NAME));
    EXPECT_TRUE(Shown(2) && Shown(3));
}

TEST_F(ShellSettingPrograms, EnterOnAProgramRowEditsItAndSpaceShowsOrHidesIt)
{
    /* Calc, hidden, with the focus on its "Show" cell as a keyboard user reaches it. */
    keltest::SetCursorRow(programs, 1, gtk_tree_view_get_column(programs, 0));
    gtk_widget_grab_focus(GTK_WIDGET(programs));
    keltest::PressKey(GTK_WIDGET(programs), GDK_Return);
    EXPECT_FALSE(Shown(1)) << "Enter must not toggle Show";
    AnswerDialog("Edit Application", NULL);
    keltest::PressKey(GTK_WIDGET(programs), GDK_space);
    EXPECT_TRUE(Shown(1));
    w.FetchTabNavData();
    EXPECT_TRUE(w.IsDataDirty());
}
