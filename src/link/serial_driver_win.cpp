// The serial driver on Windows: the device's handle is asked with ClearCommError(), writes are
// overlapped, and Qt hands on what arrives through events of the loop, or through its own wait.
#include "link/serial_driver.h"

#include <qt_windows.h>

#include <QSerialPort>

namespace tolvane {

namespace {

// More finished operations than a port has at once: a write, a wait for input, a read.
constexpr int kMostFinished = 8;

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

void SystemSerialDriver::readNow(QSerialPort& port) {
    // Qt's own thread takes each finished operation (a wait for input, a read, a write) from the
    // system and posts it to the event loop; a reply takes two, as the wait for input starts the
    // read. Qt's wait hands on one finished operation a call, those that finish during it at the
    // next: it is called until it finds none (a timeout), so that a read that has finished is
    // handed on even when its event is not posted yet. Called once, it left the read that a
    // reply's arrival starts for the next try.
    for (int call = 0; call < kMostFinished; ++call) {
        port.clearError();
        if (!port.waitForReadyRead(0) && port.error() == QSerialPort::TimeoutError) {
            return;
        }
    }
}

std::optional<QString> deviceGone(const QSerialPort& /*port*/) {
    // Nothing beyond what Qt reports: a removed device ends its pending wait for input with an
    // error.
    return std::nullopt;
}

}  // namespace tolvane
