#include "board_cli.h"

#include <charconv>
#include <cstdint>

namespace tolvane::board {

namespace {

constexpr std::string_view kDevicePrefix = "device ";
constexpr std::string_view kChannelPrefix = "command channel ";
constexpr std::string_view kPositionPrefix = " position ";

// A whole decimal number within [0, max]; no sign, no spaces, nothing after it.
std::optional<long> parseNumber(std::string_view text, long max) {
    long value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || stop != end || value < 0 || value > max) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

ParsedArguments parseArguments(const std::vector<std::string>& arguments) {
    ParsedArguments parsed;
    bool noReply = false;
    bool oneByte = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == "--help" || argument == "-h") {
            parsed.help = true;
        } else if (argument == "--no-reply") {
            noReply = true;
        } else if (argument == "--one-byte") {
            oneByte = true;
        } else if (argument == "--delay" && hasValue) {
            const auto ms = parseNumber(arguments[++i], kMaxDelay.count());
            if (!ms) {
                parsed.error = "--delay needs whole milliseconds from 0 to " +
                               std::to_string(kMaxDelay.count()) + ", not '" + arguments[i] + "'";
                return parsed;
            }
            parsed.options.delay = std::chrono::milliseconds(*ms);
        } else if (argument == "--baud" && hasValue) {
            const auto baud = parseNumber(arguments[++i], kMaxBaud);
            if (!baud || *baud < kMinBaud) {
                parsed.error = "--baud needs a whole number from " + std::to_string(kMinBaud) +
                               " to " + std::to_string(kMaxBaud) + ", not '" + arguments[i] + "'";
                return parsed;
            }
            parsed.options.baud = *baud;
        } else if (argument == "--latency" && hasValue) {
            const auto ms = parseNumber(arguments[++i], kMaxLatency.count());
            if (!ms) {
                parsed.error = "--latency needs whole milliseconds from 0 to " +
                               std::to_string(kMaxLatency.count()) + ", not '" + arguments[i] + "'";
                return parsed;
            }
            parsed.options.latency = std::chrono::milliseconds(*ms);
        } else if (argument == "--window") {
            parsed.options.window = true;
        } else if (argument == "--link" && hasValue && !arguments[i + 1].empty()) {
            parsed.options.linkPath = arguments[++i];
        } else if (argument == "--delay" || argument == "--link" || argument == "--baud" ||
                   argument == "--latency") {
            parsed.error = argument + " needs a value";
            return parsed;
        } else {
            parsed.error = "unknown argument '" + argument + "'";
            return parsed;
        }
    }
    if (noReply && oneByte) {
        parsed.error = "--no-reply and --one-byte cannot be used together";
        return parsed;
    }
    parsed.options.reply = noReply   ? ReplyMode::None
                           : oneByte ? ReplyMode::ChannelOnly
                                     : ReplyMode::Echo;
    return parsed;
}

std::vector<std::string> toArguments(const BoardOptions& options) {
    std::vector<std::string> arguments;
    if (options.reply == ReplyMode::None) {
        arguments.emplace_back("--no-reply");
    } else if (options.reply == ReplyMode::ChannelOnly) {
        arguments.emplace_back("--one-byte");
    }
    if (options.delay.count() != 0) {
        arguments.emplace_back("--delay");
        arguments.push_back(std::to_string(options.delay.count()));
    }
    if (!options.linkPath.empty()) {
        arguments.emplace_back("--link");
        arguments.push_back(options.linkPath);
    }
    if (options.baud != 0) {
        arguments.emplace_back("--baud");
        arguments.push_back(std::to_string(options.baud));
    }
    if (options.window) {
        arguments.emplace_back("--window");
    }
    if (options.latency.count() != 0) {
        arguments.emplace_back("--latency");
        arguments.push_back(std::to_string(options.latency.count()));
    }
    return arguments;
}

std::string usage(std::string_view program) {
    std::string text = "Usage: ";
    text += program;
    text += R"( [options]

Stands in for the eight-channel servo board on a pseudo-terminal.

Prints the terminal's path first, as 'device PATH', then one line for each
position command received, as 'command channel C position P'. Answers each
command with the channel and position bytes. Runs until SIGINT or SIGTERM,
or until its window is closed.

Options:
  --no-reply    never answer
  --one-byte    answer with the channel byte only
  --delay MS    answer MS milliseconds (0 to 60000) after the command arrives
  --link PATH   also make a symbolic link PATH to the terminal, replacing an
                existing symbolic link; it is removed on exit
  --baud N      pace the line as a real one at N baud (50 to 1000000), 8N1:
                ten bit times a byte, both ways. Bytes not yet carried wait
                unread in the terminal, so a sender that outpaces the line
                fills its own output. Prints 'line backlog B bytes' at most
                once a second while the bytes waiting would take the line
                over 0.1 s, and once more when the backlog is gone. Without
                --baud, bytes pass at once.
  --latency MS  hand answers to the terminal as a USB serial adapter does:
                only when its latency timer fires, every MS milliseconds
                (0 to 1000; 16 is the common adapters' default). Works with
                --baud and --delay. Without it, or with 0, answers reach the
                terminal as soon as the line has carried them.
  --window      also show the eight servos in a window titled 'Tolvane
                board', with the device, the commands received, the reply
                and the line's pace; closing it ends the board
  --help        show this text
)";
    return text;
}

std::string deviceLine(std::string_view devicePath) {
    return std::string(kDevicePrefix) + std::string(devicePath);
}

std::optional<std::string> parseDeviceLine(std::string_view line) {
    if (!line.starts_with(kDevicePrefix) || line.size() == kDevicePrefix.size()) {
        return std::nullopt;
    }
    return std::string(line.substr(kDevicePrefix.size()));
}

std::string commandLine(PositionCommand command) {
    return std::string(kChannelPrefix) + std::to_string(command.channel) +
           std::string(kPositionPrefix) + std::to_string(command.position);
}

std::string backlogLine(std::size_t bytes) {
    return "line backlog " + std::to_string(bytes) + " bytes";
}

std::optional<PositionCommand> parseCommandLine(std::string_view line) {
    if (!line.starts_with(kChannelPrefix)) {
        return std::nullopt;
    }
    line.remove_prefix(kChannelPrefix.size());
    const std::size_t split = line.find(kPositionPrefix);
    if (split == std::string_view::npos) {
        return std::nullopt;
    }
    const auto channel = parseNumber(line.substr(0, split), 255);
    const auto position = parseNumber(line.substr(split + kPositionPrefix.size()), 255);
    if (!channel || !position) {
        return std::nullopt;
    }
    return PositionCommand{static_cast<std::uint8_t>(*channel),
                           static_cast<std::uint8_t>(*position)};
}

}  // namespace tolvane::board
