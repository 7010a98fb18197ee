/* The Program Registration page: categories (add, name, delete, edit, restore) and their
 * programs (add without duplicates, show or hide, delete, edit), and their icons. */
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <list>
#include <string>
#include <vector>

#include "CCategoryNaming.h"
#include "CIconCache.h"
#include "shellsetting_fixture.h"

using keltest::CTestShellSetting;
using keltest::CategoryAt;
using LibKELData::CApplicationInfo;
using LibKELGUI::CIconCache;

namespace {

enum { CAT_ICON = 0, CAT_NAME = 1, PROG_SHOW = 0, PROG_ICON = 1, PROG_NAME = 2 };
typedef std::vector<std::string> Names;

/* The cache hands out one pixbuf per file and size: the default icon's identity. */
GdkPixbuf* DefaultIcon()
{
    GdkPixbuf* pixbuf = CIconCache::LoadAtSize(LibKELData::KEL_IMAGE_APP_DEFAULT_ICON, 32);
    if (pixbuf)
        g_object_unref(pixbuf);
    return pixbuf;
}

std::string IconPath(const std::string& name)
{
    return LibKELData::ICON_PATH + name;
}

CApplicationInfo* ProgramAt(const CTestShellSetting& w, size_t category, size_t n)
{
    return *std::next(CategoryAt(w.m_TabNavData, category)->GetPApplicationInfoList()->begin(), n);
}

class ShellSettingPrograms : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(keltest::WritePng(LibKELData::KEL_IMAGE_APP_DEFAULT_ICON, 32, 0x999999ff));
        ASSERT_TRUE(keltest::WritePng(IconPath("office.png"), 48, 0x3366ccff));
        ASSERT_TRUE(keltest::WritePng(IconPath("games.png"), 48, 0xcc3333ff));
        ASSERT_TRUE(keltest::WriteTabNavigation({
            {"Office",
             IconPath("office.png"),
             {{"Writer", "/usr/bin/writer", IconPath("office.png"), 1},
              {"Calc", "/usr/bin/calc", "", 0},
              {"Draw", "/usr/bin/draw", IconPath("missing.png"), 1}}},
            {"Games", IconPath("games.png"), {{"Chess", "/usr/games/chess", IconPath("games.png"), 1}}},
            {"Empty", "", {}},
        }));
    }
    void Open()
    {
        w.Init();
        w.Show();
        keltest::Drain();
    }
    CTestShellSetting w;
};

/* Answers the one open name-and-icon dialog with a name. */
void AnswerDialog(const std::string& title, const char* name)
{
    std::vector<GtkWindow*> dialogs = keltest::ToplevelsWithTitle(title);
    ASSERT_EQ(1u, dialogs.size());
    GtkWidget* dialog = GTK_WIDGET(dialogs[0]);
    if (name)
        gtk_entry_set_text(GTK_ENTRY(keltest::FindByType(dialog, GTK_TYPE_ENTRY, 0)), name);
    keltest::Click(keltest::FindButtonByLabel(dialog, name ? "OK" : "Cancel"));
    EXPECT_TRUE(keltest::ToplevelsWithTitle(title).empty());
}

} // namespace

TEST_F(ShellSettingPrograms, NewCategoriesAreNamedInSequenceFillingGaps)
{
    struct Case {
        Names existing;
        std::string expected;
    } const cases[] = {
        {{"New Category", "New Category(2)"}, "New Category(3)"},
        {{"New Category(2)"}, "New Category"},
        {{"New Category", "New Category(3)"}, "New Category(2)"},
        {{"New Category", "New Category(2)", "New Category(4)"}, "New Category(3)"},
    };
    for (const Case& c : cases) {
        std::vector<keltest::CategorySpec> specs;
        for (const std::string& name : c.existing)
            specs.push_back({name, "", {}});
        ASSERT_TRUE(keltest::WriteTabNavigation(specs));
        CTestShellSetting win;
        win.Init();
        keltest::Click(win.m_pAddCategoryBtn);
        Names want = c.existing;
        want.push_back(c.expected);
        EXPECT_EQ(want, keltest::CategoryNames(win.m_TabNavData));
    }
}

TEST_F(ShellSettingPrograms, CategoryAddDeleteAndEditFollowTheSelection)
{
    Open();
    keltest::SetCursorRow(w.m_pProgramView, 0);
    w.m_bTabNavDirty = false;
    keltest::Click(w.m_pAddCategoryBtn);
    Names four = {"Office", "Games", "Empty", "New Category"};
    EXPECT_EQ(four, keltest::ColumnTexts(w.m_pCategoryStore, CAT_NAME));
    EXPECT_EQ(four, keltest::CategoryNames(w.m_TabNavData));
    EXPECT_EQ(3, keltest::SelectedRow(w.m_pCategoryView));
    EXPECT_TRUE(keltest::ColumnTexts(w.m_pProgramStore, PROG_NAME).empty());
    EXPECT_EQ(DefaultIcon(), keltest::CellAt<GdkPixbuf*>(w.m_pCategoryStore, 3, CAT_ICON));
    EXPECT_TRUE(w.m_bTabNavDirty);
    EXPECT_TRUE(keltest::Sensitive(w.m_pAddProgramBtn));
    EXPECT_FALSE(keltest::Sensitive(w.m_pDeleteProgramBtn));

    /* Delete the first category while one of its programs is selected: nothing stays selected. */
    keltest::SetCursorRow(w.m_pCategoryView, 0);
    keltest::SetCursorRow(w.m_pProgramView, 1);
    keltest::Click(w.m_pDeleteCategoryBtn);
    Names three = {"Games", "Empty", "New Category"};
    EXPECT_EQ(three, keltest::CategoryNames(w.m_TabNavData));
    EXPECT_EQ(three, keltest::ColumnTexts(w.m_pCategoryStore, CAT_NAME));
    EXPECT_TRUE(keltest::ColumnTexts(w.m_pProgramStore, PROG_NAME).empty());
    EXPECT_EQ(-1, keltest::SelectedRow(w.m_pCategoryView));
    for (GtkWidget* b : {w.m_pDeleteCategoryBtn, w.m_pEditCategoryBtn, w.m_pAddProgramBtn, w.m_pDeleteProgramBtn})
        EXPECT_FALSE(keltest::Sensitive(b));
    w.m_bTabNavDirty = false;
    keltest::Click(w.m_pDeleteCategoryBtn); /* without a selection: only the flag */
    EXPECT_EQ(three, keltest::CategoryNames(w.m_TabNavData));
    EXPECT_TRUE(w.m_bTabNavDirty);

    /* Edit: a new icon under the same name; another category's name refused, in the list too. */
    keltest::SetCursorRow(w.m_pCategoryView, 0);
    w.ApplyCategoryEdit("Games", IconPath("office.png"));
    EXPECT_EQ(IconPath("office.png"), CategoryAt(w.m_TabNavData, 0)->GetCategoryIcon());
    for (int viaList = 0; viaList <= 1; ++viaList) {
        keltest::MessageBoxAnswerer answer(GTK_RESPONSE_OK);
        if (viaList)
            CTestShellSetting::GtkEditCategory(NULL, "0", "Empty", &w);
        else
            w.ApplyCategoryEdit("Empty", IconPath("games.png"));
        EXPECT_EQ("The specified category name already exists!", answer.Text());
        EXPECT_EQ(GTK_MESSAGE_ERROR, answer.Type());
        EXPECT_EQ(GTK_WINDOW(w.GetWindow()), answer.Parent());
    }
    EXPECT_EQ(three, keltest::CategoryNames(w.m_TabNavData));
    EXPECT_EQ(IconPath("office.png"), CategoryAt(w.m_TabNavData, 0)->GetCategoryIcon());
    w.ApplyCategoryEdit("Play", IconPath("games.png"));
    EXPECT_EQ((Names{"Play", "Empty", "New Category"}), keltest::ColumnTexts(w.m_pCategoryStore, CAT_NAME));
    EXPECT_EQ("Play", w.m_CurCategoryName);
    EXPECT_EQ(-1, w.UpdateCategory("", IconPath("games.png")));
    CTestShellSetting::GtkEditCategory(NULL, "1", "Spare", &w);
    EXPECT_EQ("Spare", CategoryAt(w.m_TabNavData, 1)->GetName());

    /* A record without a category list still takes a new category, and keeps it. */
    w.m_TabNavData.SetPCategoryInfoList(NULL);
    EXPECT_FALSE(w.ShowTabNavPolicy());
    keltest::Click(w.m_pAddCategoryBtn);
    ASSERT_EQ(0, w.m_TabNavData.Save2File(LibKELData::CONFIG_FILE_DIR + LibKELData::TAB_NAVIGATION));
    CTestShellSetting reopened;
    reopened.Init();
    EXPECT_EQ(Names{"New Category"}, keltest::ColumnTexts(reopened.m_pCategoryStore, CAT_NAME));
}

TEST_F(ShellSettingPrograms, RestoreAsksAndReplacesOnlyOnYes)
{
    ASSERT_TRUE(keltest::WriteTabNavigation(
        {{"Internet", "", {{"Browser", "/usr/bin/browser", "", 1}}}, {"Tools", "", {}}}, true));
    Open();
    keltest::SetActive(w.m_TimeGrid[1][1], true);
    {
        keltest::MessageBoxAnswerer answer(GTK_RESPONSE_NO);
        keltest::Click(w.m_pDefaultBtn);
        EXPECT_EQ("Do you want to restore the default configuration?", answer.Text());
    }
    EXPECT_EQ((Names{"Office", "Games", "Empty"}), keltest::CategoryNames(w.m_TabNavData));
    w.FetchTabNavData();
    EXPECT_FALSE(w.m_bTabNavDirty);

    auto restore = [this] {
        keltest::MessageBoxAnswerer answer(GTK_RESPONSE_YES);
        keltest::Click(w.m_pDefaultBtn);
        EXPECT_TRUE(answer.Answered());
        EXPECT_EQ((Names{"Internet", "Tools"}), keltest::CategoryNames(w.m_TabNavData));
        EXPECT_EQ((Names{"Internet", "Tools"}), keltest::ColumnTexts(w.m_pCategoryStore, CAT_NAME));
    };
    restore();
    EXPECT_EQ(0, keltest::SelectedRow(w.m_pCategoryView));
    EXPECT_EQ(Names{"Browser"}, keltest::ColumnTexts(w.m_pProgramStore, PROG_NAME));
    EXPECT_TRUE(keltest::Sensitive(w.m_pAddProgramBtn));
    w.FetchTabNavData();
    EXPECT_TRUE(w.m_bTabNavDirty);
    /* Without defaults the page keeps showing what the record holds. */
    ASSERT_EQ(0, unlink((LibKELData::CONFIG_FILE_DIR + LibKELData::DEFAULT_CONFIG).c_str()));
    restore();
    EXPECT_TRUE(keltest::Active(w.m_TimeGrid[1][1])) << "restoring touches categories and programs only";
}

TEST_F(ShellSettingPrograms, AddedProgramsSkipDuplicatesAndStartShown)
{
    Open();
    std::list<CApplicationInfo> chosen = {
        CApplicationInfo("Impress", "/usr/bin/impress", IconPath("office.png"), 0),
        CApplicationInfo("Calc", "/usr/bin/calc", "", 1), /* already there */
        CApplicationInfo("Base", "/usr/bin/base", "", 0),
        CApplicationInfo("Impress", "/usr/bin/impress", "", 1), /* twice in one call */
    };
    {
        keltest::MessageBoxAnswerer answer(GTK_RESPONSE_OK);
        answer.AnswerAll(true);
        EXPECT_EQ(0, w.AddPrograms(chosen));
        keltest::Drain();
        EXPECT_EQ(1, answer.Count());
        EXPECT_EQ("The same applications have been filtered!", answer.Text());
    }
    Names want = {"Writer", "Calc", "Draw", "Impress", "Base"};
    EXPECT_EQ(want, keltest::ColumnTexts(w.m_pProgramStore, PROG_NAME));
    EXPECT_EQ(want, keltest::ProgramNames(CategoryAt(w.m_TabNavData, 0)));
    EXPECT_TRUE(keltest::CellAt<gboolean>(w.m_pProgramStore, 3, PROG_SHOW) &&
                keltest::CellAt<gboolean>(w.m_pProgramStore, 4, PROG_SHOW));
    EXPECT_EQ(1, ProgramAt(w, 0, 4)->GetEnable());

    EXPECT_EQ(-1, w.AddPrograms({}));
    gtk_tree_selection_unselect_all(gtk_tree_view_get_selection(GTK_TREE_VIEW(w.m_pCategoryView)));
    EXPECT_EQ(-1, w.AddPrograms({CApplicationInfo("Math", "/usr/bin/math", "", 1)}));
    EXPECT_EQ(want, keltest::ProgramNames(CategoryAt(w.m_TabNavData, 0)));

    /* A category without a program list still takes them. */
    CategoryAt(w.m_TabNavData, 2)->SetPApplicationInfoList(NULL);
    keltest::SetCursorRow(w.m_pCategoryView, 2);
    EXPECT_EQ(0, w.AddPrograms({CApplicationInfo("Math", "/usr/bin/math", "", 1)}));
    EXPECT_EQ(Names{"Math"}, keltest::ProgramNames(CategoryAt(w.m_TabNavData, 2)));
    EXPECT_EQ(Names{"Math"}, keltest::ColumnTexts(w.m_pProgramStore, PROG_NAME));

    /* The add button opens the concrete window's search and marks the policy. */
    w.m_bTabNavDirty = false;
    keltest::Click(w.m_pAddProgramBtn);
    EXPECT_EQ(1, std::count(w.calls.begin(), w.calls.end(), "OnAddProgram"));
    EXPECT_TRUE(w.m_bTabNavDirty);
}

TEST_F(ShellSettingPrograms, ShowToggleAndDeleteChangeTheRecord)
{
    Open();
    CApplicationInfo* calc = ProgramAt(w, 0, 1);
    for (int enable : {1, 0}) {
        CTestShellSetting::EnableDisableProgram(NULL, (gchar*)"1", &w);
        EXPECT_EQ(enable, calc->GetEnable());
        EXPECT_EQ(enable, keltest::CellAt<gboolean>(w.m_pProgramStore, 1, PROG_SHOW));
    }
    EXPECT_TRUE(w.m_bTabNavDirty);

    w.m_bTabNavDirty = false;
    CTestShellSetting::GtkDeleteProgramBtnClicked(NULL, &w); /* none selected: only the flag */
    EXPECT_EQ((Names{"Writer", "Calc", "Draw"}), keltest::ProgramNames(CategoryAt(w.m_TabNavData, 0)));
    EXPECT_TRUE(w.m_bTabNavDirty);
    keltest::SetCursorRow(w.m_pProgramView, 1);
    keltest::Click(w.m_pDeleteProgramBtn);
    EXPECT_EQ((Names{"Writer", "Draw"}), keltest::ProgramNames(CategoryAt(w.m_TabNavData, 0)));
    EXPECT_EQ((Names{"Writer", "Draw"}), keltest::ColumnTexts(w.m_pProgramStore, PROG_NAME));
    EXPECT_FALSE(keltest::Sensitive(w.m_pDeleteProgramBtn));
}

TEST_F(ShellSettingPrograms, ProgramEditRefusesANameOfItsOwnCategoryOnly)
{
    Open();
    keltest::SetCursorRow(w.m_pProgramView, 0);
    {
        keltest::MessageBoxAnswerer answer(GTK_RESPONSE_OK);
        w.ApplyProgramEdit("Calc", IconPath("games.png"));
        EXPECT_EQ("The specified application name already exists!", answer.Text());
        EXPECT_EQ(GTK_MESSAGE_ERROR, answer.Type());
    }
    EXPECT_EQ((Names{"Writer", "Calc", "Draw"}), keltest::ProgramNames(CategoryAt(w.m_TabNavData, 0)));

    /* A name of the Games category is fine here; path and flag stay. */
    w.ApplyProgramEdit("Chess", IconPath("games.png"));
    CApplicationInfo* edited = ProgramAt(w, 0, 0);
    EXPECT_EQ("Chess", edited->GetName());
    EXPECT_EQ(IconPath("games.png"), edited->GetCustomIcon());
    EXPECT_EQ("/usr/bin/writer", edited->GetPath());
    EXPECT_EQ(1, edited->GetEnable());
    EXPECT_EQ("Chess", keltest::ColumnTexts(w.m_pProgramStore, PROG_NAME)[0]);
    EXPECT_EQ("Chess", w.m_CurProgramName);

    /* Same name, an icon that cannot be loaded: stored, shown as the default icon. */
    w.ApplyProgramEdit("Chess", IconPath("gone.png"));
    EXPECT_EQ(IconPath("gone.png"), edited->GetCustomIcon());
    EXPECT_EQ(DefaultIcon(), keltest::CellAt<GdkPixbuf*>(w.m_pProgramStore, 0, PROG_ICON));
    EXPECT_EQ(-1, w.UpdateApplication("", IconPath("games.png")));

    /* Another category: no program selected, so nothing to edit. */
    keltest::SetCursorRow(w.m_pCategoryView, 1);
    EXPECT_FALSE(keltest::Sensitive(w.m_pEditProgramBtn));
    EXPECT_EQ(-1, w.UpdateApplication("Checkers", ""));
}

TEST_F(ShellSettingPrograms, EditDialogWithoutAChosenIconKeepsTheItemsOwnIconPath)
{
    Open();
    /* Calc has no icon of its own: renamed, it still has none (no placeholder text stored). */
    keltest::SetCursorRow(w.m_pProgramView, 1);
    keltest::Click(w.m_pEditProgramBtn);
    AnswerDialog("Edit Application", "Spreadsheet");
    EXPECT_EQ("Spreadsheet", ProgramAt(w, 0, 1)->GetName());
    EXPECT_EQ("", ProgramAt(w, 0, 1)->GetCustomIcon());
    EXPECT_EQ(DefaultIcon(), keltest::CellAt<GdkPixbuf*>(w.m_pProgramStore, 1, PROG_ICON));

    keltest::SetCursorRow(w.m_pCategoryView, 2);
    keltest::Click(w.m_pEditCategoryBtn);
    AnswerDialog("Edit Category", "Projects");
    EXPECT_EQ("Projects", CategoryAt(w.m_TabNavData, 2)->GetName());
    EXPECT_EQ("", CategoryAt(w.m_TabNavData, 2)->GetCategoryIcon());
    EXPECT_EQ("Projects", keltest::ColumnTexts(w.m_pCategoryStore, CAT_NAME)[2]);

    /* A row activation opens the dialog as the button does; Cancel changes nothing. */
    CTestShellSetting::GtkOnCategoryTreeRowActivated(NULL, NULL, NULL, &w);
    AnswerDialog("Edit Category", NULL);
    EXPECT_EQ("Projects", CategoryAt(w.m_TabNavData, 2)->GetName());
}

TEST_F(ShellSettingPrograms, CategoryShownAgainDecodesNoIcon)
{
    std::vector<keltest::ProgramSpec> many;
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(keltest::WritePng(IconPath("shared" + std::to_string(i) + ".png"), 48, 0x102030ff + (i << 8)));
    for (int i = 0; i < 250; ++i) {
        std::string icon = IconPath("shared" + std::to_string(i % 8) + ".png");
        many.push_back({"Program " + std::to_string(i), "/usr/bin/p" + std::to_string(i), i % 50 ? icon : "", 1});
    }
    ASSERT_TRUE(keltest::WriteTabNavigation({{"Many", "", many}, {"Few", "", {}}}));
    CIconCache::Clear();
    unsigned before = CIconCache::DecodeCount();
    Open();
    EXPECT_EQ(250u, keltest::ColumnTexts(w.m_pProgramStore, PROG_NAME).size());
    EXPECT_EQ(9u, CIconCache::DecodeCount() - before) << "eight program icons and the default, once each";
    keltest::SetCursorRow(w.m_pCategoryView, 1);
    unsigned shown = CIconCache::DecodeCount();
    keltest::SetCursorRow(w.m_pCategoryView, 0);
    EXPECT_EQ(shown, CIconCache::DecodeCount());
}

TEST_F(ShellSettingPrograms, NewCategoryNamingEndsEvenWhenEveryAnswerIsOdd)
{
    /* An answer that is neither 0 nor 1 counts as taken; a faulty answerer cannot keep the
     * naming going for ever. */
    int asked = 0;
    auto odd = [&asked](const std::string&) { return ++asked, -1; };
    EXPECT_EQ("New Category(6)", LibKELGUI::CCategoryNaming::Build("New Category", odd, 5));
    EXPECT_EQ(5, asked);
}
