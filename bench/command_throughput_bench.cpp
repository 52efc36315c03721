// How fast slider changes become position commands handed to the operating system, measured
// through the real change handling into a pseudo-terminal. A reader on the far end checks that
// every command arrives, in order. The line itself carries 80 commands a second at 2400 baud, so
// anything far above that keeps the panel from ever being the bottleneck.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <unistd.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QScrollBar>
#include <atomic>
#include <thread>

#include "bench_support.h"
#include "link/serial_port_link.h"
#include "panel/main_window.h"
#include "panel/panel.h"
#include "protocol/servo_protocol.h"

namespace {

// Drains the far end of the terminal on its own thread (the benchmark's, not the panel's) and
// checks the commands against the expected sequence as they come.
class FarEndReader {
  public:
    FarEndReader(int master, std::vector<tolvane::PositionCommand> expected)
        : master_(master), expected_(std::move(expected)), thread_([this] { run(); }) {}
    ~FarEndReader() {
        stop_ = true;
        thread_.join();
    }
    FarEndReader(const FarEndReader&) = delete;
    FarEndReader& operator=(const FarEndReader&) = delete;

    std::size_t matched() const { return matched_; }
    bool faulty() const { return faulty_; }

  private:
    void run() {
        tolvane::CommandDecoder decoder;
        std::uint8_t buffer[4096];
        while (!stop_ && matched_ < expected_.size()) {
            pollfd fd{master_, POLLIN, 0};
            if (::poll(&fd, 1, 20) <= 0) {
                continue;
            }
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            for (ssize_t i = 0; i < n; ++i) {
                if (const auto command = decoder.feed(buffer[i])) {
                    if (matched_ >= expected_.size() || !(*command == expected_[matched_])) {
                        faulty_ = true;
                    }
                    ++matched_;
                }
            }
        }
    }

    int master_;
    std::vector<tolvane::PositionCommand> expected_;
    std::atomic<std::size_t> matched_{0};
    std::atomic<bool> faulty_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

void changeHandlingIntoTerminal(benchmark::State& state) {
    const int commandCount = static_cast<int>(state.range(0));
    int master = -1;
    int slave = -1;
    if (!tolvane::bench::openRawPty(master, slave)) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    qputenv("TOLVANE_COM1", ttyname(slave));

    double handedOver = 0;
    double lost = 0;
    for (auto _ : state) {
        state.PauseTiming();
        tolvane::SerialPortLink link;
        tolvane::bench::SilentMessages messages;
        tolvane::Panel panel(link, messages);
        panel.load();
        // Let the start-up commands reach the far end before the reader starts counting.
        std::vector<tolvane::PositionCommand> expected;
        char drain[256];
        for (pollfd fd{master, POLLIN, 0}; ::poll(&fd, 1, 50) > 0;) {
            if (::read(master, drain, sizeof drain) <= 0) {
                break;
            }
        }
        QScrollBar* slider = panel.window().channelSlider(3);
        std::vector<int> values;
        for (int i = 0; i < commandCount; ++i) {
            // Alternating between two neighbours changes the value every time.
            values.push_back(i % 2 == 0 ? 100 : 101);
            expected.push_back({3, static_cast<std::uint8_t>(values.back())});
        }
        FarEndReader reader(master, expected);
        state.ResumeTiming();

        for (const int value : values) {
            slider->setValue(value);
        }

        state.PauseTiming();
        // Anything the terminal could not take at once waits in Qt's buffer for the event loop.
        const QDeadlineTimer patience(5000);
        while (reader.matched() < expected.size() && !patience.hasExpired()) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        handedOver += static_cast<double>(commandCount);
        lost += static_cast<double>(expected.size() - std::min(reader.matched(), expected.size()));
        if (reader.faulty()) {
            state.SkipWithError("commands arrived changed or out of order");
        }
        state.ResumeTiming();
    }
    state.counters["commands_per_s"] = benchmark::Counter(handedOver, benchmark::Counter::kIsRate);
    // Both over every iteration: the lost count is out of all the commands sent.
    state.counters["sent"] = handedOver;
    state.counters["lost"] = lost;
    ::close(slave);
    ::close(master);
}

BENCHMARK(changeHandlingIntoTerminal)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

}  // namespace
