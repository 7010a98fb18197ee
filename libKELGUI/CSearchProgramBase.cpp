/* The Search Program window: folder row, progress bar, status line and Search/Cancel button. */
#include "CSearchProgramBase.h"

#include "IPCAPI.h"
#include "CWidgetLayout.h"
#include "KELConstants.h"

namespace LibKELGUI {

static const char* const CLS = "CSearchProgramBase";

CSearchProgramBase::CSearchProgramBase()
    : m_pMainBox(NULL)
    , m_pPathLabel(NULL)
    , m_pPathEntry(NULL)
    , m_pStatusLabel(NULL)
    , m_pPathRow(NULL)
    , m_pProgressRow(NULL)
    , m_pStatusRow(NULL)
    , m_pButtonPanel(NULL)
    , m_pSearchBtn(NULL)
    , m_pProgressBar(NULL)
    , m_WarningColor()
    , m_NormalColor()
    , m_pTarget(NULL)
    , m_OperationNumber(0)
    , m_ClearResults(0)
{
    TraceStart(CLS, "CSearchProgramBase");
    TraceEnd(CLS, "CSearchProgramBase");
}

CSearchProgramBase::~CSearchProgramBase()
{
    TraceStart(CLS, "~CSearchProgramBase");
    /* The window base destroys the window after our members are gone: our own handlers
     * must not run then. */
    if (m_pWindow)
        g_signal_handlers_disconnect_matched(m_pWindow, G_SIGNAL_MATCH_DATA, 0, 0, NULL, NULL, this);
    TraceEnd(CLS, "~CSearchProgramBase");
}

int CSearchProgramBase::AttachBaseClassGTKHandler(CSearchProgramBase* target)
{
    TraceStart(CLS, "AttachBaseClassGTKHandler");
    if (!target) {
        TraceEnd(CLS, "AttachBaseClassGTKHandler");
        return -2;
    }
    m_pTarget = target;
    /* gtk_init would end a host that has no display; build nothing instead. */
    if (!gtk_init_check(NULL, NULL)) {
        FailureLine("CSearchProgramBase::AttachBaseClassGTKHandler no display");
        TraceEnd(CLS, "AttachBaseClassGTKHandler");
        return -1;
    }

    m_pWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_position(GTK_WINDOW(m_pWindow), GTK_WIN_POS_CENTER_ON_PARENT);
    gtk_window_set_title(GTK_WINDOW(m_pWindow), Tr("Search Program"));
    gtk_window_set_wmclass(GTK_WINDOW(m_pWindow), Tr("Search Program"), "KEL");
    gtk_container_set_border_width(GTK_CONTAINER(m_pWindow), 0);
    /* The least size: a long message or a large font makes the dialog grow. */
    SetMinimumSize(m_pWindow, 300, 135);
    gtk_window_set_modal(GTK_WINDOW(m_pWindow), TRUE);

    m_pMainBox = gtk_vbox_new(FALSE, 0);
    gtk_container_set_border_width(GTK_CONTAINER(m_pMainBox), 0);
    gtk_container_add(GTK_CONTAINER(m_pWindow), m_pMainBox);
    gtk_widget_show(m_pMainBox);
    gdk_color_parse("red", &m_WarningColor);
    gdk_color_parse("black", &m_NormalColor);
    BuildPathAndProgressRows();
    BuildStatusRow();
    BuildButtonPanel();

    /* Ours first, so that the widget pointers are forgotten before anyone else hears of the close. */
    g_signal_connect(m_pWindow, "destroy", G_CALLBACK(GtkOnWindowDestroyed), this);
    g_signal_connect(m_pWindow, "delete-event", G_CALLBACK(GtkOnCloseBtnClicked), this);
    g_signal_connect(m_pSearchBtn, "clicked", G_CALLBACK(GtkSearchBtnClicked), target);

    m_bInitialized = true;
    TraceEnd(CLS, "AttachBaseClassGTKHandler");
    return 0;
}

void CSearchProgramBase::BuildPathAndProgressRows()
{
    m_pPathRow = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(m_pMainBox), m_pPathRow, FALSE, FALSE, 5);
    gtk_widget_show(m_pPathRow);
    /* Translators: label of the entry naming the folder in which programs are searched. */
    m_pPathLabel = gtk_label_new(Tr("App Path"));
    gtk_box_pack_start(GTK_BOX(m_pPathRow), m_pPathLabel, FALSE, FALSE, 5);
    gtk_widget_show(m_pPathLabel);
    /* Sized and placed by the subclass: the local search adds a Browse button beside it. */
    m_pPathEntry = gtk_entry_new();
    gtk_label_set_mnemonic_widget(GTK_LABEL(m_pPathLabel), m_pPathEntry);
    /* Enter in the path starts the search. */
    gtk_entry_set_activates_default(GTK_ENTRY(m_pPathEntry), TRUE);

    m_pProgressRow = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(m_pMainBox), m_pProgressRow, FALSE, FALSE, 0);
    gtk_widget_show(m_pProgressRow);
    m_pProgressBar = gtk_progress_bar_new();
    SetMinimumSize(m_pProgressBar, 290, 25);
    /* Not ellipsized: the bar asks for the width of its counts, and the dialog grows to it. */
    gtk_box_pack_start(GTK_BOX(m_pProgressRow), m_pProgressBar, TRUE, TRUE, 5);
    gtk_widget_show(m_pProgressBar);
}

void CSearchProgramBase::BuildStatusRow()
{
    m_pStatusRow = gtk_hbox_new(FALSE, 0);
    SetMinimumSize(m_pStatusRow, 280, 30);
    gtk_box_pack_start(GTK_BOX(m_pMainBox), m_pStatusRow, FALSE, FALSE, 0);
    gtk_widget_show(m_pStatusRow);
    m_pStatusLabel = gtk_label_new_with_mnemonic("");
    SetMinimumSize(m_pStatusLabel, 280, 30);
    gtk_misc_set_alignment(GTK_MISC(m_pStatusLabel), 0.0, 0.5);
    gtk_label_set_justify(GTK_LABEL(m_pStatusLabel), GTK_JUSTIFY_LEFT);
    /* A long message wraps at the dialog's width, which grows taller for it. */
    gtk_label_set_line_wrap(GTK_LABEL(m_pStatusLabel), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(m_pStatusLabel), PANGO_WRAP_WORD_CHAR);
    g_signal_connect(m_pStatusLabel, "style-set", G_CALLBACK(GtkOnStatusStyleSet), NULL);
    gtk_box_pack_start(GTK_BOX(m_pStatusRow), m_pStatusLabel, TRUE, TRUE, 5);
    gtk_widget_show(m_pStatusLabel);
}

void CSearchProgramBase::BuildButtonPanel()
{
    GtkWidget* buttonRow = CWidgetLayout::AppendButtonPanel(m_pMainBox, &m_pButtonPanel);

    m_pSearchBtn = gtk_button_new_with_label(Tr("Search"));
    gtk_container_set_border_width(GTK_CONTAINER(m_pSearchBtn), 0);
    SetMinimumSize(m_pSearchBtn, 95, 30);
    gtk_widget_set_can_default(m_pSearchBtn, TRUE);
    gtk_box_pack_end(GTK_BOX(buttonRow), m_pSearchBtn, FALSE, FALSE, 0);
    gtk_widget_show(m_pSearchBtn);
}

gboolean CSearchProgramBase::GtkOnCloseBtnClicked(GtkWidget*, GdkEvent*, void* self)
{
    if (self) static_cast<CSearchProgramBase*>(self)->OnCloseRequested();
    return FALSE;
}

void CSearchProgramBase::GtkSearchBtnClicked(GtkWidget*, void* target)
{
    if (target) static_cast<CSearchProgramBase*>(target)->OnSearchBtnRouted();
}

void CSearchProgramBase::GtkOnStatusStyleSet(GtkWidget* label, GtkStyle*, void*)
{
    /* A wrapping label asks for no width of its own: it wraps at about 45 characters of its
     * font, and the dialog is as wide as that needs. */
    PangoFontMetrics* metrics = pango_context_get_metrics(gtk_widget_get_pango_context(label), label->style->font_desc,
                                                          NULL);
    const int width = 45 * pango_font_metrics_get_approximate_char_width(metrics) / PANGO_SCALE;
    pango_font_metrics_unref(metrics);
    gtk_widget_set_size_request(label, MAX(width, 280), -1);
}

void CSearchProgramBase::GtkOnWindowDestroyed(GtkWidget*, void* self)
{
    static_cast<CSearchProgramBase*>(self)->OnWindowDestroyed();
}

void CSearchProgramBase::OnSearchBtnRouted()
{
    TraceStart(CLS, "GtkSearchBtnClicked");
    OnSearchBtnClicked();
    TraceEnd(CLS, "GtkSearchBtnClicked");
}

void CSearchProgramBase::OnCloseRequested()
{
    TraceStart(CLS, "GtkOnCloseBtnClicked");
    /* The window closes even when the cancel was refused. */
    CancelSearch();
    Close();
    TraceEnd(CLS, "GtkOnCloseBtnClicked");
}

void CSearchProgramBase::OnWindowDestroyed()
{
    m_pMainBox = NULL;
    m_pPathLabel = NULL;
    m_pPathEntry = NULL;
    m_pStatusLabel = NULL;
    m_pPathRow = NULL;
    m_pProgressRow = NULL;
    m_pStatusRow = NULL;
    m_pButtonPanel = NULL;
    m_pSearchBtn = NULL;
    m_pProgressBar = NULL;
}

void CSearchProgramBase::FinishBuild()
{
    if (!m_pWindow)
        return;
    gtk_window_set_default(GTK_WINDOW(m_pWindow), m_pSearchBtn);
    AssignMnemonics(m_pWindow);
    /* Like the close box: a running search is cancelled first. */
    CloseOnEscape(NULL);
}

bool CSearchProgramBase::AcceptPath(bool checkHere)
{
    m_SearchPath = m_pPathEntry ? gtk_entry_get_text(GTK_ENTRY(m_pPathEntry)) : "";
    std::string refusal;
    if (m_SearchPath.empty()) {
        refusal = Tr("Please input search path first!");
    } else if (m_SearchPath[0] != '/') {
        /* A relative folder would be taken from wherever the searching service runs. */
        refusal = Tr("Please give the whole path of the folder, beginning with \"/\", for example "
                     "/usr/share/applications.");
    } else if (checkHere) {
        gchar* file = g_filename_from_utf8(m_SearchPath.c_str(), -1, NULL, NULL, NULL);
        if (file && !g_file_test(file, G_FILE_TEST_EXISTS))
            refusal = Format(Tr("The folder %s does not exist."), m_SearchPath.c_str());
        else if (file && !g_file_test(file, G_FILE_TEST_IS_DIR))
            refusal = Format(Tr("%s is not a folder."), m_SearchPath.c_str());
        g_free(file);
    }
    if (refusal.empty())
        return true;
    /* Nothing of an earlier search may look like the answer to this one. */
    SetProgress(0.0);
    SetProgressText("");
    ShowStatus(refusal.c_str(), m_WarningColor);
    return false;
}

void CSearchProgramBase::ShowStartRefused(int error)
{
    const char* text;
    switch (error) {
    case IPCAPI::IPC_ERR_NOT_RUNNING:
        text = Tr("The policy service is not running.");
        break;
    case IPCAPI::IPC_ERR_NOT_ALLOWED:
        text = Tr("You are not allowed to search for programs on this computer.");
        break;
    case IPCAPI::IPC_ERR_AUTH_NEEDED:
        text = Tr("You must authenticate as an administrator to search for programs.");
        break;
    case IPCAPI::IPC_ERR_BUSY:
        text = Tr("Another search is still running. Please try again later.");
        break;
    default:
        text = Tr("The search could not be started.");
        break;
    }
    SetProgress(0.0);
    SetProgressText("");
    ShowStatus(text, m_WarningColor);
}

void CSearchProgramBase::ShowDone(const std::string& counts, const std::string& skipped, bool nothingFound)
{
    SetProgress(1.0);
    SetProgressText(counts);
    std::string text = Tr("Search program is done!");
    if (!skipped.empty())
        text += "\n" + skipped;
    ShowStatus(text.c_str(), !skipped.empty() && nothingFound ? m_WarningColor : m_NormalColor);
}

void CSearchProgramBase::ShowIncomplete(const std::string& lost, const std::string& counts, const std::string& skipped)
{
    SetProgress(1.0);
    SetProgressText(counts);
    /* Translators: a class search ended but some students are missing from its result; who follows. */
    std::string text = Format(Tr("The search is done, but not every student searched: %s."), lost.c_str());
    if (!skipped.empty())
        text += "\n" + skipped;
    ShowStatus(text.c_str(), m_WarningColor);
}

void CSearchProgramBase::ShowFailed(const std::string& reason, const std::string& counts)
{
    SetProgress(0.0);
    SetProgressText(counts);
    /* Translators: the search ended without result; the reason follows. */
    ShowStatus(Format(Tr("The search failed: %s"), reason.c_str()).c_str(), m_WarningColor);
}

void CSearchProgramBase::SetProgressText(const std::string& text)
{
    if (!m_pProgressBar)
        return;
    gtk_progress_bar_set_text(GTK_PROGRESS_BAR(m_pProgressBar), text.empty() ? NULL : text.c_str());
    SetTooltip(m_pProgressBar, text.empty() ? NULL : text.c_str());
}

void CSearchProgramBase::ClearStatus()
{
    if (!m_pStatusLabel)
        return;
    gtk_label_set_text(GTK_LABEL(m_pStatusLabel), "");
    SetTooltip(m_pStatusLabel, NULL);
    SetProgressText("");
}

void CSearchProgramBase::ShowStatus(const char* text, const GdkColor& color)
{
    if (!m_pStatusLabel)
        return;
    gtk_label_set_text(GTK_LABEL(m_pStatusLabel), text);
    SetTooltip(m_pStatusLabel, text);
    gtk_widget_modify_fg(m_pStatusLabel, GTK_STATE_NORMAL, &color);
}

void CSearchProgramBase::SetSearchBtnLabel(const char* label)
{
    if (m_pSearchBtn)
        SetButtonText(m_pSearchBtn, label);
}

void CSearchProgramBase::SetProgress(double fraction)
{
    if (!m_pProgressBar)
        return;
    /* Also catches NaN: a comparison with NaN is false. */
    if (!(fraction >= 0.0))
        fraction = 0.0;
    else if (fraction > 1.0)
        fraction = 1.0;
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(m_pProgressBar), fraction);
}

int CSearchProgramBase::AfterCancelCall(int rc, int error)
{
    if (rc == 0) {
        m_OperationNumber = 0;
        return 1;
    }
    FailureLine("CancelSearch Failure!");
    /* A positive error says the operation no longer runs: keeping its number would turn
     * every later click into another vain cancel, and no search could start again. */
    if (error > 0)
        m_OperationNumber = 0;
    return error;
}

} // namespace LibKELGUI
