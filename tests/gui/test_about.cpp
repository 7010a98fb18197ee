/* The About box: its texts, defaults, icon fallbacks, wrapping and closing. */
#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include <string>

#include "CAboutDlg.h"
#include "KELConstants.h"
#include "KelTest.h"

using namespace LibKELGUI;

namespace {

const guint32 DEFAULT_RGBA = 0x20c040ff; /* the default program icon's colour */
const guint32 PROGRAM_RGBA = 0xd02060ff;

const char* NOTICE = "Copyright 2026 The KEL Project.\nProvided without any warranty.";

bool WriteImage(const std::string& path, int width, int height, guint32 rgba)
{
    GdkPixbuf* pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, width, height);
    gdk_pixbuf_fill(pb, rgba);
    gchar* dir = g_path_get_dirname(path.c_str());
    keltest::MakeDirs(dir);
    g_free(dir);
    gboolean ok = gdk_pixbuf_save(pb, path.c_str(), "png", NULL, NULL);
    g_object_unref(pb);
    return ok;
}

guint32 CentreColour(GdkPixbuf* pb)
{
    if (!pb)
        return 0;
    const guchar* p = gdk_pixbuf_get_pixels(pb) + gdk_pixbuf_get_height(pb) / 2 * gdk_pixbuf_get_rowstride(pb) +
                      gdk_pixbuf_get_width(pb) / 2 * gdk_pixbuf_get_n_channels(pb);
    return (guint32)p[0] << 24 | (guint32)p[1] << 16 | (guint32)p[2] << 8 | 0xff;
}

/* What the dialog shows, read from its widgets. */
struct Shown {
    std::string title, heading, version, notice;
    GdkPixbuf* programImage = nullptr; /* borrowed */
    GdkPixbuf* windowIcon = nullptr;   /* borrowed */
    GtkWidget* headingLabel = nullptr;
    GtkWidget* versionLabel = nullptr;
    GtkWidget* noticeLabel = nullptr;
    GtkWidget* background = nullptr;
};

Shown Read(GtkWidget* window)
{
    Shown s;
    s.title = gtk_window_get_title(GTK_WINDOW(window));
    s.windowIcon = gtk_window_get_icon(GTK_WINDOW(window));
    GtkWidget* fixed = keltest::FindByType(window, GTK_TYPE_FIXED);
    GList* children = gtk_container_get_children(GTK_CONTAINER(fixed));
    /* In the order they were put: background, heading, version, notice, icon, OK. */
    EXPECT_EQ(6u, g_list_length(children));
    if (g_list_length(children) == 6) {
        s.background = GTK_WIDGET(g_list_nth_data(children, 0));
        s.headingLabel = GTK_WIDGET(g_list_nth_data(children, 1));
        s.versionLabel = GTK_WIDGET(g_list_nth_data(children, 2));
        s.noticeLabel = GTK_WIDGET(g_list_nth_data(children, 3));
        s.heading = gtk_label_get_text(GTK_LABEL(s.headingLabel));
        s.version = gtk_label_get_text(GTK_LABEL(s.versionLabel));
        s.notice = gtk_label_get_text(GTK_LABEL(s.noticeLabel));
        GtkImage* icon = GTK_IMAGE(g_list_nth_data(children, 4));
        if (gtk_image_get_storage_type(icon) == GTK_IMAGE_PIXBUF)
            s.programImage = gtk_image_get_pixbuf(icon);
    }
    g_list_free(children);
    return s;
}

} // namespace

TEST(AboutDlg, EmptyArgumentsGiveDefaultsAndTheDefaultIcon)
{
    ASSERT_TRUE(WriteImage(LibKELData::KEL_IMAGE_APP_DEFAULT_ICON, 64, 64, DEFAULT_RGBA));
    /* Empty, and naming a missing file: both fall back, for the window icon and the image. */
    const std::string iconPaths[] = {"", keltest::Root() + "/no-such-icon.png"};
    for (const std::string& icon : iconPaths) {
        CAboutDlg dlg("", "", icon, "");
        EXPECT_EQ(0, dlg.Init());
        Shown s = Read(dlg.GetWindow());
        EXPECT_EQ("About KEL", s.title);
        EXPECT_EQ("About Dialog", s.heading);
        EXPECT_EQ("Version 1.0", s.version);
        EXPECT_EQ(NOTICE, s.notice);
        ASSERT_TRUE(s.programImage);
        EXPECT_EQ(48, gdk_pixbuf_get_width(s.programImage));
        EXPECT_EQ(DEFAULT_RGBA, CentreColour(s.programImage));
        EXPECT_EQ(DEFAULT_RGBA, CentreColour(s.windowIcon));
        EXPECT_STREQ("About KEL", GTK_WINDOW(dlg.GetWindow())->wmclass_name);
        EXPECT_STREQ("KEL", GTK_WINDOW(dlg.GetWindow())->wmclass_class);
        EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(dlg.GetWindow())));
        /* No background picture in this sandbox: a plain window, not a broken-image mark. */
        EXPECT_EQ(GTK_IMAGE_EMPTY, gtk_image_get_storage_type(GTK_IMAGE(s.background)));
    }

    /* A file that exists but is no image falls back too. */
    ASSERT_TRUE(keltest::WriteFile(keltest::Root() + "/broken.png", "not a picture"));
    CAboutDlg broken("", "", keltest::Root() + "/broken.png", "");
    broken.Init();
    Shown s = Read(broken.GetWindow());
    EXPECT_EQ(DEFAULT_RGBA, CentreColour(s.programImage));
    EXPECT_EQ(DEFAULT_RGBA, CentreColour(s.windowIcon));
}

TEST(AboutDlg, HostTextsAndIconAreShownAsGiven)
{
    ASSERT_TRUE(WriteImage(LibKELData::KEL_IMAGE_APP_DEFAULT_ICON, 64, 64, DEFAULT_RGBA));
    ASSERT_TRUE(WriteImage(LibKELData::KEL_RESOURCE_IMAGE_PATH + "About_BG.png", 350, 230, 0xf0f4f8ff));
    std::string icon = keltest::Root() + "/wide.png";
    ASSERT_TRUE(WriteImage(icon, 96, 48, PROGRAM_RGBA));

    CAboutDlg dlg("Shell 100% _Controller", "Shell Controller", icon, "3.0.0.162");
    dlg.Init();
    Shown s = Read(dlg.GetWindow());
    EXPECT_EQ("About Shell Controller", s.title);
    /* The underscore marks the next character, as in every label made with a mnemonic. */
    EXPECT_EQ("Shell 100% Controller", s.heading);
    EXPECT_EQ(GDK_c, gtk_label_get_mnemonic_keyval(GTK_LABEL(s.headingLabel)));
    EXPECT_EQ("Version 3.0.0.162", s.version);
    ASSERT_TRUE(s.programImage);
    EXPECT_EQ(48, gdk_pixbuf_get_width(s.programImage));
    EXPECT_EQ(24, gdk_pixbuf_get_height(s.programImage));
    EXPECT_EQ(PROGRAM_RGBA, CentreColour(s.programImage));
    EXPECT_EQ(PROGRAM_RGBA, CentreColour(s.windowIcon));
    EXPECT_EQ(GTK_IMAGE_PIXBUF, gtk_image_get_storage_type(GTK_IMAGE(s.background)));

    /* Heading and version bold, the notice in the window's own font. */
    dlg.Show();
    keltest::Drain();
    auto weight = [](GtkWidget* w) { return pango_font_description_get_weight(gtk_widget_get_style(w)->font_desc); };
    EXPECT_EQ(PANGO_WEIGHT_BOLD, weight(s.headingLabel));
    EXPECT_EQ(PANGO_WEIGHT_BOLD, weight(s.versionLabel));
    EXPECT_EQ(PANGO_WEIGHT_NORMAL, weight(s.noticeLabel));
}

TEST(AboutDlg, LongHeadingWrapsAndVersionDoesNot)
{
    CAboutDlg dlg("A very long heading for the classroom shell settings program of this school",
                  "Shell Controller", "", "3.0.0.162 built on a long afternoon with a long name");
    dlg.Init();
    dlg.Show();
    keltest::Drain();
    Shown s = Read(dlg.GetWindow());
    EXPECT_GT(pango_layout_get_line_count(gtk_label_get_layout(GTK_LABEL(s.headingLabel))), 1);
    EXPECT_EQ(1, pango_layout_get_line_count(gtk_label_get_layout(GTK_LABEL(s.versionLabel))));
}

namespace {
struct Host {
    CAboutDlg* about = nullptr;
    int closed = 0;
};

void OnAboutClosed(GtkWidget*, gpointer data)
{
    Host* host = static_cast<Host*>(data);
    host->closed++;
    delete host->about; /* the host is done with it */
    host->about = nullptr;
}
} // namespace

TEST(AboutDlg, OKClosesTheDialogEvenWhenTheHostDeletesItThen)
{
    keltest::LogCapture log;
    GtkWidget* parent = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_widget_show(parent);
    Host host;
    host.about = new CAboutDlg("About", "Demo", "", "1.2");
    host.about->Init();
    ASSERT_EQ(1, host.about->ShowModal(parent, G_CALLBACK(OnAboutClosed), &host));
    keltest::Drain();
    keltest::WidgetWatch window(host.about->GetWindow());
    log.Clear();

    keltest::Click(keltest::FindButtonByLabel(host.about->GetWindow(), "OK"));
    EXPECT_FALSE(window.Alive());
    EXPECT_EQ(1, host.closed);
    EXPECT_EQ(nullptr, host.about);
    int start = log.IndexOf("CAboutDlg::OKBtn click >>Start");
    int close = log.IndexOf("CKELWindowBase::Close >>Start");
    int end = log.IndexOf("CAboutDlg::OKBtn click <<End");
    EXPECT_LE(0, start);
    EXPECT_LT(start, close);
    EXPECT_LT(close, end);
    int own = 0;
    for (const auto& line : log.Lines())
        if (line.text.find("CAboutDlg") != std::string::npos)
            ++own;
    EXPECT_EQ(2, own);
    gtk_widget_destroy(parent);
}

TEST(AboutDlg, DefaultConstructedDialogStillBuilds)
{
    ASSERT_TRUE(WriteImage(LibKELData::KEL_IMAGE_APP_DEFAULT_ICON, 64, 64, DEFAULT_RGBA));
    CAboutDlg dlg;
    EXPECT_EQ(0, dlg.Init());
    GtkWidget* first = dlg.GetWindow();
    EXPECT_EQ(0, dlg.Init()); /* built once */
    EXPECT_EQ(first, dlg.GetWindow());
    Shown s = Read(dlg.GetWindow());
    EXPECT_EQ("About ", s.title);
    EXPECT_EQ("", s.heading);
    EXPECT_EQ("", s.notice);
    EXPECT_EQ(DEFAULT_RGBA, CentreColour(s.programImage));
    EXPECT_EQ(1, dlg.Show());
}
