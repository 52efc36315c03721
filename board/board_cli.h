// The simulated board's command line and the lines it prints. Parsing and printing live together
// so that the test helper reading the output cannot drift from the board writing it.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "board_core.h"
#include "protocol/servo_protocol.h"

namespace tolvane::board {

struct BoardOptions {
    ReplyMode reply = ReplyMode::Echo;
    std::chrono::milliseconds delay{0};
    std::string linkPath;  // empty: make no link
    long baud = 0;         // 0: unpaced, bytes pass as fast as the terminal carries them
    bool window = false;   // also show the servos in a window
    std::chrono::milliseconds latency{0};  // 0: replies reach the terminal with no adapter timer
    friend bool operator==(const BoardOptions&, const BoardOptions&) = default;
};

inline constexpr std::chrono::milliseconds kMaxDelay{60'000};
inline constexpr long kMinBaud = 50;
inline constexpr long kMaxBaud = 1'000'000;
inline constexpr std::chrono::milliseconds kMaxLatency{1'000};

struct ParsedArguments {
    BoardOptions options;
    bool help = false;
    std::string error;  // empty when the arguments were understood
};

// Reads the arguments after the program name.
ParsedArguments parseArguments(const std::vector<std::string>& arguments);

// The arguments that make a board with these options; parseArguments() reads them back.
std::vector<std::string> toArguments(const BoardOptions& options);

std::string usage(std::string_view program);

// "device /dev/pts/5": always the first line printed.
std::string deviceLine(std::string_view devicePath);
std::optional<std::string> parseDeviceLine(std::string_view line);

// "command channel 2 position 200": one line for each command taken, in decimal.
std::string commandLine(PositionCommand command);
std::optional<PositionCommand> parseCommandLine(std::string_view line);

// "line backlog 45 bytes": printed by a paced board while commands queue up unread.
std::string backlogLine(std::size_t bytes);

}  // namespace tolvane::board
