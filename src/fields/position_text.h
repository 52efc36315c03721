// The position a channel's text field asks for.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace tolvane {

// The position a channel text asks for: its number rounded to a whole one, a half to the even
// neighbour. Only 1..254 are positions: 255 is the frame start and would throw the board out of
// step, and no slider shows 0 or 255.
std::optional<std::uint8_t> readPosition(const QString& text);

}  // namespace tolvane
