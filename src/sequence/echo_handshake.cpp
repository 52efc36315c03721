#include "sequence/echo_handshake.h"

#include "link/serial_link.h"

namespace tolvane {

std::optional<EchoReply> echoFrom(const QByteArray& received) {
    if (received.size() < kReplyLength) {
        return std::nullopt;
    }
    return EchoReply{static_cast<std::uint8_t>(received[0]),
                     static_cast<std::uint8_t>(received[1])};
}

ReplyWindows replyWindows(int baudRate) {
    using std::chrono::milliseconds;
    constexpr int kBitsPerByte = 10;  // start, 8 data, stop
    // The operating system's share: waking the panel and handing it the bytes.
    constexpr milliseconds kSlack{20};
    // The board's own time to answer: twice the 25 ms of a slow one.
    constexpr milliseconds kBoardAnswer{50};
    // A USB adapter holds a short answer until its latency timer fires: every 16 ms on the most
    // common ones, as they come.
    constexpr milliseconds kAdapterLatency{16};
    // The command and its echo on the line: 50 bit times, 21 ms at 2400 baud.
    const long long bits = static_cast<long long>(kCommandLength + kReplyLength) * kBitsPerByte;
    const milliseconds line((bits * 1000 + baudRate - 1) / baudRate);
    // The first try waits for a board that answers, behind an adapter: 107 ms at 2400 baud. One
    // that has let that pass is most likely off, and the later tries wait for the line alone,
    // 41 ms, so that a silent board's 200 tries end within 107 + 199 x 41 ms = 8.3 s, well
    // inside the 10 s after which the user should hear of it. An answer later than a retry's
    // window is not lost: it waits in the input, where the next try reads it.
    return {line + kBoardAnswer + kAdapterLatency + kSlack, line + kSlack};
}

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
