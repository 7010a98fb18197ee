/* The name-and-icon dialog: grid and file-chooser choices, refused names kept for
 * mending, the keyboard, the ways it closes, and what its owner reads back. */
#include <gtest/gtest.h>
#include <gdk/gdkkeysyms.h>

#include "CChangeIconDlg.h"
#include "SearchTestHelpers.h"

using LibKELGUI::CChangeIconDlg;

namespace {

/* Stands in for the Shell Settings page: a parent window, and a close callback that reads the
 * dialog while it is still intact. */
struct Owner {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    CChangeIconDlg* dlg = nullptr;
    int calls = 0, status = -1;
    std::string name, icon;

    ~Owner() { delete dlg, gtk_widget_destroy(window); }
    static void OnDialogClosed(GtkWidget*, gpointer data)
    {
        Owner* o = static_cast<Owner*>(data);
        o->calls++;
        o->status = o->dlg->FetchReturnStatus();
        o->dlg->FetchData(o->name, o->icon);
    }
    void Open(const std::string& iconPath, const std::string& itemName, const std::string& dir = IconDir())
    {
        delete dlg;
        calls = 0;
        status = -1;
        dlg = new CChangeIconDlg(dir, iconPath, itemName, "Edit Application");
        dlg->Init();
        gtk_widget_show(window);
        dlg->ShowModal(window, G_CALLBACK(OnDialogClosed), this);
        keltest::Drain();
    }
    static std::string IconDir() { return keltest::EtcKel() + "icons"; }
    GtkWidget* Win() const { return dlg->GetWindow(); }
    GtkEntry* Entry(int i) const { return GTK_ENTRY(keltest::FindByType(Win(), GTK_TYPE_ENTRY, i)); }
    std::string PathShown() const { return gtk_entry_get_text(Entry(1)); }
    GtkIconView* Grid() const { return GTK_ICON_VIEW(keltest::FindByType(Win(), GTK_TYPE_ICON_VIEW)); }
    void Click(const char* label) const { keltest::Click(keltest::FindButtonByLabel(Win(), label)); }
    void SelectFirst() const
    {
        GtkTreePath* first = gtk_tree_path_new_first();
        gtk_icon_view_select_path(Grid(), first);
        gtk_tree_path_free(first);
        keltest::Drain();
    }
};

} // namespace

TEST(ChangeIconDlg, ChooserOpensInTheIconFolderAndTheLastChoiceWins)
{
    const std::string dir = Owner::IconDir(), browsed = keltest::Home() + "/pictures/mine.png";
    ASSERT_TRUE(keltest::WritePng(dir + "/a.png", 32) && keltest::WritePng(browsed, 48));
    Owner owner;
    owner.Open(dir + "/b.png", "Editor");
    owner.SelectFirst();
    {
        searchtest::ChooserAnswerer answer("", browsed, GTK_RESPONSE_ACCEPT);
        owner.Click("Browse...");
        ASSERT_TRUE(answer.answered);
        EXPECT_EQ(dir, answer.openedIn) << "not the empty \"Recently Used\" page";
    }
    EXPECT_EQ(browsed, owner.PathShown());
    owner.SelectFirst(); /* the grid icon chosen before browsing can be chosen again */
    owner.Click("OK");
    EXPECT_EQ(dir + "/a.png", owner.icon);
}

TEST(ChangeIconDlg, OpensTypingIntoTheSelectedNameWithTheCurrentIconSelected)
{
    ASSERT_TRUE(keltest::WritePng(Owner::IconDir() + "/a.png") && keltest::WritePng(Owner::IconDir() + "/b.png"));
    Owner owner;
    owner.Open(Owner::IconDir() + "/b.png", "Games");
    EXPECT_EQ(GTK_WIDGET(owner.Entry(0)), gtk_window_get_focus(GTK_WINDOW(owner.Win()))) << "not Cancel";
    gint from = -1, to = -1;
    gtk_editable_get_selection_bounds(GTK_EDITABLE(owner.Entry(0)), &from, &to);
    EXPECT_TRUE(from == 0 && to == 5);
    GList* selected = gtk_icon_view_get_selected_items(owner.Grid());
    ASSERT_TRUE(selected && !selected->next);
    gchar* path = keltest::CellAt<gchar*>(gtk_icon_view_get_model(owner.Grid()),
                                          gtk_tree_path_get_indices((GtkTreePath*)selected->data)[0], 2);
    EXPECT_EQ(Owner::IconDir() + "/b.png", path);
    g_free(path);
    g_list_free_full(selected, (GDestroyNotify)gtk_tree_path_free);
}

TEST(ChangeIconDlg, RefusedNamesStayTypedAndSelectedAndEnterIsOk)
{
    Owner owner;
    owner.Open("/opt/icons/old.png", "Old Name");
    owner.dlg->SetNameCheck([](const std::string& n, std::string& reason, void*) {
        reason = "\"" + n + "\" is already used.";
        return n != "Games";
    }, nullptr);
    gtk_widget_grab_focus(GTK_WIDGET(owner.Entry(0)));
    /* Regression: a refused name emptied the entry ("Math/Science" had to be typed again). */
    for (const char* typed : {"Math/Science", "  \n ", " Games "}) {
        gtk_entry_set_text(owner.Entry(0), typed);
        keltest::MessageBoxAnswerer box(GTK_RESPONSE_OK);
        gtk_widget_activate(GTK_WIDGET(owner.Entry(0))); /* Enter; the button clicks once shown pressed */
        EXPECT_TRUE(keltest::PumpUntil([&box] { return box.Answered(); }) && box.Type() == GTK_MESSAGE_ERROR) << typed;
        ASSERT_TRUE(owner.Win() && GTK_WIDGET_VISIBLE(owner.Win()));
        EXPECT_STREQ(typed, gtk_entry_get_text(owner.Entry(0)));
        gint from = -1, to = -1;
        gtk_editable_get_selection_bounds(GTK_EDITABLE(owner.Entry(0)), &from, &to);
        EXPECT_TRUE(from == 0 && to == (gint)g_utf8_strlen(typed, -1) && owner.dlg->FetchReturnStatus() == 0) << typed;
    }
    EXPECT_EQ(0, owner.calls);
    gtk_entry_set_text(owner.Entry(0), " \n  Web\nBrowser \r\n ");
    gtk_widget_activate(GTK_WIDGET(owner.Entry(0)));
    ASSERT_TRUE(keltest::PumpUntil([&owner] { return owner.calls == 1; }));
    EXPECT_EQ(1, owner.status);
    EXPECT_EQ("WebBrowser", owner.name); /* stored trimmed */
    EXPECT_EQ("/opt/icons/old.png", owner.icon); /* no icon chosen: the item keeps its own */
}

TEST(ChangeIconDlg, CancelEscapeFrameCloseAndDeleteApplyNothingAndThePlaceholderIsNoPath)
{
    ASSERT_TRUE(keltest::WritePng(Owner::IconDir() + "/a.png", 32));
    Owner owner;
    for (int how = 0; how < 4; ++how) {
        owner.Open("", "Old Name");
        owner.SelectFirst();
        gtk_entry_set_text(owner.Entry(0), "New Name");
        if (how == 3) { /* deleted by its owner while still open: no callback */
            delete owner.dlg;
            owner.dlg = nullptr;
        } else
            how == 0 ? owner.Click("Cancel") : how == 1 ? keltest::PressKey(owner.Win(), GDK_Escape) : keltest::CloseFromFrame(owner.Win());
        keltest::Drain();
        EXPECT_TRUE(how < 3 ? owner.calls == 1 && owner.status == 0 : owner.calls == 0) << how;
        EXPECT_TRUE(keltest::ToplevelsWithTitle("Edit Application").empty()) << how;
    }
    owner.Open("", "Tools", keltest::Root() + "/no/such/folder");
    EXPECT_EQ(LibKELGUI::Tr("Default Icon"), owner.PathShown());
    owner.Click("OK");
    EXPECT_EQ(1, owner.status);
    EXPECT_EQ("", owner.icon); /* the placeholder is never handed back as a path */
}
