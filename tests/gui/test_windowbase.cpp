/* The window life cycle (build, show, show modally, hide, close, closing from outside), message
 * boxes (titles, placement, icon, text as given) and the About box (texts, fallbacks, closing). */
#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CAboutDlg.h"
#include "CKELWindowBase.h"
#include "CMessageBox.h"
#include "KELConstants.h"
#include "KelTest.h"

using namespace LibKELGUI;

namespace {

/* The smallest concrete window, with some data a close callback can read. */
class CProbeWindow : public CKELWindowBase {
public:
    int Init() override
    {
        m_pWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_container_add(GTK_CONTAINER(m_pWindow), gtk_label_new("probe"));
        m_bInitialized = true;
        return 0;
    }
    std::string m_Result = "kept until the window is gone";
};

/* What an owner's close callback saw. */
struct Owner {
    CProbeWindow* dialog = nullptr;
    bool deleteInCallback = false;
    int calls = 0;
    std::string seenResult;
    bool windowStillThere = false;
};

void OnDialogClosed(GtkWidget* window, gpointer data)
{
    Owner* owner = static_cast<Owner*>(data);
    owner->calls++;
    owner->seenResult = owner->dialog->m_Result;
    owner->windowStillThere = owner->dialog->GetWindow() == window && GTK_IS_WINDOW(window);
    if (owner->deleteInCallback) {
        delete owner->dialog;
        owner->dialog = nullptr;
    }
}

struct Parent {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    Parent() { gtk_widget_show(window); }
    ~Parent() { gtk_widget_destroy(window); }
};

const guint32 DEFAULT_RGBA = 0x20c040ff; /* the default program icon's colour */
const guint32 PROGRAM_RGBA = 0xd02060ff;

bool WriteImage(const std::string& path, int width, int height, guint32 rgba)
{
    GdkPixbuf* pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, width, height);
    gdk_pixbuf_fill(pb, rgba);
    gchar* dir = g_path_get_dirname(path.c_str());
    keltest::MakeDirs(dir);
    g_free(dir);
    gboolean ok = gdk_pixbuf_save(pb, path.c_str(), "png", NULL, NULL);
    g_object_unref(pb);
    return ok;
}

guint32 CentreColour(GdkPixbuf* pb)
{
    if (!pb)
        return 0;
    const guchar* p = gdk_pixbuf_get_pixels(pb) + gdk_pixbuf_get_height(pb) / 2 * gdk_pixbuf_get_rowstride(pb) +
                      gdk_pixbuf_get_width(pb) / 2 * gdk_pixbuf_get_n_channels(pb);
    return (guint32)p[0] << 24 | (guint32)p[1] << 16 | (guint32)p[2] << 8 | 0xff;
}

/* What the dialog shows, read from its widgets in the order they were put: background,
 * heading, version, notice, icon, OK. */
struct Shown {
    std::string title;
    GtkWidget* parts[6] = {};
    GdkPixbuf* windowIcon = nullptr; /* borrowed */
    std::string Text(int i) const { return gtk_label_get_text(GTK_LABEL(parts[i])); }
    GdkPixbuf* Image(int i) const
    {
        return gtk_image_get_storage_type(GTK_IMAGE(parts[i])) == GTK_IMAGE_PIXBUF
                   ? gtk_image_get_pixbuf(GTK_IMAGE(parts[i]))
                   : NULL;
    }
    int Lines(int i) const { return pango_layout_get_line_count(gtk_label_get_layout(GTK_LABEL(parts[i]))); }
};
enum { BACKGROUND, HEADING, VERSION, NOTICE, ICON };

Shown Read(CAboutDlg& dlg)
{
    EXPECT_EQ(0, dlg.Init());
    dlg.Show();
    keltest::Drain();
    Shown s;
    s.title = gtk_window_get_title(GTK_WINDOW(dlg.GetWindow()));
    s.windowIcon = gtk_window_get_icon(GTK_WINDOW(dlg.GetWindow()));
    GList* children = gtk_container_get_children(GTK_CONTAINER(keltest::FindByType(dlg.GetWindow(), GTK_TYPE_FIXED)));
    EXPECT_EQ(6u, g_list_length(children));
    for (int i = 0; i < 6 && g_list_nth_data(children, i); ++i)
        s.parts[i] = GTK_WIDGET(g_list_nth_data(children, i));
    g_list_free(children);
    return s;
}

struct Host {
    CAboutDlg* about = nullptr;
    int closed = 0;
};

void OnAboutClosed(GtkWidget*, gpointer data)
{
    Host* host = static_cast<Host*>(data);
    host->closed++;
    delete host->about; /* the host is done with it */
    host->about = nullptr;
}

} // namespace

TEST(WindowBase, NothingHappensBeforeInitOrAfterClose)
{
    keltest::LogCapture log;
    Parent parent;
    size_t toplevels = keltest::ToplevelsWithTitle("").size();
    Owner owner;
    {
        CProbeWindow win;
        owner.dialog = &win;
        /* Show, Hidden, ShowModal and Close, in this order (braces evaluate left to right). */
        auto run = [&](GtkWidget* modalParent) {
            return std::vector<int>{win.Show(), win.Hidden(),
                                    win.ShowModal(modalParent, G_CALLBACK(OnDialogClosed), &owner), win.Close()};
        };
        EXPECT_EQ((std::vector<int>{0, 0, 0, 0}), run(parent.window)) << "before Init";
        EXPECT_EQ(toplevels, keltest::ToplevelsWithTitle("").size());
        win.Init();
        keltest::WidgetWatch gtkWindow(win.GetWindow());
        EXPECT_EQ(1, win.Show());
        EXPECT_TRUE(GTK_WIDGET_VISIBLE(win.GetWindow()));
        EXPECT_EQ((std::vector<int>{1, 1, 0, 0}), run(NULL)) << "shown, hidden, no parent: not shown, closed";
        EXPECT_FALSE(gtkWindow.Alive());
        EXPECT_EQ(nullptr, win.GetWindow());
        EXPECT_FALSE(win.IsInitialized());
        EXPECT_TRUE(win.IsDestroying());
        EXPECT_EQ((std::vector<int>{0, 0, 0, 0}), run(parent.window)) << "a closed window stays closed";
    }
    EXPECT_EQ(0, owner.calls);
    EXPECT_EQ(toplevels, keltest::ToplevelsWithTitle("").size());
    EXPECT_TRUE(log.Has("CKELWindowBase::CKELWindowBase >>Start"));
    EXPECT_LT(log.IndexOf("CKELWindowBase::~CKELWindowBase >>Start"),
              log.IndexOf("CKELWindowBase::~CKELWindowBase <<End"));
    for (const auto& line : log.Lines())
        EXPECT_EQ(0, line.level) << line.text;
}

TEST(WindowBase, CloseCallbackReadsTheDialogAndRunsOncePerShowModal)
{
    Parent parent;
    Owner owner;
    CProbeWindow win;
    owner.dialog = &win;
    win.Init();
    ASSERT_EQ(1, win.ShowModal(parent.window, G_CALLBACK(OnDialogClosed), &owner));
    EXPECT_TRUE(win.IsModal());
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(win.GetWindow())));
    EXPECT_EQ(GTK_WINDOW(parent.window), gtk_window_get_transient_for(GTK_WINDOW(win.GetWindow())));
    ASSERT_EQ(1, win.ShowModal(parent.window, G_CALLBACK(OnDialogClosed), &owner));
    /* Null callback or data: shown, nothing connected. */
    EXPECT_EQ(1, win.ShowModal(parent.window, NULL, &owner));
    EXPECT_EQ(1, win.ShowModal(parent.window, G_CALLBACK(OnDialogClosed), NULL));
    EXPECT_EQ(1, win.Show());
    EXPECT_FALSE(win.IsModal());
    keltest::Drain();

    win.Close();
    EXPECT_EQ(2, owner.calls);
    EXPECT_EQ("kept until the window is gone", owner.seenResult);
    EXPECT_TRUE(owner.windowStillThere);
    EXPECT_EQ(nullptr, win.GetWindow());
}

TEST(WindowBase, ClosedFromAnyPathTheWindowIsNotDestroyedAgainAndTheOwnerMayDeleteTheDialog)
{
    enum How { BY_CLOSE, BY_FRAME, BY_OTHER_CODE };
    struct Case {
        How how;
        bool deleteInCallback;
    } const cases[] = {{BY_CLOSE, true}, {BY_FRAME, true}, {BY_FRAME, false}, {BY_OTHER_CODE, false}};
    Parent parent;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how * 2 + c.deleteInCallback);
        keltest::LogCapture log;
        Owner owner;
        owner.deleteInCallback = c.deleteInCallback;
        owner.dialog = new CProbeWindow;
        owner.dialog->Init();
        /* Connected twice: after a delete in the first, the second must not run. */
        owner.dialog->ShowModal(parent.window, G_CALLBACK(OnDialogClosed), &owner);
        owner.dialog->ShowModal(parent.window, G_CALLBACK(OnDialogClosed), &owner);
        keltest::Drain();
        keltest::WidgetWatch gtkWindow(owner.dialog->GetWindow());
        if (c.how == BY_CLOSE)
            owner.dialog->Close();
        else if (c.how == BY_FRAME)
            keltest::CloseFromFrame(owner.dialog->GetWindow());
        else
            gtk_widget_destroy(owner.dialog->GetWindow());
        keltest::Drain();
        EXPECT_FALSE(gtkWindow.Alive());
        EXPECT_EQ(c.deleteInCallback ? 1 : 2, owner.calls);
        EXPECT_EQ("kept until the window is gone", owner.seenResult);
        if (owner.dialog) {
            EXPECT_EQ(nullptr, owner.dialog->GetWindow());
            EXPECT_EQ(0, owner.dialog->Show());
            EXPECT_EQ(0, owner.dialog->Close());
            delete owner.dialog; /* a fatal critical or a crash here means a second destroy */
        }
        EXPECT_EQ(1, log.Count("CKELWindowBase::~CKELWindowBase <<End"));
    }
}

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

TEST(AboutDlg, EmptyMissingOrBrokenIconAndEmptyTextsFallBackToDefaults)
{
    ASSERT_TRUE(WriteImage(LibKELData::KEL_IMAGE_APP_DEFAULT_ICON, 64, 64, DEFAULT_RGBA));
    ASSERT_TRUE(keltest::WriteFile(keltest::Root() + "/broken.png", "not a picture"));
    for (const std::string& icon :
         {std::string(), keltest::Root() + "/no-such-icon.png", keltest::Root() + "/broken.png"}) {
        SCOPED_TRACE(icon);
        CAboutDlg dlg("", "", icon, "");
        Shown s = Read(dlg);
        EXPECT_EQ("About KEL", s.title);
        EXPECT_EQ("About Dialog", s.Text(HEADING));
        EXPECT_EQ("Version 1.0", s.Text(VERSION));
        EXPECT_EQ("Copyright 2026 The KEL Project.\nProvided without any warranty.", s.Text(NOTICE));
        EXPECT_EQ(DEFAULT_RGBA, CentreColour(s.Image(ICON)));
        EXPECT_EQ(DEFAULT_RGBA, CentreColour(s.windowIcon));
        EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(dlg.GetWindow())));
        /* No background picture in this sandbox: a plain window, not a broken-image mark. */
        EXPECT_EQ(GTK_IMAGE_EMPTY, gtk_image_get_storage_type(GTK_IMAGE(s.parts[BACKGROUND])));
    }
    /* Default-constructed: still builds, once, and shows. */
    CAboutDlg plain;
    Shown s = Read(plain);
    GtkWidget* first = plain.GetWindow();
    EXPECT_EQ(0, plain.Init());
    EXPECT_EQ(first, plain.GetWindow());
    EXPECT_EQ(DEFAULT_RGBA, CentreColour(s.Image(ICON)));
}

TEST(AboutDlg, HostTextsAndIconAreShownAsGivenLongHeadingWrapsVersionDoesNot)
{
    ASSERT_TRUE(WriteImage(LibKELData::KEL_RESOURCE_IMAGE_PATH + "About_BG.png", 350, 230, 0xf0f4f8ff));
    std::string icon = keltest::Root() + "/wide.png";
    ASSERT_TRUE(WriteImage(icon, 96, 48, PROGRAM_RGBA));
    CAboutDlg dlg("A very long heading for the classroom shell 100% _Controller of this school", "Shell Controller",
                  icon, "3.0.0.162 built on a long afternoon with a long name");
    Shown s = Read(dlg);
    EXPECT_EQ("About Shell Controller", s.title);
    /* The underscore marks the next character, as in every label made with a mnemonic. */
    EXPECT_EQ("A very long heading for the classroom shell 100% Controller of this school", s.Text(HEADING));
    EXPECT_EQ(GDK_c, gtk_label_get_mnemonic_keyval(GTK_LABEL(s.parts[HEADING])));
    EXPECT_EQ("Version 3.0.0.162 built on a long afternoon with a long name", s.Text(VERSION));
    EXPECT_GT(s.Lines(HEADING), 1);
    EXPECT_EQ(1, s.Lines(VERSION));
    ASSERT_TRUE(s.Image(ICON));
    EXPECT_EQ(48, gdk_pixbuf_get_width(s.Image(ICON)));
    EXPECT_EQ(24, gdk_pixbuf_get_height(s.Image(ICON))) << "scaled keeping its shape";
    EXPECT_EQ(PROGRAM_RGBA, CentreColour(s.Image(ICON)));
    EXPECT_EQ(PROGRAM_RGBA, CentreColour(s.windowIcon));
    EXPECT_EQ(GTK_IMAGE_PIXBUF, gtk_image_get_storage_type(GTK_IMAGE(s.parts[BACKGROUND])));
    auto weight = [&s](int i) {
        return pango_font_description_get_weight(gtk_widget_get_style(s.parts[i])->font_desc);
    };
    EXPECT_EQ(PANGO_WEIGHT_BOLD, weight(HEADING));
    EXPECT_EQ(PANGO_WEIGHT_BOLD, weight(VERSION));
    EXPECT_EQ(PANGO_WEIGHT_NORMAL, weight(NOTICE));
}

TEST(AboutDlg, OKClosesTheDialogEvenWhenTheHostDeletesItThen)
{
    keltest::LogCapture log;
    GtkWidget* parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_show(parent);
    Host host;
    host.about = new CAboutDlg("About", "Demo", "", "1.2");
    host.about->Init();
    ASSERT_EQ(1, host.about->ShowModal(parent, G_CALLBACK(OnAboutClosed), &host));
    keltest::Drain();
    keltest::WidgetWatch window(host.about->GetWindow());
    keltest::Click(keltest::FindButtonByLabel(host.about->GetWindow(), "OK"));
    EXPECT_FALSE(window.Alive());
    EXPECT_EQ(1, host.closed);
    EXPECT_EQ(nullptr, host.about);
    int start = log.IndexOf("CAboutDlg::OKBtn click >>Start");
    EXPECT_LE(0, start);
    EXPECT_LT(start, log.IndexOf("CKELWindowBase::Close >>Start"));
    EXPECT_LT(log.IndexOf("CKELWindowBase::Close >>Start"), log.IndexOf("CAboutDlg::OKBtn click <<End"));
    gtk_widget_destroy(parent);
}
