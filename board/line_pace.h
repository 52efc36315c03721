// One direction of a serial line at a given baud rate, 8N1: every byte takes ten bit times. Free of
// file descriptors and clocks, so tests can drive it instant by instant.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>

#include "board_core.h"

namespace tolvane::board {

class LinePace {
  public:
    explicit LinePace(long baud);

    long baud() const { return baud_; }
    std::chrono::nanoseconds byteTime() const { return byteTime_; }

    // Bytes start to wait at `now`. On an idle line the first is through one byte time later;
    // on a busy line this changes nothing.
    void start(Clock::time_point now);

    // When the next byte is through; nothing while the line is idle.
    std::optional<Clock::time_point> nextArrival() const { return nextArrival_; }

    // How many bytes are through by `now`.
    std::size_t arrived(Clock::time_point now) const;

    // `count` bytes were taken at `now`; `more` tells whether others still wait. The next byte
    // is through one byte time after `now`, never sooner, so that between any two takes the
    // line has carried no more than the rate allows, however late the takes come.
    void take(Clock::time_point now, bool more);

  private:
    long baud_;
    std::chrono::nanoseconds byteTime_;
    std::optional<Clock::time_point> nextArrival_;
};

}  // namespace tolvane::board
