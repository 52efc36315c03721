// One channel's handshake: the position command goes out again and again until the board's echo
// names the channel, at most 200 times.
#pragma once

#include <QByteArray>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

#include "protocol/servo_protocol.h"

namespace tolvane {

class SerialLink;

// The echo reply carried by the first two received bytes; nothing when fewer arrived.
std::optional<EchoReply> echoFrom(const QByteArray& received);

// How long a try of the echo handshake waits for the board's answer at the given speed: 107 ms
// for a channel's first try and 41 ms for each later one at 2400 baud.
struct ReplyWindows {
    std::chrono::milliseconds first;
    std::chrono::milliseconds retry;
    friend bool operator==(const ReplyWindows&, const ReplyWindows&) = default;
};
ReplyWindows replyWindows(int baudRate);

// The last echo a run has read. It carries over from channel to channel and step to step; 9
// names no channel, so the first channel of a run always makes at least one try.
struct EchoState {
    std::uint8_t echoChannel = 9;
    std::uint8_t echoPosition = 0;
};

class EchoHandshake {
  public:
    static constexpr int kTryLimit = 200;

    // `stopped` is asked before every try; once it holds, the handshake ends without another.
    EchoHandshake(SerialLink& link, QByteArray& rxBuffer, std::function<bool()> stopped = {})
        : link_(link), rxBuffer_(rxBuffer), stopped_(std::move(stopped)) {}

    // The tries made: 0 when the echo named the channel already. Nothing when the limit was
    // reached, or when stopped; the last try's echo is then not looked at.
    std::optional<int> run(PositionCommand command, EchoState& echo);

  private:
    // Sends the command and gives the board `window` to answer. Meanwhile the window repaints and
    // answers the desktop, but takes no click or key. Two or more waiting bytes are read whole;
    // only the first two count.
    void tryOnce(PositionCommand command, EchoState& echo, std::chrono::milliseconds window);

    SerialLink& link_;
    QByteArray& rxBuffer_;
    std::function<bool()> stopped_;
};

}  // namespace tolvane
