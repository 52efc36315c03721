#include "panel/link_messages.h"

namespace tolvane {

namespace {

// How a user names the board's device: the variable as each system sets it, with an example
// device of that system's form.
QString namingAdvice(int port, PortSystem system) {
    switch (system) {
        case PortSystem::Windows:
            return QStringLiteral(
                       "name the board's port in the environment variable TOLVANE_COM%1: in "
                       "Windows' settings under \"Edit environment variables for your account\", "
                       "or with set TOLVANE_COM%1=COM5 in a command prompt that then starts the "
                       "panel.")
                .arg(port);
        case PortSystem::MacOs:
            return QStringLiteral(
                       "name the board's device in the environment variable TOLVANE_COM%1, e.g. "
                       "TOLVANE_COM%1=/dev/cu.usbserial-1410.")
                .arg(port);
        case PortSystem::Linux:
        case PortSystem::Other:
            break;
    }
    return QStringLiteral(
               "name the board's device in the environment variable TOLVANE_COM%1, e.g. "
               "TOLVANE_COM%1=/dev/ttyUSB0.")
        .arg(port);
}

// The system's words where a sentence of ours ends after them: Windows' bring a full stop.
QString withoutFullStop(const QString& reason) {
    return reason.endsWith(u'.') ? reason.chopped(1) : reason;
}

QString describeWithoutAdvice(const LinkError& error) {
    const QString port = QStringLiteral("COM%1 (%2)").arg(error.port).arg(error.device);
    const QString cannotOpen = QStringLiteral("%1 cannot be opened: ").arg(port);
    switch (error.kind) {
        case LinkError::Kind::NotFound:
            return cannotOpen + QStringLiteral("the device does not exist (%1).").arg(error.reason);
        case LinkError::Kind::PermissionDenied:
            return cannotOpen + QStringLiteral(
                                    "permission denied (%1). Your user must be allowed to use "
                                    "serial devices, e.g. as a member of the dialout group on "
                                    "Linux.")
                                    .arg(error.reason);
        case LinkError::Kind::Busy:
            return cannotOpen +
                   QStringLiteral("the device is busy or locked by another program (%1).")
                       .arg(error.reason);
        case LinkError::Kind::Lost:
            return QStringLiteral(
                       "The link on %1 was lost: %2. The panel will connect to the board again as "
                       "soon as it is plugged in.")
                .arg(port, withoutFullStop(error.reason));
        case LinkError::Kind::BadSettings:
        case LinkError::Kind::BadPort:
        case LinkError::Kind::AlreadyOpen:
        case LinkError::Kind::OpenFailed:
            break;
    }
    return cannotOpen + withoutFullStop(error.reason) + QLatin1Char('.');
}

}  // namespace

QString describeLinkError(const LinkError& error, PortSystem system) {
    QString text = describeWithoutAdvice(error);
    if (!deviceMissing(error)) {
        return text;
    }
    // The system's default device failed: the board is most likely on an adapter that is not
    // plugged in, or on a device that only the user can name.
    if (error.noAdapterFound) {
        text +=
            QStringLiteral(" No USB serial adapter was found: plug in the board's adapter, or ") +
            namingAdvice(error.port, system);
    }
    return text +
           QStringLiteral(" The panel will connect to the board as soon as it is plugged in.");
}

}  // namespace tolvane
