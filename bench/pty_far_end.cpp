#include "pty_far_end.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QtGlobal>

#include "bench_support.h"

namespace tolvane::bench {

PtyFarEnd::PtyFarEnd() {
    if (!openRawPty(master_, slave_)) {
        return;
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    // Room for every arrival of a benchmark, touched now, so that the record kept here does not
    // count as growth of the panel's memory.
    arrivals_.resize(kArrivalRoom);
    arrivals_.clear();
    device_ = QString::fromLocal8Bit(ttyname(slave_));
    qputenv("TOLVANE_COM1", device_.toLocal8Bit());
    thread_ = std::thread([this] { run(); });
}

PtyFarEnd::~PtyFarEnd() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    if (master_ >= 0) {
        ::close(master_);
        ::close(slave_);
    }
    qunsetenv("TOLVANE_COM1");
}

std::vector<PtyFarEnd::Arrival> PtyFarEnd::arrivals() const {
    const std::lock_guard lock(mutex_);
    return arrivals_;
}

bool PtyFarEnd::waitForCommands(std::size_t count, std::chrono::milliseconds timeout) const {
    const auto deadline = Clock::now() + timeout;
    while (count_ < count) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return true;
}

void PtyFarEnd::run() {
    CommandDecoder decoder;
    std::vector<std::uint8_t> replies;
    const std::vector<std::uint8_t> flood(4096, 0x55);
    std::uint8_t buffer[4096];
    while (!stop_) {
        const bool wantWrite = !replies.empty() || flooding_;
        pollfd fd{master_, static_cast<short>((reading_ ? POLLIN : 0) | (wantWrite ? POLLOUT : 0)),
                  0};
        if (::poll(&fd, 1, 5) <= 0) {
            continue;
        }
        if ((fd.revents & POLLIN) != 0) {
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            const auto now = Clock::now();
            for (ssize_t i = 0; i < n; ++i) {
                const auto command = decoder.feed(buffer[i]);
                if (!command) {
                    continue;
                }
                {
                    const std::lock_guard lock(mutex_);
                    arrivals_.push_back({*command, now});
                }
                ++count_;
                if (echoing_) {
                    replies.push_back(command->channel);
                    replies.push_back(command->position);
                }
            }
        }
        if ((fd.revents & POLLOUT) != 0 && !replies.empty()) {
            const ssize_t n = ::write(master_, replies.data(), replies.size());
            if (n > 0) {
                replies.erase(replies.begin(), replies.begin() + n);
            }
        }
        if ((fd.revents & POLLOUT) != 0 && flooding_) {
            const ssize_t n = ::write(master_, flood.data(), flood.size());
            if (n > 0) {
                flooded_ += static_cast<std::uint64_t>(n);
            }
        }
    }
}

}  // namespace tolvane::bench
