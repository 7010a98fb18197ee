/* The window life cycle: build, show, show modally, hide, close, and closing from outside. */
#include <gtest/gtest.h>

#include <string>

#include "CKELWindowBase.h"
#include "KelTest.h"

using namespace LibKELGUI;

namespace {

/* The smallest concrete window: a top-level window with one label, plus some data a close
 * callback can read. */
class CProbeWindow : public CKELWindowBase {
public:
    CProbeWindow()
        : m_Result("kept until the window is gone")
    {
    }

    int Init() override
    {
        m_pWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_title(GTK_WINDOW(m_pWindow), "Probe");
        gtk_container_add(GTK_CONTAINER(m_pWindow), gtk_label_new("probe"));
        m_bInitialized = true;
        return 0;
    }

    std::string m_Result;
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

GtkWidget* NewParent()
{
    GtkWidget* parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_show(parent);
    return parent;
}

} // namespace

TEST(WindowBase, NothingHappensBeforeInitOrAfterClose)
{
    keltest::LogCapture log;
    GtkWidget* parent = NewParent();
    size_t toplevels = keltest::ToplevelsWithTitle("").size();
    Owner owner;
    {
        CProbeWindow win;
        owner.dialog = &win;
        EXPECT_EQ(0, win.Show());
        EXPECT_EQ(0, win.ShowModal(parent, G_CALLBACK(OnDialogClosed), &owner));
        EXPECT_EQ(0, win.Hidden());
        EXPECT_EQ(0, win.Close());
        EXPECT_EQ(toplevels, keltest::ToplevelsWithTitle("").size());

        win.Init();
        keltest::WidgetWatch gtkWindow(win.GetWindow());
        /* Without a parent nothing is shown. */
        EXPECT_EQ(0, win.ShowModal(NULL, G_CALLBACK(OnDialogClosed), &owner));
        EXPECT_FALSE(GTK_WIDGET_VISIBLE(win.GetWindow()));
        EXPECT_EQ(1, win.Show());
        EXPECT_TRUE(GTK_WIDGET_VISIBLE(win.GetWindow()));
        EXPECT_EQ(1, win.Hidden());
        EXPECT_FALSE(GTK_WIDGET_VISIBLE(win.GetWindow()));

        EXPECT_EQ(0, win.Close());
        EXPECT_FALSE(gtkWindow.Alive());
        EXPECT_EQ(nullptr, win.GetWindow());
        EXPECT_FALSE(win.IsInitialized());
        EXPECT_TRUE(win.IsDestroying());
        /* A closed window stays closed. */
        EXPECT_EQ(0, win.Close());
        EXPECT_EQ(0, win.Show());
        EXPECT_EQ(0, win.ShowModal(parent, G_CALLBACK(OnDialogClosed), &owner));
        EXPECT_EQ(0, win.Hidden());
    }
    EXPECT_EQ(0, owner.calls);
    EXPECT_EQ(toplevels, keltest::ToplevelsWithTitle("").size());

    EXPECT_TRUE(log.Has("CKELWindowBase::CKELWindowBase >>Start"));
    EXPECT_TRUE(log.Has("CKELWindowBase::Show <<End"));
    EXPECT_LT(log.IndexOf("CKELWindowBase::~CKELWindowBase >>Start"), log.IndexOf("CKELWindowBase::~CKELWindowBase <<End"));
    for (const auto& line : log.Lines())
        EXPECT_EQ(0, line.level) << line.text;
    gtk_widget_destroy(parent);
}

TEST(WindowBase, CloseCallbackReadsTheDialogAndRunsOncePerShowModal)
{
    GtkWidget* parent = NewParent();
    Owner owner;
    CProbeWindow* win = new CProbeWindow;
    owner.dialog = win;
    win->Init();
    ASSERT_EQ(1, win->ShowModal(parent, G_CALLBACK(OnDialogClosed), &owner));
    EXPECT_TRUE(win->IsModal());
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(win->GetWindow())));
    EXPECT_EQ(GTK_WINDOW(parent), gtk_window_get_transient_for(GTK_WINDOW(win->GetWindow())));
    ASSERT_EQ(1, win->ShowModal(parent, G_CALLBACK(OnDialogClosed), &owner));
    /* Null callback or data: shown, nothing connected. */
    EXPECT_EQ(1, win->ShowModal(parent, NULL, &owner));
    EXPECT_EQ(1, win->ShowModal(parent, G_CALLBACK(OnDialogClosed), NULL));
    EXPECT_EQ(1, win->Show());
    EXPECT_FALSE(win->IsModal());
    keltest::Drain();

    win->Close();
    EXPECT_EQ(2, owner.calls);
    EXPECT_EQ("kept until the window is gone", owner.seenResult);
    EXPECT_TRUE(owner.windowStillThere);
    EXPECT_EQ(nullptr, win->GetWindow());
    EXPECT_FALSE(win->IsInitialized());
    delete win;
    EXPECT_EQ(2, owner.calls);
    gtk_widget_destroy(parent);
}

TEST(WindowBase, WindowClosedFromOutsideIsNotDestroyedAgain)
{
    GtkWidget* parent = NewParent();
    /* Closed with the frame's close box, then destroyed by someone else's code. */
    for (int byFrame = 1; byFrame >= 0; --byFrame) {
        Owner owner;
        CProbeWindow* win = new CProbeWindow;
        owner.dialog = win;
        win->Init();
        ASSERT_EQ(1, win->ShowModal(parent, G_CALLBACK(OnDialogClosed), &owner));
        keltest::Drain();
        keltest::WidgetWatch gtkWindow(win->GetWindow());
        if (byFrame)
            keltest::CloseFromFrame(win->GetWindow());
        else
            gtk_widget_destroy(win->GetWindow());
        EXPECT_FALSE(gtkWindow.Alive());
        EXPECT_EQ(1, owner.calls);
        EXPECT_EQ("kept until the window is gone", owner.seenResult);
        EXPECT_EQ(nullptr, win->GetWindow());
        EXPECT_EQ(0, win->Show());
        EXPECT_EQ(0, win->Hidden());
        EXPECT_EQ(0, win->Close());
        delete win; /* a fatal critical or a crash here means a second destroy */
        EXPECT_EQ(1, owner.calls);
    }
    gtk_widget_destroy(parent);
}

TEST(WindowBase, OwnerMayDeleteTheDialogInsideItsCloseCallback)
{
    GtkWidget* parent = NewParent();
    /* Through Close (the dialog's own OK or Cancel), and from the frame. */
    for (int byFrame = 0; byFrame <= 1; ++byFrame) {
        keltest::LogCapture log;
        Owner owner;
        owner.deleteInCallback = true;
        owner.dialog = new CProbeWindow;
        owner.dialog->Init();
        /* Connected twice: the second callback must not run on a deleted dialog. */
        owner.dialog->ShowModal(parent, G_CALLBACK(OnDialogClosed), &owner);
        owner.dialog->ShowModal(parent, G_CALLBACK(OnDialogClosed), &owner);
        keltest::Drain();
        keltest::WidgetWatch gtkWindow(owner.dialog->GetWindow());
        if (byFrame)
            keltest::CloseFromFrame(owner.dialog->GetWindow());
        else
            owner.dialog->Close();
        keltest::Drain();
        EXPECT_EQ(nullptr, owner.dialog);
        EXPECT_EQ(1, owner.calls);
        EXPECT_FALSE(gtkWindow.Alive());
        EXPECT_EQ(1, log.Count("CKELWindowBase::~CKELWindowBase <<End"));
    }
    gtk_widget_destroy(parent);
}
