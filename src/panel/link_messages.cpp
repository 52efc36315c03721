#include "panel/link_messages.h"

namespace tolvane {

namespace {

#ifdef Q_OS_MACOS
const char* const kExampleDevice = "/dev/cu.usbserial-1410";
#else
const char* const kExampleDevice = "/dev/ttyUSB0";
#endif

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
                       "The link on %1 was lost: %2. Position commands are not sent until the "
                       "port is chosen again from the Com Port menu.")
                .arg(port, error.reason);
        case LinkError::Kind::BadSettings:
        case LinkError::Kind::BadPort:
        case LinkError::Kind::AlreadyOpen:
        case LinkError::Kind::OpenFailed:
            break;
    }
    return cannotOpen + error.reason + QLatin1Char('.');
}

bool isOpenFailure(LinkError::Kind kind) {
    switch (kind) {
        case LinkError::Kind::NotFound:
        case LinkError::Kind::PermissionDenied:
        case LinkError::Kind::Busy:
        case LinkError::Kind::OpenFailed:
            return true;
        case LinkError::Kind::BadSettings:
        case LinkError::Kind::BadPort:
        case LinkError::Kind::AlreadyOpen:
        case LinkError::Kind::Lost:
            break;
    }
    return false;
}

}  // namespace

QString describeLinkError(const LinkError& error) {
    QString text = describeWithoutAdvice(error);
    // The system's default device failed: the board is most likely on an adapter that is not
    // plugged in, or on a device that only the user can name.
    if (error.noAdapterFound && isOpenFailure(error.kind)) {
        text += QStringLiteral(
                    " No USB serial adapter was found: plug in the board's adapter and choose "
                    "the port again from the Com Port menu, or name the board's device in the "
                    "environment variable TOLVANE_COM%1, e.g. TOLVANE_COM%1=%2.")
                    .arg(error.port)
                    .arg(QLatin1String(kExampleDevice));
    }
    return text;
}

}  // namespace tolvane
