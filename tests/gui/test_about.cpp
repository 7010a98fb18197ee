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

/* What the dialog shows, read from its widgets in the order they were put: background,
 * heading, version, notice, icon, OK. */
struct Shown {
    std::string title;
    GtkWidget* parts[6] = {};
    GdkPixbuf* windowIcon = nullptr; /* borrowed */
    std::string Text(int i) const { return gtk_label_get_text(GTK_LABEL(parts[i])); }
    GdkPixbuf* Image(int i) const
    {
        return gtk_image_get_storage_type(GTK_IMAGE(parts[i])) == GTK_IMAGE_PIXBUF ? gtk_image_get_pixbuf(GTK_IMAGE(parts[i]))
                                                                                    : NULL;
    }
    int Lines(int i) const { return pango_layout_get_line_count(gtk_label_get_layout(GTK_LABEL(parts[i]))); }
};
enum { BACKGROUND, HEADING, VERSION, NOTICE, ICON };

Shown Read(CAboutDlg& dlg)
{
    EXPECT_EQ(0, dlg.Init());
    dlg.Show();
    keltest::Drain();
    Shown s;
    s.title = gtk_window_get_title(GTK_WINDOW(dlg.GetWindow()));
    s.windowIcon = gtk_window_get_icon(GTK_WINDOW(dlg.GetWindow()));
    GList* children = gtk_container_get_children(GTK_CONTAINER(keltest::FindByType(dlg.GetWindow(), GTK_TYPE_FIXED)));
    EXPECT_EQ(6u, g_list_length(children));
    for (int i = 0; i < 6 && g_list_nth_data(children, i); ++i)
        s.parts[i] = GTK_WIDGET(g_list_nth_data(children, i));
    g_list_free(children);
    return s;
}

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

TEST(AboutDlg, EmptyMissingOrBrokenIconAndEmptyTextsFallBackToDefaults)
{
    ASSERT_TRUE(WriteImage(LibKELData::KEL_IMAGE_APP_DEFAULT_ICON, 64, 64, DEFAULT_RGBA));
    ASSERT_TRUE(keltest::WriteFile(keltest::Root() + "/broken.png", "not a picture"));
    for (const std::string& icon : {std::string(), keltest::Root() + "/no-such-icon.png", keltest::Root() + "/broken.png"}) {
        SCOPED_TRACE(icon);
        CAboutDlg dlg("", "", icon, "");
        Shown s = Read(dlg);
        EXPECT_EQ("About KEL", s.title);
        EXPECT_EQ("About Dialog", s.Text(HEADING));
        EXPECT_EQ("Version 1.0", s.Text(VERSION));
        EXPECT_EQ("Copyright 2026 The KEL Project.\nProvided without any warranty.", s.Text(NOTICE));
        EXPECT_EQ(DEFAULT_RGBA, CentreColour(s.Image(ICON)));
        EXPECT_EQ(DEFAULT_RGBA, CentreColour(s.windowIcon));
        EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(dlg.GetWindow())));
        /* No background picture in this sandbox: a plain window, not a broken-image mark. */
        EXPECT_EQ(GTK_IMAGE_EMPTY, gtk_image_get_storage_type(GTK_IMAGE(s.parts[BACKGROUND])));
    }
    /* Default-constructed: still builds, once, and shows. */
    CAboutDlg plain;
    Shown s = Read(plain);
    GtkWidget* first = plain.GetWindow();
    EXPECT_EQ(0, plain.Init());
    EXPECT_EQ(first, plain.GetWindow());
    EXPECT_EQ(DEFAULT_RGBA, CentreColour(s.Image(ICON)));
}

TEST(AboutDlg, HostTextsAndIconAreShownAsGivenLongHeadingWrapsVersionDoesNot)
{
    ASSERT_TRUE(WriteImage(LibKELData::KEL_RESOURCE_IMAGE_PATH + "About_BG.png", 350, 230, 0xf0f4f8ff));
    std::string icon = keltest::Root() + "/wide.png";
    ASSERT_TRUE(WriteImage(icon, 96, 48, PROGRAM_RGBA));
    CAboutDlg dlg("A very long heading for the classroom shell 100% _Controller of this school", "Shell Controller",
                  icon, "3.0.0.162 built on a long afternoon with a long name");
    Shown s = Read(dlg);
    EXPECT_EQ("About Shell Controller", s.title);
    /* The underscore marks the next character, as in every label made with a mnemonic. */
    EXPECT_EQ("A very long heading for the classroom shell 100% Controller of this school", s.Text(HEADING));
    EXPECT_EQ(GDK_c, gtk_label_get_mnemonic_keyval(GTK_LABEL(s.parts[HEADING])));
    EXPECT_EQ("Version 3.0.0.162 built on a long afternoon with a long name", s.Text(VERSION));
    EXPECT_GT(s.Lines(HEADING), 1);
    EXPECT_EQ(1, s.Lines(VERSION));
    ASSERT_TRUE(s.Image(ICON));
    EXPECT_EQ(48, gdk_pixbuf_get_width(s.Image(ICON)));
    EXPECT_EQ(24, gdk_pixbuf_get_height(s.Image(ICON))) << "scaled keeping its shape";
    EXPECT_EQ(PROGRAM_RGBA, CentreColour(s.Image(ICON)));
    EXPECT_EQ(PROGRAM_RGBA, CentreColour(s.windowIcon));
    EXPECT_EQ(GTK_IMAGE_PIXBUF, gtk_image_get_storage_type(GTK_IMAGE(s.parts[BACKGROUND])));
    auto weight = [&s](int i) { return pango_font_description_get_weight(gtk_widget_get_style(s.parts[i])->font_desc); };
    EXPECT_EQ(PANGO_WEIGHT_BOLD, weight(HEADING));
    EXPECT_EQ(PANGO_WEIGHT_BOLD, weight(VERSION));
    EXPECT_EQ(PANGO_WEIGHT_NORMAL, weight(NOTICE));
}

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
    keltest::Click(keltest::FindButtonByLabel(host.about->GetWindow(), "OK"));
    EXPECT_FALSE(window.Alive());
    EXPECT_EQ(1, host.closed);
    EXPECT_EQ(nullptr, host.about);
    int start = log.IndexOf("CAboutDlg::OKBtn click >>Start");
    EXPECT_LE(0, start);
    EXPECT_LT(start, log.IndexOf("CKELWindowBase::Close >>Start"));
    EXPECT_LT(log.IndexOf("CKELWindowBase::Close >>Start"), log.IndexOf("CAboutDlg::OKBtn click <<End"));
    gtk_widget_destroy(parent);
}
