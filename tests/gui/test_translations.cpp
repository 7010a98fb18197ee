/* The windows in German: the built catalogues under the sandbox root, LANGUAGE=de and a German
 * locale; what the user reads, message boxes of both text domains, and the day buttons. */
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <set>
#include <string>

#include "CChangeIconDlg.h"
#include "CShellSettingCtrlForShellController.h"
#include "CShellSettingForAdminTool.h"
#include "KELDataTools.h"
#include "ScriptedIPC.h"
#include "shellsetting_fixture.h"

using namespace LibKELGUI;
using LibKELData::CKELDataTools;

typedef keltest::Exposed<CShellSettingForAdminTool> Admin;
typedef keltest::Exposed<CShellSettingCtrlForShellController> Teacher;

namespace {

/* Every text a widget tree shows: labels (button and column labels included) and tooltips. */
std::set<std::string> ShownTexts(GtkWidget* root)
{
    std::set<std::string> texts;
    keltest::FindAll(root, [&texts](GtkWidget* w) {
        if (GTK_IS_LABEL(w))
            texts.insert(gtk_label_get_text(GTK_LABEL(w)));
        if (gchar* tip = gtk_widget_get_tooltip_text(w)) {
            texts.insert(tip);
            g_free(tip);
        }
        return false;
    });
    return texts;
}

} // namespace

/* Each test runs in a process of its own, so the German environment set here is read by the
 * first lookup of the libraries and by nothing before it. */
class Translations : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!setlocale(LC_ALL, "de_DE.UTF-8"))
            GTEST_SKIP() << "de_DE.UTF-8 is not installed (scripts/install-deps.sh generates it)";
        keltest::CopySampleRoot();
        /* The catalogues just built, not the sample root's copies: those could be stale. */
        const std::string from = std::string(KEL_BINARY_DIR) + "/locale/de/LC_MESSAGES/";
        const std::string to = keltest::Root() + "/usr/share/locale/de/LC_MESSAGES/";
        ASSERT_TRUE(keltest::MakeDirs(to));
        for (const char* domain : {"libKELGUI", "libKELData"}) {
            bool ok = false;
            std::string mo = keltest::ReadFile(from + domain + ".mo", &ok);
            ASSERT_TRUE(ok && !mo.empty()) << from << domain << ".mo is missing: build the translations target";
            ASSERT_TRUE(keltest::WriteFile(to + domain + ".mo", mo));
        }
        setenv("LANGUAGE", "de", 1);
        setenv("LC_ALL", "de_DE.UTF-8", 1);
        setenv("LANG", "de_DE.UTF-8", 1);
        ASSERT_TRUE(setlocale(LC_ALL, ""));
        /* A host may have set a default domain of its own; the lookups must not depend on it. */
        textdomain("kel-demo-host");
    }
};

TEST_F(Translations, ShellSettingsWindowShowsNoEnglishText)
{
    Admin w;
    w.Init();
    GtkWidget* window = w.GetWindow();
    GtkNotebook* nb = GTK_NOTEBOOK(w.m_pNotebook);
    ASSERT_EQ(3, gtk_notebook_get_n_pages(nb));
    const char* tabs[] = {"Sperrzeiten", "Programmauswahl", "Systemeinstellungen"};
    for (int i = 0; i < 3; ++i)
        EXPECT_STREQ(tabs[i], gtk_notebook_get_tab_label_text(nb, gtk_notebook_get_nth_page(nb, i)));
    for (const char* label : {"OK", "Anwenden", "Abbrechen", "Zurücksetzen", "USB-Speicher sperren", "Mo", "So"})
        EXPECT_TRUE(keltest::FindButtonByLabel(window, label)) << label;
    /* The narrow edit buttons have a label of their own; their tooltip is the plain text. */
    EXPECT_TRUE(keltest::FindByTooltip(keltest::FindButtonByLabel(window, "✎"), "Bearbeiten"));
    /* The hour labels translate to themselves; the blank before the 8 stays. */
    EXPECT_TRUE(keltest::FindLabel(window, " 8"));

    /* A text shown as it stands although the catalogue has German for it bypassed the lookup. */
    for (const std::string& text : ShownTexts(window)) {
        if (text.empty()) /* "" would look up the catalogue's header */
            continue;
        EXPECT_EQ(text, Tr(text.c_str())) << "shown untranslated: \"" << text << "\"";
    }
}

TEST_F(Translations, WindowsAskAndReportAndTheCompanionLibraryValidatesInGerman)
{
    /* Regression: the administrator tool's and the console's save messages were shown in English. */
    keltest::ScriptedIPC ipc;
    ipc.saveResult = -1;
    ipc.saveError = IPCAPI::IPC_ERR_SAVE;
    {
        Admin w;
        w.Init();
        w.Show();
        keltest::SetActive(w.m_TimeGrid[2][10], !keltest::Active(w.m_TimeGrid[2][10]));
        keltest::MessageBoxAnswerer error(GTK_RESPONSE_OK);
        w.OnApply();
        keltest::Drain();
        EXPECT_EQ(0u, error.Text().find("Die Sperrzeiten konnten nicht gespeichert werden.\nDie Datei ")) << error.Text();
        EXPECT_EQ("Fehler", error.Title());
        keltest::MessageBoxAnswerer question(GTK_RESPONSE_NO);
        w.OnClose();
        keltest::Drain();
        EXPECT_EQ("Möchten Sie die Änderungen wirklich speichern?", question.Text());
    }
    {
        Teacher w;
        w.Init();
        w.Show();
        keltest::SetActive(w.m_TimeGrid[0][0], !keltest::Active(w.m_TimeGrid[0][0]));
        keltest::MessageBoxAnswerer question(GTK_RESPONSE_NO);
        w.OnClose();
        keltest::Drain();
        EXPECT_EQ("Die Einstellungen wurden geändert. Möchten Sie sie speichern?", question.Text());
    }

    std::string message;
    EXPECT_EQ(CKELDataTools::INPUT_TOO_LONG, CKELDataTools::IsInputValid(std::string(65, 'x'), message));
    /* The directive survives the translation and is filled in. */
    EXPECT_EQ("Der Name ist zu lang. Er darf höchstens 64 Zeichen haben.", message);
    /* The name-and-icon dialog shows the companion library's text in the GUI library's box. */
    CChangeIconDlg dlg(LibKELData::ICON_PATH, "", "Werkzeuge", Tr("Edit Category"));
    dlg.Init();
    dlg.Show();
    EXPECT_STREQ("Kategorie bearbeiten", gtk_window_get_title(GTK_WINDOW(dlg.GetWindow())));
    gtk_entry_set_text(GTK_ENTRY(keltest::FindByType(dlg.GetWindow(), GTK_TYPE_ENTRY, 0)), "   ");
    keltest::MessageBoxAnswerer box(GTK_RESPONSE_OK);
    keltest::Click(keltest::FindButtonByLabel(dlg.GetWindow(), "OK"));
    EXPECT_EQ("Bitte geben Sie einen Namen ein.", box.Text());
}

TEST_F(Translations, GermanDayButtonTogglesItsDay)
{
    Admin w;
    w.Init();
    w.Show();
    GtkWidget* wednesday = keltest::FindButtonByLabel(w.GetWindow(), "Mi");
    ASSERT_TRUE(wednesday);
    bool before[7][24];
    for (int d = 0; d < 7; ++d)
        for (int h = 0; h < 24; ++h)
            before[d][h] = keltest::Active(w.m_TimeGrid[d][h]);
    keltest::Click(wednesday);
    /* A free first hour locks the whole day, a locked one frees it; other days stay. */
    for (int d = 0; d < 7; ++d)
        for (int h = 0; h < 24; ++h)
            EXPECT_EQ(d == 2 ? !before[2][0] : before[d][h], keltest::Active(w.m_TimeGrid[d][h])) << d << " " << h;
    /* The lookup compares the translated names, so the English ones find nothing now. */
    EXPECT_EQ(6, w.CalculateDay("So"));
    EXPECT_EQ(-1, w.CalculateDay("Wed"));
}

TEST(TranslationsWithoutCatalogue, TextsStayEnglish)
{
    /* German asked for, but no catalogue under the sandbox root: English it stays. */
    if (!setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    setenv("LANGUAGE", "de", 1);
    EXPECT_STREQ("Edit", Tr("Edit"));
    EXPECT_STREQ("Edit", TrCtx("narrow button", "Edit"));
    EXPECT_STREQ("Unknown context", TrCtx("nowhere", "Unknown context"));
}
