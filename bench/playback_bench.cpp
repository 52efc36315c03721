// Playback on a line like a real one: the simulated board at 2400 baud behind a USB adapter whose
// latency timer fires every 16 ms. For a board answering after 0, 10 and 25 ms: the tries each
// channel took and the time one step takes. For a silent board: the time from the click to
// "Communications problem encountered", the longest time the window left a request unanswered
// meanwhile, and the processor share of the window's thread.
//
// The requests stand in for the accessibility bus and the desktop's pings: a thread of the
// benchmark posts one to the window's thread every 2 ms and notes how long it waited to be run.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QPushButton>
#include <QScrollBar>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>

#include "bench_support.h"
#include "board_process.h"
#include "link/serial_port_link.h"
#include "panel/main_window.h"
#include "panel/panel.h"

namespace {

using namespace std::chrono_literals;
using tolvane::bench::AnsweringMessages;
using tolvane::bench::Clock;
using tolvane::bench::runEventsFor;
using tolvane::bench::threadCpuSeconds;
using Ms = std::chrono::duration<double, std::milli>;
using tolvane::test_support::BoardProcess;

constexpr std::chrono::milliseconds kAdapterLatency{16};
constexpr long kBaud = 2400;

// A started panel on the simulated board, with the start-up echoes read away and one step of
// eight centred channels recorded; every hold lasts 0 s.
struct PanelOnBoard {
    explicit PanelOnBoard(tolvane::board::BoardOptions options)
        : board(TOLVANE_BOARD_PATH, options) {
        qputenv("TOLVANE_COM1", QByteArray::fromStdString(board.device()));
        panel = std::make_unique<tolvane::Panel>(link, messages);
        panel->load();
        started = link.isOpen() && board.waitForCommands(16);
        runEventsFor(300ms);
        link.readWaiting();
        panel->window().saveButton()->click();
        panel->window().delaySlider()->setValue(1);
        panel->window().delaySlider()->setValue(0);
        qunsetenv("TOLVANE_COM1");
    }

    BoardProcess board;
    tolvane::SerialPortLink link;
    AnsweringMessages messages;
    std::unique_ptr<tolvane::Panel> panel;
    bool started = false;
};

// Made in the window's thread. Posts a request to that thread every 2 ms and keeps the longest wait
// of any request posted since the last reset.
class Prober {
  public:
    Prober() {
        thread_ = std::thread([this] {
            while (!stop_) {
                const Clock::time_point posted = Clock::now();
                QMetaObject::invokeMethod(
                    &receiver_,
                    [this, posted] {
                        const std::lock_guard lock(mutex_);
                        longest_ = std::max(longest_, Clock::now() - posted);
                    },
                    Qt::QueuedConnection);
                std::this_thread::sleep_for(2ms);
            }
        });
    }
    ~Prober() {
        stop_ = true;
        thread_.join();
    }
    Prober(const Prober&) = delete;
    Prober& operator=(const Prober&) = delete;

    void reset() {
        const std::lock_guard lock(mutex_);
        longest_ = {};
    }
    Clock::duration longest() {
        const std::lock_guard lock(mutex_);
        return longest_;
    }

  private:
    QObject receiver_;  // in the window's thread; requests still queued go with it
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    Clock::duration longest_{};
};

void playOneStep(benchmark::State& state) {
    const std::chrono::milliseconds boardDelay(state.range(0));
    PanelOnBoard setup(
        {tolvane::board::ReplyMode::Echo, boardDelay, "", kBaud, false, kAdapterLatency});
    if (!setup.started) {
        state.SkipWithError("the board did not receive the start-up commands");
        return;
    }
    double tries = 0;
    int most = 0;
    for (auto _ : state) {
        setup.messages.texts.clear();
        setup.panel->window().playbackButton()->click();
        state.PauseTiming();
        for (const QString& text : setup.messages.texts) {
            tries += text.toInt();
            most = std::max(most, text.toInt());
        }
        // A late echo of this step must not be read by the next one.
        runEventsFor(200ms);
        setup.link.readWaiting();
        state.ResumeTiming();
    }
    state.counters["tries_per_channel"] =
        tries / (static_cast<double>(state.iterations()) * tolvane::kChannelCount);
    state.counters["most_tries"] = most;
}

void silentBoard(benchmark::State& state) {
    PanelOnBoard setup({tolvane::board::ReplyMode::None, 0ms, "", kBaud, false, kAdapterLatency});
    if (!setup.started) {
        state.SkipWithError("the board did not receive the start-up commands");
        return;
    }
    // The requests wake the window's thread 500 times a second: its processor share is measured
    // without them too.
    std::optional<Prober> prober;
    if (state.range(0) != 0) {
        prober.emplace();
    }
    Clock::duration longest{};
    double toFailure = 0;
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        runEventsFor(50ms);
        if (prober) {
            prober->reset();
        }
        const Clock::time_point clicked = Clock::now();
        const double cpuBefore = threadCpuSeconds();
        setup.panel->window().playbackButton()->click();
        cpu += threadCpuSeconds() - cpuBefore;
        wall += std::chrono::duration<double>(Clock::now() - clicked).count();
        toFailure = std::max(toFailure, Ms(setup.messages.lastShown - clicked).count());
        runEventsFor(50ms);
        if (prober) {
            longest = std::max(longest, prober->longest());
        }
    }
    state.counters["longest_to_failure_ms"] = toFailure;
    if (prober) {
        state.counters["longest_unanswered_ms"] = Ms(longest).count();
    }
    state.counters["cpu_percent"] = 100.0 * cpu / wall;
}

BENCHMARK(playOneStep)
    ->ArgName("board_delay_ms")
    ->Arg(0)
    ->Arg(10)
    ->Arg(25)
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(silentBoard)
    ->ArgName("probing")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

}  // namespace
