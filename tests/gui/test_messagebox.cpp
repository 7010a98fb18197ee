/* Message boxes: titles, placement and icon, the text as given, the answer returned. */
#include <gtest/gtest.h>

#include <string>

#include "CMessageBox.h"
#include "KELConstants.h"
#include "KelTest.h"

using namespace LibKELGUI;

TEST(MessageBox, TitleFollowsTheTypeAndTheAnswerIsReturned)
{
    struct Case {
        GtkMessageType type;
        GtkButtonsType buttons;
        int answer;
        const char* title;
    } cases[] = {
        {GTK_MESSAGE_INFO, GTK_BUTTONS_OK, GTK_RESPONSE_OK, "Information"},
        {GTK_MESSAGE_WARNING, GTK_BUTTONS_OK, GTK_RESPONSE_OK, "Warning"},
        {GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO, GTK_RESPONSE_NO, "Information"},
        {GTK_MESSAGE_INFO, GTK_BUTTONS_YES_NO, GTK_RESPONSE_YES, "Information"},
        {GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, GTK_RESPONSE_OK, "Error"},
        {GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, GTK_RESPONSE_OK, "Unknown"},
        /* Closed from the frame. */
        {GTK_MESSAGE_INFO, GTK_BUTTONS_YES_NO, GTK_RESPONSE_DELETE_EVENT, "Information"},
    };
    for (const Case& c : cases) {
        keltest::MessageBoxAnswerer answer(c.answer);
        int result = CMessageBox::Show("Delete the category?", NULL, c.type, c.buttons, GTK_DIALOG_MODAL, "");
        EXPECT_TRUE(answer.Answered());
        EXPECT_EQ(c.answer, result) << c.title;
        EXPECT_EQ(c.title, answer.Title());
        EXPECT_EQ("Delete the category?", answer.Text());
    }
    EXPECT_TRUE(keltest::ToplevelsWithTitle("Information").empty());
}

TEST(MessageBox, TextWithPercentSignsIsShownUnchanged)
{
    const std::string texts[] = {"100% done", "%s %d %n %%", "%", "Ünïcode %1$s"};
    for (const std::string& text : texts) {
        keltest::MessageBoxAnswerer answer(GTK_RESPONSE_OK);
        CMessageBox::Show(text, NULL, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, GTK_DIALOG_MODAL, "");
        EXPECT_EQ(text, answer.Text());
    }
}

TEST(MessageBox, CentredWithIconOnlyWithoutParent)
{
    std::string icon = keltest::Root() + "/icon.png";
    ASSERT_TRUE(keltest::WritePng(icon, 48));
    GtkWidget* parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* button = gtk_button_new_with_label("inside");
    gtk_container_add(GTK_CONTAINER(parent), button);
    gtk_widget_show_all(parent);

    struct Seen {
        int position = -1;
        bool hasIcon = false;
        GtkWindow* parent = nullptr;
    };
    auto show = [&](GtkWidget* with, const std::string& iconPath) {
        Seen seen;
        keltest::MessageBoxAnswerer answer(GTK_RESPONSE_OK);
        answer.Inspect([&seen](GtkWidget* dialog) {
            g_object_get(dialog, "window-position", &seen.position, NULL);
            seen.hasIcon = gtk_window_get_icon(GTK_WINDOW(dialog)) != NULL;
            seen.parent = gtk_window_get_transient_for(GTK_WINDOW(dialog));
        });
        CMessageBox::Show("text", with, GTK_MESSAGE_INFO, GTK_BUTTONS_OK, GTK_DIALOG_MODAL, iconPath);
        EXPECT_TRUE(answer.Answered());
        return seen;
    };

    Seen alone = show(NULL, icon);
    EXPECT_EQ(GTK_WIN_POS_CENTER, alone.position);
    EXPECT_TRUE(alone.hasIcon);
    EXPECT_EQ(nullptr, alone.parent);

    Seen missingIcon = show(NULL, keltest::Root() + "/no-such-icon.png");
    EXPECT_EQ(GTK_WIN_POS_CENTER, missingIcon.position);
    EXPECT_FALSE(missingIcon.hasIcon);

    Seen over = show(parent, icon);
    EXPECT_NE(GTK_WIN_POS_CENTER, over.position);
    EXPECT_FALSE(over.hasIcon);
    EXPECT_EQ(GTK_WINDOW(parent), over.parent);

    /* A widget inside a window stands for its window, without a GTK critical. */
    Seen overChild = show(button, icon);
    EXPECT_EQ(GTK_WINDOW(parent), overChild.parent);
    EXPECT_FALSE(overChild.hasIcon);

    gtk_widget_destroy(parent);
}
