/* The window life cycle whichever way a window closes, the owner deleting the dialog in its close
 * callback (also from the About box's OK), and message box texts taken as they are. */
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
    enum How { BY_CLOSE, BY_FRAME, BY_OTHER_CODE, BY_ABOUT_OK };
    const struct { How how; bool deleteInCallback; } cases[] = {
        {BY_CLOSE, true}, {BY_FRAME, true}, {BY_FRAME, false}, {BY_OTHER_CODE, false}, {BY_ABOUT_OK, true}};
    ASSERT_TRUE(keltest::WriteFile(keltest::Root() + "/broken.png", "not a picture"));
    GtkWidget* parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how * 2 + c.deleteInCallback);
        keltest::LogCapture log;
        Owner owner;
        owner.deleteInCallback = c.deleteInCallback;
        /* The About box's OK handler goes on after closing: the delete must not pull it from under it. */
        owner.dialog = c.how == BY_ABOUT_OK ? (CKELWindowBase*)new CAboutDlg("About", "Demo", keltest::Root() + "/broken.png", "1.2")
                                            : new CProbeWindow;
        EXPECT_EQ(0, owner.dialog->Show()) << "nothing to show before Init";
        owner.dialog->Init();
        /* Connected twice: after a delete in the first, the second must not run. */
        owner.dialog->ShowModal(parent, G_CALLBACK(Owner::OnClosed), &owner);
        owner.dialog->ShowModal(parent, G_CALLBACK(Owner::OnClosed), &owner);
        keltest::Drain();
        GtkWidget* w = owner.dialog->GetWindow();
        keltest::WidgetWatch window(w);
        c.how == BY_CLOSE        ? (void)owner.dialog->Close()
        : c.how == BY_FRAME      ? keltest::CloseFromFrame(w)
        : c.how == BY_OTHER_CODE ? gtk_widget_destroy(w)
                                 : keltest::Click(keltest::FindButtonByLabel(w, "OK"));
        keltest::Drain();
        EXPECT_FALSE(window.Alive());
        EXPECT_EQ(c.deleteInCallback ? 1 : 2, owner.calls);
        EXPECT_EQ(c.how == BY_ABOUT_OK ? "" : "kept until the window is gone", owner.seen);
        if (owner.dialog) {
            EXPECT_EQ(nullptr, owner.dialog->GetWindow());
            EXPECT_EQ(0, owner.dialog->Show() + owner.dialog->Close()) << "a closed window stays closed";
            delete owner.dialog; /* a fatal critical or a crash here means a second destroy */
        }
        EXPECT_EQ(1, log.Count("CKELWindowBase::~CKELWindowBase <<End"));
    }
    gtk_widget_destroy(parent);
}

TEST(MessageBox, TextIsNoFormatAndTheAnswerComesBackUnchanged)
{
    const std::pair<int, const char*> cases[] = {
        {GTK_RESPONSE_NO, "100% done, %s %d %n %%"}, {GTK_RESPONSE_DELETE_EVENT, "Ünïcode %1$s, closed from the frame"}};
    for (const auto& c : cases) {
        keltest::MessageBoxAnswerer answer(c.first);
        EXPECT_EQ(c.first, CMessageBox::Show(c.second, NULL, GTK_MESSAGE_QUESTION, GTK_BUTTONS_YES_NO, GTK_DIALOG_MODAL, ""));
        EXPECT_EQ(c.second, answer.Text());
    }
}
