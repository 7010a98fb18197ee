/* Small helpers every window of the library shares: translated lookups and trace lines. */
#ifndef KEL_GUI_COMMON_H
#define KEL_GUI_COMMON_H

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

/* "Class::Operation >>Start" and "Class::Operation <<End" at trace level. */
KELGUI_EXPORT void TraceStart(const char* className, const char* operation);
KELGUI_EXPORT void TraceEnd(const char* className, const char* operation);
/* A trace line written as it stands. */
KELGUI_EXPORT void TraceLine(const std::string& text);
/* A failure line (level 2). */
KELGUI_EXPORT void FailureLine(const std::string& text);

} // namespace LibKELGUI

#endif
