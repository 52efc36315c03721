#include "protocol/servo_protocol.h"

namespace tolvane {

std::optional<PositionCommand> CommandDecoder::feed(std::uint8_t byte) {
    if (byte == kFrameStart) {
        // The board cannot tell a 255 position from a frame start; resynchronising here is
        // what keeps one corrupted command from shifting all that follow.
        expect_ = Expect::Channel;
        return std::nullopt;
    }
    switch (expect_) {
        case Expect::FrameStart:
            return std::nullopt;  // noise between frames
        case Expect::Channel:
            channel_ = byte;
            expect_ = Expect::Position;
            return std::nullopt;
        case Expect::Position:
            expect_ = Expect::FrameStart;
            return PositionCommand{channel_, byte};
    }
    return std::nullopt;
}

}  // namespace tolvane
