/* The Shell Lock Settings page at work: the grid to the schedule and back, the hours' clicks, drags
 * and keys, painting the week. */
#include "CShellLockPage.h"

#include <gdk/gdkkeysyms.h>

#include <string>

#include "CLockGrid.h"
#include "CWidgetLayout.h"
#include "KELConstants.h"

using namespace LibKELData;

namespace {

const char* const CLS = "CShellSettingCtrl";

/* Free hours khaki, locked hours blue, each a lighter tint of its own under the pointer, so
 * that a click's result shows at once; with automatic locking off both greyed, still told apart. */
GdkColor g_Free = {0, 0xCC00, 0xCC00, 0x9900};
GdkColor g_Locked = {0, 0x6600, 0x9A00, 0xCC00};
GdkColor g_FreeHover = {0, 0xE400, 0xE400, 0xBC00};
GdkColor g_LockedHover = {0, 0x8C00, 0xB800, 0xE400};
GdkColor g_FreeOff = {0, 0xDD00, 0xDD00, 0xCC00};
GdkColor g_LockedOff = {0, 0x9900, 0xA800, 0xB800};

} // namespace

namespace LibKELGUI {

CShellLockPage::CShellLockPage(CShellPageHost& host, CShellPolicy& policy)
    : m_pLockPageBox(NULL)
    , m_pLockHeadingLabel(NULL)
    , m_pAutoLockCheckBox(NULL)
    , m_pAutoLockLabel(NULL)
    , m_pLockLegendLabel(NULL)
    , m_pUnlockLegendLabel(NULL)
    , m_pLockLegendImage(NULL)
    , m_pUnlockLegendImage(NULL)
    , m_pGridTable(NULL)
    , m_Host(host)
    , m_Policy(policy)
    , m_bPainting(false)
    , m_bPaintLocked(false)
    , m_FocusDay(0)
    , m_FocusHour(0)
    , m_PaintedDay(0)
    , m_PaintedHour(0)
{
}

CShellLockPage::~CShellLockPage()
{
    Detach();
}

void CShellLockPage::Detach()
{
    if (m_pLockPageBox) {
        GtkWidget* page = m_pLockPageBox;
        OnPageDestroyed();
        /* A page a host took out of the notebook and still holds must not call back into us. */
        g_signal_handlers_disconnect_matched(page, G_SIGNAL_MATCH_DATA, 0, 0, NULL, NULL, this);
    }
}

bool CShellLockPage::GridComplete() const
{
    if (!m_pAutoLockCheckBox || m_TimeGrid.size() != (size_t)CLockGrid::DAYS)
        return false;
    for (size_t day = 0; day < m_TimeGrid.size(); ++day)
        if (m_TimeGrid[day].size() != (size_t)CLockGrid::HOURS)
            return false;
    return true;
}

void CShellLockPage::Show()
{
    TraceStart(CLS, "ShowSchedulePolicy");
    CLockScheduleData& schedule = m_Policy.Schedule();
    if (m_pAutoLockCheckBox)
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(m_pAutoLockCheckBox), schedule.IsAutoLockEnable() ? TRUE : FALSE);
    /* Sections without a cell are skipped; longer sections lock every hour they cover. */
    CLockGrid grid;
    grid.MarkSections(schedule.GetPAutomaticLockTimeList());
    for (size_t day = 0; day < m_TimeGrid.size(); ++day)
        for (size_t hour = 0; hour < m_TimeGrid[day].size(); ++hour)
            gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(m_TimeGrid[day][hour]),
                                         grid.IsLocked((int)day, (int)hour) ? TRUE : FALSE);
    TraceEnd(CLS, "ShowSchedulePolicy");
}

void CShellLockPage::Fetch()
{
    TraceStart(CLS, "FetchScheuleData");
    /* Without its page the record is kept as it is: an absent grid is not an empty week. */
    if (GridComplete()) {
        CLockGrid grid;
        for (int day = 0; day < CLockGrid::DAYS; ++day)
            for (int hour = 0; hour < CLockGrid::HOURS; ++hour)
                grid.SetLocked(day, hour, gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(m_TimeGrid[day][hour])));
        m_Policy.SetSchedule(grid.NewSectionList(),
                             gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(m_pAutoLockCheckBox)) != FALSE);
    }
    TraceStart(CLS, "IsScheduleDataDirty");
    m_Policy.TestDirty(CShellPolicy::SCHEDULE);
    TraceEnd(CLS, "IsScheduleDataDirty");
    TraceEnd(CLS, "FetchScheuleData");
}

void CShellLockPage::OnWeekLabelClicked(GtkWidget* widget)
{
    TraceStart(CLS, "ClickWeekLabel");
    const gchar* label = widget && GTK_IS_BUTTON(widget) ? gtk_button_get_label(GTK_BUTTON(widget)) : NULL;
    int day = label ? CalculateDay(label) : -1;
    if (day >= 0 && day < (int)m_TimeGrid.size() && !m_TimeGrid[day].empty()) {
        gboolean lock = !gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(m_TimeGrid[day][0]));
        for (size_t hour = 0; hour < m_TimeGrid[day].size(); ++hour)
            gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(m_TimeGrid[day][hour]), lock);
    }
    TraceEnd(CLS, "ClickWeekLabel");
}

void CShellLockPage::ToggleColumn(int hour)
{
    if (!GridComplete() || hour < 0 || hour + 1 >= CLockGrid::HOURS)
        return;
    /* Like a day button: the columns take the opposite of Monday's first hour. */
    gboolean lock = !gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(m_TimeGrid[0][hour]));
    for (int day = 0; day < CLockGrid::DAYS; ++day)
        for (int h = hour; h < hour + 2; ++h)
            gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(m_TimeGrid[day][h]), lock);
}

void CShellLockPage::PaintFreeHour(GtkWidget* button)
{
    /* The colours of five states in one style change, not one each (168 buttons); the
     * insensitive one follows the hour's state in OnHourToggled. */
    GtkRcStyle* colours = gtk_widget_get_modifier_style(button);
    const struct {
        GtkStateType state;
        const GdkColor* colour;
    } bg[] = {{GTK_STATE_NORMAL, &g_Free},
              {GTK_STATE_SELECTED, &g_Locked},
              {GTK_STATE_ACTIVE, &g_Locked},
              {GTK_STATE_PRELIGHT, &g_FreeHover},
              {GTK_STATE_INSENSITIVE, &g_FreeOff}};
    for (const auto& b : bg) {
        colours->bg[b.state] = *b.colour;
        colours->color_flags[b.state] = GtkRcFlags(colours->color_flags[b.state] | GTK_RC_BG);
    }
    gtk_widget_modify_style(button, colours);
}

void CShellLockPage::OnHourToggled(GtkWidget* button)
{
    int day = 0;
    int hour = 0;
    if (!Locate(button, day, hour))
        return;
    bool locked = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(button));
    AtkObject* accessible = gtk_widget_get_accessible(button);
    Describe(button, accessible, atk_object_get_name(accessible), locked);
    gtk_widget_modify_bg(button, GTK_STATE_INSENSITIVE, locked ? &g_LockedOff : &g_FreeOff);
    gtk_widget_modify_bg(button, GTK_STATE_PRELIGHT, locked ? &g_LockedHover : &g_FreeHover);
    if (hour == 0)
        UpdateDayTooltip(day);
    m_Host.OnPageEdited(CShellPolicy::SCHEDULE);
}

void CShellLockPage::Describe(GtkWidget* button, AtkObject* accessible, const char* name, bool locked)
{
    const char* state = locked ? Tr("Lock") : Tr("Unlock");
    gchar* tooltip = g_strdup_printf("%s: %s", name ? name : "", state);
    SetTooltip(button, tooltip);
    g_free(tooltip);
    atk_object_set_description(accessible, state);
}

void CShellLockPage::UpdateDayTooltip(int day)
{
    if (day < 0 || day >= (int)m_DayButtons.size() || day >= (int)m_TimeGrid.size() || m_TimeGrid[day].empty())
        return;
    /* A click follows the day's first hour: it frees the whole day when that hour is locked. */
    bool firstLocked = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(m_TimeGrid[day][0]));
    SetTooltip(m_DayButtons[day], firstLocked ? Tr("Click to free every hour of this day")
                                                               : Tr("Click to lock every hour of this day"));
}

void CShellLockPage::UpdateGridState()
{
    /* Automatic locking off: the hours are kept and shown, greyed, and cannot be edited. */
    if (m_pGridTable && m_pAutoLockCheckBox)
        gtk_widget_set_sensitive(m_pGridTable,
                                 gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(m_pAutoLockCheckBox)));
}

bool CShellLockPage::Locate(GtkWidget* button, int& day, int& hour) const
{
    day = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "kel-day"));
    hour = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "kel-hour"));
    return day >= 0 && day < (int)m_TimeGrid.size() && hour >= 0 && hour < (int)m_TimeGrid[day].size() &&
           m_TimeGrid[day][hour] == button;
}

void CShellLockPage::Paint(int day, int hour)
{
    GtkToggleButton* button = GTK_TOGGLE_BUTTON(m_TimeGrid[day][hour]);
    if ((gtk_toggle_button_get_active(button) != FALSE) != m_bPaintLocked)
        gtk_toggle_button_set_active(button, m_bPaintLocked);
}

void CShellLockPage::PaintTo(int day, int hour)
{
    int d0 = m_PaintedDay;
    int h0 = m_PaintedHour;
    const int steps = MAX(ABS(day - d0), ABS(hour - h0));
    for (int i = 1; i <= steps; ++i) {
        int d = d0 + ((day - d0) * i * 2 + (day >= d0 ? steps : -steps)) / (2 * steps);
        int h = h0 + ((hour - h0) * i * 2 + (hour >= h0 ? steps : -steps)) / (2 * steps);
        Paint(d, h);
    }
    m_PaintedDay = day;
    m_PaintedHour = hour;
}

GtkWidget* CShellLockPage::FocusTarget(int day, int hour) const
{
    if (day < 0)
        return hour / 2 < (int)m_HourLabels.size() ? m_HourLabels[hour / 2] : NULL;
    return m_TimeGrid[day][hour];
}

void CShellLockPage::MoveFocus(int day, int hour)
{
    if (!GridComplete() || m_HourLabels.empty())
        return;
    /* The rows are the labels (-1) and the seven days, each way round. */
    day = (day + 1 + CLockGrid::DAYS + 1) % (CLockGrid::DAYS + 1) - 1;
    hour = (hour + CLockGrid::HOURS) % CLockGrid::HOURS;
    if (day < 0)
        hour &= ~1;
    GtkWidget* from = FocusTarget(m_FocusDay, m_FocusHour);
    GtkWidget* to = FocusTarget(day, hour);
    if (!from || !to)
        return;
    GTK_WIDGET_SET_FLAGS(to, GTK_CAN_FOCUS);
    gtk_widget_grab_focus(to);
    if (from != to) {
        GTK_WIDGET_UNSET_FLAGS(from, GTK_CAN_FOCUS);
        gtk_widget_queue_draw(from);
    }
    gtk_widget_queue_draw(to);
    m_FocusDay = day;
    m_FocusHour = hour;
}

void CShellLockPage::DrawFocusMark(GtkWidget* target, GdkWindow* window, const GdkRectangle& area)
{
    /* Shown while the window keeps its keyboard there, whether or not it is the active one. */
    if (!gtk_widget_is_focus(target) || !gtk_widget_is_sensitive(target))
        return;
    const GtkAllocation& a = target->allocation;
    cairo_t* cr = gdk_cairo_create(window);
    gdk_cairo_rectangle(cr, &area);
    cairo_clip(cr);
    /* Dark outside, white inside: one of the two stands out on khaki, blue and grey. */
    cairo_set_line_width(cr, 2.0);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_rectangle(cr, a.x + 1, a.y + 1, a.width - 2, a.height - 2);
    cairo_stroke(cr);
    cairo_set_line_width(cr, 1.0);
    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_rectangle(cr, a.x + 2.5, a.y + 2.5, a.width - 5, a.height - 5);
    cairo_stroke(cr);
    cairo_destroy(cr);
}

void CShellLockPage::OnPageDestroyed()
{
    m_bPainting = false;
    m_pLockPageBox = NULL;
    m_pLockHeadingLabel = NULL;
    m_pAutoLockCheckBox = NULL;
    m_pAutoLockLabel = NULL;
    m_pLockLegendLabel = NULL;
    m_pUnlockLegendLabel = NULL;
    m_pLockLegendImage = NULL;
    m_pUnlockLegendImage = NULL;
    m_pGridTable = NULL;
    m_DayButtons.clear();
    m_TimeGrid.clear();
    m_HourLabels.clear();
}

/* ---------------------------------------------------------------- handlers */

void CShellLockPage::GtkOnHourToggled(GtkToggleButton* button, gpointer data)
{
    static_cast<CShellLockPage*>(data)->OnHourToggled(GTK_WIDGET(button));
}

gboolean CShellLockPage::GtkOnHourEvent(GtkWidget* button, GdkEvent* event, gpointer data)
{
    switch (event->type) {
    case GDK_BUTTON_PRESS:
    case GDK_2BUTTON_PRESS:
    case GDK_3BUTTON_PRESS: return GtkOnHourPress(button, &event->button, data);
    case GDK_MOTION_NOTIFY: return GtkOnHourMotion(button, &event->motion, data);
    case GDK_BUTTON_RELEASE: return GtkOnHourRelease(button, &event->button, data);
    case GDK_KEY_PRESS: return GtkOnHourKey(button, &event->key, data);
    default: return FALSE;
    }
}

gboolean CShellLockPage::GtkOnHourPress(GtkWidget* button, GdkEventButton* event, gpointer data)
{
    CShellLockPage* self = static_cast<CShellLockPage*>(data);
    int day = 0;
    int hour = 0;
    if (event->type != GDK_BUTTON_PRESS || event->button != 1 || !self->Locate(button, day, hour))
        return event->type != GDK_BUTTON_PRESS; /* double clicks would toggle twice more */
    /* Every hour the pointer then crosses takes the state this one takes. */
    self->m_bPainting = true;
    self->m_bPaintLocked = !gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(button));
    self->Paint(day, hour);
    self->m_PaintedDay = day;
    self->m_PaintedHour = hour;
    self->MoveFocus(day, hour);
    return TRUE;
}

gboolean CShellLockPage::GtkOnHourMotion(GtkWidget* button, GdkEventMotion* event, gpointer data)
{
    CShellLockPage* self = static_cast<CShellLockPage*>(data);
    if (!self->m_bPainting || !self->GridComplete())
        return FALSE;
    /* The pressed hour holds the pointer: find the hour under it. The days' rows have windows
     * of their own, so the point is taken into each hour's own coordinates. */
    for (int day = 0; day < CLockGrid::DAYS; ++day)
        for (int hour = 0; hour < CLockGrid::HOURS; ++hour) {
            GtkWidget* cell = self->m_TimeGrid[day][hour];
            int x = 0;
            int y = 0;
            if (gtk_widget_translate_coordinates(button, cell, (int)event->x, (int)event->y, &x, &y) && x >= 0 &&
                x < cell->allocation.width && y >= 0 && y < cell->allocation.height) {
                self->PaintTo(day, hour);
                return TRUE;
            }
        }
    return TRUE;
}

gboolean CShellLockPage::GtkOnHourRelease(GtkWidget*, GdkEventButton* event, gpointer data)
{
    CShellLockPage* self = static_cast<CShellLockPage*>(data);
    if (event->button != 1)
        return FALSE;
    self->m_bPainting = false;
    return TRUE;
}

gboolean CShellLockPage::GtkOnHourKey(GtkWidget* button, GdkEventKey* event, gpointer data)
{
    CShellLockPage* self = static_cast<CShellLockPage*>(data);
    int day = 0;
    int hour = 0;
    if (!self->Locate(button, day, hour))
        return FALSE;
    switch (event->keyval) {
    case GDK_Left: case GDK_KP_Left: self->MoveFocus(day, hour - 1); return TRUE;
    case GDK_Right: case GDK_KP_Right: self->MoveFocus(day, hour + 1); return TRUE;
    case GDK_Up: case GDK_KP_Up: self->MoveFocus(day - 1, hour); return TRUE;
    case GDK_Down: case GDK_KP_Down: self->MoveFocus(day + 1, hour); return TRUE;
    default: return FALSE; /* Space toggles as on any toggle button */
    }
}

gboolean CShellLockPage::GtkOnHourLabelPress(GtkWidget* box, GdkEventButton* event, gpointer data)
{
    if (event->type == GDK_BUTTON_PRESS && event->button == 1)
        static_cast<CShellLockPage*>(data)->ToggleColumn(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(box), "kel-hour")));
    return TRUE;
}

void CShellLockPage::GtkOnDayClicked(GtkWidget* button, gpointer data)
{
    static_cast<CShellLockPage*>(data)->OnWeekLabelClicked(button);
}

gboolean CShellLockPage::GtkOnHourLabelKey(GtkWidget* box, GdkEventKey* event, gpointer data)
{
    CShellLockPage* self = static_cast<CShellLockPage*>(data);
    const int hour = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(box), "kel-hour"));
    switch (event->keyval) {
    case GDK_Left: case GDK_KP_Left: self->MoveFocus(-1, hour - 2); return TRUE;
    case GDK_Right: case GDK_KP_Right: self->MoveFocus(-1, hour + 2); return TRUE;
    case GDK_Up: case GDK_KP_Up: self->MoveFocus(CLockGrid::DAYS - 1, hour); return TRUE;
    case GDK_Down: case GDK_KP_Down: self->MoveFocus(0, hour); return TRUE;
    case GDK_space: case GDK_Return: case GDK_KP_Enter: self->ToggleColumn(hour); return TRUE;
    default: return FALSE;
    }
}

gboolean CShellLockPage::GtkOnHourLabelExposed(GtkWidget* box, GdkEventExpose* event, gpointer)
{
    DrawFocusMark(box, event->window, event->area);
    return FALSE;
}

gboolean CShellLockPage::GtkOnRowExposed(GtkWidget*, GdkEventExpose* event, gpointer data)
{
    CShellLockPage* self = static_cast<CShellLockPage*>(data);
    if (self->m_FocusDay >= 0 && self->GridComplete()) {
        GtkWidget* cell = self->m_TimeGrid[self->m_FocusDay][self->m_FocusHour];
        if (cell->window == event->window)
            DrawFocusMark(cell, event->window, event->area);
    }
    return FALSE;
}

gboolean CShellLockPage::GtkOnAutoLockLabelPress(GtkWidget*, GdkEventButton* event, gpointer data)
{
    CShellLockPage* self = static_cast<CShellLockPage*>(data);
    if (event->type == GDK_BUTTON_PRESS && event->button == 1 && self->m_pAutoLockCheckBox)
        gtk_button_clicked(GTK_BUTTON(self->m_pAutoLockCheckBox));
    return TRUE;
}

void CShellLockPage::GtkOnAutoLockToggled(GtkToggleButton*, gpointer data)
{
    CShellLockPage* self = static_cast<CShellLockPage*>(data);
    self->UpdateGridState();
    self->m_Host.OnPageEdited(CShellPolicy::SCHEDULE);
}

void CShellLockPage::GtkOnPageDestroy(GtkWidget*, gpointer data)
{
    static_cast<CShellLockPage*>(data)->OnPageDestroyed();
}

} // namespace LibKELGUI
