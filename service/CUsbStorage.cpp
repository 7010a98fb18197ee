/* The modprobe file that keeps USB mass storage off, and the unloading of its modules. */
#include "CUsbStorage.h"

#include "KELPaths.h"
#include "KELLog.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

using LibKELData::CKELLog;

namespace KelService {

namespace {

const char* const BLOCKING_TEXT =
    "# Written by kel-service: the classroom policy disables USB mass storage.\n"
    "blacklist usb-storage\n"
    "blacklist uas\n"
    "install usb-storage /bin/false\n"
    "install uas /bin/false\n";

/* The modules as /sys/module names them; uas holds usb-storage, so it goes first. */
const char* const MODULES[] = {"uas", "usb_storage"};

void UnloadIfUnused(const char* module)
{
    std::string refcnt = std::string("/sys/module/") + module + "/refcnt";
    gchar* text = nullptr;
    if (!g_file_get_contents(refcnt.c_str(), &text, nullptr, nullptr))
        return; /* not loaded */
    bool unused = atoi(text) == 0;
    g_free(text);
    if (!unused) {
        CKELLog::WriteLine(std::string("Policy service: module ") + module + " is in use; it stays loaded until "
                                                                              "the device is removed", 1, "", false);
        return;
    }
    const gchar* argv[] = {"/sbin/modprobe", "-r", module, nullptr};
    gint status = 0;
    GError* error = nullptr;
    if (!g_spawn_sync("/", const_cast<gchar**>(argv), nullptr, G_SPAWN_STDOUT_TO_DEV_NULL, nullptr, nullptr,
                      nullptr, nullptr, &status, &error)) {
        CKELLog::WriteLine(std::string("Policy service: cannot run modprobe: ") + error->message, 2, "", false);
        g_error_free(error);
    } else if (!g_spawn_check_wait_status(status, nullptr)) {
        CKELLog::WriteLine(std::string("Policy service: module ") + module + " could not be unloaded", 2, "", false);
    } else {
        CKELLog::WriteLine(std::string("Policy service: module ") + module + " unloaded", 1, "", false);
    }
}

} // namespace

std::string UsbBlockFile()
{
    return LibKELData::detail::Rooted("/etc/modprobe.d/kel-usb-storage.conf");
}

bool ApplyUsbStorage(bool enabled)
{
    const std::string file = UsbBlockFile();
    if (enabled) {
        if (g_unlink(file.c_str()) != 0 && errno != ENOENT) {
            CKELLog::WriteLine("Policy service: cannot remove " + file + ": " + strerror(errno), 2, "", false);
            return false;
        }
        CKELLog::WriteLine("Policy service: USB storage allowed (" + file + " removed)", 1, "", false);
        return true;
    }
    gchar* folder = g_path_get_dirname(file.c_str());
    g_mkdir_with_parents(folder, 0755);
    g_free(folder);
    GError* error = nullptr;
    /* A new file renamed over the name: a link planted there is replaced, never followed. */
    if (!g_file_set_contents_full(file.c_str(), BLOCKING_TEXT, -1,
                                  GFileSetContentsFlags(G_FILE_SET_CONTENTS_CONSISTENT | G_FILE_SET_CONTENTS_DURABLE),
                                  0644, &error)) {
        CKELLog::WriteLine(std::string("Policy service: cannot write the USB storage block: ") + error->message, 2,
                           "", false);
        g_error_free(error);
        return false;
    }
    CKELLog::WriteLine("Policy service: USB storage disabled (" + file + " written)", 1, "", false);
    /* Unloading acts on the running kernel: only for the real system, never for a relocated root. */
    if (geteuid() == 0 && LibKELData::detail::KelRoot().empty())
        for (const char* module : MODULES)
            UnloadIfUnused(module);
    return true;
}

} // namespace KelService
