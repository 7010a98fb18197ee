/* Small helpers every window of the library shares: translated lookups and trace lines. */
#ifndef KEL_GUI_COMMON_H
#define KEL_GUI_COMMON_H

#include <gtk/gtk.h>

#include <string>

#if defined(__GNUC__)
#define KELGUI_EXPORT __attribute__((visibility("default")))
#else
#define KELGUI_EXPORT
#endif

namespace LibKELGUI {

/* Looks text up in the library's own domain; the domain is bound again first, so the
 * lookup never depends on the process's default domain. */
KELGUI_EXPORT const char* Tr(const char* text);
/* The same, for an English text that needs a second translation in a particular place (a
 * narrow button's label beside its tooltip); without a catalogue entry, text itself. */
KELGUI_EXPORT const char* TrCtx(const char* context, const char* text);

/* The plural form for n of a text with a number in it (printf directives kept). */
KELGUI_EXPORT const char* TrN(const char* singular, const char* plural, unsigned long n);
/* A translated printf format filled in. */
KELGUI_EXPORT std::string Format(const char* format, ...) G_GNUC_PRINTF(1, 2);
/* A text from outside (a peer, a file) fit to show: valid UTF-8, control characters as blanks. */
KELGUI_EXPORT std::string Printable(const std::string& text);

/* The size a window's design gives a widget is the least it gets: a larger font or a longer
 * translation makes it grow instead of being cut. Replaces gtk_widget_set_size_request. */
KELGUI_EXPORT void SetMinimumSize(GtkWidget* widget, int width, int height);

/* Gives every labelled button and check box of the window, and every label that names an
 * entry, an Alt mnemonic: the first letter of its text that no other one uses. The texts
 * stay as they are (gtk_button_get_label unchanged); only the shown label is underlined. */
KELGUI_EXPORT void AssignMnemonics(GtkWidget* window);
/* gtk_button_set_label, keeping the mnemonics of the button's window. */
KELGUI_EXPORT void SetButtonText(GtkWidget* button, const char* text);

/* Replaces gtk_widget_set_tooltip_text for widgets that may be showing: GTK's own setter then
 * asks at once which window is under the pointer, walking other programs' windows with no
 * error trap, and one of them closing meanwhile ends this process. The text (NULL or empty:
 * none) is stored where gtk_widget_get_tooltip_text and GTK's default tooltip read it, and is
 * shown the next time the pointer rests on the widget. */
KELGUI_EXPORT void SetTooltip(GtkWidget* widget, const char* text);

/* "Class::Operation >>Start" and "Class::Operation <<End" at trace level. */
KELGUI_EXPORT void TraceStart(const char* className, const char* operation);
KELGUI_EXPORT void TraceEnd(const char* className, const char* operation);
/* A trace line written as it stands. */
KELGUI_EXPORT void TraceLine(const std::string& text);
/* A failure line (level 2). */
KELGUI_EXPORT void FailureLine(const std::string& text);

} // namespace LibKELGUI

#endif
