/* The About box: background picture, program icon, heading, version, legal notice and OK. */
#include "CAboutDlg.h"

#include "KELConstants.h"
#include "KELDataTools.h"

using LibKELData::CKELDataTools;

namespace LibKELGUI {

namespace {

const int WIDTH = 350;
const int HEIGHT = 230;
const int ICON_SIZE = 48;
const int TEXT_WIDTH = 247;
const int TEXT_X = 92;
const int HEADING_Y = 50;
const int VERSION_Y = 90;
const int NOTICE_Y = 105;
const int OK_Y = 190;
/* The divider line between the notice and OK, at the least; the picture has it at this place. */
const int DIVIDER_Y = 180;
const int DIVIDER_WIDTH = 247;

/* The first of the two files that loads, at 48 x 48 with its aspect kept; null when neither does. */
GdkPixbuf* LoadProgramImage(const std::string& path, const std::string& fallback)
{
    GdkPixbuf* image = NULL;
    if (CKELDataTools::FileExist(path) == 1)
        image = gdk_pixbuf_new_from_file_at_scale(path.c_str(), ICON_SIZE, ICON_SIZE, TRUE, NULL);
    if (!image)
        image = gdk_pixbuf_new_from_file_at_scale(fallback.c_str(), ICON_SIZE, ICON_SIZE, TRUE, NULL);
    return image;
}

GtkWidget* NewBoldLabel(const std::string& text)
{
    GtkWidget* label = gtk_label_new_with_mnemonic(text.c_str());
    PangoFontDescription* bold = pango_font_description_from_string("Bold");
    gtk_widget_modify_font(label, bold);
    pango_font_description_free(bold);
    return label;
}

} // namespace

CAboutDlg::CAboutDlg() = default;

CAboutDlg::CAboutDlg(const std::string& heading, const std::string& productName, const std::string& iconPath,
                     const std::string& version)
    : m_Heading(heading)
    , m_ProductName(productName)
    , m_IconPath(iconPath)
    , m_Version(version)
{
    /* Translators: the legal notice of the About box, two lines. */
    m_LegalNotice = Tr("Copyright 2026 The KEL Project.\nProvided without any warranty.");
    m_DefaultIconPath = LibKELData::KEL_IMAGE_APP_DEFAULT_ICON;
    if (m_Heading.empty())
        m_Heading = Tr("About Dialog");
    if (m_ProductName.empty())
        /* Translators: the product name used when the host program gives none. */
        m_ProductName = Tr("KEL");
    if (m_Version.empty())
        m_Version = "1.0";
}

CAboutDlg::~CAboutDlg()
{
    /* The base destroys the window after our members are gone: no layout of ours then. */
    if (m_pWindow && m_pLayout)
        g_signal_handlers_disconnect_by_func(m_pLayout, reinterpret_cast<gpointer>(GtkLayOut), this);
    if (m_pProgramImage)
        g_object_unref(m_pProgramImage);
}

int CAboutDlg::Init()
{
    /* One window per object, and none without a display (gtk_init would end the host). */
    if (m_pWindow || m_bDestroying)
        return 0;
    if (!gtk_init_check(NULL, NULL)) {
        FailureLine("CAboutDlg::Init no display");
        return -1;
    }
    /* The default constructor leaves the fallback unset; the default program icon still applies. */
    std::string fallback = m_DefaultIconPath.empty() ? LibKELData::KEL_IMAGE_APP_DEFAULT_ICON : m_DefaultIconPath;

    m_pWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_position(GTK_WINDOW(m_pWindow), GTK_WIN_POS_CENTER_ON_PARENT);
    SetMinimumSize(m_pWindow, WIDTH, HEIGHT);
    gtk_window_set_resizable(GTK_WINDOW(m_pWindow), FALSE);
    SetWindowIcon(m_IconPath, fallback);

    m_pLayout = gtk_fixed_new();
    m_pIconImage = gtk_image_new();
    gtk_container_add(GTK_CONTAINER(m_pWindow), m_pLayout);
    BuildBackgroundAndTitle();
    BuildTexts(fallback);
    BuildOKButton();
    m_bInitialized = true;
    return 0;
}

void CAboutDlg::BuildBackgroundAndTitle()
{
    /* Put first, so that everything after lies over it. A missing picture leaves the
     * window plain rather than showing GTK's broken-image mark. */
    m_BackgroundPath = LibKELData::KEL_RESOURCE_IMAGE_PATH + "About_BG.png";
    GdkPixbuf* background = gdk_pixbuf_new_from_file(m_BackgroundPath.c_str(), NULL);
    /* The picture's divider would run through a notice that a large font makes taller: it is
     * painted over with the rows above it and drawn where LayOut puts it, under the notice. */
    if (background && gdk_pixbuf_get_width(background) >= TEXT_X + DIVIDER_WIDTH &&
        gdk_pixbuf_get_height(background) >= DIVIDER_Y + 2)
        gdk_pixbuf_copy_area(background, TEXT_X, DIVIDER_Y - 2, DIVIDER_WIDTH, 2, background, TEXT_X, DIVIDER_Y);
    m_pDivider = gtk_event_box_new();
    GdkColor line = {0, 0xD300, 0xE100, 0xF000};
    gtk_widget_modify_bg(m_pDivider, GTK_STATE_NORMAL, &line);
    gtk_widget_set_size_request(m_pDivider, DIVIDER_WIDTH, 2);
    m_pBackgroundImage = background ? gtk_image_new_from_pixbuf(background) : gtk_image_new();
    if (background)
        g_object_unref(background);
    gtk_widget_set_size_request(m_pBackgroundImage, WIDTH, HEIGHT);
    gtk_fixed_put(GTK_FIXED(m_pLayout), m_pBackgroundImage, 0, 0);
    gtk_fixed_put(GTK_FIXED(m_pLayout), m_pDivider, TEXT_X, DIVIDER_Y);

    /* Translators: followed by the product name, hence the trailing blank. */
    m_WindowTitle = std::string(Tr("About ")) + m_ProductName;
    gtk_window_set_title(GTK_WINDOW(m_pWindow), m_WindowTitle.c_str());
    gtk_window_set_wmclass(GTK_WINDOW(m_pWindow), m_WindowTitle.c_str(), "KEL");
}

void CAboutDlg::BuildTexts(const std::string& fallbackIcon)
{
    /* Translators: followed by the version number, hence the trailing blank. */
    m_VersionLine = std::string(Tr("Version ")) + m_Version;

    m_pProgramImage = LoadProgramImage(m_IconPath, fallbackIcon);
    if (m_pProgramImage)
        gtk_image_set_from_pixbuf(GTK_IMAGE(m_pIconImage), m_pProgramImage);

    m_pHeadingLabel = NewBoldLabel(m_Heading);
    /* Wrapped at 247 pixels and as high as its lines need, at least 40: a taller box would
     * reach under the version line at y = 90. LayOut moves what lies below down when it grows. */
    gtk_widget_set_size_request(m_pHeadingLabel, TEXT_WIDTH, -1);
    SetMinimumSize(m_pHeadingLabel, 0, VERSION_Y - HEADING_Y);
    gtk_label_set_line_wrap(GTK_LABEL(m_pHeadingLabel), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(m_pHeadingLabel), PANGO_WRAP_WORD);
    gtk_fixed_put(GTK_FIXED(m_pLayout), m_pHeadingLabel, TEXT_X, HEADING_Y);

    m_pVersionLabel = NewBoldLabel(m_VersionLine);
    gtk_fixed_put(GTK_FIXED(m_pLayout), m_pVersionLabel, TEXT_X, VERSION_Y);

    m_pNoticeLabel = gtk_label_new_with_mnemonic(m_LegalNotice.c_str());
    gtk_widget_set_size_request(m_pNoticeLabel, TEXT_WIDTH, -1);
    SetMinimumSize(m_pNoticeLabel, 0, 70);
    gtk_label_set_line_wrap(GTK_LABEL(m_pNoticeLabel), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(m_pNoticeLabel), PANGO_WRAP_WORD);
    gtk_fixed_put(GTK_FIXED(m_pLayout), m_pNoticeLabel, TEXT_X, NOTICE_Y);

    gtk_fixed_put(GTK_FIXED(m_pLayout), m_pIconImage, 28, 69);
}

void CAboutDlg::BuildOKButton()
{
    m_pOKBtn = gtk_button_new_with_label(Tr("OK"));
    SetMinimumSize(m_pOKBtn, 95, 32);
    gtk_fixed_put(GTK_FIXED(m_pLayout), m_pOKBtn, 246, OK_Y);
    /* After the layout's own request: the children's requests are known then. */
    g_signal_connect_after(m_pLayout, "size-request", G_CALLBACK(GtkLayOut), this);

    gtk_widget_set_can_default(m_pOKBtn, TRUE);
    gtk_window_set_default(GTK_WINDOW(m_pWindow), m_pOKBtn);
    gtk_widget_grab_focus(m_pOKBtn);
    g_signal_connect(m_pOKBtn, "clicked", G_CALLBACK(ClickOKBtn), this);
    AssignMnemonics(m_pWindow);
    CloseOnEscape(m_pOKBtn);
}

void CAboutDlg::GtkLayOut(GtkWidget* layout, GtkRequisition* requisition, gpointer self)
{
    static_cast<CAboutDlg*>(self)->LayOut(layout, requisition);
}

void CAboutDlg::LayOut(GtkWidget* layout, GtkRequisition* requisition)
{
    /* The designed places are where each text starts at the least: the version line under the
     * heading, the notice under the version, OK under the notice. */
    GtkRequisition heading, version, notice;
    gtk_widget_get_child_requisition(m_pHeadingLabel, &heading);
    gtk_widget_get_child_requisition(m_pVersionLabel, &version);
    gtk_widget_get_child_requisition(m_pNoticeLabel, &notice);
    const int versionY = MAX(VERSION_Y, HEADING_Y + heading.height);
    const int noticeY = MAX(NOTICE_Y, versionY + version.height);
    const int dividerY = MAX(DIVIDER_Y, noticeY + notice.height + 5);
    const int okY = MAX(OK_Y, dividerY + 10);
    requisition->width = requisition->height = 0;
    for (GList* l = GTK_FIXED(layout)->children; l; l = l->next) {
        GtkFixedChild* child = static_cast<GtkFixedChild*>(l->data);
        if (child->widget == m_pVersionLabel)
            child->y = versionY;
        else if (child->widget == m_pNoticeLabel)
            child->y = noticeY;
        else if (child->widget == m_pOKBtn)
            child->y = okY;
        else if (child->widget == m_pDivider)
            child->y = dividerY;
        GtkRequisition r;
        gtk_widget_get_child_requisition(child->widget, &r);
        requisition->width = MAX(requisition->width, child->x + r.width);
        requisition->height = MAX(requisition->height, child->y + r.height);
    }
    /* The margins the design leaves right of OK and below it. */
    requisition->width += WIDTH - 246 - 95;
    requisition->height += HEIGHT - OK_Y - 32;
}

void CAboutDlg::OnOKBtnClicked()
{
    TraceLine("CAboutDlg::OKBtn click >>Start");
    Close();
    /* The host may have deleted us from a close callback: touch nothing of ours now. */
    TraceLine("CAboutDlg::OKBtn click <<End");
}

void CAboutDlg::ClickOKBtn(GtkWidget*, gpointer data) { static_cast<CAboutDlg*>(data)->OnOKBtnClicked(); }

} // namespace LibKELGUI
