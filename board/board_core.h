// The simulated board's behaviour, kept free of file descriptors and clocks so tests can drive it
// byte by byte and instant by instant.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

#include "protocol/servo_protocol.h"

namespace tolvane::board {

using Clock = std::chrono::steady_clock;

// What the board sends back for each command it takes.
enum class ReplyMode {
    Echo,         // channel and position, as a working board does
    ChannelOnly,  // only the channel byte: a reply cut short
    None,         // nothing: a board that is off or stuck
};

class BoardCore {
  public:
    BoardCore(ReplyMode mode, std::chrono::milliseconds delay) : mode_(mode), delay_(delay) {}

    // Takes bytes read from the port at `now`; returns the commands they completed, in order.
    // Each command's reply is queued to fall due at now + delay.
    std::vector<PositionCommand> receive(std::span<const std::uint8_t> bytes,
                                         Clock::time_point now);

    // Removes and returns the bytes of every reply due by `now`, oldest first.
    std::vector<std::uint8_t> takeDueReplies(Clock::time_point now);

    // When the oldest queued reply falls due; nothing when the queue is empty.
    std::optional<Clock::time_point> nextDue() const;

  private:
    struct QueuedReply {
        Clock::time_point due;
        EchoReply reply;
    };

    ReplyMode mode_;
    std::chrono::milliseconds delay_;
    CommandDecoder decoder_;
    // Every reply waits the same delay, so the queue stays in order of due time.
    std::deque<QueuedReply> queue_;
};

}  // namespace tolvane::board
