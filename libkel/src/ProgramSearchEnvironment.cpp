/* The search's environment of this process, with what gdk-pixbuf can show here. */
#include "ProgramSearch.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstring>
#include <mutex>

namespace IPCAPI {

ProgramSearchEnvironment ProgramSearchEnvironment::FromProcess()
{
    /* An SVG icon is worth offering only where it can be shown. Asked once per process. */
    static std::once_flag once;
    static bool svg = false;
    std::call_once(once, [] {
        GSList* formats = gdk_pixbuf_get_formats();
        for (GSList* f = formats; f; f = f->next) {
            gchar* name = gdk_pixbuf_format_get_name(static_cast<GdkPixbufFormat*>(f->data));
            if (name && strcmp(name, "svg") == 0)
                svg = true;
            g_free(name);
        }
        g_slist_free(formats);
    });
    return FromVariables(svg);
}

} // namespace IPCAPI
