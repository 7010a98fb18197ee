/* The Shell Lock Settings page: automatic locking and the week of lockable hours. */
#ifndef CSHELL_LOCK_PAGE_H
#define CSHELL_LOCK_PAGE_H

#include <gtk/gtk.h>

#include <vector>

#include "CShellPageHost.h"

namespace LibKELGUI {

class CShellLockPage {
public:
    CShellLockPage(CShellPageHost& host, CShellPolicy& policy);
    ~CShellLockPage();

    /* Appends the page to the notebook; its widgets call the page's own handlers. */
    void Build(GtkWidget* notebook);
    /* Record to grid, and grid to record (through the policy's lock-status rules). */
    void Show();
    void Fetch();
    /* 0 (Monday) to 6 (Sunday) for a translated day button label, else -1. */
    int CalculateDay(const char* day);
    /* A day button: the whole day takes the opposite of its first hour. */
    void OnWeekLabelClicked(GtkWidget* widget);
    /* Stops calling back into the window. */
    void Detach();

    /* Widgets, reachable as the window's members; null once the page is destroyed. */
    GtkWidget* m_pLockPageBox;
    GtkWidget* m_pLockHeadingLabel;
    GtkWidget* m_pAutoLockCheckBox;
    GtkWidget* m_pAutoLockLabel;
    GtkWidget* m_pLockLegendLabel;
    GtkWidget* m_pUnlockLegendLabel;
    GtkWidget* m_pLockLegendImage;
    GtkWidget* m_pUnlockLegendImage;
    GtkWidget* m_pGridTable;
    std::vector<GtkWidget*> m_DayButtons;
    std::vector<std::vector<GtkWidget*> > m_TimeGrid; /* [day][hour] toggle buttons */
    std::vector<GtkWidget*> m_HourLabels;              /* one per two hours, from hour 0 */

private:
    static void GtkOnHourToggled(GtkToggleButton* button, gpointer data);
    static gboolean GtkOnHourEvent(GtkWidget* button, GdkEvent* event, gpointer data);
    static gboolean GtkOnHourPress(GtkWidget* button, GdkEventButton* event, gpointer data);
    static gboolean GtkOnHourMotion(GtkWidget* button, GdkEventMotion* event, gpointer data);
    static gboolean GtkOnHourRelease(GtkWidget* button, GdkEventButton* event, gpointer data);
    static gboolean GtkOnHourKey(GtkWidget* button, GdkEventKey* event, gpointer data);
    static gboolean GtkOnHourLabelPress(GtkWidget* box, GdkEventButton* event, gpointer data);
    static gboolean GtkOnAutoLockLabelPress(GtkWidget* box, GdkEventButton* event, gpointer data);
    static void GtkOnAutoLockToggled(GtkToggleButton* button, gpointer data);
    static void GtkOnPageDestroy(GtkWidget* widget, gpointer data);
    static void GtkOnDayClicked(GtkWidget* button, gpointer data);
    static gboolean GtkOnRowExposed(GtkWidget* row, GdkEventExpose* event, gpointer data);
    static gboolean GtkOnHourLabelExposed(GtkWidget* box, GdkEventExpose* event, gpointer data);
    static gboolean GtkOnHourLabelKey(GtkWidget* box, GdkEventKey* event, gpointer data);

    void BuildHeading();
    void BuildAutoLockRow();
    void BuildGrid();
    void BuildHours();
    void OnHourToggled(GtkWidget* button);
    /* The hour's tooltip and accessible description: its name and state in the legend's words. */
    void Describe(GtkWidget* button, AtkObject* accessible, const char* name, bool locked);
    /* A new hour's colours, in each of its states, as a free hour. */
    void PaintFreeHour(GtkWidget* button);
    bool Locate(GtkWidget* button, int& day, int& hour) const;
    void Paint(int day, int hour);
    /* Paints every hour on the line from the last painted one to this one: a fast drag
     * reports only some of the hours it crossed. */
    void PaintTo(int day, int hour);
    /* day -1 is the row of hour labels, whose labels each stand for two hours. */
    void MoveFocus(int day, int hour);
    GtkWidget* FocusTarget(int day, int hour) const;
    /* A ring around the keyboard's hour (or label), seen on locked and free hours alike. */
    static void DrawFocusMark(GtkWidget* target, GdkWindow* window, const GdkRectangle& area);
    void ToggleColumn(int hour);
    void UpdateDayTooltip(int day);
    void UpdateGridState();
    void OnPageDestroyed();
    bool GridComplete() const;

    CShellPageHost& m_Host;
    CShellPolicy& m_Policy;
    bool m_bPainting;
    bool m_bPaintLocked;
    int m_FocusDay;
    int m_FocusHour;
    int m_PaintedDay;
    int m_PaintedHour;
};

} // namespace LibKELGUI

#endif
