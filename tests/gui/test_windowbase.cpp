/* The window life cycle: build, show, show modally, hide, close, and closing from outside. */
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CKELWindowBase.h"
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
            return std::vector<int>{win.Show(), win.Hidden(), win.ShowModal(modalParent, G_CALLBACK(OnDialogClosed), &owner),
                                    win.Close()};
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
    EXPECT_LT(log.IndexOf("CKELWindowBase::~CKELWindowBase >>Start"), log.IndexOf("CKELWindowBase::~CKELWindowBase <<End"));
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
