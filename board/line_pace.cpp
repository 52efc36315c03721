#include "line_pace.h"

namespace tolvane::board {

namespace {

constexpr long long kBitsPerByte = 10;  // start bit, eight data bits, stop bit
constexpr long long kNanosecondsPerSecond = 1'000'000'000;

}  // namespace

// Rounded up, so that the line is never faster than the rate it stands for.
LinePace::LinePace(long baud)
    : baud_(baud), byteTime_((kBitsPerByte * kNanosecondsPerSecond + baud - 1) / baud) {}

void LinePace::start(Clock::time_point now) {
    if (!nextArrival_) {
        nextArrival_ = now + byteTime_;
    }
}

std::size_t LinePace::arrived(Clock::time_point now) const {
    if (!nextArrival_ || now < *nextArrival_) {
        return 0;
    }
    return static_cast<std::size_t>((now - *nextArrival_) / byteTime_) + 1;
}

void LinePace::take(Clock::time_point now, bool more) {
    nextArrival_.reset();
    if (more) {
        nextArrival_ = now + byteTime_;
    }
}

}  // namespace tolvane::board
