/* Message boxes: titles, placement and icon, the text as given, the answer returned. */
#include <gtest/gtest.h>

#include <string>

#include "CMessageBox.h"
#include "KelTest.h"

using namespace LibKELGUI;

TEST(MessageBox, TitleFollowsTheTypeAndTextAndAnswerComeBackUnchanged)
{
    struct Case {
        GtkMessageType type;
        GtkButtonsType buttons;
        int answer;
        const char* title;
        std::string text; /* a "%" is no format directive */
    } cases[] = {
        {GTK_MESSAGE_INFO, GTK_BUTTONS_OK, GTK_RESPONSE_OK, "Information", "Delete the category?"},
        {GTK_MESSAGE_WARNING, GTK_BUTTONS_OK, GTK_RESPONSE_OK, "Warning", "100% done"},
        {GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO, GTK_RESPONSE_NO, "Information", "%s %d %n %%"},
        {GTK_MESSAGE_INFO, GTK_BUTTONS_YES_NO, GTK_RESPONSE_YES, "Information", "%"},
        {GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, GTK_RESPONSE_OK, "Error", "Ünïcode %1$s"},
        {GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, GTK_RESPONSE_OK, "Unknown", "text"},
        {GTK_MESSAGE_INFO, GTK_BUTTONS_YES_NO, GTK_RESPONSE_DELETE_EVENT, "Information", "closed from the frame"},
    };
    for (const Case& c : cases) {
        keltest::MessageBoxAnswerer answer(c.answer);
        EXPECT_EQ(c.answer, CMessageBox::Show(c.text, NULL, c.type, c.buttons, GTK_DIALOG_MODAL, ""));
        EXPECT_TRUE(answer.Answered());
        EXPECT_EQ(c.title, answer.Title());
        EXPECT_EQ(c.text, answer.Text());
    }
    EXPECT_TRUE(keltest::ToplevelsWithTitle("Information").empty());
}

TEST(MessageBox, CentredWithIconOnlyWithoutParent)
{
    std::string icon = keltest::Root() + "/icon.png";
    ASSERT_TRUE(keltest::WritePng(icon, 48));
    GtkWidget* parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* button = gtk_button_new_with_label("inside");
    gtk_container_add(GTK_CONTAINER(parent), button);
    gtk_widget_show_all(parent);

    struct Case {
        GtkWidget* parent;
        std::string icon;
        bool centred, hasIcon;
        GtkWindow* transientFor;
    } const cases[] = {
        {NULL, icon, true, true, NULL},
        {NULL, keltest::Root() + "/no-such-icon.png", true, false, NULL},
        {parent, icon, false, false, GTK_WINDOW(parent)},
        /* A widget inside a window stands for its window, without a GTK critical. */
        {button, icon, false, false, GTK_WINDOW(parent)},
    };
    for (const Case& c : cases) {
        int position = -1;
        bool hasIcon = false;
        GtkWindow* transientFor = NULL;
        keltest::MessageBoxAnswerer answer(GTK_RESPONSE_OK);
        answer.Inspect([&](GtkWidget* dialog) {
            g_object_get(dialog, "window-position", &position, NULL);
            hasIcon = gtk_window_get_icon(GTK_WINDOW(dialog)) != NULL;
            transientFor = gtk_window_get_transient_for(GTK_WINDOW(dialog));
        });
        CMessageBox::Show("text", c.parent, GTK_MESSAGE_INFO, GTK_BUTTONS_OK, GTK_DIALOG_MODAL, c.icon);
        EXPECT_TRUE(answer.Answered());
        EXPECT_EQ(c.centred, position == GTK_WIN_POS_CENTER);
        EXPECT_EQ(c.hasIcon, hasIcon);
        EXPECT_EQ(c.transientFor, transientFor);
    }
    gtk_widget_destroy(parent);
}
