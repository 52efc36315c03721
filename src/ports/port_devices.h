// Which device each of the ports COM1 and COM2 opens.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "ports/port_system.h"

namespace tolvane {

// What the system says of one of its serial ports: the part of its port list that the choice
// needs, as plain data, so that made-up lists can stand in for the system's.
struct SerialPortRecord {
    QString portName;        // "COM5", "cu.usbserial-1410"
    QString systemLocation;  // "\\.\COM5", "/dev/cu.usbserial-1410"
    QString description;     // "USB Serial Port", "Communications Port"
    QString serialNumber;    // on Windows read off a USB device's identifier only
};

// The system's list of serial ports as records.
QList<SerialPortRecord> systemPortRecords();

// The USB serial adapters among `ports`, in the order they become COM1, COM2, ..., each named as
// it is opened. Windows: the ports that the system describes as USB or gives a USB serial number,
// none over Bluetooth, by port number (COM3 before COM10), named "COM5". macOS: the
// /dev/cu.usbserial* and /dev/cu.usbmodem* devices, by name. Other systems: none.
QStringList usbAdapters(const QList<SerialPortRecord>& ports, PortSystem system);

// The entries of a folder, as paths in name order; none when the folder does not exist. On
// Linux /dev/serial/by-id: its names are stable and say which adapter each is.
QStringList adaptersInFolder(const QString& folder);

// Where Linux keeps a link to each USB serial adapter plugged in. udev makes the folder (and
// /dev/serial) with the first adapter and removes it with the last.
inline constexpr QLatin1String kAdapterFolder("/dev/serial/by-id");

// The USB serial adapters that a system has now, in the order they become COM1, COM2, ...
struct SystemAdapters {
    PortSystem system = kThisSystem;
    QStringList adapters;
};

// This system's adapters, looked for at every call, so that an adapter plugged in after start-up
// is found when the port is opened again.
SystemAdapters systemAdapters();

// The device behind COM1 or COM2, and whether a missing adapter is why it is the default.
struct PortDevice {
    QString path;
    // No variable and fewer adapters than the port's number: the path is the system's own
    // default, which rarely has a board behind it.
    bool noAdapterFound = false;
};

// Port n is the device in `variable` when that is not empty; else the n-th adapter; else the
// system's own name: COMn on Windows, /dev/ttyS(n-1) elsewhere.
PortDevice choosePortDevice(int port, const QString& variable, const SystemAdapters& found);

// Port n as choosePortDevice chooses it, with the variable TOLVANE_COMn.
PortDevice deviceForPort(int port, const SystemAdapters& found = systemAdapters());

// How the ports' devices are found, by the link that opens them and by the watch that waits for
// them: the system's way unless a test puts a temporary folder and terminals in its place.
struct PortLookup {
    // The device of port n as things stand now.
    std::function<PortDevice(int port)> device = [](int port) { return deviceForPort(port); };
    // The folder whose entries are the adapters, watched while a port waits; empty where the
    // system keeps a list of ports instead.
    QString adapterFolder = kThisSystem == PortSystem::Linux ? QString(kAdapterFolder) : QString();
};

}  // namespace tolvane
