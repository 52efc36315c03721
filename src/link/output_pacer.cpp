#include "link/output_pacer.h"

#include <QSerialPort>
#include <algorithm>

#include "link/serial_driver.h"

namespace tolvane {

OutputPacer::OutputPacer(QSerialPort& port, SerialDriver& driver, int baudRate, QObject* parent)
    : QObject(parent), port_(port), driver_(driver), baudRate_(baudRate) {
    pacing_.setInterval(kPaceInterval);
    connect(&pacing_, &QTimer::timeout, this, &OutputPacer::handOver);
    handOverSoon_.setSingleShot(true);
    handOverSoon_.setInterval(0);
    connect(&handOverSoon_, &QTimer::timeout, this, &OutputPacer::handOver);
    connect(&port_, &QSerialPort::bytesWritten, this, [this] {
        if (qtHoldsOutput_ && port_.bytesToWrite() == 0) {
            qtHoldsOutput_ = false;
            handOverSoon_.start();
        }
    });
}

void OutputPacer::write(std::uint8_t byte) {
    // 3 bytes a command: a backlog of 100,000 commands, more than 20 minutes of a 2400-baud line,
    // holds about 300 KB.
    backlog_.append(static_cast<char>(byte));
    handOver();
}

void OutputPacer::clear() {
    pacing_.stop();
    handOverSoon_.stop();
    qtHoldsOutput_ = false;
    backlog_.clear();
}

int OutputPacer::outputAheadBytes() const {
    constexpr int kBitsPerByte = 10;  // start, 8 data, stop
    const auto bytes =
        static_cast<long long>(baudRate_) / kBitsPerByte * kOutputAhead.count() / 1000;
    return static_cast<int>(std::max(1LL, bytes));
}

void OutputPacer::handOver() {
    // Hands the oldest waiting bytes to the system while it holds less than kOutputAhead of the
    // line. A pseudo-terminal's count reads 0, so it takes all it has room for, as before.
    // While Qt still holds bytes that the device would not take ("try again"), Qt's own
    // notifier hands those on first; the device is asked for room before every write, since
    // writing to a full device reads as the same error as an unplugged one.
    while (!backlog_.isEmpty() && port_.isOpen() && port_.bytesToWrite() == 0 &&
           !driver_.lineIsBehind(port_)) {
        const int room = outputAheadBytes() - driver_.queuedOutput(port_);
        if (room <= 0) {
            break;
        }
        const QByteArrayView chunk = backlog_.front(room);
        port_.write(chunk.data(), chunk.size());
        backlog_.drop(chunk.size());
        port_.flush();  // hands it to the device now, without waiting
    }
    qtHoldsOutput_ = port_.bytesToWrite() > 0;
    // Runs only while there is a backlog: an idle panel wakes up for nothing.
    if (backlog_.isEmpty() || !port_.isOpen()) {
        pacing_.stop();
    } else if (!pacing_.isActive()) {
        pacing_.start();
    }
}

}  // namespace tolvane
