/* End points of window benchmarks: the first expose caught through GDK's event hook, and idle. */
#ifndef KELBENCH_GUI_WAIT_H
#define KELBENCH_GUI_WAIT_H

#include <gtk/gtk.h>

namespace kelbench {

/* GDK's lock, gtk_init and the event hook; false without a display. Afterwards the main
 * thread holds GDK's lock except inside WaitShown and WaitIdle. */
bool StartGtk(int* argc, char*** argv);

/* Watches for the first expose of a window: either of exactly this GdkWindow (a list's bin
 * window), or of any window inside this toplevel widget (looked up when the event comes, so
 * the toplevel may be realized later). Call before the action that shows or changes it. */
void ArmExpose(GdkWindow* exactly);
void ArmExposeIn(GtkWidget* toplevel);
/* Runs the main loop until the armed expose has been handled; its time (NowMs), or a
 * negative value after a 20 s timeout. */
double WaitShown();
/* Runs the main loop until nothing is left to do and no event is pending; the time then. */
double WaitIdle();

} // namespace kelbench

#endif
