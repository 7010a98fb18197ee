/* Raw local search: openat/fdopendir/readdir, one read per desktop entry, a line scan of its
 * main group, programs looked up on PATH, icons from one index, results by xmlTextWriter. */
#include "RawSearch.h"

#include <dirent.h>
#include <fcntl.h>
#include <libxml/xmlwriter.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <unordered_map>

namespace raw {

namespace {

struct Found {
    std::string name;
    std::string command;
    std::string icon;
};

struct Search {
    const std::vector<std::string>& programDirs;
    std::unordered_map<std::string, std::string> programs;
    std::unordered_map<std::string, std::string> icons;
    std::vector<Found> found;

    std::string Resolve(const std::string& program)
    {
        if (program.empty())
            return "";
        if (program[0] == '/')
            return access(program.c_str(), X_OK) == 0 ? program : "";
        auto it = programs.find(program);
        if (it != programs.end())
            return it->second;
        std::string resolved;
        for (const std::string& dir : programDirs) {
            std::string candidate = dir + "/" + program;
            struct stat st;
            if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0) {
                resolved = candidate;
                break;
            }
        }
        programs[program] = resolved;
        return resolved;
    }

    void Entry(const std::string& text)
    {
        std::string type, name, exec, icon;
        bool hidden = false, main = false;
        size_t pos = 0;
        while (pos < text.size()) {
            size_t end = text.find('\n', pos);
            if (end == std::string::npos)
                end = text.size();
            std::string line = text.substr(pos, end - pos);
            pos = end + 1;
            if (!line.empty() && line[0] == '[') {
                main = line == "[Desktop Entry]";
                continue;
            }
            size_t eq = line.find('=');
            if (!main || eq == std::string::npos)
                continue;
            std::string key = line.substr(0, eq), value = line.substr(eq + 1);
            if (key == "Type")
                type = value;
            else if (key == "Name")
                name = value;
            else if (key == "Exec")
                exec = value;
            else if (key == "Icon")
                icon = value;
            else if ((key == "NoDisplay" || key == "Hidden" || key == "Terminal") && value == "true")
                hidden = true;
        }
        if (type != "Application" || hidden || name.empty() || exec.empty())
            return;
        /* The program and its fixed arguments; field codes dropped. */
        std::string command;
        size_t start = 0;
        bool first = true;
        while (start < exec.size()) {
            size_t space = exec.find(' ', start);
            if (space == std::string::npos)
                space = exec.size();
            std::string word = exec.substr(start, space - start);
            start = space + 1;
            if (word.empty() || (word.size() == 2 && word[0] == '%'))
                continue;
            if (first) {
                word = Resolve(word);
                if (word.empty())
                    return;
                first = false;
            }
            if (!command.empty())
                command += ' ';
            command += word;
        }
        std::string iconPath;
        if (!icon.empty() && icon[0] == '/') {
            struct stat st;
            if (stat(icon.c_str(), &st) == 0 && S_ISREG(st.st_mode))
                iconPath = icon;
        } else {
            auto it = icons.find(icon);
            if (it != icons.end())
                iconPath = it->second;
        }
        found.push_back(Found{name, command, iconPath});
    }

    void Walk(int dirFd)
    {
        DIR* dir = fdopendir(dirFd);
        if (!dir) {
            close(dirFd);
            return;
        }
        while (struct dirent* e = readdir(dir)) {
            const char* name = e->d_name;
            if (name[0] == '.')
                continue;
            unsigned char type = e->d_type;
            if (type == DT_LNK || type == DT_UNKNOWN) {
                struct stat st;
                if (fstatat(dirfd(dir), name, &st, 0) != 0)
                    continue;
                type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
            }
            if (type == DT_DIR) {
                int child = openat(dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (child >= 0)
                    Walk(child);
                continue;
            }
            size_t n = strlen(name);
            if (type != DT_REG || n <= 8 || strcmp(name + n - 8, ".desktop") != 0)
                continue;
            int fd = openat(dirfd(dir), name, O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                continue;
            struct stat st;
            std::string text;
            if (fstat(fd, &st) == 0) {
                text.resize((size_t)st.st_size);
                ssize_t got = read(fd, &text[0], text.size());
                text.resize(got > 0 ? (size_t)got : 0);
            }
            close(fd);
            Entry(text);
        }
        closedir(dir);
    }
};

void IndexFolder(const std::string& folder, std::unordered_map<std::string, std::string>& icons, bool replace)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    while (struct dirent* e = readdir(dir)) {
        const char* dot = strrchr(e->d_name, '.');
        if (e->d_name[0] == '.' || !dot)
            continue;
        std::string name(e->d_name, dot - e->d_name);
        if (replace || !icons.count(name))
            icons[name] = folder + "/" + e->d_name;
    }
    closedir(dir);
}

} // namespace

size_t SearchPrograms(const std::string& folder, const std::string& resultFile,
                      const std::vector<std::string>& programDirs, const std::vector<std::string>& dataDirs)
{
    Search search{programDirs, {}, {}, {}};
    /* Icons: the 48 px folder wins, then other sizes, then the pixmaps. */
    for (const std::string& data : dataDirs) {
        IndexFolder(data + "/icons/hicolor/48x48/apps", search.icons, true);
        IndexFolder(data + "/icons/hicolor/32x32/apps", search.icons, false);
        IndexFolder(data + "/pixmaps", search.icons, false);
    }
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    search.Walk(fd);
    std::sort(search.found.begin(), search.found.end(),
              [](const Found& a, const Found& b) { return a.name < b.name; });

    std::string temp = resultFile + ".raw";
    xmlTextWriterPtr writer = xmlNewTextWriterFilename(temp.c_str(), 0);
    if (!writer)
        return 0;
    xmlTextWriterSetIndent(writer, 1);
    xmlTextWriterStartDocument(writer, NULL, "UTF-8", NULL);
    xmlTextWriterStartElement(writer, BAD_CAST "SearchResult");
    xmlTextWriterWriteAttribute(writer, BAD_CAST "version", BAD_CAST "1");
    for (const Found& f : search.found) {
        xmlTextWriterStartElement(writer, BAD_CAST "Application");
        xmlTextWriterWriteAttribute(writer, BAD_CAST "name", BAD_CAST f.name.c_str());
        xmlTextWriterWriteAttribute(writer, BAD_CAST "path", BAD_CAST f.command.c_str());
        xmlTextWriterWriteAttribute(writer, BAD_CAST "icon", BAD_CAST f.icon.c_str());
        xmlTextWriterWriteAttribute(writer, BAD_CAST "enable", BAD_CAST "1");
        xmlTextWriterEndElement(writer);
    }
    xmlTextWriterEndDocument(writer);
    xmlFreeTextWriter(writer);
    rename(temp.c_str(), resultFile.c_str());
    return search.found.size();
}

} // namespace raw
