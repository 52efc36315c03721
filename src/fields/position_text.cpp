#include "fields/position_text.h"

#include "fields/number_text.h"
#include "protocol/servo_protocol.h"

namespace tolvane {

std::optional<std::uint8_t> readPosition(const QString& text) {
    const auto number = number_text::readInt32(text);
    if (!number || *number < 1 || *number >= kFrameStart) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(*number);
}

}  // namespace tolvane
