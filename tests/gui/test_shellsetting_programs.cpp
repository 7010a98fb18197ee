/* The Program Registration page: naming new categories, editing both lists through the one edit
 * path, programs added without duplicates, the keyboard on the rows, and icons decoded once. */
#include <gtest/gtest.h>

#include <gdk/gdkkeysyms.h>

#include <set>

#include "CCategoryNaming.h"
#include "CIconCache.h"
#include "CShellSettingCtrlForShellController.h"
#include "shellsetting_fixture.h"

using LibKELData::CApplicationInfo;
using LibKELGUI::CIconCache;
typedef std::vector<std::string> Names;

namespace {

enum { PROG_SHOW = 0, CAT_NAME = 1, PROG_NAME = 2 };

class ShellSettingPrograms : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(keltest::WritePng(LibKELData::KEL_IMAGE_APP_DEFAULT_ICON, 32, 0x999999ff));
        ASSERT_TRUE(keltest::WriteTabNavigation({
            {"Office", "", {{"Writer", "/usr/bin/writer", "", 1}, {"Calc", "/usr/bin/calc", "", 0}}},
            {"Games", "", {{"Chess", "/usr/games/chess", "", 1}}},
            {"Empty", "", {}},
        }));
    }
    void Open()
    {
        w.Init();
        w.Show();
        keltest::Drain();
        win = w.GetWindow();
        gtk_notebook_set_current_page(GTK_NOTEBOOK(keltest::FindByType(win, GTK_TYPE_NOTEBOOK)), 1);
        keltest::Drain();
        categories = keltest::List(win, 0);
        programs = keltest::List(win, 1);
    }
    gboolean Shown(int row)
    {
        GtkTreeIter iter;
        gboolean shown = FALSE;
        gtk_tree_model_iter_nth_child(gtk_tree_view_get_model(programs), &iter, NULL, row);
        gtk_tree_model_get(gtk_tree_view_get_model(programs), &iter, PROG_SHOW, &shown, -1);
        return shown;
    }
    LibKELGUI::CShellSettingCtrlForShellController w;
    GtkWidget* win = NULL;
    GtkTreeView* categories = NULL;
    GtkTreeView* programs = NULL;
};

/* Answers the one open name-and-icon dialog with a name, or cancels it. */
void AnswerDialog(const std::string& title, const char* name)
{
    std::vector<GtkWindow*> dialogs = keltest::ToplevelsWithTitle(title);
    ASSERT_EQ(1u, dialogs.size());
    GtkWidget* dialog = GTK_WIDGET(dialogs[0]);
    if (name)
        gtk_entry_set_text(GTK_ENTRY(keltest::FindByType(dialog, GTK_TYPE_ENTRY, 0)), name);
    keltest::Click(keltest::FindButtonByLabel(dialog, name ? "OK" : "Cancel"));
}

} // namespace

TEST(ShellSettingNaming, NewCategoriesFillGapsFirstAndNamingEndsWhateverTheAnswers)
{
    struct Case {
        std::set<std::string> existing;
        std::string expected;
    } const cases[] = {
        {{"New Category", "New Category(2)"}, "New Category(3)"},
        {{"New Category(2)"}, "New Category"},
        {{"New Category", "New Category(3)"}, "New Category(2)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, LibKELGUI::CCategoryNaming::Build(
                                  "New Category", [&c](const std::string& n) { return (int)c.existing.count(n); },
                                  (int)c.existing.size() + 1));
    int asked = 0;
    EXPECT_EQ("New Category(6)",
              LibKELGUI::CCategoryNaming::Build("New Category", [&asked](const std::string&) { return ++asked, -1; }, 5));
    EXPECT_EQ(5, asked);
}

TEST_F(ShellSettingPrograms, CategoriesAndProgramsEditedThroughOneDialogPathReachTheFile)
{
    Open();
    keltest::Click(keltest::FindButtonByLabel(win, "+"));
    EXPECT_EQ((Names{"Office", "Games", "Empty", "New Category"}), keltest::Names(categories, CAT_NAME));
    /* Another category's name is refused; its own name with the edit kept. */
    keltest::Click(keltest::FindButtonByLabel(win, "Edit"));
    keltest::MessageBoxAnswerer refused(GTK_RESPONSE_OK);
    AnswerDialog("Edit Category", "Games");
    EXPECT_EQ("The specified category name already exists!", refused.Text());
    keltest::Click(keltest::FindButtonByLabel(win, "Edit"));
    AnswerDialog("Edit Category", "Science");
    /* Programs: a name of another category is fine, one of the same category is not. */
    keltest::SetCursorRow(categories, 0);
    keltest::SetCursorRow(programs, 0);
    GtkTreePath* first = gtk_tree_path_new_from_indices(0, -1);
    gtk_tree_view_row_activated(programs, first, NULL);
    gtk_tree_path_free(first);
    {
        keltest::MessageBoxAnswerer taken(GTK_RESPONSE_OK);
        AnswerDialog("Edit Application", "Calc");
        EXPECT_EQ("The specified application name already exists!", taken.Text());
    }
    keltest::Click(keltest::FindAll(win, [](GtkWidget* b) {
        return GTK_IS_BUTTON(b) && g_strcmp0(gtk_button_get_label(GTK_BUTTON(b)), "Edit") == 0;
    })[1]);
    AnswerDialog("Edit Application", "Chess");
    EXPECT_EQ((Names{"Chess", "Calc"}), keltest::Names(programs, PROG_NAME));
    /* Delete the empty category, then save. */
    keltest::SetCursorRow(categories, 2);
    keltest::Click(keltest::FindButtonByLabel(win, "-"));
    EXPECT_EQ(-1, w.AddPrograms({CApplicationInfo("Math", "/usr/bin/math", "", 1)})) << "no category selected";
    w.OnApply();
    LibKELGUI::CShellSettingCtrlForShellController again;
    again.Init();
    EXPECT_EQ((Names{"Office", "Games", "Science"}), keltest::Names(keltest::List(again.GetWindow(), 0), CAT_NAME));
    EXPECT_EQ((Names{"Chess", "Calc"}), keltest::Names(keltest::List(again.GetWindow(), 1), PROG_NAME));
}

TEST_F(ShellSettingPrograms, AddedProgramsSkipDuplicatesStartShownAndRowsTellLongNames)
{
    Open();
    std::string longName(120, 'x');
    std::list<CApplicationInfo> chosen = {
        CApplicationInfo(longName, "/usr/bin/long", "", 0), CApplicationInfo("Calc", "/usr/bin/calc", "", 1),
        CApplicationInfo("Base", "/usr/bin/base", "", 0), CApplicationInfo("Base", "/usr/bin/base", "", 1)};
    keltest::MessageBoxAnswerer answer(GTK_RESPONSE_OK);
    answer.AnswerAll(true);
    EXPECT_EQ(0, w.AddPrograms(chosen));
    keltest::Drain();
    EXPECT_EQ(1, answer.Count());
    EXPECT_EQ("The same applications have been filtered!", answer.Text());
    EXPECT_EQ((Names{"Writer", "Calc", longName, "Base"}), keltest::Names(programs, PROG_NAME));
    EXPECT_TRUE(Shown(2) && Shown(3));

    /* The row's tooltip holds the whole name that the column cuts. */
    keltest::SetCursorRow(programs, 2);
    GtkTooltip* tooltip = GTK_TOOLTIP(g_object_new(GTK_TYPE_TOOLTIP, NULL));
    gboolean told = FALSE;
    g_signal_emit_by_name(programs, "query-tooltip", 0, 0, TRUE, tooltip, &told);
    EXPECT_TRUE(told);
    g_object_unref(tooltip);
}

TEST_F(ShellSettingPrograms, EnterOnAProgramRowEditsItAndSpaceShowsOrHidesIt)
{
    Open();
    keltest::SetCursorRow(programs, 1); /* Calc, hidden */
    /* The focus on the "Show" cell, as a keyboard user reaches it. */
    GtkTreePath* path = gtk_tree_path_new_from_indices(1, -1);
    gtk_tree_view_set_cursor(programs, path, gtk_tree_view_get_column(programs, 0), FALSE);
    gtk_tree_path_free(path);
    gtk_widget_grab_focus(GTK_WIDGET(programs));
    keltest::PressKey(GTK_WIDGET(programs), GDK_Return);
    EXPECT_FALSE(Shown(1)) << "Enter must not toggle Show";
    AnswerDialog("Edit Application", NULL);
    keltest::PressKey(GTK_WIDGET(programs), GDK_space);
    EXPECT_TRUE(Shown(1));
    w.FetchTabNavData();
    EXPECT_TRUE(w.IsDataDirty());
    keltest::Click(keltest::FindAll(win, [](GtkWidget* b) {
        return GTK_IS_BUTTON(b) && g_strcmp0(gtk_button_get_label(GTK_BUTTON(b)), "-") == 0;
    })[1]);
    EXPECT_EQ((Names{"Writer"}), keltest::Names(programs, PROG_NAME));
}

TEST_F(ShellSettingPrograms, CategoryShownAgainDecodesNoIcon)
{
    std::vector<keltest::ProgramSpec> many;
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(keltest::WritePng(LibKELData::ICON_PATH + "s" + std::to_string(i) + ".png", 48, 0x102030ff + i));
    for (int i = 0; i < 250; ++i)
        many.push_back({"P" + std::to_string(i), "/usr/bin/p" + std::to_string(i),
                        i % 50 ? LibKELData::ICON_PATH + "s" + std::to_string(i % 8) + ".png" : "", 1});
    ASSERT_TRUE(keltest::WriteTabNavigation({{"Many", "", many}, {"Few", "", {}}}));
    CIconCache::Clear();
    unsigned before = CIconCache::DecodeCount();
    Open();
    EXPECT_EQ(9u, CIconCache::DecodeCount() - before) << "eight program icons and the default, once each";
    keltest::SetCursorRow(categories, 1);
    unsigned shown = CIconCache::DecodeCount();
    keltest::SetCursorRow(categories, 0);
    EXPECT_EQ(shown, CIconCache::DecodeCount());
}
