// Runs the simulated board (tolvane-board) as a child process for integration tests, and follows
// what it prints. Not thread-safe: use one BoardProcess from one thread.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "board_cli.h"
#include "protocol/servo_protocol.h"

namespace tolvane::test_support {

class BoardProcess {
  public:
    using Options = board::BoardOptions;

    // Starts the board at `binaryPath` (tests pass TOLVANE_BOARD_PATH) and waits for its device
    // line. Throws std::runtime_error when the board does not start within `startTimeout`.
    explicit BoardProcess(const std::string& binaryPath, const Options& options = {},
                          std::chrono::milliseconds startTimeout = std::chrono::seconds(10));
    ~BoardProcess();

    BoardProcess(const BoardProcess&) = delete;
    BoardProcess& operator=(const BoardProcess&) = delete;

    // The terminal the panel should open, e.g. /dev/pts/5.
    const std::string& device() const { return device_; }

    // Every command the board has printed so far, in order of arrival.
    const std::vector<PositionCommand>& commands();

    // Waits until the board has printed at least `count` commands; false on timeout or when the
    // board has ended. Keeps a running Qt event loop served meanwhile, so a panel in the same
    // thread goes on writing.
    bool waitForCommands(std::size_t count,
                         std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // Forgets the commands collected so far, e.g. those a panel sends when it opens a port.
    void clearCommands() { commands_.clear(); }

    // Ends the board as an unplugged adapter would end: the terminal goes away. Commands printed
    // before the end are still collected. Returns true when the board exited cleanly; calling it
    // again does nothing and returns the same answer.
    bool stop();

    bool running() const { return pid_ > 0; }

  private:
    // Reads what the board has printed, waiting at most `wait`; false once its output has ended.
    bool readOutput(std::chrono::milliseconds wait);
    void takeLine(const std::string& line);

    pid_t pid_ = -1;
    int output_ = -1;
    bool cleanExit_ = false;
    std::string pending_;
    std::string device_;
    std::vector<PositionCommand> commands_;
};

}  // namespace tolvane::test_support
