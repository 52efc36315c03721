#include "link/serial_driver.h"

#include <QDeadlineTimer>
#include <QSerialPort>
#include <thread>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/ioctl.h>

#include <cerrno>
#endif
#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace tolvane {

namespace {

// Whether the transmitter itself has sent its last bit. A built-in UART keeps up to a FIFO's
// worth of bytes that the output count does not show; other devices cannot say, and count as
// empty then.
bool transmitterEmpty([[maybe_unused]] QSerialPort& port) {
#ifdef TIOCSERGETLSR
    unsigned int status = 0;
    if (::ioctl(port.handle(), TIOCSERGETLSR, &status) == 0) {
        return (status & TIOCSER_TEMT) != 0;
    }
#endif
    return true;
}

}  // namespace

bool SerialDriver::lineIsBehind([[maybe_unused]] const QSerialPort& port) {
#ifdef Q_OS_UNIX
    pollfd fd{static_cast<int>(port.handle()), POLLOUT, 0};
    int ready = 0;
    do {
        ready = ::poll(&fd, 1, 0);
    } while (ready < 0 && errno == EINTR);
    return ready == 0;
#else
    return false;  // writes there are overlapped: the system queues them and never says "try again"
#endif
}

void SerialDriver::setModemLines(QSerialPort& port, bool dataTerminalReady, bool requestToSend) {
    port.setDataTerminalReady(dataTerminalReady);
    port.setRequestToSend(requestToSend);
}

void SerialDriver::readNow([[maybe_unused]] QSerialPort& port) {
    // Not on Windows: Qt's wait there hands on one finished operation and strands those that
    // finish meanwhile, such as the read that a reply's arrival starts; the reply would then wait
    // for the next call of ours (one more try of a handshake whose echo has come). The event
    // loop, which every wait for a reply runs, hands them all on.
#ifndef Q_OS_WIN
    port.waitForReadyRead(0);
#endif
}

int SystemSerialDriver::queuedOutput([[maybe_unused]] QSerialPort& port) {
#if defined(Q_OS_UNIX) && defined(TIOCOUTQ)
    int queued = 0;
    return ::ioctl(port.handle(), TIOCOUTQ, &queued) == 0 ? queued : 0;
#elif defined(Q_OS_WIN)
    COMSTAT status{};
    DWORD errors = 0;
    return ::ClearCommError(port.handle(), &errors, &status) ? static_cast<int>(status.cbOutQue)
                                                             : 0;
#else
    return 0;
#endif
}

bool SystemSerialDriver::drain(QSerialPort& port, std::chrono::milliseconds bound) {
    // tcdrain() has no time limit; the system holds only milliseconds of output, so looking
    // every millisecond costs nothing and keeps the wait bounded.
    const QDeadlineTimer deadline(bound);
    while (queuedOutput(port) > 0 || !transmitterEmpty(port)) {
        if (deadline.hasExpired()) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void SystemSerialDriver::discardOutput(QSerialPort& port) {
    port.clear(QSerialPort::Output);
}

void SystemSerialDriver::close(QSerialPort& port) {
    port.close();
}

}  // namespace tolvane
