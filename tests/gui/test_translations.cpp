/* The windows in German (the catalogues just built, LANGUAGE=de, a German locale): every text shown
 * is looked up, and both libraries' messages reach the user in German. */
#include <gtest/gtest.h>

#include <string>

#include "CChangeIconDlg.h"
#include "CSearchOutcome.h"
#include "CShellSettingCtrlForShellController.h"
#include "CShellSettingForAdminTool.h"
#include "KELConstants.h"
#include "KELDataTools.h"
#include "KELGuiCommon.h"
#include "KelTest.h"

using namespace LibKELGUI;

/* Each test runs in a process of its own: the German environment set here is what the libraries'
 * first lookup reads. */
class Translations : public ::testing::Test {
protected:
    void SetUp() override
    {
        keltest::CopySampleRoot();
        if (!keltest::UseGerman())
            GTEST_SKIP() << "de_DE.UTF-8 is not installed (scripts/install-deps.sh generates it)";
        textdomain("kel-demo-host"); /* a host's own default domain must not matter */
    }
};

TEST_F(Translations, EveryTextTheShellSettingsWindowShowsIsLookedUp)
{
    CShellSettingForAdminTool w;
    w.Init();
    EXPECT_TRUE(keltest::FindButtonByLabel(w.GetWindow(), "Abbrechen"));
    int shown = 0;
    keltest::FindAll(w.GetWindow(), [&shown](GtkWidget* widget) {
        gchar* tip = gtk_widget_get_tooltip_text(widget);
        for (std::string text : {std::string(GTK_IS_LABEL(widget) ? gtk_label_get_text(GTK_LABEL(widget)) : ""),
                                 std::string(tip ? tip : "")}) /* "" would look up the catalogue's header */
            if (!text.empty()) {
                ++shown;
                EXPECT_EQ(text, Tr(text.c_str())) << "shown without its translation: \"" << text << "\"";
            }
        g_free(tip);
        return false;
    });
    EXPECT_GT(shown, 40);
}

TEST_F(Translations, BothWindowsAskAndTheNameChecksTellInGerman)
{
    /* Regression: the windows' save questions were shown in English. */
    CShellSettingForAdminTool admin;
    CShellSettingCtrlForShellController teacher;
    const std::pair<CShellSettingCtrl*, const char*> windows[] = {
        {&admin, "Die Einstellungen wurden geändert. Vor dem Schließen speichern?"},
        {&teacher, "Die Einstellungen wurden geändert. Möchten Sie sie speichern?"}};
    for (const auto& w : windows) {
        w.first->Init();
        w.first->Show();
        keltest::Click(keltest::FindButtonByLabel(w.first->GetWindow(), "Mo"));
        keltest::MessageBoxAnswerer question(GTK_RESPONSE_NO);
        keltest::Click(keltest::FindButtonByLabel(w.first->GetWindow(), "Abbrechen"));
        EXPECT_EQ(w.second, question.Text());
    }
    /* The companion library's text, its directive filled in after the translation. */
    std::string message;
    LibKELData::CKELDataTools::IsInputValid(std::string(65, 'x'), message);
    EXPECT_EQ("Der Name ist zu lang. Er darf höchstens 64 Zeichen haben.", message);
    EXPECT_EQ("1 Eintrag übersprungen: sein Programm ist nicht installiert",
              CSearchOutcome::SkippedText(1, IPCAPI::SEARCH_SKIP_NOT_INSTALLED, 1));
    CChangeIconDlg dlg(LibKELData::ICON_PATH, "", "Werkzeuge", Tr("Edit Category"));
    dlg.Init();
    dlg.Show();
    gtk_entry_set_text(GTK_ENTRY(keltest::FindByType(dlg.GetWindow(), GTK_TYPE_ENTRY)), "   ");
    keltest::MessageBoxAnswerer box(GTK_RESPONSE_OK);
    keltest::Click(keltest::FindButtonByLabel(dlg.GetWindow(), "OK"));
    EXPECT_EQ("Bitte geben Sie einen Namen ein.", box.Text());
}
