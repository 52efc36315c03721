#include "board_core.h"

namespace tolvane::board {

std::vector<PositionCommand> BoardCore::receive(std::span<const std::uint8_t> bytes,
                                                Clock::time_point now) {
    std::vector<PositionCommand> commands;
    for (std::uint8_t byte : bytes) {
        const std::optional<PositionCommand> command = decoder_.feed(byte);
        if (!command) {
            continue;
        }
        commands.push_back(*command);
        if (mode_ != ReplyMode::None) {
            queue_.push_back({now + delay_, EchoReply{command->channel, command->position}});
        }
    }
    return commands;
}

std::vector<std::uint8_t> BoardCore::takeDueReplies(Clock::time_point now) {
    std::vector<std::uint8_t> bytes;
    while (!queue_.empty() && queue_.front().due <= now) {
        const auto encoded = encode(queue_.front().reply);
        const std::size_t length = mode_ == ReplyMode::ChannelOnly ? 1 : encoded.size();
        bytes.insert(bytes.end(), encoded.begin(), encoded.begin() + length);
        queue_.pop_front();
    }
    return bytes;
}

std::optional<Clock::time_point> BoardCore::nextDue() const {
    if (queue_.empty()) {
        return std::nullopt;
    }
    return queue_.front().due;
}

}  // namespace tolvane::board
