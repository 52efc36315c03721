#include "adapter_latency.h"

namespace tolvane::board {

void AdapterLatency::receive(std::span<const std::uint8_t> bytes, Clock::time_point now) {
    // A byte that comes in the instant the timer fires waits for the next tick: never earlier.
    const auto ticks = now < origin_ ? 0 : (now - origin_) / period_ + 1;
    const Clock::time_point due = origin_ + ticks * period_;
    for (const std::uint8_t byte : bytes) {
        held_.push_back({due, byte});
    }
}

std::vector<std::uint8_t> AdapterLatency::handOver(Clock::time_point now) {
    std::vector<std::uint8_t> bytes;
    while (!held_.empty() && held_.front().due <= now) {
        bytes.push_back(held_.front().byte);
        held_.pop_front();
    }
    return bytes;
}

std::optional<Clock::time_point> AdapterLatency::nextHandOver() const {
    if (held_.empty()) {
        return std::nullopt;
    }
    return held_.front().due;
}

}  // namespace tolvane::board
