#include "link/port_devices.h"

#include <QDir>
#include <QtGlobal>

namespace tolvane {

namespace {

QStringList adaptersIn(const AdapterFolder& adapters) {
    if (adapters.folder.isEmpty()) {
        return {};
    }
    // System: device files and the links to them, even a link whose adapter is being unplugged.
    const QDir folder(adapters.folder);
    const QStringList names = folder.entryList(
        adapters.nameFilters, QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    QStringList paths;
    for (const QString& name : names) {
        paths.append(folder.filePath(name));
    }
    return paths;
}

QString systemDefault(int port) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

}  // namespace

AdapterFolder systemAdapterFolder() {
#if defined(Q_OS_LINUX)
    return {QStringLiteral("/dev/serial/by-id"), {}};
#elif defined(Q_OS_MACOS)
    return {QStringLiteral("/dev"),
            {QStringLiteral("cu.usbserial*"), QStringLiteral("cu.usbmodem*")}};
#else
    return {};
#endif
}

PortDevice deviceForPort(int port, const AdapterFolder& adapters) {
    QString fromEnvironment =
        qEnvironmentVariable(QStringLiteral("TOLVANE_COM%1").arg(port).toLatin1().constData());
    if (!fromEnvironment.isEmpty()) {
        return {fromEnvironment, false};
    }
    const QStringList found = adaptersIn(adapters);
    if (port >= 1 && port <= found.size()) {
        return {found.at(port - 1), false};
    }
    return {systemDefault(port), !adapters.folder.isEmpty()};
}

}  // namespace tolvane
