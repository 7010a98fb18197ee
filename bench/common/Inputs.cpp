/* Generated benchmark inputs, deterministic, written with gdk-pixbuf and plain file calls. */
#include "Inputs.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

namespace kelbench {

const char* const POLICY_40X250 = "TabNavigation-40x250.xml";
const char* const POLICY_LISTS = "TabNavigation-lists.xml";
const char* const POLICY_LIST_8_PATHS = "TabNavigation-10000-8paths.xml";
const char* const POLICY_LIST_1000_PATHS = "TabNavigation-10000-1000paths.xml";
const char* const POLICY_EMPTY = "TabNavigation-empty.xml";
const char* const RESULTS_1000 = "SearchResult-1000.xml";
const char* const RESULTS_10000 = "SearchResult-10000.xml";
const char* const RESULTS_5000_MIXED = "SearchResult-5000-mixed.xml";
const char* const RESULTS_10000_1000_PATHS = "SearchResult-10000-1000paths.xml";

namespace {

Paths g_Paths;

/* Small deterministic generator: inputs are the same in every run. */
struct Rng {
    guint64 state;
    explicit Rng(guint64 seed)
        : state(seed * 6364136223846793005ULL + 1442695040888963407ULL)
    {
    }
    guint32 Next()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return (guint32)(state >> 33);
    }
    int Range(int lo, int hi) { return lo + (int)(Next() % (guint32)(hi - lo + 1)); }
};

void MakeDirs(const std::string& path)
{
    g_mkdir_with_parents(path.c_str(), 0755);
}

void WriteBytes(const std::string& path, const char* data, size_t size)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        exit(2);
    }
    fwrite(data, 1, size, f);
    fclose(f);
}

void WriteText(const std::string& path, const std::string& text)
{
    WriteBytes(path, text.data(), text.size());
}

/* PNG encodings of a round, noisy, semi-transparent icon: compressed like real icons. */
std::string EncodeIcon(int size, unsigned seed)
{
    GdkPixbuf* pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, size, size);
    guchar* pixels = gdk_pixbuf_get_pixels(pb);
    int stride = gdk_pixbuf_get_rowstride(pb);
    Rng rng(seed + 17);
    int hue = rng.Range(0, 255);
    double c = (size - 1) / 2.0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            guchar* p = pixels + y * stride + x * 4;
            double d = ((x - c) * (x - c) + (y - c) * (y - c)) / (c * c);
            int noise = rng.Range(0, 40);
            p[0] = (guchar)((hue + x * 3 + noise) & 0xff);
            p[1] = (guchar)((255 - hue + y * 2 + noise) & 0xff);
            p[2] = (guchar)(((x ^ y) * 5 + noise) & 0xff);
            p[3] = d <= 1.0 ? 255 : d <= 1.15 ? 128 : 0;
        }
    }
    gchar* buffer = NULL;
    gsize length = 0;
    gdk_pixbuf_save_to_buffer(pb, &buffer, &length, "png", NULL, NULL);
    g_object_unref(pb);
    std::string out(buffer, length);
    g_free(buffer);
    return out;
}

std::vector<std::string>& Blobs()
{
    static std::vector<std::string> blobs;
    if (blobs.empty()) {
        /* Mostly 48 px; some 128 px and 32 px files as real icon sets have. */
        for (unsigned i = 0; i < 24; ++i)
            blobs.push_back(EncodeIcon(i % 8 == 5 ? 128 : i % 8 == 6 ? 32 : 48, i));
    }
    return blobs;
}

void WriteIcon(const std::string& path, unsigned variant)
{
    const std::string& blob = Blobs()[variant % Blobs().size()];
    WriteBytes(path, blob.data(), blob.size());
}

std::string Escape(const std::string& text)
{
    std::string out;
    for (char ch : text) {
        switch (ch) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += ch;
        }
    }
    return out;
}

std::string SharedIcon(unsigned i)
{
    return P().icons + "shared/shared-" + std::to_string(i % 8) + ".png";
}

std::string AppLine(const std::string& name, const std::string& path, const std::string& icon, int enable)
{
    return "    <Application name=\"" + Escape(name) + "\" path=\"" + Escape(path) + "\" icon=\"" + Escape(icon) +
           "\" enable=\"" + std::to_string(enable) + "\"/>\n";
}

/* Icons of the 40 x 250 policy: 4 in 10 programs have an icon of their own, 3 one of 8 shared
 * icons, 1 its category's icon, 1 a missing file and 1 none at all. */
void GeneratePolicy40x250()
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<TabNavigation version=\"1\">\n";
    MakeDirs(P().icons + "cat");
    MakeDirs(P().icons + "distinct");
    for (unsigned c = 0; c < 40; ++c) {
        std::string catIcon = P().icons + "cat/cat-" + std::to_string(c) + ".png";
        if (c % 10 != 9)
            WriteIcon(catIcon, c);
        else
            catIcon = P().icons + "missing/cat-" + std::to_string(c) + ".png";
        xml += "  <Category name=\"" + Escape(MakeName(1000 + c, c)) + "\" icon=\"" + Escape(catIcon) + "\">\n";
        for (unsigned j = 0; j < 250; ++j) {
            unsigned id = c * 250 + j;
            std::string icon;
            switch (j % 10) {
            case 0: case 1: case 2: case 3:
                icon = P().icons + "distinct/d-" + std::to_string(id) + ".png";
                WriteIcon(icon, id);
                break;
            case 4: case 5: case 6: icon = SharedIcon(c + j); break;
            case 7: icon = P().icons + "missing/m-" + std::to_string(id) + ".png"; break;
            case 8: icon = ""; break;
            default: icon = catIcon; break;
            }
            xml += AppLine(MakeName(c, j), "/usr/bin/program-" + std::to_string(id), icon, j % 13 == 0 ? 0 : 1);
        }
        xml += "  </Category>\n";
    }
    xml += "</TabNavigation>\n";
    WriteText(P().inputs + POLICY_40X250, xml);
}

/* Icons from the 8 shared paths; one program in 20 has a missing file (the default icon). */
std::string ListIcon(unsigned j)
{
    return j % 20 == 19 ? P().icons + "missing/l-" + std::to_string(j) + ".png" : SharedIcon(j);
}

void GeneratePolicyLists()
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<TabNavigation version=\"1\">\n";
    xml += "  <Category name=\"Small\" icon=\"" + SharedIcon(0) + "\">\n";
    xml += AppLine("Only program", "/usr/bin/only", SharedIcon(1), 1);
    xml += "  </Category>\n";
    const unsigned sizes[] = {1000, 10000};
    for (unsigned n : sizes) {
        xml += "  <Category name=\"List " + std::to_string(n) + "\" icon=\"" + SharedIcon(2) + "\">\n";
        for (unsigned j = 0; j < n; ++j)
            xml += AppLine(MakeName(n, j), "/usr/bin/list-" + std::to_string(j), ListIcon(j), 1);
        xml += "  </Category>\n";
    }
    xml += "</TabNavigation>\n";
    WriteText(P().inputs + POLICY_LISTS, xml);
}

/* Icons from 1,000 distinct files, each used by ten programs. */
std::string ThousandIcon(unsigned j)
{
    return P().icons + "thousand/t-" + std::to_string(j % 1000) + ".png";
}

void GenerateThousandIcons()
{
    MakeDirs(P().icons + "thousand");
    for (unsigned i = 0; i < 1000; ++i)
        WriteIcon(ThousandIcon(i), i);
}

/* One category of 10,000 programs whose icons come from 8 or from 1,000 files. */
void GeneratePolicyOneList(const char* file, bool thousand)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<TabNavigation version=\"1\">\n";
    xml += "  <Category name=\"List 10000\" icon=\"" + SharedIcon(2) + "\">\n";
    for (unsigned j = 0; j < 10000; ++j)
        xml += AppLine(MakeName(77, j), "/usr/bin/list-" + std::to_string(j), thousand ? ThousandIcon(j) : ListIcon(j),
                       1);
    xml += "  </Category>\n</TabNavigation>\n";
    WriteText(P().inputs + file, xml);
}

void GenerateResults(const char* file, unsigned n, int kind)
{
    MakeDirs(P().icons + "results");
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SearchResult version=\"1\">\n";
    for (unsigned j = 0; j < n; ++j) {
        std::string icon;
        if (kind == 0) {
            icon = ListIcon(j);
        } else if (kind == 1) {
            icon = ThousandIcon(j);
        } else {
            /* 4 in 10 distinct, 4 shared, 1 missing, 1 none. */
            switch (j % 10) {
            case 0: case 1: case 2: case 3:
                icon = P().icons + "results/r-" + std::to_string(j) + ".png";
                WriteIcon(icon, j + 5);
                break;
            case 4: case 5: case 6: case 7: icon = SharedIcon(j); break;
            case 8: icon = P().icons + "missing/r-" + std::to_string(j) + ".png"; break;
            default: icon = ""; break;
            }
        }
        xml += AppLine(MakeName(500 + kind, j), "/usr/bin/found-" + std::to_string(j) + " --flag", icon, 1);
    }
    xml += "</SearchResult>\n";
    WriteText(P().inputs + file, xml);
}

void WriteSearchTree()
{
    const std::string bin = P().root + "/usr/bin/";
    MakeDirs(bin);
    for (unsigned i = 0; i < 500; ++i) {
        std::string path = bin + "prog-" + std::to_string(i);
        WriteText(path, "#!/bin/sh\nexit 0\n");
        chmod(path.c_str(), 0755);
    }
    const std::string theme = P().root + "/usr/share/icons/hicolor/";
    MakeDirs(theme + "48x48/apps");
    MakeDirs(theme + "32x32/apps");
    MakeDirs(theme + "scalable/apps");
    for (unsigned i = 0; i < 200; ++i) {
        WriteIcon(theme + "48x48/apps/app-" + std::to_string(i) + ".png", i);
        if (i % 2 == 0)
            WriteIcon(theme + "32x32/apps/app-" + std::to_string(i) + ".png", i + 1);
    }
    const std::string pixmaps = P().root + "/usr/share/pixmaps/";
    MakeDirs(pixmaps);
    for (unsigned i = 0; i < 50; ++i)
        WriteIcon(pixmaps + "pix-" + std::to_string(i) + ".png", i + 3);

    /* 10 x 10 folders, each with 50 desktop entries among 50 other files. */
    unsigned entry = 0;
    for (unsigned a = 0; a < 10; ++a) {
        for (unsigned b = 0; b < 10; ++b) {
            std::string dir = P().searchDir + "/group-" + std::to_string(a) + "/set-" + std::to_string(b) + "/";
            MakeDirs(dir);
            for (unsigned k = 0; k < 50; ++k, ++entry) {
                unsigned i = entry;
                std::string text = "[Desktop Entry]\nVersion=1.0\n";
                text += i % 20 == 1 ? "Type=Link\nURL=https://example.org/\n" : "Type=Application\n";
                std::string name = MakeName(900, i);
                text += "Name=" + name + "\nName[de]=" + name + " (de)\nName[fr]=" + name + " (fr)\n";
                text += "GenericName=Tool number " + std::to_string(i) + "\n";
                text += "Comment=Does useful things for lesson " + std::to_string(i % 37) + "\n";
                if (i % 20 == 2)
                    text += "Exec=not-installed-" + std::to_string(i) + " %U\n";
                else if (i % 20 == 4 || i % 20 == 5)
                    text += "Exec=" + bin + "prog-" + std::to_string(i % 500) + " --doc=" + std::to_string(i) + " %F\n";
                else
                    text += "Exec=prog-" + std::to_string(i % 500) + " --profile=" + std::to_string(i) + " %U\n";
                switch (i % 4) {
                case 0: text += "Icon=app-" + std::to_string(i % 200) + "\n"; break;
                case 1: text += "Icon=" + SharedIcon(i) + "\n"; break;
                case 2: text += "Icon=pix-" + std::to_string(i % 50) + "\n"; break;
                default: text += "Icon=nosuchicon-" + std::to_string(i) + "\n"; break;
                }
                if (i % 20 == 0)
                    text += "NoDisplay=true\n";
                text += i % 20 == 3 ? "Terminal=true\n" : "Terminal=false\n";
                text += "Categories=Education;Utility;\nKeywords=school;class;tool;\nStartupNotify=true\n";
                WriteText(dir + "entry-" + std::to_string(i) + ".desktop", text);

                /* The other files: pictures, notes, libraries, entries of other kinds. */
                std::string other = dir + "file-" + std::to_string(i);
                switch (k % 5) {
                case 0: WriteIcon(other + ".png", i); break;
                case 1: WriteText(other + ".txt", "Notes for lesson " + std::to_string(i) + "\n"); break;
                case 2: WriteText(other + ".so", std::string(2048, '\x7f')); break;
                case 3: WriteText(other + ".directory", "[Desktop Entry]\nType=Directory\nName=Folder\n"); break;
                default: WriteText(other + ".desktop.bak", "[Desktop Entry]\nType=Application\n"); break;
                }
            }
        }
    }
}

} // namespace

const Paths& P()
{
    return g_Paths;
}

void SetRoot(const std::string& root)
{
    g_Paths.root = root;
    g_Paths.etc = root + "/etc/KEL/";
    g_Paths.image = g_Paths.etc + "image/";
    g_Paths.inputs = root + "/inputs/";
    g_Paths.icons = root + "/icons/";
    g_Paths.searchDir = root + "/search";
    g_Paths.work = root + "/work/";
}

std::string MakeName(unsigned seed, unsigned index)
{
    static const char* const ascii[] = {"Math", "Lab", "Paint", "Write", "Calc", "Atlas", "Globe", "Music", "Quiz",
                                        "Type", "Chess", "Star", "Code", "Read", "Film", "Note", "Map", "Word"};
    static const char* const other[] = {"Éveil", "Größe", "Ωmega", "日本語", "Жук", "Señal", "Ärzte", "Façade",
                                        "Zürich", "Ελλάδα"};
    Rng rng(seed * 7919u + index);
    long target = rng.Range(5, 35);
    std::string suffix = " " + std::to_string(index);
    std::string name;
    bool nonAscii = rng.Range(0, 9) < 2;
    while (g_utf8_strlen(name.c_str(), -1) + (long)suffix.size() < target) {
        if (!name.empty())
            name += rng.Range(0, 6) == 0 ? " & " : " ";
        name += nonAscii && rng.Range(0, 2) == 0 ? other[rng.Next() % 10] : ascii[rng.Next() % 18];
    }
    name += suffix;
    /* Cut to at most 35 characters, never inside a character. */
    if (g_utf8_strlen(name.c_str(), -1) > 35) {
        const char* end = g_utf8_offset_to_pointer(name.c_str(), 35);
        name.erase((size_t)(end - name.c_str()));
    }
    while (!name.empty() && name[name.size() - 1] == ' ')
        name.erase(name.size() - 1);
    while (g_utf8_strlen(name.c_str(), -1) < 5)
        name += "x";
    return name;
}

void GenerateBasics()
{
    MakeDirs(P().image);
    MakeDirs(P().etc + "icons");
    MakeDirs(P().inputs);
    MakeDirs(P().work);
    MakeDirs(P().icons + "shared");
    WriteIcon(P().image + "gui_default_app.png", 2);
    WriteIcon(P().image + "admintool_main.png", 3);
    WriteIcon(P().image + "shellcontroller_main.png", 4);
    WriteIcon(P().image + "sc_locked.png", 6);
    WriteIcon(P().image + "sc_unlocked.png", 6);
    for (unsigned i = 0; i < 8; ++i) {
        WriteIcon(SharedIcon(i), 100 + i);
        WriteIcon(P().etc + "icons/icon-" + std::to_string(i) + ".png", i);
    }
    std::string schedule = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<LockSchedule version=\"1\" autoLock=\"1\" manualLock=\"0\" lockStatus=\"2\">\n";
    for (int day = 0; day < 5; ++day)
        for (int hour = 20; hour < 24; ++hour)
            schedule += "  <Section day=\"" + std::to_string(day) + "\" start=\"" + std::to_string(hour) +
                        "\" end=\"" + std::to_string(hour + 1) + "\"/>\n";
    schedule += "</LockSchedule>\n";
    WriteText(P().etc + "LockSchedule.xml", schedule);
    WriteText(P().etc + "KELSystemSetting.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                                "<KELSystemSetting version=\"1\" usbStorageEnabled=\"1\" "
                                                "newStudentConnectDialog=\"0\"/>\n");
    WriteText(P().etc + "DefaultConfig.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<DefaultConfig version=\"1\">\n"
                                             "  <Category name=\"Default\" icon=\"" + SharedIcon(0) + "\">\n" +
                                                 AppLine("Default program", "/usr/bin/default", SharedIcon(1), 1) +
                                                 "  </Category>\n</DefaultConfig>\n");
    WriteText(P().inputs + POLICY_EMPTY,
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<TabNavigation version=\"1\">\n</TabNavigation>\n");
    UseFile(POLICY_EMPTY, "TabNavigation.xml");
    WriteText(P().etc + "SearchResult.xml",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SearchResult version=\"1\">\n</SearchResult>\n");
}

void GeneratePolicies()
{
    GeneratePolicy40x250();
    GeneratePolicyLists();
    GenerateThousandIcons();
    GeneratePolicyOneList(POLICY_LIST_8_PATHS, false);
    GeneratePolicyOneList(POLICY_LIST_1000_PATHS, true);
}

void GenerateSearchResults()
{
    GenerateThousandIcons();
    GenerateResults(RESULTS_1000, 1000, 0);
    GenerateResults(RESULTS_10000, 10000, 0);
    GenerateResults(RESULTS_10000_1000_PATHS, 10000, 1);
    GenerateResults(RESULTS_5000_MIXED, 5000, 2);
}

void GenerateSearchTree()
{
    WriteSearchTree();
}

bool IconsDecode()
{
    GError* error = NULL;
    GdkPixbuf* pb = gdk_pixbuf_new_from_file_at_size(SharedIcon(0).c_str(), 32, 32, &error);
    if (!pb) {
        fprintf(stderr, "generated icons cannot be decoded: %s\n", error ? error->message : "?");
        g_clear_error(&error);
        return false;
    }
    g_object_unref(pb);
    return true;
}

void GenerateOnce(const char* what, void (*generate)())
{
    const std::string marker = P().inputs + ".done-" + what;
    if (g_file_test(marker.c_str(), G_FILE_TEST_EXISTS))
        return;
    generate();
    MakeDirs(P().inputs);
    WriteText(marker, "");
}

void UseFile(const char* input, const std::string& policyFile)
{
    gchar* data = NULL;
    gsize length = 0;
    if (!g_file_get_contents((P().inputs + input).c_str(), &data, &length, NULL)) {
        fprintf(stderr, "missing input %s\n", input);
        exit(2);
    }
    /* Written beside and renamed, as the library's own saves do. */
    std::string temp = P().etc + "." + policyFile + ".bench";
    WriteBytes(temp, data, length);
    rename(temp.c_str(), (P().etc + policyFile).c_str());
    g_free(data);
}

IconCensus CountIcons(const std::string& xmlFile)
{
    IconCensus census;
    xmlDocPtr doc = xmlReadFile(xmlFile.c_str(), NULL, XML_PARSE_NONET);
    if (!doc)
        return census;
    std::set<std::string> paths;
    std::vector<xmlNode*> stack(1, xmlDocGetRootElement(doc));
    while (!stack.empty()) {
        xmlNode* node = stack.back();
        stack.pop_back();
        for (xmlNode* child = node ? node->children : NULL; child; child = child->next)
            if (child->type == XML_ELEMENT_NODE)
                stack.push_back(child);
        if (!node || node->type != XML_ELEMENT_NODE || xmlStrcmp(node->name, BAD_CAST "TabNavigation") == 0 ||
            xmlStrcmp(node->name, BAD_CAST "SearchResult") == 0)
            continue;
        xmlChar* icon = xmlGetProp(node, BAD_CAST "icon");
        std::string path = icon ? (const char*)icon : "";
        xmlFree(icon);
        struct stat st;
        if (!path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            paths.insert(path);
        else
            census.needsDefault = true;
    }
    xmlFreeDoc(doc);
    census.existing = paths.size();
    return census;
}

} // namespace kelbench
