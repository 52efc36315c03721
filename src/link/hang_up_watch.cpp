#include "link/hang_up_watch.h"

#include <QSerialPort>
#include <chrono>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <termios.h>

#include <cerrno>
#endif

namespace tolvane {

std::optional<QString> deviceGone([[maybe_unused]] const QSerialPort& port) {
#ifdef Q_OS_UNIX
    const int handle = static_cast<int>(port.handle());
    pollfd fd{handle, 0, 0};
    int ready = 0;
    do {
        ready = ::poll(&fd, 1, 0);
    } while (ready < 0 && errno == EINTR);
    if (ready > 0 && (fd.revents & (POLLHUP | POLLNVAL)) != 0) {
        return QStringLiteral("the device was removed");
    }
    termios settings{};
    if (::tcgetattr(handle, &settings) != 0 && (errno == EIO || errno == ENXIO)) {
        return qt_error_string(errno);
    }
#endif
    return std::nullopt;
}

HangUpWatch::HangUpWatch(QObject* parent) : QObject(parent) {
#if defined(Q_OS_DARWIN)
    timer_.setInterval(std::chrono::milliseconds(250));
    connect(&timer_, &QTimer::timeout, this, &HangUpWatch::check);
#elif defined(Q_OS_UNIX)
    notifier_.setEnabled(false);
    connect(&notifier_, &QSocketNotifier::activated, this, &HangUpWatch::check);
#endif
}

void HangUpWatch::start(const QSerialPort& port) {
    port_ = &port;
#if defined(Q_OS_DARWIN)
    timer_.start();
#elif defined(Q_OS_UNIX)
    notifier_.setSocket(port.handle());
    notifier_.setEnabled(true);
#endif
}

void HangUpWatch::stop() {
#if defined(Q_OS_DARWIN)
    timer_.stop();
#elif defined(Q_OS_UNIX)
    notifier_.setEnabled(false);
#endif
    port_ = nullptr;
}

void HangUpWatch::check() {
    if (port_ == nullptr) {
        return;
    }
    const auto reason = deviceGone(*port_);
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    // The notifier fires for as long as the condition lasts, so it stays off from here on: a
    // device that only seemed wrong is still watched by every read and write.
    notifier_.setEnabled(false);
#endif
    if (reason) {
        stop();
        emit gone(*reason);
    }
}

}  // namespace tolvane
