// Unix: the signals are caught by a handler that writes each one's number to a socket pair, and a
// notifier reads them in the event loop.
#include "panel/termination_signals.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>

namespace tolvane {

namespace {

constexpr std::array kCaught{SIGTERM, SIGHUP, SIGINT};

// The socket pair between the handler and the event loop: [0] is written, [1] is read.
int g_pair[2] = {-1, -1};

void onSignal(int number) {
    // Only what is safe in a signal handler. Both ends are non-blocking: were the pair ever full,
    // the bytes already waiting say enough.
    const int savedErrno = errno;
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t written = ::write(g_pair[0], &byte, 1);
    errno = savedErrno;
}

void closePair() {
    for (int& fd : g_pair) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    Q_ASSERT(g_pair[0] < 0);
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_pair) != 0) {
        qWarning("Cannot catch SIGTERM, SIGHUP and SIGINT: no socket pair");
        return;
    }
    for (const int fd : g_pair) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    notifier_ = std::make_unique<QSocketNotifier>(g_pair[1], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TerminationSignals::readPending);

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : kCaught) {
        // A signal the program was started with ignored stays ignored: nohup keeps a closing
        // terminal's SIGHUP away, and so do we.
        struct sigaction before {};
        if (::sigaction(number, nullptr, &before) == 0 && before.sa_handler != SIG_IGN) {
            ::sigaction(number, &action, nullptr);
        }
    }
}

TerminationSignals::~TerminationSignals() {
    if (!notifier_) {
        return;
    }
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    for (const int number : kCaught) {
        struct sigaction current {};
        if (::sigaction(number, nullptr, &current) == 0 && current.sa_handler == onSignal) {
            ::sigaction(number, &fallback, nullptr);
        }
    }
    notifier_.reset();
    closePair();
}

void TerminationSignals::readPending() {
    char numbers[16];
    ssize_t count = 0;
    while ((count = ::read(g_pair[1], numbers, sizeof numbers)) > 0) {
        for (ssize_t i = 0; i < count; ++i) {
            emit received(numbers[i]);
        }
    }
}

}  // namespace tolvane
