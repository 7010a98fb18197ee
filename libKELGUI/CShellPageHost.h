/* What a page of the Shell Settings window may ask of the window that holds it. */
#ifndef CSHELL_PAGE_HOST_H
#define CSHELL_PAGE_HOST_H

#include <gtk/gtk.h>

#include "CShellPolicy.h"
#include "CWidgetLayout.h"

namespace LibKELGUI {

class CShellPageHost {
public:
    virtual ~CShellPageHost() {}
    /* The toplevel window: parent of the page's message boxes and dialogs. */
    virtual GtkWidget* PageParentWindow() = 0;
    /* The user changed the record on a page: the window marks it and updates its buttons. This
     * is the one way a page marks a record changed. While the window shows a loaded record, a
     * page's widgets set from it are no edit: the window then ignores the call. */
    virtual void OnPageEdited(CShellPolicy::Record record) = 0;
    /* What a page leaves to the window, whose concrete kinds may do it their own way. */
    enum Request { EDIT_CATEGORY, EDIT_PROGRAM, ADD_PROGRAMS, RESTORE_DEFAULTS };
    virtual void OnPageRequest(Request request) = 0;
};

/* See CWidgetLayout::KeepMinimumSize. */
inline void KeepMinimumSize(GtkWidget* widget, int width, int height)
{
    CWidgetLayout::KeepMinimumSize(widget, width, height);
}

} // namespace LibKELGUI

#endif
