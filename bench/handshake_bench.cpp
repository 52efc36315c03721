// One channel's echo handshake with the simulated board on a pseudo-terminal: the time from the
// first byte of the command to the echo read back, and the tries it took. The board answers at
// once, or after a delay standing in for the line time of a real 2400 baud link.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <chrono>

#include "board_process.h"
#include "link/serial_port_link.h"
#include "sequence/echo_handshake.h"

namespace {

using tolvane::test_support::BoardProcess;

void handshakePerChannel(benchmark::State& state) {
    const std::chrono::milliseconds boardDelay(state.range(0));
    BoardProcess board(TOLVANE_BOARD_PATH, {tolvane::board::ReplyMode::Echo, boardDelay, ""});
    qputenv("TOLVANE_COM1", QByteArray::fromStdString(board.device()));
    tolvane::SerialPortLink link;
    if (tolvane::openServoPort(link, 1)) {
        state.SkipWithError("the board's terminal would not open");
        return;
    }
    QByteArray rxBuffer;
    tolvane::EchoHandshake handshake(link, rxBuffer);
    tolvane::EchoState echo;
    std::uint8_t channel = 0;
    double tries = 0;
    double failures = 0;
    for (auto _ : state) {
        const auto made = handshake.run({channel, 127}, echo);
        tries += made.value_or(tolvane::EchoHandshake::kTryLimit);
        failures += made ? 0 : 1;
        channel = static_cast<std::uint8_t>((channel + 1) % tolvane::kChannelCount);
        if (channel == 0) {
            // The board reports every command it takes; keep its output pipe from filling up.
            state.PauseTiming();
            board.commands();
            board.clearCommands();
            state.ResumeTiming();
        }
    }
    const auto runs = static_cast<double>(state.iterations());
    state.counters["tries_per_channel"] = tries / runs;
    state.counters["failures"] = failures;
    qunsetenv("TOLVANE_COM1");
}

BENCHMARK(handshakePerChannel)->Arg(0)->Arg(21)->Iterations(400)->Unit(benchmark::kMillisecond);

}  // namespace
