// A program on the protocol library alone, for the build check that the library brings no Qt.
#include <cstdint>
#include <optional>

#include "protocol/servo_protocol.h"

int main() {
    tolvane::CommandDecoder decoder;
    std::optional<tolvane::PositionCommand> decoded;
    for (const std::uint8_t byte : tolvane::encode(tolvane::PositionCommand{3, 200})) {
        decoded = decoder.feed(byte);
    }
    return decoded == tolvane::PositionCommand{3, 200} ? 0 : 1;
}
