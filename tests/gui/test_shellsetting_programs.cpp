/* The Program Registration page: categories (add, name, delete, edit, restore) and their
 * programs (add without duplicates, show or hide, delete, edit). */
#include <gtest/gtest.h>

#include <unistd.h>

#include <iterator>
#include <list>
#include <string>
#include <vector>

#include "CIconCache.h"
#include "shellsetting_fixture.h"

using keltest::CTestShellSetting;
using LibKELData::CApplicationInfo;
using LibKELGUI::CIconCache;

namespace {

enum { CAT_ICON = 0, CAT_NAME = 1, PROG_SHOW = 0, PROG_ICON = 1, PROG_NAME = 2 };

typedef std::vector<std::string> Names;

GdkPixbuf* RowPixbuf(GtkListStore* store, int row, int column)
{
    GtkTreeIter iter;
    GdkPixbuf* pixbuf = NULL;
    if (gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(store), &iter, NULL, row)) {
        gtk_tree_model_get(GTK_TREE_MODEL(store), &iter, column, &pixbuf, -1);
        if (pixbuf)
            g_object_unref(pixbuf); /* the store keeps its own */
    }
    return pixbuf;
}

bool RowShown(GtkListStore* store, int row)
{
    GtkTreeIter iter;
    gboolean shown = FALSE;
    if (gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(store), &iter, NULL, row))
        gtk_tree_model_get(GTK_TREE_MODEL(store), &iter, PROG_SHOW, &shown, -1);
    return shown;
}

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

    void Open(CTestShellSetting& w)
    {
        w.Init();
        w.Show();
        keltest::Drain();
    }
};

} // namespace

TEST_F(ShellSettingPrograms, NewCategoriesAreNamedInSequenceFillingGaps)
{
    struct Case {
        std::vector<std::string> existing;
        std::string expected;
    } const cases[] = {
        {{"New Category", "New Category(2)"}, "New Category(3)"},
        {{"New Category(2)"}, "New Category"},
        {{"New Category", "New Category(3)"}, "New Category(2)"},
    };
    for (const Case& c : cases) {
        std::vector<keltest::CategorySpec> specs;
        for (const std::string& name : c.existing)
            specs.push_back({name, "", {}});
        ASSERT_TRUE(keltest::WriteTabNavigation(specs));
        CTestShellSetting w;
        Open(w);
        keltest::Click(w.m_pAddCategoryBtn);
        Names want = c.existing;
        want.push_back(c.expected);
        EXPECT_EQ(want, keltest::CategoryNames(w.m_TabNavData));
    }
}

TEST_F(ShellSettingPrograms, AddedCategoryIsAppendedSelectedEmptyAndDeletedAgain)
{
    CTestShellSetting w;
    Open(w);
    keltest::SetCursorRow(w.m_pProgramView, 0);
    w.m_bTabNavDirty = false;
    keltest::Click(w.m_pAddCategoryBtn);
    EXPECT_EQ((Names{"Office", "Games", "Empty", "New Category"}), keltest::ColumnTexts(w.m_pCategoryStore, CAT_NAME));
    EXPECT_EQ((Names{"Office", "Games", "Empty", "New Category"}), keltest::CategoryNames(w.m_TabNavData));
    EXPECT_EQ(3, keltest::SelectedRow(w.m_pCategoryView));
    EXPECT_EQ(0, gtk_tree_model_iter_n_children(GTK_TREE_MODEL(w.m_pProgramStore), NULL));
    EXPECT_EQ(LibKELData::KEL_IMAGE_APP_DEFAULT_ICON, keltest::CategoryAt(w.m_TabNavData, 3)->GetCategoryIcon());
    EXPECT_EQ(DefaultIcon(), RowPixbuf(w.m_pCategoryStore, 3, CAT_ICON));
    EXPECT_TRUE(w.m_bTabNavDirty);
    EXPECT_TRUE(keltest::Sensitive(w.m_pDeleteCategoryBtn));
    EXPECT_TRUE(keltest::Sensitive(w.m_pAddProgramBtn));
    EXPECT_FALSE(keltest::Sensitive(w.m_pDeleteProgramBtn));

    /* Delete the first category while one of its programs is selected. */
    keltest::SetCursorRow(w.m_pCategoryView, 0);
    keltest::SetCursorRow(w.m_pProgramView, 1);
    w.m_bTabNavDirty = false;
    keltest::Click(w.m_pDeleteCategoryBtn);
    EXPECT_EQ((Names{"Games", "Empty", "New Category"}), keltest::CategoryNames(w.m_TabNavData));
    EXPECT_EQ((Names{"Games", "Empty", "New Category"}), keltest::ColumnTexts(w.m_pCategoryStore, CAT_NAME));
    EXPECT_EQ(0, gtk_tree_model_iter_n_children(GTK_TREE_MODEL(w.m_pProgramStore), NULL));
    EXPECT_EQ(-1, keltest::SelectedRow(w.m_pCategoryView));
    EXPECT_TRUE(w.m_bTabNavDirty);
    for (GtkWidget* b : {w.m_pDeleteCategoryBtn, w.m_pEditCategoryBtn, w.m_pAddProgramBtn, w.m_pDeleteProgramBtn,
                         w.m_pEditProgramBtn})
        EXPECT_FALSE(keltest::Sensitive(b));
    EXPECT_TRUE(keltest::Sensitive(w.m_pAddCategoryBtn));
    EXPECT_TRUE(keltest::Sensitive(w.m_pDefaultBtn));

    /* Delete without a selection: only the flag. */
    w.m_bTabNavDirty = false;
    keltest::Click(w.m_pDeleteCategoryBtn);
    EXPECT_EQ(3u, keltest::CategoryNames(w.m_TabNavData).size());
    EXPECT_TRUE(w.m_bTabNavDirty);
}

TEST_F(ShellSettingPrograms, PolicyWithoutCategoryListKeepsAnAddedCategory)
{
    CTestShellSetting w;
    Open(w);
    w.m_TabNavData.SetPCategoryInfoList(NULL);
    EXPECT_FALSE(w.ShowTabNavPolicy());
    EXPECT_EQ(0, gtk_tree_model_iter_n_children(GTK_TREE_MODEL(w.m_pCategoryStore), NULL));
    EXPECT_FALSE(keltest::Sensitive(w.m_pDeleteCategoryBtn));
    keltest::Click(w.m_pAddCategoryBtn);
    EXPECT_EQ(Names{"New Category"}, keltest::CategoryNames(w.m_TabNavData));
    ASSERT_EQ(0, w.m_TabNavData.Save2File(LibKELData::CONFIG_FILE_DIR + LibKELData::TAB_NAVIGATION));
    CTestShellSetting reopened;
    reopened.Init();
    EXPECT_EQ(Names{"New Category"}, keltest::ColumnTexts(reopened.m_pCategoryStore, CAT_NAME));
}

TEST_F(ShellSettingPrograms, CategoryEditRefusesAnotherCategorysName)
{
    CTestShellSetting w;
    Open(w);
    ASSERT_TRUE(keltest::WritePng(IconPath("new.png"), 48, 0x33cc33ff));

    /* Unchanged name, new icon: only the icon changes. */
    w.ApplyCategoryEdit("Office", IconPath("new.png"));
    EXPECT_EQ(IconPath("new.png"), keltest::CategoryAt(w.m_TabNavData, 0)->GetCategoryIcon());
    EXPECT_EQ("Office", keltest::CategoryAt(w.m_TabNavData, 0)->GetName());

    {
        keltest::MessageBoxAnswerer answer(GTK_RESPONSE_OK);
        w.ApplyCategoryEdit("Games", IconPath("office.png"));
        EXPECT_TRUE(answer.Answered());
        EXPECT_EQ("The specified category name already exists!", answer.Text());
        EXPECT_EQ(GTK_MESSAGE_ERROR, answer.Type());
        EXPECT_EQ(GTK_WINDOW(w.GetWindow()), answer.Parent());
    }
    EXPECT_EQ((Names{"Office", "Games", "Empty"}), keltest::CategoryNames(w.m_TabNavData));
    EXPECT_EQ(IconPath("new.png"), keltest::CategoryAt(w.m_TabNavData, 0)->GetCategoryIcon());

    w.ApplyCategoryEdit("Work", IconPath("new.png"));
    EXPECT_EQ((Names{"Work", "Games", "Empty"}), keltest::ColumnTexts(w.m_pCategoryStore, CAT_NAME));
    EXPECT_EQ("Work", w.m_CurCategoryName);

    EXPECT_EQ(-1, w.UpdateCategory("", IconPath("new.png")));

    /* Typing into the list follows the same rule. */
    {
        keltest::MessageBoxAnswerer answer(GTK_RESPONSE_OK);
        CTestShellSetting::GtkEditCategory(NULL, "1", "Work", &w);
        EXPECT_TRUE(answer.Answered());
    }
    EXPECT_EQ("Games", keltest::CategoryAt(w.m_TabNavData, 1)->GetName());
    CTestShellSetting::GtkEditCategory(NULL, "1", "Play", &w);
    EXPECT_EQ("Play", keltest::CategoryAt(w.m_TabNavData, 1)->GetName());
}

TEST_F(ShellSettingPrograms, RestoreAsksAndReplacesOnlyOnYes)
{
    ASSERT_TRUE(keltest::WriteDefaultConfig({
        {"Internet", "", {{"Browser", "/usr/bin/browser", "", 1}}},
        {"Tools", "", {}},
    }));
    CTestShellSetting w;
    Open(w);
    keltest::SetActive(w.m_TimeGrid[1][1], true);
    {
        keltest::MessageBoxAnswerer answer(GTK_RESPONSE_NO);
        keltest::Click(w.m_pDefaultBtn);
        EXPECT_EQ("Do you want to restore the default configuration?", answer.Text());
        EXPECT_EQ(GTK_MESSAGE_INFO, answer.Type());
    }
    EXPECT_EQ((Names{"Office", "Games", "Empty"}), keltest::CategoryNames(w.m_TabNavData));
    EXPECT_TRUE(w.m_bTabNavDirty);
    w.FetchTabNavData();
    EXPECT_FALSE(w.m_bTabNavDirty);

    {
        keltest::MessageBoxAnswerer answer(GTK_RESPONSE_YES);
        keltest::Click(w.m_pDefaultBtn);
        EXPECT_TRUE(answer.Answered());
    }
    EXPECT_EQ((Names{"Internet", "Tools"}), keltest::CategoryNames(w.m_TabNavData));
    EXPECT_EQ((Names{"Internet", "Tools"}), keltest::ColumnTexts(w.m_pCategoryStore, CAT_NAME));
    EXPECT_EQ(0, keltest::SelectedRow(w.m_pCategoryView));
    EXPECT_EQ(Names{"Browser"}, keltest::ColumnTexts(w.m_pProgramStore, PROG_NAME));
    EXPECT_TRUE(keltest::Sensitive(w.m_pAddProgramBtn));
    w.FetchTabNavData();
    EXPECT_TRUE(w.m_bTabNavDirty);
    /* Only categories and programs: the grid keeps its edit. */
    EXPECT_TRUE(keltest::Active(w.m_TimeGrid[1][1]));

    /* Without defaults the page keeps showing what the record holds. */
    ASSERT_EQ(0, unlink((LibKELData::CONFIG_FILE_DIR + LibKELData::DEFAULT_CONFIG).c_str()));
    {
        keltest::MessageBoxAnswerer answer(GTK_RESPONSE_YES);
        keltest::Click(w.m_pDefaultBtn);
    }
    EXPECT_EQ((Names{"Internet", "Tools"}), keltest::CategoryNames(w.m_TabNavData));
    EXPECT_EQ((Names{"Internet", "Tools"}), keltest::ColumnTexts(w.m_pCategoryStore, CAT_NAME));
}

TEST_F(ShellSettingPrograms, AddedProgramsSkipDuplicatesAndStartShown)
{
    CTestShellSetting w;
    Open(w);
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
        EXPECT_EQ(GTK_MESSAGE_INFO, answer.Type());
    }
    Names want = {"Writer", "Calc", "Draw", "Impress", "Base"};
    EXPECT_EQ(want, keltest::ColumnTexts(w.m_pProgramStore, PROG_NAME));
    EXPECT_EQ(want, keltest::ProgramNames(keltest::CategoryAt(w.m_TabNavData, 0)));
    EXPECT_TRUE(RowShown(w.m_pProgramStore, 3));
    EXPECT_TRUE(RowShown(w.m_pProgramStore, 4));
    EXPECT_EQ(1, keltest::CategoryAt(w.m_TabNavData, 0)->GetPApplicationInfoList()->back()->GetEnable());

    EXPECT_EQ(-1, w.AddPrograms({}));
    gtk_tree_selection_unselect_all(gtk_tree_view_get_selection(GTK_TREE_VIEW(w.m_pCategoryView)));
    EXPECT_EQ(-1, w.AddPrograms({CApplicationInfo("Math", "/usr/bin/math", "", 1)}));
    EXPECT_EQ(want, keltest::ProgramNames(keltest::CategoryAt(w.m_TabNavData, 0)));

    /* A category without a program list still takes them. */
    keltest::CategoryAt(w.m_TabNavData, 2)->SetPApplicationInfoList(NULL);
    keltest::SetCursorRow(w.m_pCategoryView, 2);
    EXPECT_EQ(0, w.AddPrograms({CApplicationInfo("Math", "/usr/bin/math", "", 1)}));
    EXPECT_EQ(Names{"Math"}, keltest::ProgramNames(keltest::CategoryAt(w.m_TabNavData, 2)));
    EXPECT_EQ(Names{"Math"}, keltest::ColumnTexts(w.m_pProgramStore, PROG_NAME));

    /* The add button opens the concrete window's search and marks the policy. */
    w.m_bTabNavDirty = false;
    keltest::Click(w.m_pAddProgramBtn);
    EXPECT_EQ(1, w.Count("OnAddProgram"));
    EXPECT_TRUE(w.m_bTabNavDirty);
}

TEST_F(ShellSettingPrograms, ShowToggleAndDeleteChangeTheRecord)
{
    CTestShellSetting w;
    Open(w);
    CApplicationInfo* calc = *std::next(keltest::CategoryAt(w.m_TabNavData, 0)->GetPApplicationInfoList()->begin());
    w.m_bTabNavDirty = false;
    CTestShellSetting::EnableDisableProgram(NULL, (gchar*)"1", &w);
    EXPECT_EQ(1, calc->GetEnable());
    EXPECT_TRUE(RowShown(w.m_pProgramStore, 1));
    CTestShellSetting::EnableDisableProgram(NULL, (gchar*)"1", &w);
    EXPECT_EQ(0, calc->GetEnable());
    EXPECT_FALSE(RowShown(w.m_pProgramStore, 1));
    EXPECT_TRUE(w.m_bTabNavDirty);

    /* No program selected: no change, but the flag. */
    w.m_bTabNavDirty = false;
    CTestShellSetting::GtkDeleteProgramBtnClicked(NULL, &w);
    EXPECT_EQ((Names{"Writer", "Calc", "Draw"}), keltest::ProgramNames(keltest::CategoryAt(w.m_TabNavData, 0)));
    EXPECT_TRUE(w.m_bTabNavDirty);

    keltest::SetCursorRow(w.m_pProgramView, 1);
    keltest::Click(w.m_pDeleteProgramBtn);
    EXPECT_EQ((Names{"Writer", "Draw"}), keltest::ProgramNames(keltest::CategoryAt(w.m_TabNavData, 0)));
    EXPECT_EQ((Names{"Writer", "Draw"}), keltest::ColumnTexts(w.m_pProgramStore, PROG_NAME));
    EXPECT_FALSE(keltest::Sensitive(w.m_pDeleteProgramBtn));
}

TEST_F(ShellSettingPrograms, ProgramEditRefusesANameOfItsOwnCategoryOnly)
{
    CTestShellSetting w;
    Open(w);
    keltest::SetCursorRow(w.m_pProgramView, 0);
    EXPECT_EQ("Writer", w.m_CurProgramName);
    {
        keltest::MessageBoxAnswerer answer(GTK_RESPONSE_OK);
        w.ApplyProgramEdit("Calc", IconPath("games.png"));
        EXPECT_TRUE(answer.Answered());
        EXPECT_EQ("The specified application name already exists!", answer.Text());
        EXPECT_EQ(GTK_MESSAGE_ERROR, answer.Type());
    }
    EXPECT_EQ((Names{"Writer", "Calc", "Draw"}), keltest::ProgramNames(keltest::CategoryAt(w.m_TabNavData, 0)));

    /* A name of the Games category is fine here; path and flag stay. */
    w.ApplyProgramEdit("Chess", IconPath("games.png"));
    CApplicationInfo* edited = keltest::CategoryAt(w.m_TabNavData, 0)->GetPApplicationInfoList()->front();
    EXPECT_EQ("Chess", edited->GetName());
    EXPECT_EQ(IconPath("games.png"), edited->GetCustomIcon());
    EXPECT_EQ("/usr/bin/writer", edited->GetPath());
    EXPECT_EQ(1, edited->GetEnable());
    EXPECT_EQ("Chess", keltest::ColumnTexts(w.m_pProgramStore, PROG_NAME)[0]);
    EXPECT_EQ("Chess", w.m_CurProgramName);

    /* Same name, an icon that cannot be loaded: stored, shown as the default icon. */
    w.ApplyProgramEdit("Chess", IconPath("gone.png"));
    EXPECT_EQ(IconPath("gone.png"), edited->GetCustomIcon());
    EXPECT_EQ(DefaultIcon(), RowPixbuf(w.m_pProgramStore, 0, PROG_ICON));

    EXPECT_EQ(-1, w.UpdateApplication("", IconPath("games.png")));

    /* Another category empties the list; delete and edit wait for a program. */
    keltest::SetCursorRow(w.m_pCategoryView, 1);
    EXPECT_EQ(Names{"Chess"}, keltest::ColumnTexts(w.m_pProgramStore, PROG_NAME));
    EXPECT_FALSE(keltest::Sensitive(w.m_pEditProgramBtn));
    EXPECT_EQ(-1, w.UpdateApplication("Checkers", ""));
    keltest::SetCursorRow(w.m_pProgramView, 0);
    EXPECT_TRUE(keltest::Sensitive(w.m_pEditProgramBtn));
}

TEST_F(ShellSettingPrograms, CategoryShownAgainDecodesNoIcon)
{
    std::vector<keltest::ProgramSpec> many;
    for (int i = 0; i < 250; ++i) {
        std::string icon = IconPath("shared" + std::to_string(i % 8) + ".png");
        if (i < 8) {
            ASSERT_TRUE(keltest::WritePng(icon, 48, 0x102030ff + (i << 8)));
        }
        many.push_back({"Program " + std::to_string(i), "/usr/bin/p" + std::to_string(i), i % 50 ? icon : "", 1});
    }
    ASSERT_TRUE(keltest::WriteTabNavigation({{"Many", "", many}, {"Few", "", {}}}));
    CIconCache::Clear();
    unsigned before = CIconCache::DecodeCount();
    CTestShellSetting w;
    Open(w);
    EXPECT_EQ(250, gtk_tree_model_iter_n_children(GTK_TREE_MODEL(w.m_pProgramStore), NULL));
    /* Eight program icons and the default icon, each decoded once. */
    EXPECT_EQ(9u, CIconCache::DecodeCount() - before);
    keltest::SetCursorRow(w.m_pCategoryView, 1);
    unsigned shown = CIconCache::DecodeCount();
    keltest::SetCursorRow(w.m_pCategoryView, 0);
    EXPECT_EQ(250, gtk_tree_model_iter_n_children(GTK_TREE_MODEL(w.m_pProgramStore), NULL));
    EXPECT_EQ(shown, CIconCache::DecodeCount());
    EXPECT_TRUE(gtk_tree_view_get_fixed_height_mode(GTK_TREE_VIEW(w.m_pProgramView)));
}

TEST_F(ShellSettingPrograms, EditDialogAnswersReachTheRecord)
{
    CTestShellSetting w;
    Open(w);
    auto answerDialog = [](const std::string& title, const char* name) {
        std::vector<GtkWindow*> dialogs = keltest::ToplevelsWithTitle(title);
        ASSERT_EQ(1u, dialogs.size());
        GtkWidget* dialog = GTK_WIDGET(dialogs[0]);
        gtk_entry_set_text(GTK_ENTRY(keltest::FindByType(dialog, GTK_TYPE_ENTRY, 0)), name);
        keltest::Click(keltest::FindButtonByLabel(dialog, "OK"));
        EXPECT_TRUE(keltest::ToplevelsWithTitle(title).empty());
    };

    /* Calc has no icon of its own: renamed, it still has none (no placeholder text stored). */
    keltest::SetCursorRow(w.m_pProgramView, 1);
    keltest::Click(w.m_pEditProgramBtn);
    answerDialog("Edit Application", "Spreadsheet");
    CApplicationInfo* calc = *std::next(keltest::CategoryAt(w.m_TabNavData, 0)->GetPApplicationInfoList()->begin());
    EXPECT_EQ("Spreadsheet", calc->GetName());
    EXPECT_EQ("", calc->GetCustomIcon());
    EXPECT_EQ("Spreadsheet", keltest::ColumnTexts(w.m_pProgramStore, PROG_NAME)[1]);
    EXPECT_EQ(DefaultIcon(), RowPixbuf(w.m_pProgramStore, 1, PROG_ICON));

    /* Categories: the "Empty" category has no icon either. */
    keltest::SetCursorRow(w.m_pCategoryView, 2);
    w.m_bTabNavDirty = false;
    keltest::Click(w.m_pEditCategoryBtn);
    EXPECT_TRUE(w.m_bTabNavDirty);
    answerDialog("Edit Category", "Projects");
    EXPECT_EQ("Projects", keltest::CategoryAt(w.m_TabNavData, 2)->GetName());
    EXPECT_EQ("", keltest::CategoryAt(w.m_TabNavData, 2)->GetCategoryIcon());
    EXPECT_EQ("Projects", keltest::ColumnTexts(w.m_pCategoryStore, CAT_NAME)[2]);

    /* Cancel changes nothing; a row activation opens the dialog as the button does. */
    CTestShellSetting::GtkOnCategoryTreeRowActivated(NULL, NULL, NULL, &w);
    std::vector<GtkWindow*> dialogs = keltest::ToplevelsWithTitle("Edit Category");
    ASSERT_EQ(1u, dialogs.size());
    keltest::Click(keltest::FindButtonByLabel(GTK_WIDGET(dialogs[0]), "Cancel"));
    EXPECT_EQ("Projects", keltest::CategoryAt(w.m_TabNavData, 2)->GetName());
}
