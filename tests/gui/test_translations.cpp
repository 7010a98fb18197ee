/* The windows in German: the built catalogues under the sandbox root, LANGUAGE=de and a German
 * locale; what the user reads, message boxes of both text domains, and the day buttons. */
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <set>
#include <string>

#include "CChangeIconDlg.h"
#include "CMessageBox.h"
#include "CShellSettingCtrlForShellController.h"
#include "CShellSettingForAdminTool.h"
#include "KELConstants.h"
#include "KELDataTools.h"
#include "KelTest.h"
#include "ScriptedIPC.h"

using namespace LibKELGUI;
using LibKELData::CKELDataTools;

namespace {

/* Opens the protected widgets of a concrete window to the tests. */
template <class Base> class Open : public Base {
public:
    GtkWidget* Notebook() { return this->m_pNotebook; }
    GtkWidget* Hour(int day, int hour) { return this->m_TimeGrid[day][hour]; }
};
typedef Open<CShellSettingForAdminTool> Admin;
typedef Open<CShellSettingCtrlForShellController> Teacher;

bool Active(GtkWidget* w)
{
    return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w));
}

void Flip(GtkWidget* w)
{
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), !Active(w));
}

std::string TabText(GtkWidget* notebook, int page)
{
    GtkNotebook* nb = GTK_NOTEBOOK(notebook);
    const gchar* text = gtk_notebook_get_tab_label_text(nb, gtk_notebook_get_nth_page(nb, page));
    return text ? text : "";
}

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
    ASSERT_TRUE(window);

    EXPECT_STREQ("Einstellungen der Schüleroberfläche", gtk_window_get_title(GTK_WINDOW(window)));
    ASSERT_EQ(3, gtk_notebook_get_n_pages(GTK_NOTEBOOK(w.Notebook())));
    EXPECT_EQ("Sperrzeiten", TabText(w.Notebook(), 0));
    EXPECT_EQ("Programmauswahl", TabText(w.Notebook(), 1));
    EXPECT_EQ("Systemeinstellungen", TabText(w.Notebook(), 2));
    for (const char* label : {"OK", "Anwenden", "Abbrechen", "Zurücksetzen", "USB-Speicher sperren", "Mo", "So"})
        EXPECT_TRUE(keltest::FindButtonByLabel(window, label)) << label;
    /* The narrow edit buttons have a label of their own; their tooltip is the plain text. */
    GtkWidget* edit = keltest::FindButtonByLabel(window, "✎");
    ASSERT_TRUE(edit);
    gchar* tip = gtk_widget_get_tooltip_text(edit);
    EXPECT_STREQ("Bearbeiten", tip);
    g_free(tip);
    for (const char* label : {"Daxwyn automatisch sperren", "Gesperrt", "Frei", "Kategorie", "Programmname"})
        EXPECT_TRUE(keltest::FindLabel(window, label)) << label;
    /* The hour labels translate to themselves; the blank before the 8 stays. */
    EXPECT_TRUE(keltest::FindLabel(window, " 8"));
    EXPECT_TRUE(keltest::FindLabel(window, "22"));

    /* A text shown as it stands although the catalogue has German for it bypassed the lookup. */
    for (const std::string& text : ShownTexts(window)) {
        if (text.empty()) /* "" would look up the catalogue's header */
            continue;
        EXPECT_EQ(text, Tr(text.c_str())) << "shown untranslated: \"" << text << "\"";
    }
}

TEST_F(Translations, ConcreteWindowsAskAndReportInGerman)
{
    /* Regression: the administrator tool's and the console's save messages were shown in English. */
    keltest::ScriptedIPC ipc;
    ipc.saveResult = -1;
    ipc.saveError = IPCAPI::IPC_ERR_SAVE;
    {
        Admin w;
        w.Init();
        w.Show();
        Flip(w.Hour(2, 10));
        keltest::MessageBoxAnswerer error(GTK_RESPONSE_OK);
        w.OnApply();
        keltest::Drain();
        ASSERT_TRUE(error.Answered());
        EXPECT_EQ("Die Sperrzeiten konnten nicht gespeichert werden.", error.Text());
        EXPECT_EQ("Fehler", error.Title());

        keltest::MessageBoxAnswerer question(GTK_RESPONSE_NO);
        w.OnClose();
        keltest::Drain();
        ASSERT_TRUE(question.Answered());
        EXPECT_EQ("Möchten Sie die Änderungen wirklich speichern?", question.Text());
    }
    {
        Teacher w;
        w.Init();
        w.Show();
        Flip(w.Hour(0, 0));
        keltest::MessageBoxAnswerer question(GTK_RESPONSE_NO);
        w.OnClose();
        keltest::Drain();
        ASSERT_TRUE(question.Answered());
        EXPECT_EQ("Die Einstellungen wurden geändert. Möchten Sie sie speichern?", question.Text());
    }
    keltest::MessageBoxAnswerer warning(GTK_RESPONSE_OK);
    CMessageBox::Show("50 % done", NULL, GTK_MESSAGE_WARNING, GTK_BUTTONS_OK, GTK_DIALOG_MODAL, "");
    EXPECT_EQ("Warnung", warning.Title());
}

TEST_F(Translations, CompanionLibraryValidatesInGerman)
{
    std::string message;
    EXPECT_EQ(CKELDataTools::INPUT_TOO_LONG, CKELDataTools::IsInputValid(std::string(65, 'x'), message));
    /* The directive survives the translation and is filled in. */
    EXPECT_EQ("Der Name ist zu lang. Er darf höchstens 64 Zeichen haben.", message);
    EXPECT_EQ(CKELDataTools::INPUT_FORBIDDEN_CHAR, CKELDataTools::IsInputValid("a/b", message));
    EXPECT_EQ("Der Name darf keines dieser Zeichen enthalten: / \\ < >", message);

    /* The name-and-icon dialog shows the companion library's text in the GUI library's box. */
    CChangeIconDlg dlg(LibKELData::ICON_PATH, "", "Werkzeuge", Tr("Edit Category"));
    dlg.Init();
    dlg.Show();
    GtkWidget* window = dlg.GetWindow();
    ASSERT_TRUE(window);
    EXPECT_STREQ("Kategorie bearbeiten", gtk_window_get_title(GTK_WINDOW(window)));
    GtkWidget* entry = keltest::FindByType(window, GTK_TYPE_ENTRY, 0);
    ASSERT_TRUE(entry);
    gtk_entry_set_text(GTK_ENTRY(entry), "   ");
    keltest::MessageBoxAnswerer box(GTK_RESPONSE_OK);
    keltest::Click(keltest::FindButtonByLabel(window, "OK"));
    ASSERT_TRUE(box.Answered());
    EXPECT_EQ("Bitte geben Sie einen Namen ein.", box.Text());
    EXPECT_EQ("Fehler", box.Title());
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
            before[d][h] = Active(w.Hour(d, h));

    keltest::LogCapture log;
    keltest::Click(wednesday);
    EXPECT_FALSE(log.Has("Can not find this specified day!"));
    /* A free first hour locks the whole day, a locked one frees it. */
    for (int h = 0; h < 24; ++h)
        EXPECT_EQ(!before[2][0], Active(w.Hour(2, h))) << "Wednesday " << h;
    for (int d = 0; d < 7; ++d)
        for (int h = 0; d != 2 && h < 24; ++h)
            EXPECT_EQ(before[d][h], Active(w.Hour(d, h))) << "day " << d << " hour " << h;

    /* The lookup compares the translated names, so the English ones find nothing now. */
    EXPECT_EQ(6, w.CalculateDay("So"));
    EXPECT_EQ(0, w.CalculateDay("Mo"));
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
