#include "sequence/echo_handshake.h"

#include "link/command_io.h"
#include "link/serial_link.h"

namespace tolvane {

std::optional<int> EchoHandshake::run(PositionCommand command, EchoState& echo) {
    const ReplyWindows windows = replyWindows(link_.baudRate());
    int tryCount = 0;
    while (echo.echoChannel != command.channel) {
        // Whatever ran during the last wait (a request to end, say) has only been marked.
        if (stopped_ && stopped_()) {
            return std::nullopt;
        }
        tryOnce(command, echo, tryCount == 0 ? windows.first : windows.retry);
        if (++tryCount == kTryLimit) {
            return std::nullopt;
        }
    }
    return tryCount;
}

void EchoHandshake::tryOnce(PositionCommand command, EchoState& echo,
                            std::chrono::milliseconds window) {
    writeCommand(link_, command);
    // Returns at once when no port is open.
    link_.waitForWaiting(kReplyLength, window);
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
