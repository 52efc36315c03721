// A board that comes and goes: how long after its device appears the waiting panel has the port
// open, and how often the event loop wakes up while the panel waits for a device.
#include <benchmark/benchmark.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

#include "bench_support.h"
#include "link/serial_port_link.h"
#include "panel/panel.h"

#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using tolvane::bench::Clock;
using tolvane::bench::msSince;

// COM1 as the system would choose it, over `adapters` (the real /dev/serial/by-id or a stand-in),
// `named` standing for TOLVANE_COM1; the default device is a path where nothing is, so that no
// real serial port of the machine is ever opened.
tolvane::PortLookup lookupFor(const QString& adapters, const QString& named,
                              const QString& nothing) {
    return {[=](int port) {
                tolvane::PortDevice device = tolvane::choosePortDevice(
                    port, port == 1 ? named : QString(),
                    {tolvane::PortSystem::Linux, tolvane::adaptersInFolder(adapters)});
                if (device.noAdapterFound) {
                    device.path = nothing;
                }
                return device;
            },
            adapters};
}

// Serves events until `done` or 5 s; a timer wakes the loop now and then to look.
template <typename Done>
bool serveUntil(Done done) {
    QTimer look;
    look.start(20ms);
    const auto end = Clock::now() + 5s;
    while (!done() && Clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return done();
}

// A pseudo-terminal that a link in a folder points to, as udev's link points to an adapter.
struct PluggedTerminal {
    explicit PluggedTerminal(const QString& linkPath) : path(linkPath) {
        if (tolvane::bench::openRawPty(master, slave)) {
            QDir().mkpath(QFileInfo(path).path());
            ok = ::symlink(ttyname(slave), QFile::encodeName(path).constData()) == 0;
        }
    }
    // Pulled out: the terminal hangs up and its link goes.
    ~PluggedTerminal() {
        ::unlink(QFile::encodeName(path).constData());
        ::close(master);
        ::close(slave);
    }
    PluggedTerminal(const PluggedTerminal&) = delete;
    PluggedTerminal& operator=(const PluggedTerminal&) = delete;

    QString path;
    int master = -1;
    int slave = -1;
    bool ok = false;
};

// From the device appearing to the port being open, over 20 plug-ins: the first after a failed
// start-up, the others after the device was lost. Range 0: COM1 named in a folder that stays;
// range 1: the first adapter, whose folders are made with it and removed with it, as udev does.
void appearToOpen(benchmark::State& state) {
    const bool adapterFolder = state.range(0) == 1;
    QTemporaryDir dir;
    const QString adapters = dir.filePath(QStringLiteral("serial/by-id"));
    const QString devicePath =
        adapterFolder ? adapters + QStringLiteral("/usb-Board") : dir.filePath("board");
    const tolvane::PortLookup lookup = lookupFor(adapters, adapterFolder ? QString() : devicePath,
                                                 dir.filePath(QStringLiteral("none")));
    tolvane::SerialPortLink link(lookup);
    tolvane::bench::SilentMessages messages;
    tolvane::Panel panel(link, messages, lookup);
    panel.load();
    double sum = 0;
    double worst = 0;
    int opened = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        auto terminal = std::make_unique<PluggedTerminal>(devicePath);
        const bool open = terminal->ok && serveUntil([&] { return link.isOpen(); });
        const double ms = msSince(start);
        state.SetIterationTime(ms / 1000.0);
        sum += ms;
        worst = std::max(worst, ms);
        opened += open ? 1 : 0;
        terminal.reset();
        if (adapterFolder) {
            QDir(dir.filePath(QStringLiteral("serial"))).removeRecursively();
        }
        serveUntil([&] { return !link.isOpen(); });
        QEventLoop settle;  // the loss is taken in, and the watch set up again

        QTimer::singleShot(50ms, &settle, &QEventLoop::quit);
        settle.exec();
    }
    state.counters["open_ms_mean"] = sum / static_cast<double>(state.iterations());
    state.counters["open_ms_worst"] = worst;
    state.counters["opened"] = opened;
}

// The panel waiting for its device, over 10 s: event-loop wake-ups and whether the port stayed
// closed. Range 0: the first adapter in the system's own /dev/serial/by-id (none is plugged in
// here, so /dev itself is watched); range 1: COM1 named in a temporary folder; range 2: no panel
// at all, for comparison (2 wake-ups are the counting loop's own start and end).
void idleWakeUpsWhileWaiting(benchmark::State& state) {
    for (auto _ : state) {
        QTemporaryDir dir;
        std::unique_ptr<tolvane::SerialPortLink> link;
        tolvane::bench::SilentMessages messages;
        std::unique_ptr<tolvane::Panel> panel;
        if (state.range(0) < 2) {
            const QString none = dir.filePath(QStringLiteral("none"));
            const tolvane::PortLookup lookup =
                state.range(0) == 0
                    ? lookupFor(QString(tolvane::kAdapterFolder), QString(), none)
                    : lookupFor(dir.filePath(QStringLiteral("serial/by-id")), none, none);
            link = std::make_unique<tolvane::SerialPortLink>(lookup);
            panel = std::make_unique<tolvane::Panel>(*link, messages, lookup);
            panel->load();
            QCoreApplication::processEvents();  // the start-up message
        }
        int wakeUps = 0;
        const auto counter = QObject::connect(QAbstractEventDispatcher::instance(),
                                              &QAbstractEventDispatcher::awake, [&] { ++wakeUps; });
        const auto start = Clock::now();
        QEventLoop loop;
        QTimer::singleShot(10s, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
        const double seconds = msSince(start) / 1000.0;
        QObject::disconnect(counter);
        state.SetIterationTime(seconds);
        state.counters["wakeups"] = wakeUps;
        state.counters["wakeups_per_s"] = wakeUps / seconds;
        state.counters["port_open"] = link && link->isOpen() ? 1 : 0;
    }
}

}  // namespace

BENCHMARK(appearToOpen)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(idleWakeUpsWhileWaiting)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
