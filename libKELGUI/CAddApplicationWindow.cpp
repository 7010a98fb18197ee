/* The Add Application window: lists the programs of the search-result file, starts new
 * searches, and hands copies of the chosen programs back to its opener. */
#include "CAddApplicationWindow.h"

#include "CIconCache.h"
#include "CMessageBox.h"
#include "CWidgetLayout.h"
#include "CSearchProgramForAdminTool.h"
#include "CSearchProgramForShellController.h"
#include "KELConstants.h"
#include "KELDataTools.h"

#include <sys/stat.h>

using LibKELData::CApplicationInfo;

namespace {

/* As g_markup_escape_text, appended: plain printable ASCII, what most names and commands are,
 * is copied as it is (the formatted escape cost as much as the rest of a 10,000-row fill). */
void AppendMarkupEscaped(std::string& out, const std::string& text)
{
    for (unsigned char c : text)
        if (c < 0x20 || c > 0x7e || c == '&' || c == '<' || c == '>' || c == '\'' || c == '"') {
            gchar* escaped = g_markup_escape_text(text.c_str(), -1);
            out += escaped;
            g_free(escaped);
            return;
        }
    out += text;
}

} // namespace

namespace LibKELGUI {

static const char* const CLS = "CAddApplicationWindow";

/* COL_SHOWN: the name with the command under it (markup), also the row's tooltip. */
enum { COL_ICON, COL_NAME, COL_RECORD, COL_SHOWN, COL_COUNT };

/* Above this many results the user is offered to start afresh. */
static const int RESULT_QUESTION_LIMIT = 200;
/* Icons are shown at the size of their files, but no larger than this: every row is as
 * high as the tallest icon (fixed-height rows), and one huge icon must not make the whole
 * list unusable. Larger icons are scaled down once per file, not per row. */
static const int MAX_ICON_DISPLAY = 48;
/* Rows before the first load, and when no row has a picture. */
static const int DEFAULT_ICON_DISPLAY = CIconCache::LIST_ICON_SIZE;

CAddApplicationWindow::CAddApplicationWindow(bool remote)
    : m_pMainBox(NULL)
    , m_pButtonPanel(NULL)
    , m_pButtonRow(NULL)
    , m_pSearchBtn(NULL)
    , m_pOKBtn(NULL)
    , m_pCancelBtn(NULL)
    , m_pResultStore(NULL)
    , m_pResultView(NULL)
    , m_pIconColumn(NULL)
    , m_pIconRenderer(NULL)
    , m_RowIter()
    , m_pScrolledWindow(NULL)
    , m_bRemote(remote)
    , m_ResultCount(0)
    , m_pSearchDlg(NULL)
    , m_ResultStamp()
    , m_pAliveGuard(NULL)
{
    TraceStart(CLS, "CAddApplicationWindow");
    TraceEnd(CLS, "CAddApplicationWindow");
}

CAddApplicationWindow::~CAddApplicationWindow()
{
    TraceStart(CLS, "~CAddApplicationWindow");
    if (m_pAliveGuard)
        *m_pAliveGuard = false;
    /* Its window goes with it; the base sees to it that its close callback no longer
     * reaches us. */
    delete m_pSearchDlg;
    m_pSearchDlg = NULL;
    /* The window base destroys our window after our members are gone: our own handlers
     * must not run then. */
    if (m_pWindow)
        g_signal_handlers_disconnect_matched(m_pWindow, G_SIGNAL_MATCH_DATA, 0, 0, NULL, NULL, this);
    if (m_pResultStore) {
        gtk_list_store_clear(m_pResultStore);
        g_object_unref(m_pResultStore);
        m_pResultStore = NULL;
    }
    TraceEnd(CLS, "~CAddApplicationWindow");
}

int CAddApplicationWindow::Init()
{
    TraceStart(CLS, "Init");
    /* gtk_init would end a host that has no display; build nothing instead. */
    if (m_pWindow || !gtk_init_check(NULL, NULL)) {
        TraceEnd(CLS, "Init");
        return 0;
    }

    m_pWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(m_pWindow), Tr("Add Application"));
    gtk_window_set_wmclass(GTK_WINDOW(m_pWindow), Tr("Add Application"), "KEL");
    SetWindowIcon(LibKELData::KEL_ADMIN_TOOL_ICON);
    gtk_container_set_border_width(GTK_CONTAINER(m_pWindow), 0);
    gtk_window_set_modal(GTK_WINDOW(m_pWindow), TRUE);
    gtk_window_set_position(GTK_WINDOW(m_pWindow), GTK_WIN_POS_CENTER);
    /* The least size; the list grows with the window, which opens tall enough for a
     * multiple selection to be seen. */
    SetMinimumSize(m_pWindow, 360, 240);
    gtk_window_set_default_size(GTK_WINDOW(m_pWindow), 420, 440);

    m_pMainBox = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(m_pWindow), m_pMainBox);
    BuildResultList();
    BuildButtonPanel();

    g_signal_connect(m_pWindow, "destroy", G_CALLBACK(GtkOnWindowDestroyed), this);
    g_signal_connect(m_pWindow, "delete-event", G_CALLBACK(GtkOnCloseBtnClicked), this);
    g_signal_connect(m_pSearchBtn, "clicked", G_CALLBACK(GtkSearchBtnClicked), this);
    g_signal_connect(m_pOKBtn, "clicked", G_CALLBACK(GtkOKBtnClicked), this);
    g_signal_connect(m_pCancelBtn, "clicked", G_CALLBACK(GtkCancelBtnClicked), this);
    AssignMnemonics(m_pWindow);
    CloseOnEscape(m_pCancelBtn);

    m_bInitialized = true;
    LoadXMLData();
    TraceEnd(CLS, "Init");
    return 0;
}

void CAddApplicationWindow::BuildResultList()
{
    m_pScrolledWindow = gtk_scrolled_window_new(NULL, NULL);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(m_pScrolledWindow), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
    gtk_box_pack_start(GTK_BOX(m_pMainBox), m_pScrolledWindow, TRUE, TRUE, 0);

    m_pResultStore = gtk_list_store_new(COL_COUNT, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_POINTER, G_TYPE_STRING);
    m_pResultView = gtk_tree_view_new_with_model(GTK_TREE_MODEL(m_pResultStore));
    gtk_tree_selection_set_mode(gtk_tree_view_get_selection(GTK_TREE_VIEW(m_pResultView)), GTK_SELECTION_MULTIPLE);
    gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(m_pResultView), FALSE);
    gtk_tree_view_set_headers_clickable(GTK_TREE_VIEW(m_pResultView), FALSE);
    gtk_tree_view_set_rules_hint(GTK_TREE_VIEW(m_pResultView), TRUE);
    SetMinimumSize(m_pResultView, 160, 195);
    /* Typing a name's beginning jumps to it; the whole name and command show on hover. */
    gtk_tree_view_set_search_column(GTK_TREE_VIEW(m_pResultView), COL_NAME);
    gtk_tree_view_set_enable_search(GTK_TREE_VIEW(m_pResultView), TRUE);
    gtk_tree_view_set_tooltip_column(GTK_TREE_VIEW(m_pResultView), COL_SHOWN);
    gtk_container_add(GTK_CONTAINER(m_pScrolledWindow), m_pResultView);

    /* Fixed-size columns and rows: a long result list opens without measuring every row. */
    m_pIconRenderer = gtk_cell_renderer_pixbuf_new();
    m_pIconColumn = gtk_tree_view_column_new_with_attributes("", m_pIconRenderer, "pixbuf", COL_ICON, NULL);
    gtk_tree_view_column_set_sizing(m_pIconColumn, GTK_TREE_VIEW_COLUMN_FIXED);
    gtk_tree_view_append_column(GTK_TREE_VIEW(m_pResultView), m_pIconColumn);
    GtkCellRenderer* nameRenderer = gtk_cell_renderer_text_new();
    g_object_set(nameRenderer, "ellipsize", PANGO_ELLIPSIZE_END, NULL);
    /* The command the students' shell will run stands under each name. */
    GtkTreeViewColumn* nameColumn =
        gtk_tree_view_column_new_with_attributes("", nameRenderer, "markup", COL_SHOWN, NULL);
    gtk_tree_view_column_set_sizing(nameColumn, GTK_TREE_VIEW_COLUMN_FIXED);
    gtk_tree_view_column_set_fixed_width(nameColumn, 100);
    gtk_tree_view_column_set_expand(nameColumn, TRUE);
    gtk_tree_view_append_column(GTK_TREE_VIEW(m_pResultView), nameColumn);
    gtk_tree_view_set_fixed_height_mode(GTK_TREE_VIEW(m_pResultView), TRUE);
}

void CAddApplicationWindow::BuildButtonPanel()
{
    m_pButtonRow = CWidgetLayout::AppendButtonPanel(m_pMainBox, &m_pButtonPanel);

    m_pSearchBtn = gtk_button_new_with_label(Tr("Search"));
    SetMinimumSize(m_pSearchBtn, 95, 32);
    gtk_box_pack_start(GTK_BOX(m_pButtonRow), m_pSearchBtn, FALSE, FALSE, 0);
    m_pOKBtn = gtk_button_new_with_label(Tr("OK"));
    SetMinimumSize(m_pOKBtn, 95, 32);
    gtk_box_pack_end(GTK_BOX(m_pButtonRow), m_pOKBtn, FALSE, FALSE, 0);
    gtk_widget_grab_focus(m_pOKBtn);
    m_pCancelBtn = gtk_button_new_with_label(Tr("Cancel"));
    SetMinimumSize(m_pCancelBtn, 95, 32);
    gtk_box_pack_end(GTK_BOX(m_pButtonRow), m_pCancelBtn, FALSE, FALSE, 5);
}

int CAddApplicationWindow::Close()
{
    bool alive = true;
    bool* outer = m_pAliveGuard;
    m_pAliveGuard = &alive;
    CKELWindowBase::Close(); /* the opener's close callback runs in here */
    if (!alive) {
        if (outer)
            *outer = false;
        return 0;
    }
    m_pAliveGuard = outer;
    if (m_pResultStore)
        gtk_list_store_clear(m_pResultStore);
    return 0;
}

int CAddApplicationWindow::LoadXMLData()
{
    TraceStart(CLS, "LoadXMLData");
    if (!m_pResultStore) {
        TraceEnd(CLS, "LoadXMLData");
        return 0;
    }
    /* Filled while detached: the view then neither tracks nor redraws each new row. */
    if (m_pResultView)
        gtk_tree_view_set_model(GTK_TREE_VIEW(m_pResultView), NULL);
    /* Emptied before the reload, and left empty when it finds nothing: no row may point at
     * a record the reload discards, and the list shows what the file holds. */
    gtk_list_store_clear(m_pResultStore);

    /* Stamped before the read: a file replaced during it differs next time and is read again. */
    const std::string path = LibKELData::SearchResultFile();
    FileStamp stamp = {false, 0, 0, 0, 0, 0};
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        stamp.known = true;
        stamp.device = st.st_dev;
        stamp.inode = st.st_ino;
        stamp.size = st.st_size;
        stamp.mtimeNs = (unsigned long long)st.st_mtim.tv_sec * 1000000000ULL + st.st_mtim.tv_nsec;
        stamp.ctimeNs = (unsigned long long)st.st_ctim.tv_sec * 1000000000ULL + st.st_ctim.tv_nsec;
    }
    const FileStamp& last = m_ResultStamp;
    bool unchanged = stamp.known && last.known && stamp.device == last.device && stamp.inode == last.inode &&
                     stamp.size == last.size && stamp.mtimeNs == last.mtimeNs && stamp.ctimeNs == last.ctimeNs;
    if (!unchanged) {
        bool loaded = m_SearchResults.LoadFromFile(path) == 0;
        m_ResultStamp = stamp;
        m_ResultStamp.known = stamp.known && loaded;
    }
    LibKELData::ApplicationInfoList* programs = m_SearchResults.GetPApplicationInfoList();
    m_ResultCount = programs ? (int)programs->size() : 0;

    int added = 0;
    int iconWidth = 0;
    int iconHeight = 0;
    if (programs) {
        CIconCache::Batch batch; /* results share icons: one look at each file */
        std::string shown;       /* one buffer for every row's text */
        for (LibKELData::ApplicationInfoList::iterator it = programs->begin(); it != programs->end(); ++it) {
            CApplicationInfo* program = *it;
            if (!program)
                continue;
            /* The cache keeps only the shrunk copy of a large picture, one per file. */
            GdkPixbuf* icon = CIconCache::LoadFullSizeAtMost(program->GetCustomIcon(), MAX_ICON_DISPLAY);
            shown.clear();
            AppendMarkupEscaped(shown, program->GetName());
            shown += "\n<small>";
            AppendMarkupEscaped(shown, program->GetPath());
            shown += "</small>";
            gtk_list_store_insert_with_values(m_pResultStore, &m_RowIter, -1, COL_ICON, icon, COL_NAME,
                                              program->GetName().c_str(), COL_RECORD, program, COL_SHOWN,
                                              shown.c_str(), -1);
            if (icon) {
                iconWidth = MAX(iconWidth, gdk_pixbuf_get_width(icon));
                iconHeight = MAX(iconHeight, gdk_pixbuf_get_height(icon));
                g_object_unref(icon);
            }
            ++added;
        }
    }

    if (m_pResultView) {
        /* Every row as high as the tallest icon of this load; the view measures one row only. */
        if (iconHeight == 0)
            iconWidth = iconHeight = DEFAULT_ICON_DISPLAY;
        gint xpad = 0, ypad = 0;
        gtk_cell_renderer_get_padding(m_pIconRenderer, &xpad, &ypad);
        gtk_cell_renderer_set_fixed_size(m_pIconRenderer, iconWidth + 2 * xpad, iconHeight + 2 * ypad);
        gtk_tree_view_column_set_fixed_width(m_pIconColumn, iconWidth + 2 * xpad + 4);
        gtk_tree_view_set_model(GTK_TREE_VIEW(m_pResultView), GTK_TREE_MODEL(m_pResultStore));
    }
    TraceEnd(CLS, "LoadXMLData");
    return added;
}

int CAddApplicationWindow::OnSearchBtnClicked()
{
    delete m_pSearchDlg;
    m_pSearchDlg = NULL;

    int clearResults = 0;
    if (m_ResultCount > RESULT_QUESTION_LIMIT) {
        bool alive = true;
        bool* outer = m_pAliveGuard;
        m_pAliveGuard = &alive;
        int answer = CMessageBox::Show(
            /* Translators: asked before a search when more than 200 programs are listed; Yes discards them. */
            Tr("The sum of search result has exceeded 200. Do you want to clear the old search result?"), m_pWindow,
            GTK_MESSAGE_INFO, GTK_BUTTONS_YES_NO, GTK_DIALOG_MODAL, LibKELData::KEL_SHELL_CONTROLLER_ICON);
        /* The question ran a main loop of its own: we may be gone, or our window may be. */
        if (!alive) {
            if (outer)
                *outer = false;
            return -1;
        }
        m_pAliveGuard = outer;
        if (!m_pWindow)
            return -1;
        if (answer == GTK_RESPONSE_YES)
            clearResults = 1;
    }

    if (m_bRemote)
        m_pSearchDlg = new CSearchProgramForShellController(clearResults);
    else
        m_pSearchDlg = new CSearchProgramForAdminTool(clearResults);
    m_pSearchDlg->Init();
    m_pSearchDlg->ShowModal(m_pWindow, G_CALLBACK(GtkSearchProgramDlgClosed), this);
    return 0;
}

int CAddApplicationWindow::GetSelectApplicationList(std::list<CApplicationInfo>& out)
{
    TraceStart(CLS, "GetSelectApplicationList");
    out.clear();
    out.insert(out.end(), m_SelectedPrograms.begin(), m_SelectedPrograms.end());
    TraceEnd(CLS, "GetSelectApplicationList");
    return (int)out.size();
}

int CAddApplicationWindow::AddNewApplication(const CApplicationInfo& info)
{
    TraceStart(CLS, "AddNewApplication");
    m_SelectedPrograms.push_back(info);
    TraceEnd(CLS, "AddNewApplication");
    return (int)m_SelectedPrograms.size();
}

gboolean CAddApplicationWindow::GtkOnCloseBtnClicked(GtkWidget*, GdkEvent*, void* data)
{
    if (data) static_cast<CAddApplicationWindow*>(data)->OnCancelBtnClicked("GtkCancelBtnClicked");
    return FALSE;
}

void CAddApplicationWindow::GtkCancelBtnClicked(GtkWidget*, void* data)
{
    if (data) static_cast<CAddApplicationWindow*>(data)->OnCancelBtnClicked("GtkCancelBtnClicked");
}

void CAddApplicationWindow::GtkOKBtnClicked(GtkWidget*, void* data)
{
    if (data) static_cast<CAddApplicationWindow*>(data)->OnOKBtnClicked();
}

void CAddApplicationWindow::GtkSearchBtnClicked(GtkWidget*, void* data)
{
    if (data) static_cast<CAddApplicationWindow*>(data)->OnSearchBtnRouted();
}

void CAddApplicationWindow::GtkSearchProgramDlgClosed(GtkWidget*, void* data)
{
    if (data) static_cast<CAddApplicationWindow*>(data)->OnSearchProgramDlgClosed();
}

void CAddApplicationWindow::GtkTreeSelectionForeachFunc(GtkTreeModel* model, GtkTreePath*, GtkTreeIter* iter, void* data)
{
    if (data) static_cast<CAddApplicationWindow*>(data)->OnSelectedRow(model, iter);
}

void CAddApplicationWindow::GtkOnWindowDestroyed(GtkWidget*, void* data)
{
    static_cast<CAddApplicationWindow*>(data)->OnWindowDestroyed();
}

void CAddApplicationWindow::OnCancelBtnClicked(const char* handler)
{
    TraceStart(CLS, handler);
    Close();
    TraceEnd(CLS, handler);
}

void CAddApplicationWindow::OnSearchBtnRouted()
{
    TraceStart(CLS, "GtkSearchBtnClicked");
    OnSearchBtnClicked();
    TraceEnd(CLS, "GtkSearchBtnClicked");
}

void CAddApplicationWindow::OnOKBtnClicked()
{
    TraceStart(CLS, "GtkOKBtnClicked");
    GtkTreeSelection* selection = m_pResultView ? gtk_tree_view_get_selection(GTK_TREE_VIEW(m_pResultView)) : NULL;
    /* Top to bottom, so the opener adds the programs in the order of the list. */
    if (selection && gtk_tree_selection_count_selected_rows(selection) > 0)
        gtk_tree_selection_selected_foreach(selection, GtkTreeSelectionForeachFunc, this);
    /* The copies are complete before the opener's close callback looks for them. */
    Close();
    TraceEnd(CLS, "GtkOKBtnClicked");
}

void CAddApplicationWindow::OnSearchProgramDlgClosed()
{
    TraceStart(CLS, "GtkSearchProgramDlgClosed");
    /* The search wrote its results to the file; the list shows them only now. */
    LoadXMLData();
    TraceEnd(CLS, "GtkSearchProgramDlgClosed");
}

void CAddApplicationWindow::OnSelectedRow(GtkTreeModel* model, GtkTreeIter* iter)
{
    TraceStart(CLS, "GtkTreeSelectionForeachFunc");
    gpointer record = NULL;
    gtk_tree_model_get(model, iter, COL_RECORD, &record, -1);
    if (record)
        AddNewApplication(*static_cast<CApplicationInfo*>(record));
    TraceEnd(CLS, "GtkTreeSelectionForeachFunc");
}

void CAddApplicationWindow::OnWindowDestroyed()
{
    m_pMainBox = NULL;
    m_pButtonPanel = NULL;
    m_pButtonRow = NULL;
    m_pSearchBtn = NULL;
    m_pOKBtn = NULL;
    m_pCancelBtn = NULL;
    m_pResultView = NULL;
    m_pIconColumn = NULL;
    m_pIconRenderer = NULL;
    m_pScrolledWindow = NULL;
}

} // namespace LibKELGUI
