// The far end of a pseudo-terminal for benchmarks, played by a thread of the benchmark (never the
// panel's): it decodes the commands the panel sends and notes when each arrived. It can answer each
// command with its echo, stop reading as a slow line does, or flood the panel with bytes.
#pragma once

#include <QString>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "protocol/servo_protocol.h"

namespace tolvane::bench {

class PtyFarEnd {
  public:
    using Clock = std::chrono::steady_clock;
    struct Arrival {
        PositionCommand command;
        Clock::time_point at;
    };

    // Opens the terminal and points COM1 at its near end.
    PtyFarEnd();
    ~PtyFarEnd();
    PtyFarEnd(const PtyFarEnd&) = delete;
    PtyFarEnd& operator=(const PtyFarEnd&) = delete;

    bool ok() const { return master_ >= 0; }
    const QString& device() const { return device_; }

    void setEchoing(bool on) { echoing_ = on; }
    // A far end that stops reading lets the terminal's buffer fill, as a slow line does.
    void setReading(bool on) { reading_ = on; }
    // Sends bytes nonstop, as fast as the terminal takes them.
    void setFlooding(bool on) { flooding_ = on; }

    std::size_t commandCount() const { return count_; }
    std::vector<Arrival> arrivals() const;
    std::uint64_t floodedBytes() const { return flooded_; }
    // Waits, without running the panel's events, until `count` commands have arrived.
    bool waitForCommands(std::size_t count, std::chrono::milliseconds timeout) const;

  private:
    static constexpr std::size_t kArrivalRoom = 250'000;

    void run();

    int master_ = -1;
    int slave_ = -1;
    QString device_;
    std::atomic<bool> echoing_{false};
    std::atomic<bool> reading_{true};
    std::atomic<bool> flooding_{false};
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> count_{0};
    std::atomic<std::uint64_t> flooded_{0};
    mutable std::mutex mutex_;
    std::vector<Arrival> arrivals_;
    std::thread thread_;
};

}  // namespace tolvane::bench
