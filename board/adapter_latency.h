// A USB serial adapter's latency timer. The adapter keeps the bytes it receives from the line
// until its timer next fires and then hands them to the computer together; the most common
// adapters fire every 16 ms, so a short reply reaches the computer up to that much later than the
// line alone explains. Free of file descriptors and clocks, so tests can drive it instant by
// instant.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

#include "board_core.h"

namespace tolvane::board {

class AdapterLatency {
  public:
    // The timer fires at `origin` and every `period` after it.
    AdapterLatency(Clock::time_point origin, std::chrono::milliseconds period)
        : origin_(origin), period_(period) {}

    // Bytes that came through the line at `now`: they wait for the timer's next tick after now.
    void receive(std::span<const std::uint8_t> bytes, Clock::time_point now);

    // Removes and returns the bytes whose tick has come by `now`, oldest first.
    std::vector<std::uint8_t> handOver(Clock::time_point now);

    // The tick at which waiting bytes are handed over; nothing while none wait.
    std::optional<Clock::time_point> nextHandOver() const;

  private:
    struct Held {
        Clock::time_point due;
        std::uint8_t byte;
    };

    Clock::time_point origin_;
    std::chrono::milliseconds period_;
    std::deque<Held> held_;  // in order of arrival, and so of due time
};

}  // namespace tolvane::board
