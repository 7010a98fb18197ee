/* The Shell Lock Settings page's widgets: the heading, the automatic-lock row, the day buttons and
 * the hours' grid. */
#include "CShellLockPage.h"

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
            PaintFreeHour(button);
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

} // namespace LibKELGUI
