#pragma once

#include <QByteArray>
#include <chrono>
#include <optional>

#include "link/servo_protocol.h"

namespace tolvane {

class SerialLink;

// Sends a position command as three single-byte writes, back to back.
void writeCommand(SerialLink& link, PositionCommand command);

// The echo reply carried by the first two received bytes; nothing when fewer arrived.
std::optional<EchoReply> echoFrom(const QByteArray& received);

// How long a board needs to take a command and answer it at the given speed, plus slack for the
// operating system and USB adapters: about 41 ms at 2400 baud.
std::chrono::milliseconds replyWindow(int baudRate);

}  // namespace tolvane
