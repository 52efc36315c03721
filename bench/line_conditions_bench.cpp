// The panel on a line that behaves like a real one for hours: an echoing board answering every
// command, a far end that stops reading while commands pile up, a board that floods the panel with
// bytes, and a long playback. Each runs a whole panel on a pseudo-terminal and prints what matters
// to a user: commands lost or out of order, messages shown, resident memory and processor share.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include "bench_support.h"
#include "link/serial_port_link.h"
#include "panel/main_window.h"
#include "panel/panel.h"
#include "pty_far_end.h"

namespace {

using namespace std::chrono_literals;
using tolvane::bench::AnsweringMessages;
using tolvane::bench::Clock;
using tolvane::bench::PtyFarEnd;
using tolvane::bench::runEventsFor;

constexpr std::size_t kStartUpCommands = 16;
constexpr double kKiBPerMiB = 1024.0;

// A started panel on the far end's terminal, its start-up commands received.
struct PanelOnTerminal {
    explicit PanelOnTerminal(PtyFarEnd& farEnd) : panel(link, messages) {
        panel.load();
        started = farEnd.waitForCommands(kStartUpCommands, 5s);
        runEventsFor(200ms);
    }
    QScrollBar* slider(int channel) const { return panel.window().channelSlider(channel); }

    tolvane::SerialPortLink link;
    AnsweringMessages messages;
    tolvane::Panel panel;
    bool started = false;
};

bool skippedUnlessStarted(benchmark::State& state, const PanelOnTerminal& panel) {
    if (!panel.started) {
        state.SkipWithError("start-up commands did not arrive");
    }
    return !panel.started;
}

// Alternating between two neighbours changes the slider, and so sends a command, every time.
int alternate(std::size_t i) {
    return i % 2 == 0 ? 100 : 101;
}

// Commands after start-up that did not arrive as sent: missing, changed or out of order.
double commandsAmiss(const PtyFarEnd& farEnd, int channel, std::size_t sent) {
    const auto arrivals = farEnd.arrivals();
    std::size_t amiss = 0;
    for (std::size_t i = 0; i < sent; ++i) {
        const std::size_t at = kStartUpCommands + i;
        const tolvane::PositionCommand expected{static_cast<std::uint8_t>(channel),
                                                static_cast<std::uint8_t>(alternate(i))};
        if (at >= arrivals.size() || !(arrivals[at].command == expected)) {
            ++amiss;
        }
    }
    return static_cast<double>(amiss);
}

// Every command is echoed by the board while the panel sits idle between moves, as in hours of
// manual work: the replies are never read by a playback.
void echoedCommandsMemory(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        PtyFarEnd farEnd;
        farEnd.setEchoing(true);
        PanelOnTerminal panel(farEnd);
        if (skippedUnlessStarted(state, panel)) {
            return;
        }
        const long before = tolvane::bench::residentKiB();
        for (std::size_t i = 0; i < count; ++i) {
            panel.slider(3)->setValue(alternate(i));
            farEnd.waitForCommands(kStartUpCommands + i + 1, 2s);
            // One turn of the event loop per reply, as when the user moves at the line's pace.
            QCoreApplication::processEvents();
        }
        runEventsFor(300ms);
        const long after = tolvane::bench::residentKiB();
        state.counters["rss_before_MiB"] = static_cast<double>(before) / kKiBPerMiB;
        state.counters["rss_after_MiB"] = static_cast<double>(after) / kKiBPerMiB;
        state.counters["growth_MiB"] = static_cast<double>(after - before) / kKiBPerMiB;
        state.counters["amiss"] = commandsAmiss(farEnd, 3, count);
        state.counters["messages"] = static_cast<double>(panel.messages.texts.size());
    }
}

// The far end stops reading, as a 2400-baud line falls behind a fast drag; the panel goes on
// sending with its event loop turning, then the far end reads again.
void stalledLine(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        PtyFarEnd farEnd;
        PanelOnTerminal panel(farEnd);
        if (skippedUnlessStarted(state, panel)) {
            return;
        }
        const long before = tolvane::bench::residentKiB();
        long peak = before;
        farEnd.setReading(false);
        for (std::size_t i = 0; i < count; ++i) {
            panel.slider(3)->setValue(alternate(i));
            if (i % 100 == 99) {
                QCoreApplication::processEvents();
                peak = std::max(peak, tolvane::bench::residentKiB());
            }
        }
        farEnd.setReading(true);
        const auto resumed = Clock::now();
        const auto deadline = resumed + 60s;
        while (farEnd.commandCount() < kStartUpCommands + count && Clock::now() < deadline) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            peak = std::max(peak, tolvane::bench::residentKiB());
        }
        const std::chrono::duration<double> drain = Clock::now() - resumed;
        state.counters["amiss"] = commandsAmiss(farEnd, 3, count);
        state.counters["messages"] = static_cast<double>(panel.messages.texts.size());
        state.counters["port_open"] = panel.link.isOpen() ? 1 : 0;
        state.counters["peak_growth_MiB"] = static_cast<double>(peak - before) / kKiBPerMiB;
        state.counters["drain_s"] = drain.count();
        if (!panel.messages.texts.empty()) {
            std::printf("stalledLine: message shown: %s\n",
                        qPrintable(panel.messages.texts.front()));
        }
    }
}

// A board that sends bytes nonstop while the panel sits idle; once a second a slider moves and the
// far end notes how long its command took to arrive.
void floodingBoard(benchmark::State& state) {
    const std::chrono::seconds length(state.range(0));
    constexpr long kGiveUpKiB = 1024 * 1024;  // stop a runaway before it starves the machine
    for (auto _ : state) {
        PtyFarEnd farEnd;
        PanelOnTerminal panel(farEnd);
        if (skippedUnlessStarted(state, panel)) {
            return;
        }
        farEnd.setFlooding(true);
        runEventsFor(1s);  // let the flood reach its pace before measuring
        const long before = tolvane::bench::residentKiB();
        long peak = before;
        const std::uint64_t floodedBefore = farEnd.floodedBytes();
        const double cpuBefore = tolvane::bench::threadCpuSeconds();
        const auto start = Clock::now();

        std::vector<Clock::time_point> sentAt;
        QTimer mover;
        QObject::connect(&mover, &QTimer::timeout, [&] {
            sentAt.push_back(Clock::now());
            panel.slider(3)->setValue(alternate(sentAt.size() - 1));
        });
        mover.start(1000);
        // The panel idles in its event loop, as it does in the program; memory is sampled on the
        // side.
        QEventLoop idle;
        bool gaveUp = false;
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            const long now = tolvane::bench::residentKiB();
            peak = std::max(peak, now);
            if (now - before > kGiveUpKiB) {
                gaveUp = true;
                idle.quit();
            }
        });
        sampler.start(100);
        QTimer::singleShot(length, &idle, &QEventLoop::quit);
        idle.exec();
        mover.stop();
        const double cpu = tolvane::bench::threadCpuSeconds() - cpuBefore;
        const std::chrono::duration<double> wall = Clock::now() - start;
        const std::uint64_t flooded = farEnd.floodedBytes() - floodedBefore;
        farEnd.setFlooding(false);
        farEnd.waitForCommands(kStartUpCommands + sentAt.size(), 2s);
        const long after = tolvane::bench::residentKiB();

        const auto arrivals = farEnd.arrivals();
        double worstMs = 0;
        double totalMs = 0;
        std::size_t arrived = 0;
        for (std::size_t i = 0; i < sentAt.size(); ++i) {
            if (kStartUpCommands + i >= arrivals.size()) {
                break;
            }
            const std::chrono::duration<double, std::milli> delay =
                arrivals[kStartUpCommands + i].at - sentAt[i];
            worstMs = std::max(worstMs, delay.count());
            totalMs += delay.count();
            ++arrived;
        }
        state.counters["gave_up"] = gaveUp ? 1 : 0;
        state.counters["flood_MiB_per_s"] =
            static_cast<double>(flooded) / (1024.0 * 1024.0) / wall.count();
        state.counters["cpu_percent"] = 100.0 * cpu / wall.count();
        state.counters["rss_growth_MiB"] = static_cast<double>(after - before) / kKiBPerMiB;
        state.counters["peak_growth_MiB"] = static_cast<double>(peak - before) / kKiBPerMiB;
        state.counters["moves"] = static_cast<double>(sentAt.size());
        state.counters["moves_arrived"] = static_cast<double>(arrived);
        state.counters["move_delay_ms_mean"] = arrived > 0 ? totalMs / arrived : -1;
        state.counters["move_delay_ms_worst"] = worstMs;
        state.counters["messages"] = static_cast<double>(panel.messages.texts.size());
    }
}

// A thousand recorded steps played at delay 0 on a board that echoes at once; every box with a
// try count is answered at once by the message sink.
void longPlayback(benchmark::State& state) {
    const auto steps = static_cast<int>(state.range(0));
    for (auto _ : state) {
        PtyFarEnd farEnd;
        farEnd.setEchoing(true);
        PanelOnTerminal panel(farEnd);
        if (skippedUnlessStarted(state, panel)) {
            return;
        }
        tolvane::MainWindow& window = panel.panel.window();
        for (int step = 0; step < steps; ++step) {
            panel.slider(step % tolvane::kChannelCount)->setValue(1 + step % 254);
            window.saveButton()->click();
        }
        window.delaySlider()->setValue(1);
        window.delaySlider()->setValue(0);
        runEventsFor(200ms);
        panel.messages.texts.clear();

        const long before = tolvane::bench::residentKiB();
        const auto start = Clock::now();
        window.playbackButton()->click();
        const std::chrono::duration<double, std::milli> elapsed = Clock::now() - start;
        const long after = tolvane::bench::residentKiB();

        std::size_t tryBoxes = 0;
        long tries = 0;
        for (const QString& text : panel.messages.texts) {
            bool isCount = false;
            tries += text.toInt(&isCount);
            tryBoxes += isCount ? 1 : 0;
        }
        state.counters["tries_per_channel"] =
            static_cast<double>(tries) / static_cast<double>(std::max<std::size_t>(tryBoxes, 1));
        state.counters["steps_played"] =
            static_cast<double>(tryBoxes) / static_cast<double>(tolvane::kChannelCount);
        state.counters["other_messages"] =
            static_cast<double>(panel.messages.texts.size() - tryBoxes);
        state.counters["ms_per_step"] = elapsed.count() / steps;
        state.counters["rss_before_MiB"] = static_cast<double>(before) / kKiBPerMiB;
        state.counters["rss_after_MiB"] = static_cast<double>(after) / kKiBPerMiB;
        state.counters["step_field_after"] = window.stepText()->text().toDouble();
    }
}

BENCHMARK(echoedCommandsMemory)->Arg(100000)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(stalledLine)->Arg(100000)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(floodingBoard)->Arg(30)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(longPlayback)->Arg(1000)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
