/* The Shell Lock Settings page: building, the grid to the schedule and back, painting the week. */
#include "CShellLockPage.h"

#include <gdk/gdkkeysyms.h>

#include <string>

#include "CLockGrid.h"
#include "CWidgetLayout.h"
#include "KELConstants.h"

using namespace LibKELData;

namespace {

const char* const CLS = "CShellSettingCtrl";

/* The translated day button texts, 0 = Monday. */
const char* DayName(int day)
{
    switch (day) {
    /* Translators: "Mon" to "Sun" label the narrow day buttons of the lock grid: two or three letters. */
    case 0: return LibKELGUI::Tr("Mon");
    case 1: return LibKELGUI::Tr("Tue");
    case 2: return LibKELGUI::Tr("Wed");
    case 3: return LibKELGUI::Tr("Thu");
    case 4: return LibKELGUI::Tr("Fri");
    case 5: return LibKELGUI::Tr("Sat");
    case 6: return LibKELGUI::Tr("Sun");
    default: return "";
    }
}

/* Free hours khaki, locked hours blue, each a lighter tint of its own under the pointer, so
 * that a click's result shows at once; with automatic locking off both greyed, still told apart. */
GdkColor g_Free = {0, 0xCC00, 0xCC00, 0x9900};
GdkColor g_Locked = {0, 0x6600, 0x9A00, 0xCC00};
GdkColor g_FreeHover = {0, 0xE400, 0xE400, 0xBC00};
GdkColor g_LockedHover = {0, 0x8C00, 0xB800, 0xE400};
GdkColor g_FreeOff = {0, 0xDD00, 0xDD00, 0xCC00};
GdkColor g_LockedOff = {0, 0x9900, 0xA800, 0xB800};

/* The grid's columns: three for the day buttons, then the hours' 24 and two gaps. */
const guint FIRST_HOUR_COLUMN = 3;
const guint HOUR_COLUMNS = 26;

/* Day buttons are link buttons without a link: GTK's own click handling would try to open the
 * empty URI and warn on every click, so this kind only reports its clicks. */
typedef GtkLinkButton KelDayButton;
typedef GtkLinkButtonClass KelDayButtonClass;
G_DEFINE_TYPE(KelDayButton, kel_day_button, GTK_TYPE_LINK_BUTTON)

void kel_day_button_clicked(GtkButton*) {}

void kel_day_button_class_init(KelDayButtonClass* klass)
{
    GTK_BUTTON_CLASS(klass)->clicked = kel_day_button_clicked;
}

void kel_day_button_init(KelDayButton*) {}

GtkWidget* NewDayButton(const char* label)
{
    return GTK_WIDGET(g_object_new(kel_day_button_get_type(), "label", label, "uri", "", NULL));
}

GtkWidget* PackLegend(GtkWidget* row, const char* text, const char* image)
{
    GtkWidget* label = gtk_label_new(text);
    gtk_box_pack_end(GTK_BOX(row), label, FALSE, FALSE, 10);
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file((KEL_RESOURCE_IMAGE_PATH + image).c_str(), NULL);
    GtkWidget* picture = gtk_image_new_from_pixbuf(pixbuf);
    if (pixbuf)
        g_object_unref(pixbuf);
    gtk_box_pack_end(GTK_BOX(row), picture, FALSE, FALSE, 5);
    return label;
}

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

void CShellLockPage::Build(GtkWidget* notebook)
{
    TraceStart(CLS, "initShellLockSetting");
    m_pLockPageBox = gtk_vbox_new(FALSE, 5);
    gtk_container_set_border_width(GTK_CONTAINER(m_pLockPageBox), 0);
    gtk_widget_show(m_pLockPageBox);
    CWidgetLayout::AppendPage(notebook, m_pLockPageBox, Tr("Shell Lock Settings"), G_CALLBACK(GtkOnPageDestroy), this);
    BuildHeading();
    BuildAutoLockRow();
    BuildGrid();
    BuildHours();
    gtk_widget_show_all(m_pLockPageBox);
    UpdateGridState();
    TraceEnd(CLS, "initShellLockSetting");
}

void CShellLockPage::BuildHeading()
{
    GtkWidget* headingRow = gtk_hbox_new(FALSE, 5);
    gtk_box_pack_start(GTK_BOX(m_pLockPageBox), headingRow, FALSE, FALSE, 0);
    m_pLockHeadingLabel = gtk_label_new(Tr("Shell Lock Settings"));
    gtk_box_pack_start(GTK_BOX(headingRow), m_pLockHeadingLabel, FALSE, FALSE, 10);
}

void CShellLockPage::BuildAutoLockRow()
{
    GtkWidget* row = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(m_pLockPageBox), row, FALSE, FALSE, 0);
    m_pAutoLockCheckBox = gtk_check_button_new();
    gtk_box_pack_start(GTK_BOX(row), m_pAutoLockCheckBox, FALSE, FALSE, 10);
    g_signal_connect(m_pAutoLockCheckBox, "toggled", G_CALLBACK(GtkOnAutoLockToggled), this);
    m_pAutoLockLabel = gtk_label_new_with_mnemonic(Tr("Automatically lock Daxwyn"));
    gtk_label_set_mnemonic_widget(GTK_LABEL(m_pAutoLockLabel), m_pAutoLockCheckBox);
    KeepMinimumSize(m_pAutoLockLabel, 295, 25);
    gtk_misc_set_alignment(GTK_MISC(m_pAutoLockLabel), 0, 0.5);
    SetTooltip(m_pAutoLockLabel, Tr("Automatically lock Daxwyn"));
    /* Clicking the text ticks the box, as with any check box. */
    GtkWidget* labelBox = gtk_event_box_new();
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(labelBox), FALSE);
    gtk_container_add(GTK_CONTAINER(labelBox), m_pAutoLockLabel);
    g_signal_connect(labelBox, "button-press-event", G_CALLBACK(GtkOnAutoLockLabelPress), this);
    gtk_box_pack_start(GTK_BOX(row), labelBox, FALSE, FALSE, 0);

    /* Legend, packed from the right edge inwards; the hours' tooltips use the same words. */
    /* Translators: "Lock" and "Unlock" explain the two colours of the lock grid's hours. */
    m_pLockLegendLabel = PackLegend(row, Tr("Lock"), "sc_locked.png");
    m_pUnlockLegendLabel = PackLegend(row, Tr("Unlock"), "sc_unlocked.png");
}

void CShellLockPage::BuildGrid()
{
    GtkWidget* gridRow = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(m_pLockPageBox), gridRow, FALSE, FALSE, 0);
    GtkWidget* gridBox = gtk_vbox_new(FALSE, 0);
    gtk_container_set_border_width(GTK_CONTAINER(gridBox), 5);
    gtk_box_pack_start(GTK_BOX(gridRow), gridBox, FALSE, FALSE, 0);
    m_pGridTable = gtk_table_new(8, FIRST_HOUR_COLUMN + HOUR_COLUMNS, TRUE);
    gtk_box_pack_start(GTK_BOX(gridBox), m_pGridTable, FALSE, FALSE, 0);

    /* One label per two hours; columns 11 and 20 separate the day's three blocks of eight. A
     * click on a label toggles its two hours on every day. */
    m_HourLabels.clear();
    struct {
        const char* text;
        guint left;
        int hour;
    } const hourLabels[] = {
        /* Translators: hour labels "0" to "22" of the lock grid: keep them, the blank of " 8" too. */
        {Tr("0"), 3, 0},    {Tr("2"), 5, 2},    {Tr("4"), 7, 4},    {Tr("6"), 9, 6},
        {Tr(" 8"), 12, 8},  {Tr("10"), 14, 10}, {Tr("12"), 16, 12}, {Tr("14"), 18, 14},
        {Tr("16"), 21, 16}, {Tr("18"), 23, 18}, {Tr("20"), 25, 20}, {Tr("22"), 27, 22},
    };
    for (size_t i = 0; i < sizeof(hourLabels) / sizeof(hourLabels[0]); ++i) {
        GtkWidget* label = gtk_label_new(hourLabels[i].text);
        gtk_misc_set_alignment(GTK_MISC(label), 0.1, 0.5);
        GtkWidget* box = gtk_event_box_new();
        gtk_event_box_set_visible_window(GTK_EVENT_BOX(box), FALSE);
        gtk_container_add(GTK_CONTAINER(box), label);
        SetTooltip(box, Tr("Click to toggle these two hours on every day"));
        g_object_set_data(G_OBJECT(box), "kel-hour", GINT_TO_POINTER(hourLabels[i].hour));
        g_signal_connect(box, "button-press-event", G_CALLBACK(GtkOnHourLabelPress), this);
        /* Reached with Up from Monday's hours; Space or Enter toggles the column. */
        g_signal_connect(box, "key-press-event", G_CALLBACK(GtkOnHourLabelKey), this);
        g_signal_connect_after(box, "expose-event", G_CALLBACK(GtkOnHourLabelExposed), this);
        m_HourLabels.push_back(box);
        gtk_table_attach_defaults(GTK_TABLE(m_pGridTable), box, hourLabels[i].left, hourLabels[i].left + 2, 0, 1);
    }

    m_DayButtons.clear();
    for (int day = 0; day < CLockGrid::DAYS; ++day) {
        GtkWidget* dayButton = NewDayButton(DayName(day));
        gtk_button_set_alignment(GTK_BUTTON(dayButton), 0, 0.5);
        KeepMinimumSize(dayButton, 15, 25);
        gtk_widget_set_name(dayButton, KEL_STYLE_LINK_BUTTON.c_str());
        gtk_table_attach_defaults(GTK_TABLE(m_pGridTable), dayButton, 0, 3, day + 1, day + 2);
        g_signal_connect(dayButton, "clicked", G_CALLBACK(GtkOnDayClicked), this);
        m_DayButtons.push_back(dayButton);
    }
}

void CShellLockPage::BuildHours()
{
    m_TimeGrid.assign(CLockGrid::DAYS, std::vector<GtkWidget*>());
    /* Tab order: the labels, the day buttons, then the one hour that takes the focus, wherever it
     * is; GTK's own order, by the children's places, skipped the hours' rows. */
    GList* chain = NULL;
    for (size_t i = m_HourLabels.size(); i > 0; --i)
        chain = g_list_prepend(chain, m_HourLabels[i - 1]);
    for (size_t i = 0; i < m_DayButtons.size(); ++i)
        chain = g_list_append(chain, m_DayButtons[i]);
    for (int day = 0; day < CLockGrid::DAYS; ++day) {
        std::string dayName = DayName(day);
        /* Each day's hours sit in a window of their own. Every button has an input window, and
         * GDK recomputes the clip of every sibling window each time one is made or shown: as
         * 168 siblings that was a sixth of the instructions up to the window's first expose, in
         * rows of 24 it is a fifth of that. The row spans the grid's hour columns in a table of
         * its own with the same homogeneous columns, so the cells keep their places; it paints
         * nothing itself, its background is the page's. */
        GtkWidget* rowWindow = gtk_event_box_new();
        gtk_widget_set_app_paintable(rowWindow, TRUE);
        GtkWidget* row = gtk_table_new(1, HOUR_COLUMNS, TRUE);
        gtk_container_add(GTK_CONTAINER(rowWindow), row);
        /* The hours draw no focus line of their own: the row rings the focused one. */
        g_signal_connect_after(rowWindow, "expose-event", G_CALLBACK(GtkOnRowExposed), this);
        gtk_table_attach_defaults(GTK_TABLE(m_pGridTable), rowWindow, FIRST_HOUR_COLUMN,
                                  FIRST_HOUR_COLUMN + HOUR_COLUMNS, day + 1, day + 2);
        chain = g_list_append(chain, rowWindow);
        for (int hour = 0; hour < CLockGrid::HOURS; ++hour) {
            GtkWidget* button = gtk_toggle_button_new();
            gtk_widget_set_name(button, "admin-calendar-button.GtkToggleButton");
            KeepMinimumSize(button, 17, 18);
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
            /* The grid is one Tab stop: only the hour with the keyboard focus takes it. */
            GTK_WIDGET_UNSET_FLAGS(button, GTK_CAN_FOCUS);
            gtk_widget_add_events(button, GDK_BUTTON1_MOTION_MASK);
            g_object_set_data(G_OBJECT(button), "kel-day", GINT_TO_POINTER(day));
            g_object_set_data(G_OBJECT(button), "kel-hour", GINT_TO_POINTER(hour));
            std::string name = dayName + " " + CLockGrid::HourRange(hour);
            AtkObject* accessible = gtk_widget_get_accessible(button);
            atk_object_set_name(accessible, name.c_str());
            /* What OnHourToggled tells of a free hour, its colour given above. */
            Describe(button, accessible, name.c_str(), false);
            g_signal_connect(button, "toggled", G_CALLBACK(GtkOnHourToggled), this);
            /* One handler for the pointer and the keys: it runs before the specific event
             * signals, as handlers of each of them did, at a fifth of the connections. */
            g_signal_connect(button, "event", G_CALLBACK(GtkOnHourEvent), this);
            /* Columns 8 and 17 of the row separate the day's three blocks of eight. */
            guint column = hour < 8 ? hour : hour < 16 ? 1 + hour : 2 + hour;
            gtk_table_attach_defaults(GTK_TABLE(row), button, column, column + 1, 0, 1);
            m_TimeGrid[day].push_back(button);
        }
        UpdateDayTooltip(day);
    }
    GTK_WIDGET_SET_FLAGS(m_TimeGrid[0][0], GTK_CAN_FOCUS);
    gtk_container_set_focus_chain(GTK_CONTAINER(m_pGridTable), chain);
    g_list_free(chain);
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

int CShellLockPage::CalculateDay(const char* day)
{
    TraceStart(CLS, "ComulateDay");
    int result = -1;
    for (int i = 0; i < CLockGrid::DAYS && result < 0; ++i)
        if (g_strcmp0(day, DayName(i)) == 0)
            result = i;
    if (result < 0)
        FailureLine("Can not find this specified day!");
    TraceEnd(CLS, "ComulateDay");
    return result;
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
