#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <optional>

#include "link/servo_protocol.h"

namespace tolvane {

class SerialLink;

// Sends a position command as three single-byte writes, back to back.
void writeCommand(SerialLink& link, PositionCommand command);

// The position a channel text asks for: its number rounded to a whole one, a half to the even
// neighbour. Only 1..254 are positions: 255 is the frame start and would throw the board out of
// step, and no slider shows 0 or 255.
std::optional<std::uint8_t> readPosition(const QString& text);

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

}  // namespace tolvane
