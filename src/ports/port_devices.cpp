#include "ports/port_devices.h"

#include <QDir>
#include <QSerialPortInfo>
#include <algorithm>
#include <iterator>
#include <limits>

namespace tolvane {

namespace {

bool mentions(const QString& text, const char* word) {
    return text.contains(QLatin1String(word), Qt::CaseInsensitive);
}

// A vendor identifier is no sign of USB: on Windows Qt also reads one off PCI devices, such as a
// serial card or the management port that often takes COM3. The description is a sign: adapters'
// drivers call them "USB Serial Port", "USB-SERIAL CH340" or "USB Serial Device", and translations
// keep the "USB". So is a serial number, which Qt reads only off a USB device's identifier; but a
// Bluetooth port at times gets the one of its USB radio, and is no adapter.
bool isWindowsUsbAdapter(const SerialPortRecord& port) {
    if (mentions(port.description, "Bluetooth")) {
        return false;
    }
    return mentions(port.description, "USB") || !port.serialNumber.isEmpty();
}

// COM10's number is 10; a name without a number sorts after all numbered ones.
int comNumber(const QString& portName) {
    bool ok = false;
    const int number = portName.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)
                           ? portName.mid(3).toInt(&ok)
                           : 0;
    return ok ? number : std::numeric_limits<int>::max();
}

QStringList windowsUsbAdapters(const QList<SerialPortRecord>& ports) {
    QList<SerialPortRecord> adapters;
    std::copy_if(ports.begin(), ports.end(), std::back_inserter(adapters), isWindowsUsbAdapter);
    std::sort(adapters.begin(), adapters.end(), [](const auto& a, const auto& b) {
        const int numberA = comNumber(a.portName);
        const int numberB = comNumber(b.portName);
        return numberA != numberB ? numberA < numberB : a.portName < b.portName;
    });
    QStringList names;
    for (const SerialPortRecord& port : adapters) {
        names.append(port.portName);
    }
    return names;
}

// Each adapter is listed twice: as a call-out device (cu.), the one for calling a device, and as
// a dial-in device (tty.), the one for answering a modem's call.
QStringList macUsbAdapters(const QList<SerialPortRecord>& ports) {
    QStringList paths;
    for (const SerialPortRecord& port : ports) {
        const QString& path = port.systemLocation;
        if (path.startsWith(QLatin1String("/dev/cu.usbserial")) ||
            path.startsWith(QLatin1String("/dev/cu.usbmodem"))) {
            paths.append(path);
        }
    }
    paths.sort();
    return paths;
}

QString systemDefault(int port, PortSystem system) {
    return system == PortSystem::Windows ? QStringLiteral("COM%1").arg(port)
                                         : QStringLiteral("/dev/ttyS%1").arg(port - 1);
}

}  // namespace

QList<SerialPortRecord> systemPortRecords() {
    QList<SerialPortRecord> records;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        records.append(
            {info.portName(), info.systemLocation(), info.description(), info.serialNumber()});
    }
    return records;
}

QStringList usbAdapters(const QList<SerialPortRecord>& ports, PortSystem system) {
    switch (system) {
        case PortSystem::Windows:
            return windowsUsbAdapters(ports);
        case PortSystem::MacOs:
            return macUsbAdapters(ports);
        case PortSystem::Linux:
        case PortSystem::Other:
            break;
    }
    return {};
}

QStringList adaptersInFolder(const QString& folder) {
    // System: device files and the links to them, even a link whose adapter is being unplugged.
    const QDir dir(folder);
    const QStringList names =
        dir.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    QStringList paths;
    for (const QString& name : names) {
        paths.append(dir.filePath(name));
    }
    return paths;
}

SystemAdapters systemAdapters() {
    switch (kThisSystem) {
        case PortSystem::Linux:
            return {kThisSystem, adaptersInFolder(kAdapterFolder)};
        case PortSystem::MacOs:
        case PortSystem::Windows:
            return {kThisSystem, usbAdapters(systemPortRecords(), kThisSystem)};
        case PortSystem::Other:
            break;
    }
    return {kThisSystem, {}};
}

PortDevice choosePortDevice(int port, const QString& variable, const SystemAdapters& found) {
    if (!variable.isEmpty()) {
        return {variable, false};
    }
    if (port >= 1 && port <= found.adapters.size()) {
        return {found.adapters.at(port - 1), false};
    }
    // Where the system keeps no list of adapters, not finding one says nothing.
    return {systemDefault(port, found.system), found.system != PortSystem::Other};
}

PortDevice deviceForPort(int port, const SystemAdapters& found) {
    const QByteArray name = QStringLiteral("TOLVANE_COM%1").arg(port).toLatin1();
    return choosePortDevice(port, qEnvironmentVariable(name.constData()), found);
}

}  // namespace tolvane
