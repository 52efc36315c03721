#include "sequence/echo_handshake.h"

#include "link/command_io.h"
#include "link/serial_link.h"

namespace tolvane {

std::optional<int> EchoHandshake::run(PositionCommand command, EchoState& echo) {
    int tryCount = 0;
    while (echo.echoChannel != command.channel) {
        tryOnce(command, echo);
        if (++tryCount == kTryLimit) {
            return std::nullopt;
        }
    }
    return tryCount;
}

void EchoHandshake::tryOnce(PositionCommand command, EchoState& echo) {
    writeCommand(link_, command);
    // Returns at once when no port is open.
    link_.waitForWaiting(kReplyLength, replyWindow(link_.baudRate()));
    link_.setInputLength(0);
    if (link_.waitingCount() < kReplyLength) {
        return;
    }
    rxBuffer_ = link_.readWaiting();
    if (const auto reply = echoFrom(rxBuffer_)) {
        echo.echoChannel = reply->channel;
        echo.echoPosition = reply->position;
    }
}

}  // namespace tolvane
