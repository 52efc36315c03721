// How long a played step's hold really lasts and what it costs. The hold runs the window's events
// and sleeps in between; it should end within a few milliseconds of its time and use next to no
// processor meanwhile.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <ctime>

#include "bench_support.h"
#include "link/serial_port_link.h"
#include "panel/main_window.h"
#include "panel/panel.h"
#include "panel/window_sequence_view.h"

namespace {

using Clock = std::chrono::steady_clock;

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void hold(benchmark::State& state) {
    const std::chrono::milliseconds length(state.range(0));
    tolvane::SerialPortLink link;
    tolvane::bench::SilentMessages messages;
    tolvane::Panel panel(link, messages);
    panel.window().show();
    tolvane::WindowSequenceView view(panel.window(), messages, panel);
    // Something for the hold to do: a timer ticking as a busy window would.
    QTimer ticker;
    ticker.start(50);

    double lateTotalMs = 0;
    double lateWorstMs = 0;
    double cpuTotal = 0;
    double wallTotal = 0;
    for (auto _ : state) {
        const double cpuBefore = processCpuSeconds();
        const auto before = Clock::now();
        view.hold(length);
        const std::chrono::duration<double> wall = Clock::now() - before;
        const double cpu = processCpuSeconds() - cpuBefore;
        state.SetIterationTime(wall.count());
        const double lateMs = wall.count() * 1000.0 - static_cast<double>(length.count());
        lateTotalMs += lateMs;
        lateWorstMs = std::max(lateWorstMs, lateMs);
        cpuTotal += cpu;
        wallTotal += wall.count();
    }
    const auto runs = static_cast<double>(state.iterations());
    state.counters["late_ms_mean"] = lateTotalMs / runs;
    state.counters["late_ms_worst"] = lateWorstMs;
    state.counters["cpu_percent"] = 100.0 * cpuTotal / wallTotal;
}

BENCHMARK(hold)->Arg(1000)->Arg(3000)->Iterations(3)->UseManualTime()->Unit(
    benchmark::kMillisecond);

}  // namespace
