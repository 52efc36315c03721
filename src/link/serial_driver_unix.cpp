// The serial driver on Unix: the device's handle is a file descriptor, asked with poll() and
// ioctl(), and Qt may be asked to read it at any time.
#include "link/serial_driver.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <QSerialPort>
#include <cerrno>

namespace tolvane {

namespace {

// poll() on the handle alone, without waiting; the events it reports, or -1 on failure.
int pollNow(const QSerialPort& port, short events) {
    pollfd fd{static_cast<int>(port.handle()), events, 0};
    int ready = 0;
    do {
        ready = ::poll(&fd, 1, 0);
    } while (ready < 0 && errno == EINTR);
    return ready < 0 ? -1 : fd.revents;
}

}  // namespace

int SystemSerialDriver::queuedOutput(QSerialPort& port) {
#ifdef TIOCOUTQ
    int queued = 0;
    return ::ioctl(port.handle(), TIOCOUTQ, &queued) == 0 ? queued : 0;
#else
    return 0;
#endif
}

bool SystemSerialDriver::transmitterEmpty(QSerialPort& port) {
    // A built-in UART keeps up to a FIFO's worth of bytes that the output count does not show;
    // other devices cannot say, and count as empty then.
#ifdef TIOCSERGETLSR
    unsigned int status = 0;
    if (::ioctl(port.handle(), TIOCSERGETLSR, &status) == 0) {
        return (status & TIOCSER_TEMT) != 0;
    }
#endif
    return true;
}

bool SystemSerialDriver::lineIsBehind(const QSerialPort& port) {
    return pollNow(port, POLLOUT) == 0;
}

void SystemSerialDriver::readNow(QSerialPort& port) {
    port.waitForReadyRead(0);
}

int SystemSerialDriver::queuedInput(const QSerialPort& port) {
    int queued = 0;
    return ::ioctl(port.handle(), FIONREAD, &queued) == 0 ? queued : 0;
}

std::optional<QString> deviceGone(const QSerialPort& port) {
    if (const int events = pollNow(port, 0); events > 0 && (events & (POLLHUP | POLLNVAL)) != 0) {
        return QStringLiteral("the device was removed");
    }
    termios settings{};
    if (::tcgetattr(static_cast<int>(port.handle()), &settings) != 0 &&
        (errno == EIO || errno == ENXIO)) {
        return qt_error_string(errno);
    }
    return std::nullopt;
}

}  // namespace tolvane
