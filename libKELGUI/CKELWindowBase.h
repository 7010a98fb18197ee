/* Base of every window of the library: one top-level window and its life cycle. */
#ifndef CKEL_WINDOW_BASE_H
#define CKEL_WINDOW_BASE_H

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "KELGuiCommon.h"

namespace LibKELGUI {

class KELGUI_EXPORT CKELWindowBase {
public:
    CKELWindowBase();
    virtual ~CKELWindowBase();

    /* Builds the window; ends by setting m_bInitialized. */
    virtual int Init() = 0;
    /* 1 = done, 0 = not done. */
    virtual int Show();
    /* Modal and transient for parent; callback becomes a "destroy" handler of the window. */
    virtual int ShowModal(GtkWidget* parent, GCallback callback, void* data);
    virtual int Hidden();
    /* Always 0. */
    virtual int Close();

    void DestoryWindow();

    GtkWidget* GetWindow() const { return m_pWindow; }

protected:
    /* Escape in the window clicks button (its Cancel or OK), or, without one, closes the
     * window as its frame's close box would. Call once the window is built. */
    void CloseOnEscape(GtkWidget* button);
    /* The window's icon from the image file icon; a file missing or not an image falls back to
     * fallback ("": the default program icon), and without either the window has none. */
    void SetWindowIcon(const std::string& icon, const std::string& fallback = "");

    GtkWidget* m_pWindow;
    bool m_bInitialized;
    bool m_bModal;
    bool m_bDestroying;

private:
    void WatchWindow();
    static void GtkOnWindowDestroyed(GtkWidget* widget, gpointer self);
    static gboolean GtkOnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self);
    gboolean OnKeyPress(GtkWidget* widget, GdkEventKey* event);

    GtkWidget* m_pWatched;   /* window whose "destroy" clears m_pWindow */
    gulong m_WatchHandler;
    bool* m_pAliveFlag;      /* set by DestoryWindow while a close callback may delete us */
    std::vector<gulong> m_CloseHandlers; /* close callbacks connected by ShowModal */
    GtkWidget* m_pEscapeButton;          /* lives as long as the window */

    CKELWindowBase(const CKELWindowBase&);
    CKELWindowBase& operator=(const CKELWindowBase&);
};

} // namespace LibKELGUI

#endif
