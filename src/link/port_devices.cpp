#include "link/port_devices.h"

#include <QtGlobal>

namespace tolvane {

QString deviceForPort(int port) {
    QString fromEnvironment =
        qEnvironmentVariable(QStringLiteral("TOLVANE_COM%1").arg(port).toLatin1().constData());
    if (!fromEnvironment.isEmpty()) {
        return fromEnvironment;
    }
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

}  // namespace tolvane
