/* Raw baselines of the storage figures: plain libxml2 and POSIX calls into plain structs. */
#ifndef KELBENCH_RAW_XML_H
#define KELBENCH_RAW_XML_H

#include <string>
#include <vector>

namespace raw {

struct App {
    std::string name;
    std::string path;
    std::string icon;
    int enable = 1;
};

struct Category {
    std::string name;
    std::string icon;
    std::vector<App> apps;
};

struct Policy {
    std::vector<Category> categories;
    bool operator==(const Policy& o) const;
};

struct Schedule {
    int autoLock = 0;
    bool locked[7][24] = {};
};

/* xmlReadFile, walk into the structs, free the tree. */
bool LoadPolicy(const std::string& path, Policy& out);
bool LoadApps(const std::string& path, std::vector<App>& out);
/* The same with xmlTextReader: no tree, for the memory references. */
bool StreamPolicy(const std::string& path, Policy& out);
bool StreamApps(const std::string& path, std::vector<App>& out);
bool LoadSchedule(const std::string& path, Schedule& out);
bool LoadSystemSettings(const std::string& path, int& usb, int& dialog);

/* Tree build and formatted dump, as one string. */
bool DumpPolicy(const Policy& policy, std::string& out);
/* Tree build, dump, write to a temporary file, fsync, rename over path. */
bool SavePolicy(const Policy& policy, const std::string& path);

} // namespace raw

#endif
