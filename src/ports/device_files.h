// What the system says of a device's file: whether it is there, whether the user may open it, and
// its real name.
#pragma once

#include <QString>

namespace tolvane {

// Whether there is anything at the path to open. On Windows COMn names no file; there the
// system's list of ports has just said that something changed, and this is always true.
bool devicePresent(const QString& path);

// Whether the user may read and write the device. Qt reports both "not allowed" and "locked by
// another program" as a permission error; this tells them apart. Always true on Windows, which
// answers "access denied" for a port that another program holds.
bool userMayUse(const QString& device);

// The name to open the device by. Qt names its lock file after it, and other programs look for
// the lock of the device itself (LCK..ttyUSB0, not one named after a /dev/serial/by-id link): on
// Unix the file behind any symbolic links, the path itself when there is none; on Windows the
// name as given.
QString realDeviceName(const QString& device);

}  // namespace tolvane
