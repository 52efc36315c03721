#pragma once

#include <QString>
#include <QStringList>

namespace tolvane {

// Where the system lists its USB serial adapters: the entries of `folder` whose names match
// `nameFilters` (every entry when there are none). An empty folder: the system keeps no such list.
struct AdapterFolder {
    QString folder;
    QStringList nameFilters;
};

// /dev/serial/by-id on Linux, /dev/cu.usbserial* and /dev/cu.usbmodem* on macOS, none elsewhere.
AdapterFolder systemAdapterFolder();

// The device behind COM1 or COM2, and whether a missing adapter is why it is the default.
struct PortDevice {
    QString path;
    // No TOLVANE_COMn and fewer adapters than the port's number: the path is the system's own
    // default, which rarely has a board behind it.
    bool noAdapterFound = false;
};

// Port n is the device in TOLVANE_COMn when that is set and not empty; else the n-th adapter in
// name order, named by its entry in the folder (a stable name that says which adapter it is);
// else the system's own name: COMn on Windows, /dev/ttyS(n-1) elsewhere. The folder is read at
// every call, so an adapter plugged in after start-up is found when the port is opened again.
PortDevice deviceForPort(int port, const AdapterFolder& adapters = systemAdapterFolder());

}  // namespace tolvane
