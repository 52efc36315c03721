// The serial driver on Windows: the device's handle is asked with ClearCommError(), writes are
// overlapped, and what arrives reaches Qt through the event loop only.
#include "link/serial_driver.h"

#include <qt_windows.h>

#include <QSerialPort>

namespace tolvane {

namespace {

// The device's queues as the system counts them: cbInQue received and not read yet, cbOutQue
// written and not sent yet; both 0 when the device cannot tell.
COMSTAT queues(const QSerialPort& port) {
    COMSTAT status{};
    DWORD errors = 0;
    if (!::ClearCommError(port.handle(), &errors, &status)) {
        return {};
    }
    return status;
}

}  // namespace

int SystemSerialDriver::queuedOutput(QSerialPort& port) {
    return static_cast<int>(queues(port).cbOutQue);
}

int SystemSerialDriver::queuedInput(const QSerialPort& port) {
    // What Qt's read has already taken and the event loop not yet handed on is no longer here.
    return static_cast<int>(queues(port).cbInQue);
}

bool SystemSerialDriver::transmitterEmpty(QSerialPort& /*port*/) {
    return true;  // the system tells of no transmitter beyond its queue
}

bool SystemSerialDriver::lineIsBehind(const QSerialPort& /*port*/) {
    return false;  // writes are overlapped: the system queues them and never says "try again"
}

void SystemSerialDriver::readNow(QSerialPort& /*port*/) {
    // Qt's wait here hands on one finished operation and strands those that finish meanwhile,
    // such as the read that a reply's arrival starts; the reply would then wait for the next call
    // of ours (one more try of a handshake whose echo has come). The event loop, which every wait
    // for a reply runs, hands them all on.
}

std::optional<QString> deviceGone(const QSerialPort& /*port*/) {
    // Nothing beyond what Qt reports: a removed device ends its pending wait for input with an
    // error.
    return std::nullopt;
}

}  // namespace tolvane
