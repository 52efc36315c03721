// The bytes spoken to the servo board. Plain C++ so that the simulated board shares it without Qt.
//
// Position command (to the board):  0xFF, channel 0..7, position 0..255.
// Echo reply (from the board):      channel, position.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace tolvane {

inline constexpr std::uint8_t kFrameStart = 0xFF;
inline constexpr std::uint8_t kCentrePosition = 127;
inline constexpr int kChannelCount = 8;
inline constexpr int kCommandLength = 3;
inline constexpr int kReplyLength = 2;

struct PositionCommand {
    std::uint8_t channel = 0;
    std::uint8_t position = 0;
    friend bool operator==(const PositionCommand&, const PositionCommand&) = default;
};

struct EchoReply {
    std::uint8_t channel = 0;
    std::uint8_t position = 0;
    friend bool operator==(const EchoReply&, const EchoReply&) = default;
};

constexpr std::array<std::uint8_t, kCommandLength> encode(PositionCommand command) {
    return {kFrameStart, command.channel, command.position};
}

constexpr std::array<std::uint8_t, kReplyLength> encode(EchoReply reply) {
    return {reply.channel, reply.position};
}

// Reassembles position commands from a byte stream that may start mid-frame or carry noise.
// A frame start always begins a new command, so one lost byte costs at most one command.
class CommandDecoder {
  public:
    // Feeds one received byte; returns a command when this byte completes one.
    std::optional<PositionCommand> feed(std::uint8_t byte);

  private:
    enum class Expect { FrameStart, Channel, Position };
    Expect expect_ = Expect::FrameStart;
    std::uint8_t channel_ = 0;
};

}  // namespace tolvane
