/* The Shell Settings window: frame, Shell Lock Settings, Program Registration and System Settings pages. */
#include "CShellSettingCtrl.h"

#include <cstring>

#include "CAddApplicationWindow.h"
#include "CCategoryNaming.h"
#include "CChangeIconDlg.h"
#include "CIconCache.h"
#include "CLockGrid.h"
#include "CMessageBox.h"
#include "KELConstants.h"
#include "KELDataTools.h"

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

/* Category store columns. */
enum { CAT_COL_ICON, CAT_COL_NAME, CAT_COL_POINTER, CAT_N_COLS };
/* Program store columns. */
enum { PROG_COL_SHOW, PROG_COL_ICON, PROG_COL_NAME, PROG_COL_POINTER, PROG_N_COLS };

const int ICON_SIZE = LibKELGUI::CIconCache::LIST_ICON_SIZE;

/* Trace lines around a handler's call, which is made only when the handler has a window. */
template <typename Call>
void Dispatch(gpointer data, const char* operation, Call call)
{
    LibKELGUI::TraceStart(CLS, operation);
    if (data)
        call(static_cast<LibKELGUI::CShellSettingCtrl*>(data));
    LibKELGUI::TraceEnd(CLS, operation);
}

std::string DefaultIconPath()
{
    return KEL_RESOURCE_IMAGE_PATH + "gui_default_app.png";
}

void SetSensitive(GtkWidget* widget, gboolean sensitive)
{
    if (widget)
        gtk_widget_set_sensitive(widget, sensitive);
}

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

/* Tooltip and screen reader description of one hour button, from texts already translated. */
void DescribeHour(GtkWidget* button, const std::string& name, const char* format, const char* state)
{
    gchar* tooltip = g_strdup_printf(format, name.c_str());
    gtk_widget_set_tooltip_text(button, tooltip);
    g_free(tooltip);
    atk_object_set_description(gtk_widget_get_accessible(button), state);
}

} // namespace

namespace LibKELGUI {

CShellSettingCtrl::CShellSettingCtrl()
    : m_pOwner(NULL)
    , m_pCategoryList(NULL)
    , m_bScheduleDirty(false)
    , m_bTabNavDirty(false)
    , m_bSystemSettingDirty(false)
    , m_pAddApplicationWindow(NULL)
    , m_pIconDlg(NULL)
    , m_pMainBox(NULL)
    , m_pNotebook(NULL)
    , m_pButtonPanel(NULL)
    , m_pButtonRow(NULL)
    , m_pLockPageBox(NULL)
    , m_pLockHeadingLabel(NULL)
    , m_pAutoLockCheckBox(NULL)
    , m_pAutoLockLabel(NULL)
    , m_pLockLegendLabel(NULL)
    , m_pUnlockLegendLabel(NULL)
    , m_pLockLegendImage(NULL)
    , m_pUnlockLegendImage(NULL)
    , m_pGridTable(NULL)
    , m_pProgramPageBox(NULL)
    , m_pCategoryView(NULL)
    , m_pProgramView(NULL)
    , m_pCategoryStore(NULL)
    , m_pProgramStore(NULL)
    , m_pCategoryNameRenderer(NULL)
    , m_pAddCategoryBtn(NULL)
    , m_pDeleteCategoryBtn(NULL)
    , m_pEditCategoryBtn(NULL)
    , m_pAddProgramBtn(NULL)
    , m_pDeleteProgramBtn(NULL)
    , m_pEditProgramBtn(NULL)
    , m_pDefaultBtn(NULL)
    , m_pSystemPageBox(NULL)
    , m_pSystemHeadingLabel(NULL)
    , m_pSettingsRow(NULL)
    , m_pUSBCheckBox(NULL)
    , m_pNewStudentCheckBox(NULL)
{
    TraceStart(CLS, "CShellSettingCtrl");
    memset(&m_RowIter, 0, sizeof(m_RowIter));
    TraceEnd(CLS, "CShellSettingCtrl");
}

CShellSettingCtrl::~CShellSettingCtrl()
{
    TraceStart(CLS, "~CShellSettingCtrl");
    if (m_pIconDlg) {
        delete m_pIconDlg;
        m_pIconDlg = NULL;
    }
    if (m_pAddApplicationWindow) {
        delete m_pAddApplicationWindow;
        m_pAddApplicationWindow = NULL;
    }
    /* The widgets' handlers act on this object: destroy them while its members still exist. */
    DestoryWindow();
    /* A page a host took out of the notebook and still holds must not call back into us. */
    GtkWidget* pages[] = {m_pLockPageBox, m_pProgramPageBox, m_pSystemPageBox};
    for (size_t i = 0; i < sizeof(pages) / sizeof(pages[0]); ++i)
        if (pages[i])
            g_signal_handlers_disconnect_matched(pages[i], G_SIGNAL_MATCH_DATA, 0, 0, NULL, NULL, this);
    ForgetWidget(&m_pUSBCheckBox);
    ForgetWidget(&m_pNewStudentCheckBox);
    OnProgramPageDestroyed();
    TraceEnd(CLS, "~CShellSettingCtrl");
}

/* ---------------------------------------------------------------- frame */

int CShellSettingCtrl::AttachBaseClassGTKHandler(CShellSettingCtrl* owner)
{
    TraceStart(CLS, "AttachBaseClassGTKHandler");
    if (!owner)
        return -1;
    if (m_pWindow) {
        /* Built already: a second window would orphan the first. */
        TraceEnd(CLS, "AttachBaseClassGTKHandler");
        return 0;
    }
    if (m_bDestroying) {
        /* Closed: a window object carries one window in its life. */
        FailureLine("The Shell Settings window has been closed already!");
        return -1;
    }
    m_pOwner = owner;
    /* gtk_init would end the host's process without a display; build nothing instead. */
    if (!gtk_init_check(NULL, NULL)) {
        FailureLine("Cannot open display!");
        return -1;
    }
    initWindow();
    initShellLockSetting();
    initProgramRegistration();
    initSystemSetting();
    TraceEnd(CLS, "AttachBaseClassGTKHandler");
    return 0;
}

void CShellSettingCtrl::initWindow()
{
    TraceStart(CLS, "initWindow");
    m_pWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(m_pWindow);
    gtk_widget_set_size_request(m_pWindow, 525, 350);
    gtk_window_set_position(window, GTK_WIN_POS_CENTER_ON_PARENT);
    gtk_window_set_modal(window, TRUE);
    gtk_window_set_title(window, Tr("Shell Settings"));
    gtk_window_set_wmclass(window, Tr("Shell Settings"), "KEL");
    gtk_window_set_resizable(window, FALSE);
    g_signal_connect(m_pWindow, "delete-event", G_CALLBACK(OnCloseBtnClicked), m_pOwner);
    g_signal_connect(m_pWindow, "destroy", G_CALLBACK(GtkOnWindowDestroy), this);

    m_pMainBox = gtk_vbox_new(FALSE, 5);
    gtk_container_add(GTK_CONTAINER(m_pWindow), m_pMainBox);
    gtk_widget_show(m_pMainBox);

    m_pNotebook = gtk_notebook_new();
    gtk_container_set_border_width(GTK_CONTAINER(m_pNotebook), 8);
    gtk_notebook_set_tab_pos(GTK_NOTEBOOK(m_pNotebook), GTK_POS_TOP);
    gtk_box_pack_start(GTK_BOX(m_pMainBox), m_pNotebook, FALSE, FALSE, 0);
    gtk_widget_show(m_pNotebook);

    m_pButtonPanel = gtk_event_box_new();
    gtk_box_pack_end(GTK_BOX(m_pMainBox), m_pButtonPanel, FALSE, TRUE, 0);
    gtk_widget_set_name(m_pButtonPanel, KEL_STYLE_BUTTON_PANEL.c_str());

    m_pButtonRow = gtk_hbox_new(FALSE, 5);
    gtk_widget_set_name(m_pButtonRow, KEL_STYLE_FONT_WHITE.c_str());
    gtk_container_set_border_width(GTK_CONTAINER(m_pButtonRow), 3);
    gtk_container_add(GTK_CONTAINER(m_pButtonPanel), m_pButtonRow);
    gtk_widget_show(m_pButtonRow);
    gtk_widget_show(m_pButtonPanel);

    /* Packed at the end one after the other: the row reads Cancel, Apply, OK. */
    struct {
        const char* label;
        GCallback handler;
    } const buttons[] = {
        {Tr("OK"), G_CALLBACK(OnOKBtnClicked)},
        {Tr("Apply"), G_CALLBACK(OnApplyBtnClicked)},
        {Tr("Cancel"), G_CALLBACK(OnCancelBtnClicked)},
    };
    for (size_t i = 0; i < sizeof(buttons) / sizeof(buttons[0]); ++i) {
        GtkWidget* button = gtk_button_new_with_label(buttons[i].label);
        gtk_widget_set_size_request(button, 95, 32);
        gtk_box_pack_end(GTK_BOX(m_pButtonRow), button, FALSE, FALSE, 0);
        if (i == 0)
            gtk_widget_grab_focus(button);
        gtk_widget_show(button);
        gtk_widget_set_tooltip_text(button, buttons[i].label);
        g_signal_connect(button, "clicked", buttons[i].handler, m_pOwner);
    }
    TraceEnd(CLS, "initWindow");
}

int CShellSettingCtrl::OnOK()
{
    TraceStart(CLS, "OnOK");
    OnApply();
    OnClose();
    TraceEnd(CLS, "OnOK");
    return 0;
}

int CShellSettingCtrl::OnCancel()
{
    TraceStart(CLS, "OnCancel");
    OnClose();
    TraceEnd(CLS, "OnCancel");
    return 0;
}

bool CShellSettingCtrl::IsDataDirty()
{
    TraceStart(CLS, "IsDataDirty");
    return m_bScheduleDirty || m_bTabNavDirty || m_bSystemSettingDirty;
}

void CShellSettingCtrl::UpdateBtnStatus()
{
    /* Decided first and set once: a button whose sensitivity changes makes GTK lay the whole
     * window out again, so one that keeps it is not switched off and on. */
    gboolean category = FALSE;
    gboolean program = FALSE;

    /* The record's list itself: the cached pointer may predate a reload. */
    CategoryInfoList* categories = m_TabNavData.GetPCategoryInfoList();
    GtkTreeIter iter;
    CCategory* selected = NULL;
    if (categories && !categories->empty() && GetSelectedCategory(&iter, &selected)) {
        category = TRUE;
        GtkTreeIter programIter;
        ApplicationInfoList* programs = selected ? selected->GetPApplicationInfoList() : NULL;
        program = programs && !programs->empty() && GetSelectedProgram(&programIter, NULL) ? TRUE : FALSE;
    }
    SetSensitive(m_pDeleteCategoryBtn, category);
    SetSensitive(m_pAddProgramBtn, category);
    SetSensitive(m_pEditCategoryBtn, category);
    SetSensitive(m_pDeleteProgramBtn, program);
    SetSensitive(m_pEditProgramBtn, program);
}

void CShellSettingCtrl::OnWindowDestroyed()
{
    /* The pages clear their own members from their "destroy" handlers. */
    m_pMainBox = NULL;
    m_pNotebook = NULL;
    m_pButtonPanel = NULL;
    m_pButtonRow = NULL;
}

void CShellSettingCtrl::OpenAddApplicationWindow(bool remote, GCallback closeCallback)
{
    if (m_pAddApplicationWindow) {
        delete m_pAddApplicationWindow;
        m_pAddApplicationWindow = NULL;
    }
    m_pAddApplicationWindow = new CAddApplicationWindow(remote);
    m_pAddApplicationWindow->Init();
    m_pAddApplicationWindow->ShowModal(m_pWindow, closeCallback, this);
}

void CShellSettingCtrl::AddProgramsChosenInAddApplicationWindow()
{
    if (!m_pAddApplicationWindow)
        return;
    std::list<CApplicationInfo> programs;
    m_pAddApplicationWindow->GetSelectApplicationList(programs);
    if (!programs.empty()) {
        AddPrograms(programs);
        UpdateBtnStatus();
    }
}

int CShellSettingCtrl::ShowMessage(const char* text, GtkMessageType type, GtkButtonsType buttons,
                                   GtkDialogFlags flags)
{
    return CMessageBox::Show(text, m_pWindow, type, buttons, flags, KEL_SHELL_CONTROLLER_ICON);
}

void CShellSettingCtrl::TrackWidget(GtkWidget** slot, GtkWidget* widget)
{
    ForgetWidget(slot);
    *slot = widget;
    if (widget)
        g_object_add_weak_pointer(G_OBJECT(widget), reinterpret_cast<gpointer*>(slot));
}

void CShellSettingCtrl::ForgetWidget(GtkWidget** slot)
{
    if (*slot) {
        g_object_remove_weak_pointer(G_OBJECT(*slot), reinterpret_cast<gpointer*>(slot));
        *slot = NULL;
    }
}

/* ---------------------------------------------------------------- Shell Lock Settings page */

void CShellSettingCtrl::initShellLockSetting()
{
    TraceStart(CLS, "initShellLockSetting");
    m_pLockPageBox = gtk_vbox_new(FALSE, 5);
    gtk_container_set_border_width(GTK_CONTAINER(m_pLockPageBox), 0);
    gtk_widget_show(m_pLockPageBox);
    GtkWidget* tabLabel = gtk_label_new(Tr("Shell Lock Settings"));
    gtk_widget_set_name(tabLabel, KEL_STYLE_LABEL_FONT.c_str());
    gtk_widget_show(tabLabel);
    gtk_notebook_append_page(GTK_NOTEBOOK(m_pNotebook), m_pLockPageBox, tabLabel);
    g_signal_connect(m_pLockPageBox, "destroy", G_CALLBACK(GtkOnLockPageDestroy), this);

    GtkWidget* headingRow = gtk_hbox_new(FALSE, 5);
    gtk_container_set_border_width(GTK_CONTAINER(headingRow), 0);
    gtk_box_pack_start(GTK_BOX(m_pLockPageBox), headingRow, FALSE, FALSE, 0);
    m_pLockHeadingLabel = gtk_label_new(Tr("Shell Lock Settings"));
    gtk_box_pack_start(GTK_BOX(headingRow), m_pLockHeadingLabel, FALSE, FALSE, 10);

    GtkWidget* autoLockRow = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(m_pLockPageBox), autoLockRow, FALSE, FALSE, 0);
    m_pAutoLockCheckBox = gtk_check_button_new();
    gtk_box_pack_start(GTK_BOX(autoLockRow), m_pAutoLockCheckBox, FALSE, FALSE, 10);
    m_pAutoLockLabel = gtk_label_new_with_mnemonic(Tr("Automatically lock Daxwyn"));
    gtk_label_set_ellipsize(GTK_LABEL(m_pAutoLockLabel), PANGO_ELLIPSIZE_END);
    gtk_widget_set_size_request(m_pAutoLockLabel, 295, 25);
    gtk_misc_set_alignment(GTK_MISC(m_pAutoLockLabel), 0, 0.5);
    gtk_widget_set_tooltip_text(m_pAutoLockLabel, Tr("Automatically lock Daxwyn"));
    gtk_box_pack_start(GTK_BOX(autoLockRow), m_pAutoLockLabel, FALSE, FALSE, 0);

    /* Legend, packed from the right edge inwards. */
    /* Translators: "Lock" and "Unlock" explain the two colours of the lock grid's hours. */
    m_pLockLegendLabel = gtk_label_new(Tr("Lock"));
    gtk_box_pack_end(GTK_BOX(autoLockRow), m_pLockLegendLabel, FALSE, FALSE, 10);
    GdkPixbuf* lockedImage = gdk_pixbuf_new_from_file((KEL_RESOURCE_IMAGE_PATH + "sc_locked.png").c_str(), NULL);
    m_pLockLegendImage = gtk_image_new_from_pixbuf(lockedImage);
    if (lockedImage)
        g_object_unref(lockedImage);
    gtk_box_pack_end(GTK_BOX(autoLockRow), m_pLockLegendImage, FALSE, FALSE, 5);
    m_pUnlockLegendLabel = gtk_label_new(Tr("Unlock"));
    gtk_box_pack_end(GTK_BOX(autoLockRow), m_pUnlockLegendLabel, FALSE, FALSE, 10);
    GdkPixbuf* unlockedImage = gdk_pixbuf_new_from_file((KEL_RESOURCE_IMAGE_PATH + "sc_unlocked.png").c_str(), NULL);
    m_pUnlockLegendImage = gtk_image_new_from_pixbuf(unlockedImage);
    if (unlockedImage)
        g_object_unref(unlockedImage);
    gtk_box_pack_end(GTK_BOX(autoLockRow), m_pUnlockLegendImage, FALSE, FALSE, 5);

    GtkWidget* gridRow = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(m_pLockPageBox), gridRow, FALSE, FALSE, 0);
    GtkWidget* gridBox = gtk_vbox_new(FALSE, 0);
    gtk_container_set_border_width(GTK_CONTAINER(gridBox), 5);
    gtk_box_pack_start(GTK_BOX(gridRow), gridBox, FALSE, FALSE, 0);
    m_pGridTable = gtk_table_new(8, 29, TRUE);
    gtk_box_pack_start(GTK_BOX(gridBox), m_pGridTable, FALSE, FALSE, 0);

    /* One label per two hours; columns 11 and 20 separate the day's three blocks of eight. */
    struct {
        const char* text;
        guint left;
        guint right;
    } const hourLabels[] = {
        /* Translators: hour labels "0" to "22" of the lock grid: keep them, the blank of " 8" too. */
        {Tr("0"), 3, 5},    {Tr("2"), 5, 7},    {Tr("4"), 7, 9},    {Tr("6"), 9, 11},
        {Tr(" 8"), 12, 14}, {Tr("10"), 14, 16}, {Tr("12"), 16, 18}, {Tr("14"), 18, 20},
        {Tr("16"), 21, 23}, {Tr("18"), 23, 25}, {Tr("20"), 25, 27}, {Tr("22"), 27, 29},
    };
    for (size_t i = 0; i < sizeof(hourLabels) / sizeof(hourLabels[0]); ++i) {
        GtkWidget* label = gtk_label_new(hourLabels[i].text);
        gtk_misc_set_alignment(GTK_MISC(label), 0.1, 0.5);
        gtk_table_attach_defaults(GTK_TABLE(m_pGridTable), label, hourLabels[i].left, hourLabels[i].right, 0, 1);
    }

    m_DayButtons.clear();
    for (int day = 0; day < CLockGrid::DAYS; ++day) {
        GtkWidget* dayButton = NewDayButton(DayName(day));
        gtk_button_set_alignment(GTK_BUTTON(dayButton), 0, 0.5);
        gtk_widget_set_size_request(dayButton, 15, 25);
        gtk_widget_set_name(dayButton, KEL_STYLE_LINK_BUTTON.c_str());
        gtk_table_attach_defaults(GTK_TABLE(m_pGridTable), dayButton, 0, 3, day + 1, day + 2);
        g_signal_connect(dayButton, "clicked", G_CALLBACK(GtkOnWeekLabelClicked), m_pOwner);
        m_DayButtons.push_back(dayButton);
    }

    /* Translated once for the 168 buttons, which all start free. */
    std::string dayNames[CLockGrid::DAYS];
    for (int day = 0; day < CLockGrid::DAYS; ++day)
        dayNames[day] = DayName(day);
    const std::string freeFormat = Tr("%s: free");
    const std::string freeText = Tr("Free");

    /* Free hours khaki, locked (and hovered) hours blue. */
    GdkColor freeColour = {0, 0xCC00, 0xCC00, 0x9900};
    GdkColor lockedColour = {0, 0x6600, 0x9A00, 0xCC00};
    m_TimeGrid.assign(CLockGrid::DAYS, std::vector<GtkWidget*>());
    for (int day = 0; day < CLockGrid::DAYS; ++day) {
        std::vector<GtkWidget*>& row = m_TimeGrid[day];
        row.reserve(CLockGrid::HOURS);
        for (int hour = 0; hour < CLockGrid::HOURS; ++hour) {
            GtkWidget* button = gtk_toggle_button_new();
            gtk_widget_set_name(button, "admin-calendar-button.GtkToggleButton");
            gtk_widget_set_size_request(button, 17, 18);
            gtk_widget_modify_bg(button, GTK_STATE_NORMAL, &freeColour);
            gtk_widget_modify_bg(button, GTK_STATE_SELECTED, &lockedColour);
            gtk_widget_modify_bg(button, GTK_STATE_ACTIVE, &lockedColour);
            gtk_widget_modify_bg(button, GTK_STATE_PRELIGHT, &lockedColour);
            /* For screen readers and the pointer: which hour this is, and whether it is locked. */
            g_object_set_data(G_OBJECT(button), "kel-day", GINT_TO_POINTER(day));
            g_object_set_data(G_OBJECT(button), "kel-hour", GINT_TO_POINTER(hour));
            std::string name = dayNames[day] + " " + CLockGrid::HourRange(hour);
            atk_object_set_name(gtk_widget_get_accessible(button), name.c_str());
            DescribeHour(button, name, freeFormat.c_str(), freeText.c_str());
            g_signal_connect(button, "toggled", G_CALLBACK(GtkOnHourToggled), m_pOwner);
            row.push_back(button);
        }
    }
    for (int day = 0; day < CLockGrid::DAYS; ++day) {
        for (int hour = 0; hour < CLockGrid::HOURS; ++hour) {
            guint column = hour < 8 ? 3 + hour : hour < 16 ? 4 + hour : 5 + hour;
            gtk_table_attach_defaults(GTK_TABLE(m_pGridTable), m_TimeGrid[day][hour], column, column + 1, day + 1,
                                      day + 2);
        }
        UpdateDayTooltip(day);
    }
    gtk_widget_show_all(m_pLockPageBox);
    TraceEnd(CLS, "initShellLockSetting");
}

void CShellSettingCtrl::UpdateHourDescription(GtkWidget* button)
{
    bool locked = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(button));
    AtkObject* accessible = gtk_widget_get_accessible(button);
    const gchar* name = atk_object_get_name(accessible);
    /* Translators: %s is one hour of the weekly lock grid, such as "Mon 08:00-09:00". */
    const char* format = locked ? Tr("%s: locked") : Tr("%s: free");
    /* Translators: the state of one hour of the weekly lock grid, read out by screen readers. */
    const char* state = locked ? Tr("Locked") : Tr("Free");
    DescribeHour(button, name ? name : "", format, state);
}

void CShellSettingCtrl::UpdateDayTooltip(int day)
{
    if (day < 0 || day >= (int)m_DayButtons.size() || day >= (int)m_TimeGrid.size() || m_TimeGrid[day].empty())
        return;
    /* A click follows the day's first hour: it frees the whole day when that hour is locked. */
    bool firstLocked = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(m_TimeGrid[day][0]));
    gtk_widget_set_tooltip_text(m_DayButtons[day], firstLocked ? Tr("Click to free every hour of this day")
                                                               : Tr("Click to lock every hour of this day"));
}

void CShellSettingCtrl::OnHourToggled(GtkWidget* button)
{
    int day = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "kel-day"));
    int hour = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "kel-hour"));
    UpdateHourDescription(button);
    if (hour == 0)
        UpdateDayTooltip(day);
}

int CShellSettingCtrl::ShowSchedulePolicy()
{
    TraceStart(CLS, "ShowSchedulePolicy");
    if (m_pAutoLockCheckBox)
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(m_pAutoLockCheckBox),
                                     m_ScheduleData.IsAutoLockEnable() ? TRUE : FALSE);
    /* Sections without a cell are skipped; longer sections lock every hour they cover. */
    CLockGrid grid;
    grid.MarkSections(m_ScheduleData.GetPAutomaticLockTimeList());
    for (size_t day = 0; day < m_TimeGrid.size(); ++day)
        for (size_t hour = 0; hour < m_TimeGrid[day].size(); ++hour)
            gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(m_TimeGrid[day][hour]),
                                         grid.IsLocked((int)day, (int)hour) ? TRUE : FALSE);
    TraceEnd(CLS, "ShowSchedulePolicy");
    return 0;
}

int CShellSettingCtrl::FetchScheuleData()
{
    TraceStart(CLS, "FetchScheuleData");
    bool gridComplete = m_pAutoLockCheckBox && m_TimeGrid.size() == (size_t)CLockGrid::DAYS;
    for (size_t day = 0; gridComplete && day < m_TimeGrid.size(); ++day)
        gridComplete = m_TimeGrid[day].size() == (size_t)CLockGrid::HOURS;
    /* Without its page the record is kept as it is: an absent grid is not an empty week. */
    if (gridComplete) {
        CLockGrid grid;
        for (int day = 0; day < CLockGrid::DAYS; ++day)
            for (int hour = 0; hour < CLockGrid::HOURS; ++hour)
                grid.SetLocked(day, hour, gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(m_TimeGrid[day][hour])));
        LockTimeSectionList* sections = grid.NewSectionList();
        int autoLock = 0;
        if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(m_pAutoLockCheckBox))) {
            m_ScheduleData.SetLockStatus(2);
            autoLock = 1;
        } else {
            m_ScheduleData.SetLockStatus(3);
        }
        m_ScheduleData.SetPAutomaticLockTimeList(sections);
        m_ScheduleData.SetAutoLock(autoLock);
    }
    IsScheduleDataDirty();
    TraceEnd(CLS, "FetchScheuleData");
    return 0;
}

bool CShellSettingCtrl::IsScheduleDataDirty()
{
    TraceStart(CLS, "IsScheduleDataDirty");
    CLockScheduleData onDisk;
    onDisk.LoadFromFile(CONFIG_FILE_DIR + LOCK_SCHEDULE);
    /* IsEqual compares locked hours, not the way sections are cut: a file of longer sections
     * read back unchanged is no edit. */
    m_bScheduleDirty = onDisk.IsEqual(m_ScheduleData) == 0;
    TraceEnd(CLS, "IsScheduleDataDirty");
    return m_bScheduleDirty;
}

int CShellSettingCtrl::CalculateDay(const char* day)
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

void CShellSettingCtrl::OnWeekLabelClicked(GtkWidget* widget)
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

void CShellSettingCtrl::OnLockPageDestroyed()
{
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
}

/* ---------------------------------------------------------------- Program Registration: categories */

void CShellSettingCtrl::initProgramRegistration()
{
    TraceStart(CLS, "initProgramRegistration");
    m_pProgramPageBox = gtk_vbox_new(FALSE, 5);
    gtk_container_set_border_width(GTK_CONTAINER(m_pProgramPageBox), 0);
    gtk_widget_set_size_request(m_pProgramPageBox, 480, 265);
    gtk_widget_show(m_pProgramPageBox);
    GtkWidget* tabLabel = gtk_label_new(Tr("Program Registration"));
    gtk_widget_set_name(tabLabel, KEL_STYLE_LABEL_FONT.c_str());
    gtk_widget_show(tabLabel);
    gtk_notebook_append_page(GTK_NOTEBOOK(m_pNotebook), m_pProgramPageBox, tabLabel);
    g_signal_connect(m_pProgramPageBox, "destroy", G_CALLBACK(GtkOnProgramPageDestroy), this);

    GtkWidget* listsRow = gtk_hbox_new(FALSE, 5);
    gtk_container_set_border_width(GTK_CONTAINER(listsRow), 0);
    gtk_box_pack_start(GTK_BOX(m_pProgramPageBox), listsRow, FALSE, FALSE, 0);
    gtk_widget_show(listsRow);

    /* Every row is one 32 px icon high: fixed-height mode spares GTK measuring each row,
     * which dominates filling long lists. It needs fixed sizing on every column. */
    GtkWidget* categoryScroll = gtk_scrolled_window_new(NULL, NULL);
    gtk_container_set_border_width(GTK_CONTAINER(categoryScroll), 0);
    gtk_widget_set_size_request(categoryScroll, 160, 225);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(categoryScroll), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
    gtk_box_pack_start(GTK_BOX(listsRow), categoryScroll, FALSE, FALSE, 0);
    gtk_widget_show(categoryScroll);

    m_pCategoryStore = gtk_list_store_new(CAT_N_COLS, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_POINTER);
    m_pCategoryView = gtk_tree_view_new_with_model(GTK_TREE_MODEL(m_pCategoryStore));
    GtkTreeView* categoryView = GTK_TREE_VIEW(m_pCategoryView);
    gtk_tree_selection_set_mode(gtk_tree_view_get_selection(categoryView), GTK_SELECTION_SINGLE);
    g_signal_connect(m_pCategoryView, "row-activated", G_CALLBACK(GtkOnCategoryTreeRowActivated), m_pOwner);
    g_signal_connect(m_pCategoryView, "cursor-changed", G_CALLBACK(ChangeCategory), m_pOwner);

    GtkCellRenderer* renderer = gtk_cell_renderer_pixbuf_new();
    gtk_cell_renderer_set_fixed_size(renderer, ICON_SIZE, ICON_SIZE);
    GtkTreeViewColumn* column = gtk_tree_view_column_new_with_attributes("", renderer, "pixbuf", CAT_COL_ICON, NULL);
    gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_FIXED);
    gtk_tree_view_column_set_fixed_width(column, ICON_SIZE + 8);
    gtk_tree_view_append_column(categoryView, column);

    m_pCategoryNameRenderer = gtk_cell_renderer_text_new();
    g_object_set(m_pCategoryNameRenderer, "ellipsize", PANGO_ELLIPSIZE_END, NULL);
    g_signal_connect(m_pCategoryNameRenderer, "edited", G_CALLBACK(GtkEditCategory), m_pOwner);
    column = gtk_tree_view_column_new_with_attributes(Tr("Category"), m_pCategoryNameRenderer, "text", CAT_COL_NAME,
                                                      NULL);
    gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_FIXED);
    gtk_tree_view_column_set_fixed_width(column, 100);
    gtk_tree_view_column_set_expand(column, TRUE);
    gtk_tree_view_append_column(categoryView, column);
    gtk_tree_view_set_fixed_height_mode(categoryView, TRUE);
    gtk_container_add(GTK_CONTAINER(categoryScroll), m_pCategoryView);
    gtk_widget_show(m_pCategoryView);

    GtkWidget* programScroll = gtk_scrolled_window_new(NULL, NULL);
    gtk_container_set_border_width(GTK_CONTAINER(programScroll), 0);
    gtk_widget_set_size_request(programScroll, 340, 225);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(programScroll), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
    gtk_box_pack_start(GTK_BOX(listsRow), programScroll, FALSE, FALSE, 0);
    gtk_widget_show(programScroll);

    m_pProgramStore =
        gtk_list_store_new(PROG_N_COLS, G_TYPE_BOOLEAN, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_POINTER);
    m_pProgramView = gtk_tree_view_new_with_model(GTK_TREE_MODEL(m_pProgramStore));
    GtkTreeView* programView = GTK_TREE_VIEW(m_pProgramView);
    g_signal_connect(m_pProgramView, "row-activated", G_CALLBACK(GtkOnApplicationTreeRowActivated), m_pOwner);
    g_signal_connect(m_pProgramView, "cursor-changed", G_CALLBACK(ChangeProgrm), m_pOwner);

    renderer = gtk_cell_renderer_toggle_new();
    g_signal_connect(renderer, "toggled", G_CALLBACK(EnableDisableProgram), m_pOwner);
    /* Translators: heading of a 50-pixel column: whether the student shell offers the program. */
    column = gtk_tree_view_column_new_with_attributes(Tr("Show"), renderer, "active", PROG_COL_SHOW, NULL);
    gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_FIXED);
    gtk_tree_view_column_set_fixed_width(column, 50);
    gtk_tree_view_append_column(programView, column);

    renderer = gtk_cell_renderer_pixbuf_new();
    gtk_cell_renderer_set_fixed_size(renderer, ICON_SIZE, ICON_SIZE);
    column = gtk_tree_view_column_new_with_attributes("", renderer, "pixbuf", PROG_COL_ICON, NULL);
    gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_FIXED);
    gtk_tree_view_column_set_fixed_width(column, ICON_SIZE + 8);
    gtk_tree_view_append_column(programView, column);

    renderer = gtk_cell_renderer_text_new();
    g_object_set(renderer, "ellipsize", PANGO_ELLIPSIZE_END, NULL);
    column = gtk_tree_view_column_new_with_attributes(Tr("Program name"), renderer, "text", PROG_COL_NAME, NULL);
    gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_FIXED);
    gtk_tree_view_column_set_fixed_width(column, 200);
    gtk_tree_view_column_set_expand(column, TRUE);
    gtk_tree_view_append_column(programView, column);
    gtk_tree_view_set_fixed_height_mode(programView, TRUE);
    gtk_container_add(GTK_CONTAINER(programScroll), m_pProgramView);
    gtk_widget_show(m_pProgramView);

    GtkWidget* buttonsRow = gtk_hbox_new(FALSE, 5);
    gtk_widget_set_name(buttonsRow, KEL_STYLE_SMALL_BUTTON.c_str());
    gtk_container_set_border_width(GTK_CONTAINER(buttonsRow), 3);
    gtk_box_pack_start(GTK_BOX(m_pProgramPageBox), buttonsRow, FALSE, FALSE, 0);
    gtk_widget_show(buttonsRow);

    struct ButtonSpec {
        GtkWidget** slot;
        const char* label;
        const char* tooltip;
        int width;
        guint padding;
        GCallback handler;
    };
    const ButtonSpec categoryButtons[] = {
        /* Translators: "+" and "-" label the add and remove buttons (32 pixels wide). */
        {&m_pAddCategoryBtn, Tr("+"), Tr("Add"), 32, 0, G_CALLBACK(AddCategory)},
        {&m_pDeleteCategoryBtn, Tr("-"), Tr("Delete"), 32, 0, G_CALLBACK(DeleteCategory)},
    };
    const ButtonSpec editButtons[] = {
        /* Translators: the label of a button 55 pixels wide (about five letters, or a symbol) that
           opens the name-and-icon dialog; its tooltip is the plain "Edit". */
        {&m_pEditCategoryBtn, TrCtx("narrow button", "Edit"), Tr("Edit"), 55, 12,
         G_CALLBACK(GtkOnEditCateoryBtnClicked)},
        {&m_pAddProgramBtn, Tr("+"), Tr("Add"), 32, 0, G_CALLBACK(GtkAddProgramBtnClicked)},
        {&m_pDeleteProgramBtn, Tr("-"), Tr("Delete"), 32, 10, G_CALLBACK(GtkDeleteProgramBtnClicked)},
        {&m_pEditProgramBtn, TrCtx("narrow button", "Edit"), Tr("Edit"), 55, 3, G_CALLBACK(GtkAddProgramButtonClicked)},
    };
    struct {
        const ButtonSpec* buttons;
        size_t count;
        int spacing;
        guint padding;
    } const groups[] = {
        {categoryButtons, sizeof(categoryButtons) / sizeof(categoryButtons[0]), 5, 3},
        {editButtons, sizeof(editButtons) / sizeof(editButtons[0]), 3, 0},
    };
    for (size_t g = 0; g < sizeof(groups) / sizeof(groups[0]); ++g) {
        GtkWidget* group = gtk_hbox_new(FALSE, groups[g].spacing);
        gtk_container_set_border_width(GTK_CONTAINER(group), 0);
        gtk_box_pack_start(GTK_BOX(buttonsRow), group, FALSE, FALSE, groups[g].padding);
        gtk_widget_show(group);
        for (size_t i = 0; i < groups[g].count; ++i) {
            const ButtonSpec& spec = groups[g].buttons[i];
            GtkWidget* button = gtk_button_new_with_label(spec.label);
            gtk_widget_set_size_request(button, spec.width, 32);
            gtk_widget_set_tooltip_text(button, spec.tooltip);
            gtk_box_pack_start(GTK_BOX(group), button, FALSE, FALSE, spec.padding);
            g_signal_connect(button, "clicked", spec.handler, m_pOwner);
            gtk_widget_show(button);
            *spec.slot = button;
        }
    }
    GtkWidget* restoreGroup = gtk_hbox_new(FALSE, 20);
    gtk_container_set_border_width(GTK_CONTAINER(restoreGroup), 0);
    gtk_box_pack_end(GTK_BOX(buttonsRow), restoreGroup, FALSE, FALSE, 0);
    gtk_widget_show(restoreGroup);
    m_pDefaultBtn = gtk_button_new_with_label(Tr("Restore to Default"));
    gtk_widget_set_size_request(m_pDefaultBtn, 155, 32);
    gtk_widget_set_tooltip_text(m_pDefaultBtn, Tr("Restore to Default"));
    gtk_box_pack_end(GTK_BOX(restoreGroup), m_pDefaultBtn, FALSE, FALSE, 0);
    g_signal_connect(m_pDefaultBtn, "clicked", G_CALLBACK(GtkOnDefaultBtnClicked), m_pOwner);
    gtk_widget_show(m_pDefaultBtn);
    TraceEnd(CLS, "initProgramRegistration");
}

bool CShellSettingCtrl::ShowTabNavPolicy()
{
    TraceStart(CLS, "ShowTabNavPolicy");
    bool result = false;
    m_pCategoryList = m_TabNavData.GetPCategoryInfoList();
    /* Shown again after a reload or a restore: start from empty lists. */
    if (m_pProgramStore)
        gtk_list_store_clear(m_pProgramStore);
    if (m_pCategoryStore)
        gtk_list_store_clear(m_pCategoryStore);
    if (m_pCategoryList && !m_pCategoryList->empty()) {
        result = true;
        if (m_pCategoryStore) {
            CIconCache::Batch batch; /* categories share icons: one look at each file */
            for (CategoryInfoList::iterator it = m_pCategoryList->begin(); it != m_pCategoryList->end(); ++it) {
                CCategory* category = *it;
                if (!category)
                    continue;
                GdkPixbuf* icon = CIconCache::LoadAtSize(category->GetCategoryIcon(), ICON_SIZE);
                gtk_list_store_insert_with_values(m_pCategoryStore, &m_RowIter, -1, CAT_COL_ICON, icon,
                                                  CAT_COL_NAME, category->GetName().c_str(), CAT_COL_POINTER,
                                                  category, -1);
                if (icon)
                    g_object_unref(icon);
            }
            GtkTreeIter first;
            if (gtk_tree_model_get_iter_first(GTK_TREE_MODEL(m_pCategoryStore), &first)) {
                CCategory* category = NULL;
                gtk_tree_model_get(GTK_TREE_MODEL(m_pCategoryStore), &first, CAT_COL_POINTER, &category, -1);
                SelectCategoryRow(&first);
                showPrograms(category);
            }
        }
    }
    UpdateBtnStatus();
    TraceEnd(CLS, "ShowTabNavPolicy");
    return result;
}

void CShellSettingCtrl::SelectCategoryRow(GtkTreeIter* iter)
{
    if (!m_pCategoryView || !m_pCategoryStore)
        return;
    /* The cursor follows the selection (keyboard, scrolling to a new row); the caller shows
     * the programs itself, so the cursor handler is held back. */
    GtkTreePath* path = gtk_tree_model_get_path(GTK_TREE_MODEL(m_pCategoryStore), iter);
    g_signal_handlers_block_by_func(m_pCategoryView, (gpointer)ChangeCategory, m_pOwner);
    gtk_tree_view_set_cursor(GTK_TREE_VIEW(m_pCategoryView), path, NULL, FALSE);
    g_signal_handlers_unblock_by_func(m_pCategoryView, (gpointer)ChangeCategory, m_pOwner);
    gtk_tree_selection_select_iter(gtk_tree_view_get_selection(GTK_TREE_VIEW(m_pCategoryView)), iter);
    gtk_tree_path_free(path);
}

bool CShellSettingCtrl::GetSelectedCategory(GtkTreeIter* iter, CCategory** category)
{
    if (category)
        *category = NULL;
    if (!m_pCategoryView)
        return false;
    GtkTreeModel* model = NULL;
    if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(m_pCategoryView)), &model, iter))
        return false;
    if (category)
        gtk_tree_model_get(model, iter, CAT_COL_POINTER, category, -1);
    return true;
}

bool CShellSettingCtrl::GetSelectedProgram(GtkTreeIter* iter, CApplicationInfo** program)
{
    if (program)
        *program = NULL;
    if (!m_pProgramView)
        return false;
    GtkTreeModel* model = NULL;
    if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(m_pProgramView)), &model, iter))
        return false;
    if (program)
        gtk_tree_model_get(model, iter, PROG_COL_POINTER, program, -1);
    return true;
}

int CShellSettingCtrl::FetchTabNavData()
{
    IsTabNavDataDirty();
    return 0;
}

bool CShellSettingCtrl::IsTabNavDataDirty()
{
    CTabNavigationData onDisk;
    onDisk.LoadFromFile(CONFIG_FILE_DIR + TAB_NAVIGATION);
    m_bTabNavDirty = onDisk.IsEqual(m_TabNavData) == 0;
    return m_bTabNavDirty;
}

void CShellSettingCtrl::OnChangeCategory()
{
    if (!m_pCategoryView || !m_pCategoryStore)
        return;
    GtkTreePath* path = NULL;
    gtk_tree_view_get_cursor(GTK_TREE_VIEW(m_pCategoryView), &path, NULL);
    GtkTreeIter iter;
    if (path && gtk_tree_model_get_iter(GTK_TREE_MODEL(m_pCategoryStore), &iter, path)) {
        CCategory* category = NULL;
        gtk_tree_model_get(GTK_TREE_MODEL(m_pCategoryStore), &iter, CAT_COL_POINTER, &category, -1);
        if (category)
            showPrograms(category);
        UpdateBtnStatus();
    } else {
        UpdateBtnStatus();
        if (m_pProgramStore)
            gtk_list_store_clear(m_pProgramStore);
    }
    if (path)
        gtk_tree_path_free(path);
}

int CShellSettingCtrl::BuildNewCategoryName(std::string base, std::string& name)
{
    CategoryInfoList* categories = m_TabNavData.GetPCategoryInfoList();
    int count = categories ? (int)categories->size() : 0;
    name = CCategoryNaming::Build(
        base, [this](const std::string& candidate) { return m_TabNavData.IsCategoryExist(candidate); }, count + 1);
    return 1;
}

void CShellSettingCtrl::OnAddCategory()
{
    CCategory* category = new CCategory;
    std::string name;
    BuildNewCategoryName(Tr("New Category"), name);
    category->SetName(name);
    category->SetCategoryIcon(DefaultIconPath());
    /* A policy without a category list gets one, so that the new category is kept. */
    if (!m_TabNavData.GetPCategoryInfoList())
        m_TabNavData.SetPCategoryInfoList(new CategoryInfoList);
    m_pCategoryList = m_TabNavData.GetPCategoryInfoList();
    m_pCategoryList->push_back(category);

    if (m_pCategoryStore) {
        std::string iconPath =
            CKELDataTools::FileExist(category->GetCategoryIcon()) == 1 ? category->GetCategoryIcon() : DefaultIconPath();
        GdkPixbuf* icon = CIconCache::LoadAtSize(iconPath, ICON_SIZE);
        gtk_list_store_insert_with_values(m_pCategoryStore, &m_RowIter, -1, CAT_COL_ICON, icon, CAT_COL_NAME,
                                          category->GetName().c_str(), CAT_COL_POINTER, category, -1);
        if (icon)
            g_object_unref(icon);
        GtkTreeIter added = m_RowIter;
        SelectCategoryRow(&added);
        showPrograms(category);
        UpdateBtnStatus();
    }
    m_bTabNavDirty = true;
}

void CShellSettingCtrl::OnDeleteCategory()
{
    GtkTreeIter iter;
    CCategory* category = NULL;
    /* The program rows point into the category: empty them before it goes. */
    if (m_pProgramStore)
        gtk_list_store_clear(m_pProgramStore);
    if (GetSelectedCategory(&iter, &category)) {
        gtk_list_store_remove(m_pCategoryStore, &iter);
        if (category)
            m_TabNavData.RemoveCategory(category);
        if (m_pCategoryView)
            gtk_tree_selection_unselect_all(gtk_tree_view_get_selection(GTK_TREE_VIEW(m_pCategoryView)));
    }
    m_bTabNavDirty = true;
    UpdateBtnStatus();
}

void CShellSettingCtrl::OnEditCategoryRequested()
{
    OnEditCategoryBtnClicked();
    m_bTabNavDirty = true;
}

int CShellSettingCtrl::OnEditCategoryBtnClicked()
{
    TraceStart(CLS, "OnEditCategoryBtnClicked");
    if (m_pIconDlg) {
        delete m_pIconDlg;
        m_pIconDlg = NULL;
    }
    /* The dialog starts from the selected category, whatever was shown last. */
    GtkTreeIter iter;
    CCategory* category = NULL;
    if (GetSelectedCategory(&iter, &category) && category) {
        m_CurCategoryName = category->GetName();
        m_CurCategoryIcon = category->GetCategoryIcon();
    }
    m_pIconDlg = new CChangeIconDlg(ICON_PATH, m_CurCategoryIcon, m_CurCategoryName, Tr("Edit Category"));
    m_pIconDlg->Init();
    m_pIconDlg->ShowModal(m_pWindow, G_CALLBACK(GetDataFromIconDlgCallBack), this);
    TraceEnd(CLS, "OnEditCategoryBtnClicked");
    return 0;
}

void CShellSettingCtrl::GetDataFromIconDlg()
{
    if (!m_pIconDlg || m_pIconDlg->FetchReturnStatus() == 0)
        return;
    std::string name;
    std::string icon;
    m_pIconDlg->FetchData(name, icon);
    ApplyCategoryEdit(name, icon);
}

void CShellSettingCtrl::ApplyCategoryEdit(const std::string& name, const std::string& icon)
{
    if (name == m_CurCategoryName) {
        UpdateCategory(name, icon);
        return;
    }
    int exists = m_TabNavData.IsCategoryExist(name);
    if (exists == 0)
        UpdateCategory(name, icon);
    else if (exists == 1)
        ShowMessage(Tr("The specified category name already exists!"), GTK_MESSAGE_ERROR, GTK_BUTTONS_OK,
                    GTK_DIALOG_MODAL);
    else
        FailureLine("ASSERT!!!");
}

int CShellSettingCtrl::UpdateCategory(std::string name, std::string icon)
{
    /* An empty icon is the dialog's answer for a category that has none and got none. */
    if (name.empty())
        return -1;
    GtkTreeIter iter;
    CCategory* category = NULL;
    if (!GetSelectedCategory(&iter, &category))
        return -1;
    GdkPixbuf* pixbuf = CIconCache::LoadAtSize(icon, ICON_SIZE);
    gtk_list_store_set(m_pCategoryStore, &iter, CAT_COL_NAME, name.c_str(), CAT_COL_ICON, pixbuf, -1);
    if (pixbuf)
        g_object_unref(pixbuf);
    if (category) {
        category->SetName(name);
        category->SetCategoryIcon(icon);
        m_CurCategoryName = category->GetName();
        m_CurCategoryIcon = category->GetCategoryIcon();
    }
    return 1;
}

void CShellSettingCtrl::OnEditCategoryName(const gchar* path, const gchar* text)
{
    if (!text || !*text) {
        if (ShowMessage(Tr("Please enter category name!"), GTK_MESSAGE_INFO, GTK_BUTTONS_OK,
                        GTK_DIALOG_DESTROY_WITH_PARENT) == GTK_RESPONSE_OK)
            OnEditCategoryBtnClicked();
        return;
    }
    if (!m_pCategoryStore || !path)
        return;
    GtkTreePath* treePath = gtk_tree_path_new_from_string(path);
    GtkTreeIter iter;
    if (treePath && gtk_tree_model_get_iter(GTK_TREE_MODEL(m_pCategoryStore), &iter, treePath)) {
        CCategory* category = NULL;
        gtk_tree_model_get(GTK_TREE_MODEL(m_pCategoryStore), &iter, CAT_COL_POINTER, &category, -1);
        /* Typed names obey the dialog's rule: no two categories share a name. */
        if (category && category->GetName() != text && m_TabNavData.IsCategoryExist(text) != 0) {
            ShowMessage(Tr("The specified category name already exists!"), GTK_MESSAGE_ERROR, GTK_BUTTONS_OK,
                        GTK_DIALOG_MODAL);
        } else {
            gtk_list_store_set(m_pCategoryStore, &iter, CAT_COL_NAME, text, -1);
            gchar* stored = NULL;
            gtk_tree_model_get(GTK_TREE_MODEL(m_pCategoryStore), &iter, CAT_COL_NAME, &stored, -1);
            if (category && stored)
                category->SetName(stored);
            g_free(stored);
            m_bTabNavDirty = true;
        }
    }
    if (treePath)
        gtk_tree_path_free(treePath);
}

void CShellSettingCtrl::OnRestoreDefaultRequested()
{
    if (ShowMessage(Tr("Do you want to restore the default configuration?"), GTK_MESSAGE_INFO, GTK_BUTTONS_YES_NO,
                    GTK_DIALOG_DESTROY_WITH_PARENT) == GTK_RESPONSE_YES) {
        OnDefaultBtnClicked();
        UpdateBtnStatus();
    }
    m_bTabNavDirty = true;
}

int CShellSettingCtrl::OnDefaultBtnClicked()
{
    TraceStart(CLS, "OnDefaultBtnClicked");
    /* The rows point into the categories about to be replaced. */
    if (m_pProgramStore)
        gtk_list_store_clear(m_pProgramStore);
    if (m_pCategoryStore)
        gtk_list_store_clear(m_pCategoryStore);
    m_DefaultConfigData.LoadFromFile(CONFIG_FILE_DIR + DEFAULT_CONFIG);
    CategoryInfoList* defaults = m_DefaultConfigData.CloneCategoryInfoList();
    if (defaults)
        m_TabNavData.SetPCategoryInfoList(defaults);
    /* Without defaults the record keeps its categories, and the page shows them again rather
     * than an empty list that no longer matches the record. */
    ShowTabNavPolicy();
    TraceEnd(CLS, "OnDefaultBtnClicked");
    return 0;
}

void CShellSettingCtrl::OnProgramPageDestroyed()
{
    m_pProgramPageBox = NULL;
    m_pCategoryView = NULL;
    m_pProgramView = NULL;
    m_pCategoryNameRenderer = NULL;
    m_pAddCategoryBtn = NULL;
    m_pDeleteCategoryBtn = NULL;
    m_pEditCategoryBtn = NULL;
    m_pAddProgramBtn = NULL;
    m_pDeleteProgramBtn = NULL;
    m_pEditProgramBtn = NULL;
    m_pDefaultBtn = NULL;
    if (m_pCategoryStore) {
        g_object_unref(m_pCategoryStore);
        m_pCategoryStore = NULL;
    }
    if (m_pProgramStore) {
        g_object_unref(m_pProgramStore);
        m_pProgramStore = NULL;
    }
}

/* ---------------------------------------------------------------- Program Registration: programs */

void CShellSettingCtrl::AppendProgramRow(CApplicationInfo* program)
{
    /* Icons come from the shared cache: a category shown again decodes nothing. */
    GdkPixbuf* icon = CIconCache::LoadAtSize(program->GetCustomIcon(), ICON_SIZE);
    gtk_list_store_insert_with_values(m_pProgramStore, &m_RowIter, -1, PROG_COL_SHOW,
                                      program->GetEnable() ? TRUE : FALSE, PROG_COL_ICON, icon, PROG_COL_NAME,
                                      program->GetName().c_str(), PROG_COL_POINTER, program, -1);
    if (icon)
        g_object_unref(icon);
}

int CShellSettingCtrl::showPrograms(CCategory* category)
{
    TraceStart(CLS, "showPrograms");
    if (!category)
        return -1;
    m_CurCategoryName = category->GetName();
    m_CurCategoryIcon = category->GetCategoryIcon();
    if (m_pProgramStore) {
        gtk_list_store_clear(m_pProgramStore);
        CIconCache::Batch batch; /* programs share icons: one look at each file */
        ApplicationInfoList* programs = category->GetPApplicationInfoList();
        if (programs)
            for (ApplicationInfoList::iterator it = programs->begin(); it != programs->end(); ++it)
                if (*it)
                    AppendProgramRow(*it);
    }
    TraceEnd(CLS, "showPrograms");
    return 0;
}

void CShellSettingCtrl::OnChangeProgrm()
{
    GtkTreeIter categoryIter;
    CCategory* category = NULL;
    if (!GetSelectedCategory(&categoryIter, &category))
        return;
    if (!category) {
        UpdateBtnStatus();
        return;
    }
    if (m_pProgramView && m_pProgramStore) {
        GtkTreePath* path = NULL;
        gtk_tree_view_get_cursor(GTK_TREE_VIEW(m_pProgramView), &path, NULL);
        GtkTreeIter iter;
        if (path && gtk_tree_model_get_iter(GTK_TREE_MODEL(m_pProgramStore), &iter, path)) {
            CApplicationInfo* program = NULL;
            gtk_tree_model_get(GTK_TREE_MODEL(m_pProgramStore), &iter, PROG_COL_POINTER, &program, -1);
            if (program) {
                m_CurProgramName = program->GetName();
                m_CurProgramIcon = program->GetCustomIcon();
            }
        }
        if (path)
            gtk_tree_path_free(path);
    }
    UpdateBtnStatus();
}

void CShellSettingCtrl::OnEnableDisableProgram(const gchar* path)
{
    if (m_pProgramStore && path) {
        GtkTreePath* treePath = gtk_tree_path_new_from_string(path);
        GtkTreeIter iter;
        if (treePath && gtk_tree_model_get_iter(GTK_TREE_MODEL(m_pProgramStore), &iter, treePath)) {
            gboolean shown = FALSE;
            CApplicationInfo* program = NULL;
            gtk_tree_model_get(GTK_TREE_MODEL(m_pProgramStore), &iter, PROG_COL_SHOW, &shown, PROG_COL_POINTER,
                               &program, -1);
            shown = !shown;
            gtk_list_store_set(m_pProgramStore, &iter, PROG_COL_SHOW, shown, -1);
            if (program)
                program->SetEnable(shown ? 1 : 0);
        }
        if (treePath)
            gtk_tree_path_free(treePath);
    }
    m_bTabNavDirty = true;
}

void CShellSettingCtrl::OnAddProgramRequested()
{
    OnAddProgram();
    m_bTabNavDirty = true;
}

int CShellSettingCtrl::AddPrograms(const std::list<CApplicationInfo>& programs)
{
    TraceStart(CLS, "AddPrograms");
    GtkTreeIter iter;
    CCategory* category = NULL;
    if (!GetSelectedCategory(&iter, &category))
        return -1;
    if (programs.empty())
        return -1;
    if (!category) {
        FailureLine("Cannot fetch category pointer!");
        TraceEnd(CLS, "AddPrograms");
        return 0;
    }
    bool filtered = false;
    {
        CIconCache::Batch batch; /* ends before the message box's own main loop */
        for (std::list<CApplicationInfo>::const_iterator it = programs.begin(); it != programs.end(); ++it) {
            /* Each accepted entry is in the list before the next is tested: duplicates within
             * one call are filtered too. */
            if (category->IsApplicationExist(it->GetName(), it->GetPath()) != 0) {
                filtered = true;
                continue;
            }
            CApplicationInfo* program = new CApplicationInfo;
            program->SetEnable(1);
            program->SetName(it->GetName());
            program->SetPath(it->GetPath());
            program->SetCustomIcon(it->GetCustomIcon());
            /* Creates the category's program list when it has none. */
            category->AddApplication(program);
            if (m_pProgramStore)
                AppendProgramRow(program);
        }
    }
    if (filtered)
        ShowMessage(Tr("The same applications have been filtered!"), GTK_MESSAGE_INFO, GTK_BUTTONS_OK,
                    GTK_DIALOG_MODAL);
    TraceEnd(CLS, "AddPrograms");
    return 0;
}

void CShellSettingCtrl::OnDeleteProgramRequested()
{
    GtkTreeIter categoryIter;
    GtkTreeIter programIter;
    CCategory* category = NULL;
    CApplicationInfo* program = NULL;
    if (GetSelectedCategory(&categoryIter, &category) && GetSelectedProgram(&programIter, &program)) {
        if (category && program) {
            gtk_list_store_remove(m_pProgramStore, &programIter);
            m_TabNavData.RemoveProgram(category, program);
        }
        UpdateBtnStatus();
    }
    m_bTabNavDirty = true;
}

void CShellSettingCtrl::OnAddProgramButtonClicked()
{
    TraceStart(CLS, "OnAddProgramButtonClicked");
    if (m_pIconDlg) {
        delete m_pIconDlg;
        m_pIconDlg = NULL;
    }
    /* The dialog starts from the selected program, whatever was under the cursor last. */
    GtkTreeIter iter;
    CApplicationInfo* program = NULL;
    if (GetSelectedProgram(&iter, &program) && program) {
        m_CurProgramName = program->GetName();
        m_CurProgramIcon = program->GetCustomIcon();
    }
    m_pIconDlg = new CChangeIconDlg(ICON_PATH, m_CurProgramIcon, m_CurProgramName, Tr("Edit Application"));
    m_pIconDlg->Init();
    m_pIconDlg->ShowModal(m_pWindow, G_CALLBACK(GetDataFromEditIconDlgCallBack), this);
    TraceEnd(CLS, "OnAddProgramButtonClicked");
}

void CShellSettingCtrl::GetDataFromEditIconDlg()
{
    if (!m_pIconDlg || m_pIconDlg->FetchReturnStatus() == 0)
        return;
    std::string name;
    std::string icon;
    m_pIconDlg->FetchData(name, icon);
    ApplyProgramEdit(name, icon);
}

void CShellSettingCtrl::ApplyProgramEdit(const std::string& name, const std::string& icon)
{
    if (name == m_CurProgramName) {
        UpdateApplication(name, icon);
        return;
    }
    GtkTreeIter categoryIter;
    GtkTreeIter programIter;
    CCategory* category = NULL;
    if (!GetSelectedCategory(&categoryIter, &category) || !category || !GetSelectedProgram(&programIter, NULL))
        return;
    /* Three blanks match no program's path: only the name is tested. */
    int exists = category->IsApplicationExist(name, "   ");
    if (exists == 0)
        UpdateApplication(name, icon);
    else if (exists == 1)
        ShowMessage(Tr("The specified application name already exists!"), GTK_MESSAGE_ERROR, GTK_BUTTONS_OK,
                    GTK_DIALOG_MODAL);
    else
        FailureLine("ASSERT!!!");
}

int CShellSettingCtrl::UpdateApplication(std::string name, std::string icon)
{
    /* An empty icon is the dialog's answer for a program that has none and got none. */
    if (name.empty())
        return -1;
    GtkTreeIter categoryIter;
    GtkTreeIter programIter;
    CCategory* category = NULL;
    CApplicationInfo* program = NULL;
    if (!GetSelectedCategory(&categoryIter, &category))
        return -1;
    if (!category || !GetSelectedProgram(&programIter, &program))
        return -1;
    GdkPixbuf* pixbuf = CIconCache::LoadAtSize(icon, ICON_SIZE);
    gtk_list_store_set(m_pProgramStore, &programIter, PROG_COL_NAME, name.c_str(), PROG_COL_ICON, pixbuf, -1);
    if (pixbuf)
        g_object_unref(pixbuf);
    if (program) {
        program->SetName(name);
        program->SetCustomIcon(icon);
        m_CurProgramName = program->GetName();
        m_CurProgramIcon = program->GetCustomIcon();
    }
    return 1;
}

/* ---------------------------------------------------------------- System Settings page */

void CShellSettingCtrl::initSystemSetting()
{
    TraceStart(CLS, "initSystemSetting");
    if (m_pProgramPageBox) {
        GtkWidget* spacer = gtk_hbox_new(FALSE, 5);
        gtk_container_set_border_width(GTK_CONTAINER(spacer), 0);
        gtk_box_pack_end(GTK_BOX(m_pProgramPageBox), spacer, FALSE, FALSE, 0);
        gtk_widget_show(spacer);
    }
    m_pSystemPageBox = gtk_vbox_new(FALSE, 5);
    gtk_container_set_border_width(GTK_CONTAINER(m_pSystemPageBox), 0);
    gtk_widget_show(m_pSystemPageBox);
    GtkWidget* tabLabel = gtk_label_new(Tr("System Settings"));
    gtk_widget_set_name(tabLabel, KEL_STYLE_LABEL_FONT.c_str());
    gtk_widget_show(tabLabel);
    gtk_notebook_append_page(GTK_NOTEBOOK(m_pNotebook), m_pSystemPageBox, tabLabel);
    /* The teacher's window takes this page out again, which destroys it. */
    g_signal_connect(m_pSystemPageBox, "destroy", G_CALLBACK(GtkOnSystemPageDestroy), this);

    GtkWidget* headingRow = gtk_hbox_new(FALSE, 0);
    gtk_container_set_border_width(GTK_CONTAINER(headingRow), 0);
    gtk_box_pack_start(GTK_BOX(m_pSystemPageBox), headingRow, FALSE, FALSE, 0);
    gtk_widget_show(headingRow);
    m_pSystemHeadingLabel = gtk_label_new(Tr("System Settings"));
    gtk_box_pack_start(GTK_BOX(headingRow), m_pSystemHeadingLabel, FALSE, FALSE, 10);
    gtk_widget_show(m_pSystemHeadingLabel);

    m_pSettingsRow = gtk_hbox_new(FALSE, 0);
    gtk_container_set_border_width(GTK_CONTAINER(m_pSettingsRow), 0);
    gtk_box_pack_start(GTK_BOX(m_pSystemPageBox), m_pSettingsRow, FALSE, FALSE, 10);
    gtk_widget_show(m_pSettingsRow);
    GtkWidget* usb = gtk_check_button_new_with_label(Tr("Disable USB Storage"));
    gtk_box_pack_start(GTK_BOX(m_pSettingsRow), usb, FALSE, FALSE, 10);
    gtk_widget_show(usb);
    TrackWidget(&m_pUSBCheckBox, usb);
    TraceEnd(CLS, "initSystemSetting");
}

int CShellSettingCtrl::ShowUSBPolicy()
{
    TraceStart(CLS, "ShowUSBPolicy");
    if (m_pUSBCheckBox)
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(m_pUSBCheckBox),
                                     m_SystemSettingData.GetUSBStorageenabled() == 1 ? FALSE : TRUE);
    TraceEnd(CLS, "ShowUSBPolicy");
    return 0;
}

int CShellSettingCtrl::FetchUSBData()
{
    TraceStart(CLS, "FetchUSBData");
    if (m_pUSBCheckBox) {
        bool disabled = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(m_pUSBCheckBox));
        m_SystemSettingData.SetUSBStorageenabled(disabled ? 0 : 1);
        IsSystemSettingDirty();
    }
    TraceEnd(CLS, "FetchUSBData");
    return 0;
}

int CShellSettingCtrl::ShowTeacherPolicy()
{
    TraceStart(CLS, "ShowTeacherPolicy");
    if (m_pNewStudentCheckBox)
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(m_pNewStudentCheckBox),
                                     m_SystemSettingData.GetNewStudentConnectDialogEnable() == 1 ? TRUE : FALSE);
    TraceEnd(CLS, "ShowTeacherPolicy");
    return 0;
}

int CShellSettingCtrl::FetchTeacherPolicy()
{
    TraceLine(std::string(" ") + CLS + "::FetchTeacherPolicy >>Start");
    if (m_pNewStudentCheckBox) {
        bool shown = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(m_pNewStudentCheckBox));
        m_SystemSettingData.SetNewStudentConnectDialogEnable(shown ? 1 : 0);
        IsSystemSettingDirty();
    }
    TraceEnd(CLS, "FetchTeacherPolicy");
    return 0;
}

bool CShellSettingCtrl::IsSystemSettingDirty()
{
    CKELSystemSettingData onDisk;
    onDisk.LoadFromFile(CONFIG_FILE_DIR + KEL_SYSTEM_SETTING);
    m_bSystemSettingDirty = onDisk.IsEqual(m_SystemSettingData) == 0;
    return m_bSystemSettingDirty;
}

void CShellSettingCtrl::GTKShowDlgCheckBox()
{
    /* Nothing to add to once the page is gone; one such box is enough. */
    if (!m_pSettingsRow || m_pNewStudentCheckBox)
        return;
    GtkWidget* box = gtk_check_button_new_with_label(Tr("Show new student connect notify dialog"));
    gtk_widget_set_size_request(box, 400, 75);
    gtk_box_pack_start(GTK_BOX(m_pSettingsRow), box, FALSE, FALSE, 10);
    gtk_widget_show(box);
    TrackWidget(&m_pNewStudentCheckBox, box);
}

bool CShellSettingCtrl::GTKHideUSBCheckBox()
{
    if (!m_pUSBCheckBox)
        return false;
    GtkWidget* box = m_pUSBCheckBox;
    ForgetWidget(&m_pUSBCheckBox);
    gtk_widget_destroy(box);
    return true;
}

void CShellSettingCtrl::OnSystemPageDestroyed()
{
    m_pSystemPageBox = NULL;
    m_pSystemHeadingLabel = NULL;
    m_pSettingsRow = NULL;
    ForgetWidget(&m_pUSBCheckBox);
    ForgetWidget(&m_pNewStudentCheckBox);
}

/* ---------------------------------------------------------------- signal handlers */

void CShellSettingCtrl::OnOKBtnClicked(GtkWidget*, gpointer data)
{
    Dispatch(data, "OnOKBtnClicked", [](CShellSettingCtrl* self) { self->OnOK(); });
}

void CShellSettingCtrl::OnApplyBtnClicked(GtkWidget*, gpointer data)
{
    Dispatch(data, "OnApplyBtnClicked", [](CShellSettingCtrl* self) { self->OnApply(); });
}

void CShellSettingCtrl::OnCancelBtnClicked(GtkWidget*, gpointer data)
{
    Dispatch(data, "OnCancelBtnClicked", [](CShellSettingCtrl* self) { self->OnCancel(); });
}

gboolean CShellSettingCtrl::OnCloseBtnClicked(GtkWidget*, GdkEvent*, gpointer data)
{
    Dispatch(data, "OnCloseBtnClicked", [](CShellSettingCtrl* self) { self->OnClose(); });
    return FALSE;
}

void CShellSettingCtrl::GtkOnWeekLabelClicked(GtkWidget* widget, gpointer data)
{
    Dispatch(data, "OnClickWeekLabel", [widget](CShellSettingCtrl* self) { self->OnWeekLabelClicked(widget); });
}

void CShellSettingCtrl::GtkOnHourToggled(GtkToggleButton* button, gpointer data)
{
    if (data)
        static_cast<CShellSettingCtrl*>(data)->OnHourToggled(GTK_WIDGET(button));
}

void CShellSettingCtrl::ChangeCategory(GtkTreeView*, gpointer data)
{
    Dispatch(data, "ChangeCategory", [](CShellSettingCtrl* self) { self->OnChangeCategory(); });
}

void CShellSettingCtrl::AddCategory(GtkWidget*, gpointer data)
{
    Dispatch(data, "AddCategory", [](CShellSettingCtrl* self) { self->OnAddCategory(); });
}

void CShellSettingCtrl::DeleteCategory(GtkWidget*, gpointer data)
{
    Dispatch(data, "DeleteCategory", [](CShellSettingCtrl* self) { self->OnDeleteCategory(); });
}

void CShellSettingCtrl::GtkOnEditCateoryBtnClicked(GtkWidget*, gpointer data)
{
    Dispatch(data, "GtkOnEditCateoryBtnClicked", [](CShellSettingCtrl* self) { self->OnEditCategoryRequested(); });
}

void CShellSettingCtrl::GtkOnCategoryTreeRowActivated(GtkTreeView*, GtkTreePath*, GtkTreeViewColumn*, gpointer data)
{
    Dispatch(data, "GtkOnCategoryTreeRowActivated", [](CShellSettingCtrl* self) { self->OnEditCategoryRequested(); });
}

void CShellSettingCtrl::GetDataFromIconDlgCallBack(GtkWidget*, gpointer data)
{
    if (data)
        static_cast<CShellSettingCtrl*>(data)->GetDataFromIconDlg();
}

void CShellSettingCtrl::GtkEditCategory(GtkCellRendererText*, const gchar* path, const gchar* text, gpointer data)
{
    Dispatch(data, "GtkEditCategory", [path, text](CShellSettingCtrl* self) { self->OnEditCategoryName(path, text); });
}

void CShellSettingCtrl::GtkOnDefaultBtnClicked(GtkWidget*, gpointer data)
{
    Dispatch(data, "GtkOnDefaultBtnClicked", [](CShellSettingCtrl* self) { self->OnRestoreDefaultRequested(); });
}

void CShellSettingCtrl::ChangeProgrm(GtkTreeView*, gpointer data)
{
    Dispatch(data, "ChangeProgrm", [](CShellSettingCtrl* self) { self->OnChangeProgrm(); });
}

void CShellSettingCtrl::EnableDisableProgram(GtkCellRendererToggle*, gchar* path, gpointer data)
{
    Dispatch(data, "EnableDisableProgram", [path](CShellSettingCtrl* self) { self->OnEnableDisableProgram(path); });
}

void CShellSettingCtrl::GtkAddProgramBtnClicked(GtkWidget*, gpointer data)
{
    Dispatch(data, "GtkAddProgramBtnClicked", [](CShellSettingCtrl* self) { self->OnAddProgramRequested(); });
}

void CShellSettingCtrl::GtkDeleteProgramBtnClicked(GtkWidget*, gpointer data)
{
    Dispatch(data, "GtkDeleteProgramBtnClicked", [](CShellSettingCtrl* self) { self->OnDeleteProgramRequested(); });
}

void CShellSettingCtrl::GtkAddProgramButtonClicked(GtkWidget*, gpointer data)
{
    Dispatch(data, "GtkAddProgramButtonClicked", [](CShellSettingCtrl* self) { self->OnAddProgramButtonClicked(); });
}

void CShellSettingCtrl::GtkOnApplicationTreeRowActivated(GtkTreeView*, GtkTreePath*, GtkTreeViewColumn*,
                                                         gpointer data)
{
    Dispatch(data, "GtkOnApplicationTreeRowActivated",
             [](CShellSettingCtrl* self) { self->OnAddProgramButtonClicked(); });
}

void CShellSettingCtrl::GetDataFromEditIconDlgCallBack(GtkWidget*, gpointer data)
{
    if (data)
        static_cast<CShellSettingCtrl*>(data)->GetDataFromEditIconDlg();
}

void CShellSettingCtrl::GtkOnWindowDestroy(GtkWidget*, gpointer data)
{
    static_cast<CShellSettingCtrl*>(data)->OnWindowDestroyed();
}

void CShellSettingCtrl::GtkOnLockPageDestroy(GtkWidget*, gpointer data)
{
    static_cast<CShellSettingCtrl*>(data)->OnLockPageDestroyed();
}

void CShellSettingCtrl::GtkOnProgramPageDestroy(GtkWidget*, gpointer data)
{
    static_cast<CShellSettingCtrl*>(data)->OnProgramPageDestroyed();
}

void CShellSettingCtrl::GtkOnSystemPageDestroy(GtkWidget*, gpointer data)
{
    static_cast<CShellSettingCtrl*>(data)->OnSystemPageDestroyed();
}

} // namespace LibKELGUI
