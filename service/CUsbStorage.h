/* USB mass storage blocked or allowed the standard Linux way: a modprobe configuration file
 * that stops usb-storage and uas from loading, and unloading them when really root. */
#ifndef KEL_USB_STORAGE_H
#define KEL_USB_STORAGE_H

#include <string>

namespace KelService {

/* etc/modprobe.d/kel-usb-storage.conf below KEL_ROOT. */
std::string UsbBlockFile();

/* Writes (enabled false) or removes (enabled true) the blocking file; as root on the real
 * root, also unloads the modules when loaded and unused. False when the file could not be
 * written or removed; what was done is logged. */
bool ApplyUsbStorage(bool enabled);

} // namespace KelService

#endif
