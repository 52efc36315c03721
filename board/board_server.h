// Serves the simulated board on the master side of its pseudo-terminal until told to stop: takes
// the bytes the panel writes, answers them and prints what it decodes. Paced, it reads and writes
// no faster than a real line at the given rate, and leaves what the line has not yet carried
// unread in the terminal, where it fills the sender's buffers as on a real line. With a latency,
// replies reach the terminal only when a USB adapter's latency timer would hand them over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "adapter_latency.h"
#include "board_core.h"
#include "line_pace.h"

namespace tolvane::board {

struct LineStatus {
    std::uint64_t commands = 0;  // commands taken since the start
    std::size_t waiting = 0;     // paced: bytes sent to the board that the line has not carried
    friend bool operator==(const LineStatus&, const LineStatus&) = default;
};

class BoardServer {
  public:
    // Told of the commands taken and the line's state whenever either changes.
    using Listener = std::function<void(const std::vector<PositionCommand>&, const LineStatus&)>;

    // `baud` 0: unpaced; `latency` 0: replies reach the terminal as soon as the line has carried
    // them. Both descriptors stay owned by the caller.
    BoardServer(int master, int stopFd, BoardCore& core, long baud,
                std::chrono::milliseconds latency = {});

    void setListener(Listener listener) { listener_ = std::move(listener); }

    // Serves until `stopFd` turns readable; returns the exit status.
    int run();

  private:
    bool receive(Clock::time_point now, bool readable, std::vector<PositionCommand>& commands);
    void send(Clock::time_point now);
    void handOver(const std::vector<std::uint8_t>& bytes, Clock::time_point now);
    void report(Clock::time_point now, const std::vector<PositionCommand>& commands);
    std::optional<Clock::time_point> nextWake() const;

    int master_;
    int stopFd_;
    BoardCore& core_;
    std::optional<LinePace> in_;             // panel to board; nothing when unpaced
    std::optional<LinePace> out_;            // board to panel
    std::optional<AdapterLatency> adapter_;  // between the line and the panel
    std::deque<std::uint8_t> outgoing_;
    LineStatus status_;
    LineStatus reported_;
    Listener listener_;
    bool backlogShown_ = false;
    Clock::time_point nextBacklogLine_{};
};

// One line on stdout, flushed at once: whoever reads it may be waiting for it.
void printLine(const std::string& line);

// "tolvane-board: what: reason" on stderr, the reason read from errno.
void reportFailure(const char* what);

}  // namespace tolvane::board
