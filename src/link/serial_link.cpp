#include "link/serial_link.h"

namespace tolvane {

std::optional<LinkError> openServoPort(SerialLink& link, int port) {
    if (auto error = link.setSettings(kServoLineSettings)) {
        return error;
    }
    if (auto error = link.setPortNumber(port)) {
        return error;
    }
    return link.open();
}

void writeCommand(SerialLink& link, PositionCommand command) {
    for (const std::uint8_t byte : encode(command)) {
        link.writeByte(byte);
    }
}

}  // namespace tolvane
