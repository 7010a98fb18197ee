/* Translated lookups and trace lines shared by the library's windows. */
#include "KELGuiCommon.h"

#include <gdk/gdkkeysyms.h>
#include <libintl.h>

#include <cstdarg>
#include <set>
#include <vector>

#include "KELConstants.h"
#include "KELLog.h"

using LibKELData::CKELLog;

namespace LibKELGUI {

const char* Tr(const char* text)
{
    bindtextdomain(LibKELData::KEL_LIB_GUI.c_str(), LibKELData::LOCALEDIR.c_str());
    bind_textdomain_codeset(LibKELData::KEL_LIB_GUI.c_str(), "UTF-8");
    return dgettext(LibKELData::KEL_LIB_GUI.c_str(), text);
}

const char* TrCtx(const char* context, const char* text)
{
    /* gettext's key for a message with a context: the context, EOT, the text. */
    const std::string key = std::string(context) + '\004' + text;
    const char* found = Tr(key.c_str());
    return found == key.c_str() ? text : found;
}

const char* TrN(const char* singular, const char* plural, unsigned long n)
{
    Tr(""); /* binds the domain */
    return dngettext(LibKELData::KEL_LIB_GUI.c_str(), singular, plural, n);
}

std::string Printable(const std::string& text)
{
    gchar* valid = g_utf8_make_valid(text.c_str(), (gssize)text.size());
    std::string shown = valid;
    g_free(valid);
    for (char& c : shown)
        if ((unsigned char)c < 0x20 || c == 0x7f)
            c = ' ';
    return shown;
}

std::string Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    gchar* text = g_strdup_vprintf(format, args);
    va_end(args);
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

namespace {

void EnforceMinimum(GtkWidget*, GtkRequisition* requisition, gpointer packed)
{
    const guint value = GPOINTER_TO_UINT(packed);
    requisition->width = MAX(requisition->width, (gint)(value >> 16));
    requisition->height = MAX(requisition->height, (gint)(value & 0xffff));
}

void CollectWidgets(GtkWidget* widget, gpointer out)
{
    static_cast<std::vector<GtkWidget*>*>(out)->push_back(widget);
    /* forall, not foreach: a button's label is an internal child. */
    if (GTK_IS_CONTAINER(widget))
        gtk_container_forall(GTK_CONTAINER(widget), CollectWidgets, out);
}

/* The label that shows a button's text, when it is a plain label. */
GtkLabel* ButtonLabel(GtkWidget* widget)
{
    if (!GTK_IS_BUTTON(widget) || !gtk_button_get_label(GTK_BUTTON(widget)) ||
        gtk_button_get_use_underline(GTK_BUTTON(widget)) || gtk_button_get_use_stock(GTK_BUTTON(widget)))
        return NULL;
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(widget));
    return GTK_IS_LABEL(child) ? GTK_LABEL(child) : NULL;
}

/* text with "_" before its first character not in used (which it joins), every "_" of
 * its own doubled; text itself doubled alone when no character is free. */
std::string WithMnemonic(const std::string& text, std::set<gunichar>& used)
{
    std::string out;
    bool chosen = false;
    for (const gchar* p = text.c_str(); *p; p = g_utf8_next_char(p)) {
        const gunichar c = g_utf8_get_char(p);
        if (!chosen && g_unichar_isalnum(c) && used.insert(g_unichar_tolower(c)).second) {
            out += '_';
            chosen = true;
        }
        if (c == '_')
            out += '_';
        out.append(p, g_utf8_next_char(p) - p);
    }
    return out;
}

} // namespace

void SetMinimumSize(GtkWidget* widget, int width, int height)
{
    if (!widget)
        return;
    const guint packed = ((guint)CLAMP(width, 0, 0xffff) << 16) | (guint)CLAMP(height, 0, 0xffff);
    g_signal_connect_after(widget, "size-request", G_CALLBACK(EnforceMinimum), GUINT_TO_POINTER(packed));
    gtk_widget_queue_resize(widget);
}

void AssignMnemonics(GtkWidget* window)
{
    if (!window)
        return;
    std::vector<GtkWidget*> widgets;
    CollectWidgets(window, &widgets);
    std::vector<std::pair<GtkLabel*, std::string> > wanted;
    std::set<GtkLabel*> ours;
    for (GtkWidget* w : widgets) {
        GtkLabel* label = ButtonLabel(w);
        if (label) {
            wanted.push_back(std::make_pair(label, std::string(gtk_button_get_label(GTK_BUTTON(w)))));
            ours.insert(label);
        } else if (GTK_IS_LABEL(w) && gtk_label_get_mnemonic_widget(GTK_LABEL(w)) && !ours.count(GTK_LABEL(w))) {
            wanted.push_back(std::make_pair(GTK_LABEL(w), std::string(gtk_label_get_text(GTK_LABEL(w)))));
            ours.insert(GTK_LABEL(w));
        }
    }
    /* Mnemonics that others set stay theirs. */
    std::set<gunichar> used;
    for (GtkWidget* w : widgets)
        if (GTK_IS_LABEL(w) && !ours.count(GTK_LABEL(w)) && gtk_label_get_use_underline(GTK_LABEL(w))) {
            const guint key = gtk_label_get_mnemonic_keyval(GTK_LABEL(w));
            if (key != GDK_VoidSymbol)
                used.insert(g_unichar_tolower(gdk_keyval_to_unicode(key)));
        }
    for (size_t i = 0; i < wanted.size(); ++i) {
        const std::string text = WithMnemonic(wanted[i].second, used);
        GtkLabel* label = wanted[i].first;
        if (!gtk_label_get_use_underline(label) || text != gtk_label_get_label(label))
            gtk_label_set_text_with_mnemonic(label, text.c_str());
    }
}

void SetButtonText(GtkWidget* button, const char* text)
{
    if (!button)
        return;
    gtk_button_set_label(GTK_BUTTON(button), text);
    AssignMnemonics(gtk_widget_get_toplevel(button));
}

void SetTooltip(GtkWidget* widget, const char* text)
{
    /* The same data GTK 2's "tooltip-text" setter keeps (escaped markup under this key), so
     * getters, the default "query-tooltip" handler and accessibility all read it, but without
     * the setter's immediate pointer query. */
    static const GQuark markupKey = g_quark_from_static_string("gtk-tooltip-markup");
    gchar* markup = (text && *text) ? g_markup_escape_text(text, -1) : NULL;
    g_object_set_qdata_full(G_OBJECT(widget), markupKey, markup, g_free);
    /* Setting has-tooltip queries nothing; once set it stays, a missing text shows none. */
    if (markup && !gtk_widget_get_has_tooltip(widget))
        gtk_widget_set_has_tooltip(widget, TRUE);
    g_object_notify(G_OBJECT(widget), "tooltip-text");
    g_object_notify(G_OBJECT(widget), "tooltip-markup");
}

void TraceStart(const char* className, const char* operation)
{
    CKELLog::WriteLine(std::string(className) + "::" + operation + " >>Start", 0, "", false);
}

void TraceEnd(const char* className, const char* operation)
{
    CKELLog::WriteLine(std::string(className) + "::" + operation + " <<End", 0, "", false);
}

void TraceLine(const std::string& text)
{
    CKELLog::WriteLine(text, 0, "", false);
}

void FailureLine(const std::string& text)
{
    CKELLog::WriteLine(text, 2, "", false);
}

} // namespace LibKELGUI
