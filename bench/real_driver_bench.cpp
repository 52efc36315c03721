// The panel under a double of a USB adapter's driver (tests/support): how long Exit and a port
// change take after a fast drag has left a long backlog, and how often the event loop wakes up
// while the panel sits idle with the port open.
#include <benchmark/benchmark.h>

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

#include "bench_support.h"
#include "link/serial_port_link.h"
#include "panel/main_window.h"
#include "panel/panel.h"
#include "usb_adapter_driver.h"

#include <unistd.h>

#include <ctime>
#include <optional>

namespace {

using namespace std::chrono_literals;
using tolvane::bench::AnsweringMessages;
using tolvane::bench::Clock;
using tolvane::bench::msSince;
using tolvane::test_support::UsbAdapterDriver;

constexpr int kDragMoves = 2000;

// An event loop that wakes only for what the panel has to do, so that its wake-ups can be
// counted.
void runLoopFor(std::chrono::milliseconds length) {
    QEventLoop loop;
    QTimer::singleShot(length, &loop, &QEventLoop::quit);
    loop.exec();
}

// A started panel over the driver double.
struct PanelOnAdapter {
    explicit PanelOnAdapter(bool systemDriver = false)
        : link(systemDriver ? std::make_unique<tolvane::SerialPortLink>()
                            : std::make_unique<tolvane::SerialPortLink>(driver)),
          panel(*link, messages) {
        panel.load();
    }
    // A key drag of `moves` steps, far faster than 80 commands a second; the event loop turns
    // every 100 moves, as it does between key repeats.
    void drag(int moves) {
        for (int i = 0; i < moves; ++i) {
            panel.window().channelSlider(4)->setValue(i % 2 == 0 ? 30 : 31);
            if (i % 100 == 0) {
                QCoreApplication::processEvents();
            }
        }
    }

    UsbAdapterDriver driver;
    std::unique_ptr<tolvane::SerialPortLink> link;
    AnsweringMessages messages;
    tolvane::Panel panel;
};

// Mean and worst of a figure over the iterations.
struct Figure {
    double sum = 0;
    double worst = 0;
    void add(double value) {
        sum += value;
        worst = std::max(worst, value);
    }
    void report(benchmark::State& state, const std::string& name) const {
        state.counters[name + "_mean"] = sum / static_cast<double>(state.iterations());
        state.counters[name + "_worst"] = worst;
    }
};

// Exit after the drag: from the click to the program's end (the port closed, finished raised).
void exitAfterDrag(benchmark::State& state) {
    Figure exitMs;
    Figure queued;
    Figure sent;  // of the 48 + 6,000 bytes sent
    int ended = 0;
    for (auto _ : state) {
        PanelOnAdapter adapter;
        adapter.drag(kDragMoves);
        QObject::connect(&adapter.panel, &tolvane::Panel::finished, [&] { ++ended; });
        queued.add(adapter.driver.queued());
        const auto start = Clock::now();
        adapter.panel.exitProgram();
        const double ms = msSince(start);
        state.SetIterationTime(ms / 1000.0);
        exitMs.add(ms);
        sent.add(static_cast<double>(adapter.driver.sent().size()));
    }
    exitMs.report(state, "exit_ms");
    queued.report(state, "queued_at_exit_bytes");
    sent.report(state, "bytes_on_the_line");
    state.counters["ended"] = ended;
}

// COM1 chosen again after the drag: from the click to the port open again.
void portChangeAfterDrag(benchmark::State& state) {
    Figure reopenMs;
    int openAfter = 0;
    for (auto _ : state) {
        PanelOnAdapter adapter;
        adapter.drag(kDragMoves);
        const auto start = Clock::now();
        adapter.panel.window().com1Action()->trigger();
        const double ms = msSince(start);
        state.SetIterationTime(ms / 1000.0);
        reopenMs.add(ms);
        openAfter += adapter.link->isOpen() && adapter.messages.texts.empty() ? 1 : 0;
    }
    reopenMs.report(state, "reopen_ms");
    state.counters["open_after"] = openAfter;
}

long voluntarySwitches() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("voluntary_ctxt_switches:")) {
            return line.mid(line.indexOf(':') + 1).trimmed().toLong();
        }
    }
    return -1;
}

struct Idle {
    int wakeUps = 0;
    long switches = 0;
    double seconds = 0;
};

// Runs the event loop for `length` and counts its wake-ups and the process's voluntary context
// switches. Two wake-ups are the loop's own: its start and the timer that ends it.
Idle watchIdle(std::chrono::milliseconds length = 10s) {
    Idle idle;
    const auto counter =
        QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake,
                         [&] { ++idle.wakeUps; });
    const long switchesBefore = voluntarySwitches();
    const auto start = Clock::now();
    runLoopFor(length);
    idle.seconds = msSince(start) / 1000.0;
    idle.switches = voluntarySwitches() - switchesBefore;
    QObject::disconnect(counter);
    return idle;
}

// The idle panel with its port open, after its start-up bytes have left (range 0: on the
// system's own driver, a pseudo-terminal; 1: on the driver double), and for comparison no panel
// at all (2). Wake-ups and context switches counted over 10 s.
void idleWakeUps(benchmark::State& state) {
    for (auto _ : state) {
        std::unique_ptr<PanelOnAdapter> adapter;
        if (state.range(0) < 2) {
            adapter = std::make_unique<PanelOnAdapter>(state.range(0) == 0);
            runLoopFor(1s);  // the 48 start-up bytes take 200 ms of the line
        }
        const Idle idle = watchIdle();
        state.SetIterationTime(idle.seconds);
        state.counters["wakeups"] = idle.wakeUps;
        state.counters["ctx_switches"] = static_cast<double>(idle.switches);
        state.counters["port_open"] = adapter && adapter->link->isOpen() ? 1 : 0;
    }
}

// The idle panel, its port open on a pseudo-terminal, unplugged (the far end closes, as a USB
// adapter pulled out hangs up its terminal): the time until the loss is reported, and the
// wake-ups and processor time of the 2 s after it (range 1: with its input full first).
void idleUnplug(benchmark::State& state) {
    Figure reportedAfter;
    Figure wakeUpsAfter;
    Figure cpuAfter;
    int messagesShown = 0;
    for (auto _ : state) {
        int master = -1;
        int slave = -1;
        if (!tolvane::bench::openRawPty(master, slave)) {
            state.SkipWithError("no pseudo-terminal");
            return;
        }
        qputenv("TOLVANE_COM1", ttyname(slave));
        tolvane::SerialPortLink link;
        AnsweringMessages messages;
        tolvane::Panel panel(link, messages);
        panel.load();
        // Far more than our input buffer and Qt's hold together, a little at a time.
        const QByteArray chunk(1000, '\x01');
        for (int sent = 0; state.range(0) == 1 && sent < 12000; sent += chunk.size()) {
            [[maybe_unused]] const auto written = ::write(master, chunk.data(), chunk.size());
            runLoopFor(20ms);
        }
        runLoopFor(1s);
        std::optional<Clock::time_point> reported;
        const auto start = Clock::now();
        QObject::connect(&link, &tolvane::SerialLink::lost, [&] { reported = Clock::now(); });
        ::close(master);
        ::close(slave);
        QEventLoop loop;
        QTimer::singleShot(5s, &loop, &QEventLoop::quit);
        QObject::connect(&link, &tolvane::SerialLink::lost, &loop, &QEventLoop::quit,
                         Qt::QueuedConnection);
        loop.exec();
        const double reportedMs = reported ? msSince(start) - msSince(*reported) : -1;
        const std::clock_t cpuBefore = std::clock();
        const Idle idle = watchIdle(2s);
        const double cpuMs = 1000.0 * static_cast<double>(std::clock() - cpuBefore) /
                             static_cast<double>(CLOCKS_PER_SEC);
        qunsetenv("TOLVANE_COM1");
        state.SetIterationTime(reported ? reportedMs / 1000.0 : 5.0);
        reportedAfter.add(reportedMs);
        wakeUpsAfter.add(idle.wakeUps);
        cpuAfter.add(cpuMs);
        messagesShown += static_cast<int>(messages.texts.size());
    }
    reportedAfter.report(state, "reported_ms");
    wakeUpsAfter.report(state, "wakeups_2s_after");
    cpuAfter.report(state, "cpu_ms_2s_after");
    state.counters["messages"] = messagesShown;
}

// While a backlog drains, for comparison: the pacing that hands it on, over 2 s.
void wakeUpsWhileBacklogDrains(benchmark::State& state) {
    for (auto _ : state) {
        PanelOnAdapter adapter;
        adapter.drag(kDragMoves);
        int wakeUps = 0;
        const auto counter = QObject::connect(QAbstractEventDispatcher::instance(),
                                              &QAbstractEventDispatcher::awake, [&] { ++wakeUps; });
        const auto sentBefore = adapter.driver.sent().size();
        const auto start = Clock::now();
        runLoopFor(2s);
        const double seconds = msSince(start) / 1000.0;
        QObject::disconnect(counter);
        state.SetIterationTime(seconds);
        state.counters["wakeups_per_s"] = (wakeUps - 1) / seconds;
        state.counters["line_bytes_per_s"] =
            static_cast<double>(adapter.driver.sent().size() - sentBefore) / seconds;
    }
}

}  // namespace

BENCHMARK(exitAfterDrag)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(portChangeAfterDrag)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(idleWakeUps)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(idleUnplug)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(wakeUpsWhileBacklogDrains)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
