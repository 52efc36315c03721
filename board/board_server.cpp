#include "board_server.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board_cli.h"

namespace tolvane::board {

namespace {

constexpr std::chrono::seconds kBacklogLineInterval{1};
// A backlog is reported once it holds this much line time: a playback's retries stay below it,
// a fast drag soon passes it.
constexpr std::chrono::milliseconds kBacklogWorthReporting{100};

// Waits for `fds` until `deadline` (forever without one); the result and errno are poll()'s.
int waitForEvents(pollfd* fds, nfds_t count, std::optional<Clock::time_point> deadline) {
    if (!deadline) {
        return poll(fds, count, -1);
    }
    const auto wait = std::max(Clock::duration::zero(), *deadline - Clock::now());
#ifdef __linux__
    // Nanoseconds: a paced byte at high rates lasts well under a millisecond.
    const auto seconds = std::chrono::floor<std::chrono::seconds>(wait);
    const timespec timeout{static_cast<time_t>(seconds.count()),
                           static_cast<long>(std::chrono::nanoseconds(wait - seconds).count())};
    return ppoll(fds, count, &timeout, nullptr);
#else
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
    return poll(fds, count, static_cast<int>(std::min<long long>(ms, INT_MAX)));
#endif
}

std::size_t unreadBytes(int fd) {
    int count = 0;
    return ioctl(fd, FIONREAD, &count) == 0 && count > 0 ? static_cast<std::size_t>(count) : 0;
}

void writeAll(int master, const std::uint8_t* bytes, std::size_t size) {
    std::size_t sent = 0;
    while (sent < size) {
        const ssize_t n = write(master, bytes + sent, size - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // The terminal's buffer is full because nobody reads the port; a real board's bytes
            // would be lost on the wire just the same.
            (void)std::fprintf(stderr, "tolvane-board: dropped %zu reply bytes\n", size - sent);
            return;
        }
    }
}

}  // namespace

// Nothing to do when stdout fails: its reader has gone, and SIGPIPE stops the board.
void printLine(const std::string& line) {
    (void)std::fputs(line.c_str(), stdout);
    (void)std::fputc('\n', stdout);
    (void)std::fflush(stdout);
}

void reportFailure(const char* what) {
    (void)std::fprintf(stderr, "tolvane-board: %s: %s\n", what, std::strerror(errno));
}

BoardServer::BoardServer(int master, int stopFd, BoardCore& core, long baud,
                         std::chrono::milliseconds latency)
    : master_(master), stopFd_(stopFd), core_(core) {
    if (baud > 0) {
        in_.emplace(baud);
        out_.emplace(baud);
    }
    if (latency.count() > 0) {
        adapter_.emplace(Clock::now(), latency);
    }
}

int BoardServer::run() {
    for (;;) {
        // While a paced byte is on its way the terminal is not watched: its bytes wait there.
        const bool watchTerminal = !in_ || !in_->nextArrival();
        pollfd fds[2] = {{watchTerminal ? master_ : -1, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (waitForEvents(fds, 2, nextWake()) < 0) {
            if (errno == EINTR) {
                continue;
            }
            reportFailure("poll");
            return EXIT_FAILURE;
        }
        if (fds[1].revents != 0) {
            return EXIT_SUCCESS;
        }
        const Clock::time_point now = Clock::now();
        std::vector<PositionCommand> commands;
        if (!receive(now, fds[0].revents != 0, commands)) {
            return EXIT_FAILURE;
        }
        // Replies go out before their lines are printed, so whoever has seen a command's line can
        // count on its reply (when undelayed and unpaced) being on its way already.
        send(now);
        for (const auto& command : commands) {
            printLine(commandLine(command));
        }
        report(now, commands);
    }
}

bool BoardServer::receive(Clock::time_point now, bool readable,
                          std::vector<PositionCommand>& commands) {
    std::uint8_t buffer[256];
    std::size_t wanted = sizeof buffer;
    if (in_) {
        if (readable) {
            in_->start(now);
        }
        wanted = std::min(wanted, in_->arrived(now));
    } else if (!readable) {
        wanted = 0;
    }
    if (wanted == 0) {
        return true;
    }
    const ssize_t n = read(master_, buffer, wanted);
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
        reportFailure("reading the terminal");
        return false;
    }
    if (n > 0) {
        commands = core_.receive(std::span(buffer, static_cast<std::size_t>(n)), now);
        status_.commands += commands.size();
    }
    if (in_) {
        in_->take(now, unreadBytes(master_) > 0);
    }
    return true;
}

void BoardServer::send(Clock::time_point now) {
    const std::vector<std::uint8_t> due = core_.takeDueReplies(now);
    if (!out_) {
        handOver(due, now);
        return;
    }
    outgoing_.insert(outgoing_.end(), due.begin(), due.end());
    if (!outgoing_.empty()) {
        out_->start(now);
    }
    const std::size_t count = std::min(out_->arrived(now), outgoing_.size());
    const std::vector<std::uint8_t> bytes(outgoing_.begin(), outgoing_.begin() + count);
    outgoing_.erase(outgoing_.begin(), outgoing_.begin() + count);
    if (count > 0) {
        out_->take(now, !outgoing_.empty());
    }
    handOver(bytes, now);
}

// What has come through the line goes to the terminal, through the adapter when there is one.
void BoardServer::handOver(const std::vector<std::uint8_t>& bytes, Clock::time_point now) {
    if (!adapter_) {
        writeAll(master_, bytes.data(), bytes.size());
        return;
    }
    adapter_->receive(bytes, now);
    const std::vector<std::uint8_t> ready = adapter_->handOver(now);
    writeAll(master_, ready.data(), ready.size());
}

void BoardServer::report(Clock::time_point now, const std::vector<PositionCommand>& commands) {
    if (in_) {
        status_.waiting = unreadBytes(master_);
        const bool worthReporting =
            static_cast<long long>(status_.waiting) * in_->byteTime() > kBacklogWorthReporting;
        if (worthReporting && now >= nextBacklogLine_) {
            printLine(backlogLine(status_.waiting));
            backlogShown_ = true;
            nextBacklogLine_ = now + kBacklogLineInterval;
        } else if (status_.waiting == 0 && backlogShown_) {
            printLine(backlogLine(0));
            backlogShown_ = false;
        }
    }
    if (listener_ && (!commands.empty() || status_ != reported_)) {
        listener_(commands, status_);
        reported_ = status_;
    }
}

std::optional<Clock::time_point> BoardServer::nextWake() const {
    std::optional<Clock::time_point> wake = core_.nextDue();
    const auto earliest = [&wake](std::optional<Clock::time_point> other) {
        if (other && (!wake || *other < *wake)) {
            wake = other;
        }
    };
    for (const std::optional<LinePace>* line : {&in_, &out_}) {
        earliest(*line ? (*line)->nextArrival() : std::nullopt);
    }
    earliest(adapter_ ? adapter_->nextHandOver() : std::nullopt);
    return wake;
}

}  // namespace tolvane::board
