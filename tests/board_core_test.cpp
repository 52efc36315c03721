// The simulated board's behaviour and its command line, without any terminal.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "adapter_latency.h"
#include "board_cli.h"
#include "board_core.h"
#include "line_pace.h"
#include "servo_model.h"

namespace tolvane::board {
namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

// One step of a scenario, at a time in milliseconds from the start.
struct Step {
    enum Kind { Receive, TakeReplies, NextDue } kind;
    int atMs;
    Bytes bytes;               // Receive: bytes read; TakeReplies: the reply bytes expected
    std::optional<int> dueMs;  // NextDue: when the next reply is expected to be due
};

Step rx(int atMs, Bytes bytes) {
    return {Step::Receive, atMs, std::move(bytes), {}};
}
Step tx(int atMs, Bytes bytes) {
    return {Step::TakeReplies, atMs, std::move(bytes), {}};
}
Step due(int atMs, std::optional<int> dueMs) {
    return {Step::NextDue, atMs, {}, dueMs};
}

struct CoreCase {
    const char* name;
    ReplyMode mode;
    int delayMs;
    std::vector<Step> steps;
    std::vector<PositionCommand> commands;  // every command decoded, in order
};

void PrintTo(const CoreCase& c, std::ostream* os) {
    *os << c.name;
}

class BoardCoreTest : public ::testing::TestWithParam<CoreCase> {};

TEST_P(BoardCoreTest, DecodesAndAnswers) {
    const CoreCase& c = GetParam();
    BoardCore core(c.mode, milliseconds(c.delayMs));
    const Clock::time_point start{};
    std::vector<PositionCommand> commands;
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
        const Step& step = c.steps[i];
        SCOPED_TRACE("step " + std::to_string(i) + " at " + std::to_string(step.atMs) + " ms");
        const Clock::time_point now = start + milliseconds(step.atMs);
        switch (step.kind) {
            case Step::Receive: {
                const auto decoded = core.receive(step.bytes, now);
                commands.insert(commands.end(), decoded.begin(), decoded.end());
                break;
            }
            case Step::TakeReplies:
                EXPECT_EQ(core.takeDueReplies(now), step.bytes);
                break;
            case Step::NextDue: {
                std::optional<Clock::time_point> expected;
                if (step.dueMs) {
                    expected = start + milliseconds(*step.dueMs);
                }
                EXPECT_EQ(core.nextDue(), expected);
                break;
            }
        }
    }
    EXPECT_EQ(commands, c.commands);
}

constexpr std::uint8_t S = kFrameStart;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Scenarios, BoardCoreTest, ::testing::Values(
    CoreCase{"OneCommand", ReplyMode::Echo, 0,
             {rx(0, {S, 2, 200}), tx(0, {2, 200}), due(0, std::nullopt)},
             {{2, 200}}},
    CoreCase{"SeveralInOneReadAnsweredInOrder", ReplyMode::Echo, 0,
             {rx(0, {S, 0, 0, S, 7, 254, S, 3, 127}), tx(0, {0, 0, 7, 254, 3, 127})},
             {{0, 0}, {7, 254}, {3, 127}}},
    CoreCase{"NoiseBeforeFrameStartIgnored", ReplyMode::Echo, 0,
             {rx(0, {1, 2, 3, S, 4, 5}), tx(0, {4, 5})},
             {{4, 5}}},
    CoreCase{"FrameCutShortByNewStart", ReplyMode::Echo, 0,
             {rx(0, {S, 3, S, 1, 10}), tx(0, {1, 10})},
             {{1, 10}}},
    CoreCase{"FrameStartInPositionPlaceRestarts", ReplyMode::Echo, 0,
             {rx(0, {S, 3, S, S, 6, 60}), tx(0, {6, 60})},
             {{6, 60}}},
    CoreCase{"SplitAcrossReads", ReplyMode::Echo, 0,
             {rx(0, {S}), tx(0, {}), rx(1, {6}), tx(1, {}), rx(2, {90, S, 1}), tx(2, {6, 90}),
              rx(3, {2}), tx(3, {1, 2})},
             {{6, 90}, {1, 2}}},
    CoreCase{"OneByteSendsChannelOnly", ReplyMode::ChannelOnly, 0,
             {rx(0, {S, 2, 200, S, 5, 9}), tx(0, {2, 5})},
             {{2, 200}, {5, 9}}},
    CoreCase{"NoReplyStillDecodes", ReplyMode::None, 0,
             {rx(0, {S, 2, 200}), due(0, std::nullopt), tx(1000, {})},
             {{2, 200}}},
    CoreCase{"DelayedReplyDueAtItsTime", ReplyMode::Echo, 50,
             {rx(10, {S, 2, 200}), tx(10, {}), due(10, 60), tx(59, {}), tx(60, {2, 200}),
              due(60, std::nullopt)},
             {{2, 200}}},
    CoreCase{"DelayDoesNotHoldBackLaterCommands", ReplyMode::Echo, 50,
             {rx(0, {S, 1, 11}), rx(20, {S, 2, 22}), due(20, 50), tx(50, {1, 11}), due(50, 70),
              tx(69, {}), tx(70, {2, 22})},
             {{1, 11}, {2, 22}}},
    CoreCase{"LateTakeCollectsEveryDueReply", ReplyMode::Echo, 10,
             {rx(0, {S, 1, 11}), rx(5, {S, 2, 22}), rx(30, {S, 3, 33}),
              tx(100, {1, 11, 2, 22, 3, 33})},
             {{1, 11}, {2, 22}, {3, 33}}},
    CoreCase{"DelayedOneByte", ReplyMode::ChannelOnly, 30,
             {rx(0, {S, 4, 44}), tx(29, {}), tx(30, {4})},
             {{4, 44}}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// ---- Command line and printed lines ----

struct ArgumentsCase {
    const char* name;
    std::vector<std::string> arguments;
    BoardOptions options;  // expected when understood
    bool help;
    bool error;
};

void PrintTo(const ArgumentsCase& c, std::ostream* os) {
    *os << c.name;
}

class BoardArgumentsTest : public ::testing::TestWithParam<ArgumentsCase> {};

TEST_P(BoardArgumentsTest, Parses) {
    const ArgumentsCase& c = GetParam();
    const ParsedArguments parsed = parseArguments(c.arguments);
    EXPECT_EQ(parsed.help, c.help);
    EXPECT_EQ(!parsed.error.empty(), c.error) << parsed.error;
    if (!c.error) {
        EXPECT_EQ(parsed.options, c.options);
        // What the test helper passes must be read back as the same board.
        EXPECT_EQ(parseArguments(toArguments(parsed.options)).options, parsed.options);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, BoardArgumentsTest, ::testing::Values(
    ArgumentsCase{"None", {}, {}, false, false},
    ArgumentsCase{"Help", {"--help"}, {}, true, false},
    ArgumentsCase{"NoReply", {"--no-reply"}, {ReplyMode::None, milliseconds(0), ""}, false, false},
    ArgumentsCase{"OneByteDelayLink", {"--one-byte", "--delay", "250", "--link", "/tmp/x/COM1"},
                  {ReplyMode::ChannelOnly, milliseconds(250), "/tmp/x/COM1"}, false, false},
    ArgumentsCase{"LongestDelay", {"--delay", "60000"},
                  {ReplyMode::Echo, milliseconds(60000), ""}, false, false},
    ArgumentsCase{"DelayTooLong", {"--delay", "60001"}, {}, false, true},
    ArgumentsCase{"DelayNegative", {"--delay", "-5"}, {}, false, true},
    ArgumentsCase{"DelayNotANumber", {"--delay", "12ms"}, {}, false, true},
    ArgumentsCase{"LinkMissing", {"--link"}, {}, false, true},
    ArgumentsCase{"PacedWindow", {"--window", "--baud", "2400"},
                  {ReplyMode::Echo, milliseconds(0), "", 2400, true}, false, false},
    ArgumentsCase{"BaudTooLow", {"--baud", "49"}, {}, false, true},
    ArgumentsCase{"BaudTooHigh", {"--baud", "1000001"}, {}, false, true},
    ArgumentsCase{"BaudNotANumber", {"--baud", "fast"}, {}, false, true},
    ArgumentsCase{"BaudMissing", {"--baud"}, {}, false, true},
    ArgumentsCase{"AdapterOnAPacedLine", {"--baud", "2400", "--latency", "16", "--delay", "25"},
                  {ReplyMode::Echo, milliseconds(25), "", 2400, false, milliseconds(16)},
                  false, false},
    ArgumentsCase{"LatencyTooLong", {"--latency", "1001"}, {}, false, true},
    ArgumentsCase{"BothSilentAndOneByte", {"--no-reply", "--one-byte"}, {}, false, true},
    ArgumentsCase{"Unknown", {"--ports", "2"}, {}, false, true}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// The test helper learns everything from these lines, so a line it cannot read back is a lost
// command.
TEST(BoardLines, CommandLinesReadBackExactly) {
    for (const PositionCommand command : {PositionCommand{0, 0}, PositionCommand{2, 200},
                                          PositionCommand{7, 255}, PositionCommand{255, 127}}) {
        const std::string line = commandLine(command);
        EXPECT_EQ(parseCommandLine(line), command) << line;
    }
    EXPECT_EQ(commandLine({2, 200}), "command channel 2 position 200");
    EXPECT_EQ(parseDeviceLine(deviceLine("/dev/pts/5")), "/dev/pts/5");
}

// ---- The paced line ----

// At 2400 baud a byte lasts 10/2400 s, 4166666.7 ns, rounded up so the line is never too fast.
TEST(LinePace, CarriesOneByteEveryTenBitTimesAndNeverCatchesUp) {
    using std::chrono::nanoseconds;
    LinePace line(2400);
    const Clock::time_point t0{};
    // (step, when in ns, bytes through by then, or for a take whether more wait)
    struct Step {
        enum { Start, Arrived, Take } kind;
        long long atNs;
        std::size_t value;
    };
    // clang-format off
    const std::vector<Step> steps = {
        {Step::Arrived, 0, 0},            // idle: nothing comes through
        {Step::Start, 0, 0},
        {Step::Arrived, 4166666, 0},
        {Step::Arrived, 4166667, 1},      // one byte time after the start
        {Step::Start, 5000000, 0},        // busy already: changes nothing
        {Step::Arrived, 12500000, 2},
        {Step::Arrived, 12500001, 3},
        {Step::Take, 20000000, 1},        // taken late, more waiting:
        {Step::Arrived, 24166666, 0},     // the next is a whole byte time later,
        {Step::Arrived, 24166667, 1},     // not at 16666668 as on a catching-up line
        {Step::Take, 24166667, 0},        // nothing more waiting: idle
        {Step::Arrived, 99000000, 0},
        {Step::Start, 100000000, 0},
        {Step::Arrived, 104166667, 1},
    };
    // clang-format on
    for (const Step& step : steps) {
        SCOPED_TRACE("at " + std::to_string(step.atNs) + " ns");
        const Clock::time_point now = t0 + nanoseconds(step.atNs);
        if (step.kind == Step::Start) {
            line.start(now);
        } else if (step.kind == Step::Take) {
            line.take(now, step.value != 0);
        } else {
            EXPECT_EQ(line.arrived(now), step.value);
        }
    }
    EXPECT_EQ(LinePace(9600).byteTime(), nanoseconds(1041667));
    EXPECT_EQ(LinePace(50).byteTime(), nanoseconds(200000000));
}

// ---- The adapter's latency timer ----

// Ticks every 16 ms from 0: bytes wait for the first tick after they came, never less.
TEST(AdapterLatency, HandsBytesOverAtTheNextTickOnly) {
    using std::chrono::microseconds;
    const Clock::time_point t0{};
    AdapterLatency adapter(t0, milliseconds(16));
    // (step, when in microseconds, bytes received or expected handed over, or the next tick)
    struct Step {
        enum { Receive, HandOver, Next } kind;
        long long atUs;
        Bytes bytes;
        std::optional<long long> nextUs;
    };
    // clang-format off
    const std::vector<Step> steps = {
        {Step::Receive, 5000, {1, 2}, {}},
        {Step::Next, 5000, {}, 16000},
        {Step::HandOver, 15999, {}, {}},
        {Step::HandOver, 16000, {1, 2}, {}},
        {Step::Next, 16000, {}, std::nullopt},
        {Step::Receive, 32000, {3}, {}},       // on a tick itself: the next one
        {Step::Receive, 40000, {4}, {}},
        {Step::HandOver, 47999, {}, {}},
        {Step::HandOver, 50000, {3, 4}, {}},   // late: both at once
    };
    // clang-format on
    for (const Step& step : steps) {
        SCOPED_TRACE("at " + std::to_string(step.atUs) + " us");
        const Clock::time_point now = t0 + microseconds(step.atUs);
        if (step.kind == Step::Receive) {
            adapter.receive(step.bytes, now);
        } else if (step.kind == Step::HandOver) {
            EXPECT_EQ(adapter.handOver(now), step.bytes);
        } else {
            EXPECT_EQ(adapter.nextHandOver(),
                      step.nextUs ? std::optional(t0 + microseconds(*step.nextUs)) : std::nullopt);
        }
    }
}

// ---- The servos the window shows ----

TEST(ServoModel, MapsPositionsOntoTheSweep) {
    const std::vector<std::pair<std::uint8_t, double>> cases = {
        {0, -90.0}, {1, -90.0}, {64, -45.0}, {127, 0.0}, {254, 90.0}, {255, 90.0}};
    for (const auto& [position, degrees] : cases) {
        EXPECT_DOUBLE_EQ(ServoModel::angleOf(position), degrees) << int(position);
    }
}

TEST(ServoModel, CommandMovesOnlyItsOwnChannel) {
    for (std::uint8_t channel = 0; channel <= kChannelCount; ++channel) {
        ServoModel servos;
        EXPECT_EQ(servos.take({channel, 254}), channel < kChannelCount) << int(channel);
        for (int other = 0; other < kChannelCount; ++other) {
            const bool moved = other == channel;
            EXPECT_EQ(servos.target(other), moved ? 90.0 : 0.0) << int(channel) << " " << other;
            EXPECT_EQ(servos.position(other),
                      moved ? std::optional<std::uint8_t>(254) : std::nullopt);
        }
    }
}

// About 0.2 s per 60 degrees, stopping at the target.
TEST(ServoModel, HornTurnsAtServoSpeed) {
    ServoModel servos;
    servos.take({3, 1});
    // (seconds elapsed, angle afterwards)
    for (const auto& [seconds, degrees] : std::vector<std::pair<double, double>>{
             {0.0, 0.0}, {0.1, -30.0}, {0.1, -60.0}, {0.5, -90.0}}) {
        servos.advance(std::chrono::duration<double>(seconds));
        EXPECT_NEAR(servos.angle(3), degrees, 1e-9) << seconds;
    }
    EXPECT_FALSE(servos.moving());
    servos.take({3, 127});
    EXPECT_TRUE(servos.moving());
}

}  // namespace
}  // namespace tolvane::board
