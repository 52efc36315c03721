#include "link/command_io.h"

#include "link/number_text.h"
#include "link/serial_link.h"

namespace tolvane {

void writeCommand(SerialLink& link, PositionCommand command) {
    for (const std::uint8_t byte : encode(command)) {
        link.writeByte(byte);
    }
}

std::optional<std::uint8_t> readPosition(const QString& text) {
    const auto number = number_text::readInt32(text);
    if (!number || *number < 1 || *number >= kFrameStart) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(*number);
}

std::optional<EchoReply> echoFrom(const QByteArray& received) {
    if (received.size() < kReplyLength) {
        return std::nullopt;
    }
    return EchoReply{static_cast<std::uint8_t>(received[0]),
                     static_cast<std::uint8_t>(received[1])};
}

std::chrono::milliseconds replyWindow(int baudRate) {
    constexpr int kBitsPerByte = 10;  // start, 8 data, stop
    constexpr int kSlackMs = 20;
    const long long bits = static_cast<long long>(kCommandLength + kReplyLength) * kBitsPerByte;
    const long long lineMs = (bits * 1000 + baudRate - 1) / baudRate;
    return std::chrono::milliseconds(lineMs + kSlackMs);
}

}  // namespace tolvane
