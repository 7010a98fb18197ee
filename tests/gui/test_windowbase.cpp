/* The window life cycle whichever way a window closes, the owner deleting the dialog in its close
 * callback, and message box texts taken as they are. */
#include <gtest/gtest.h>

#include "CAboutDlg.h"
#include "CKELWindowBase.h"
#include "CMessageBox.h"
#include "KelTest.h"

using namespace LibKELGUI;

namespace {

/* The smallest concrete window, with data a close callback reads. */
class CProbeWindow : public CKELWindowBase {
public:
    int Init() override
    {
        m_pWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        m_bInitialized = true;
        return 0;
    }
    std::string m_Result = "kept until the window is gone";
};

struct Owner {
    CKELWindowBase* dialog = nullptr;
    bool deleteInCallback = false;
    int calls = 0;
    std::string seen;
    static void OnClosed(GtkWidget* window, gpointer data)
    {
        Owner* o = static_cast<Owner*>(data);
        o->calls++;
        if (CProbeWindow* probe = dynamic_cast<CProbeWindow*>(o->dialog))
            o->seen = probe->GetWindow() == window ? probe->m_Result : "the window was gone";
        if (o->deleteInCallback) {
            delete o->dialog;
            o->dialog = nullptr;
        }
    }
};

} // namespace

TEST(WindowBase, ClosedAnyWayTheWindowDiesOnceAndTheOwnerMayDeleteTheDialogInItsCallback)
{
    enum How { BY_CLOSE, BY_FRAME, BY_OTHER_CODE };
    const struct {
        How how;
        bool deleteInCallback;
    } cases[] = {{BY_CLOSE, true}, {BY_FRAME, true}, {BY_FRAME, false}, {BY_OTHER_CODE, false}};
    GtkWidget* parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how * 2 + c.deleteInCallback);
        keltest::LogCapture log;
        Owner owner;
        owner.deleteInCallback = c.deleteInCallback;
        owner.dialog = new CProbeWindow;
        EXPECT_EQ(0, owner.dialog->Show()) << "nothing to show before Init";
        owner.dialog->Init();
        /* Connected twice: after a delete in the first, the second must not run. */
        owner.dialog->ShowModal(parent, G_CALLBACK(Owner::OnClosed), &owner);
        owner.dialog->ShowModal(parent, G_CALLBACK(Owner::OnClosed), &owner);
        keltest::Drain();
        keltest::WidgetWatch window(owner.dialog->GetWindow());
        if (c.how == BY_CLOSE)
            owner.dialog->Close();
        else if (c.how == BY_FRAME)
            keltest::CloseFromFrame(owner.dialog->GetWindow());
        else
            gtk_widget_destroy(owner.dialog->GetWindow());
        keltest::Drain();
        EXPECT_FALSE(window.Alive());
        EXPECT_EQ(c.deleteInCallback ? 1 : 2, owner.calls);
        EXPECT_EQ("kept until the window is gone", owner.seen);
        if (owner.dialog) {
            EXPECT_EQ(nullptr, owner.dialog->GetWindow());
            EXPECT_EQ(0, owner.dialog->Show() + owner.dialog->Close()) << "a closed window stays closed";
            delete owner.dialog; /* a fatal critical or a crash here means a second destroy */
        }
        EXPECT_EQ(1, log.Count("CKELWindowBase::~CKELWindowBase <<End"));
    }
    gtk_widget_destroy(parent);
}

TEST(WindowBase, AboutBoxWithABrokenIconClosesOnOKEvenWhenTheHostDeletesItThen)
{
    ASSERT_TRUE(keltest::WriteFile(keltest::Root() + "/broken.png", "not a picture"));
    GtkWidget* parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    Owner host;
    host.deleteInCallback = true;
    host.dialog = new CAboutDlg("About", "Demo", keltest::Root() + "/broken.png", "1.2");
    host.dialog->Init();
    ASSERT_EQ(1, host.dialog->ShowModal(parent, G_CALLBACK(Owner::OnClosed), &host));
    keltest::Drain();
    keltest::WidgetWatch window(host.dialog->GetWindow());
    keltest::Click(keltest::FindButtonByLabel(host.dialog->GetWindow(), "OK"));
    EXPECT_FALSE(window.Alive());
    EXPECT_EQ(1, host.calls);
    EXPECT_EQ(nullptr, host.dialog);
    gtk_widget_destroy(parent);
}

TEST(MessageBox, TextIsNoFormatAndTheAnswerComesBackUnchanged)
{
    const struct {
        GtkButtonsType buttons;
        int answer;
        const char* text;
    } cases[] = {{GTK_BUTTONS_OK, GTK_RESPONSE_OK, "100% done"},
                 {GTK_BUTTONS_YES_NO, GTK_RESPONSE_NO, "%s %d %n %%"},
                 {GTK_BUTTONS_YES_NO, GTK_RESPONSE_DELETE_EVENT, "Ünïcode %1$s, closed from the frame"}};
    for (const auto& c : cases) {
        keltest::MessageBoxAnswerer answer(c.answer);
        EXPECT_EQ(c.answer, CMessageBox::Show(c.text, NULL, GTK_MESSAGE_QUESTION, c.buttons, GTK_DIALOG_MODAL, ""));
        EXPECT_EQ(c.text, answer.Text());
    }
    EXPECT_TRUE(keltest::ToplevelsWithTitle("Information").empty());
}
