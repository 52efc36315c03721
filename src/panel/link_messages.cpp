#include "panel/link_messages.h"

namespace tolvane {

QString describeLinkError(const LinkError& error) {
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

}  // namespace tolvane
