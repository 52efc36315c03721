// Recording and playback driven through a scripted view and a scripted line: the echo handshake,
// positions that cannot be sent, and handlers that run inside a playback, step by step.
#include <gtest/gtest.h>

#include <QMap>
#include <functional>

#include "link/serial_link.h"
#include "scripted_link.h"
#include "sequence/echo_handshake.h"
#include "sequence/sequence.h"
#include "sequence/sequence_view.h"
#include "test_printers.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;

using test_support::bytes;
using test_support::echoOf;
using test_support::PrintTo;
using test_support::ScriptedLink;
using Commands = std::vector<PositionCommand>;

// The window as the sequence sees it. A slider set to a new value runs the change handling as the
// real window does: the field gets " v" and the command goes out.
class ScriptedView final : public SequenceView {
  public:
    explicit ScriptedView(SerialLink& link) : link_(link) {
        texts.fill(QStringLiteral(" 127"));
        sliders.fill(127);
    }

    QString channelText(int k) const override { return texts.at(k); }
    void showChannelText(int k, const QString& text) override { texts.at(k) = text; }
    void setChannelSlider(int k, int value) override {
        if (sliders.at(k) == value) {
            return;
        }
        sliders.at(k) = value;
        texts.at(k) = QStringLiteral(" %1").arg(value);
        writeCommand(link_, {static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(value)});
    }
    void showStep(const QString& text) override { steps << text; }
    void showDelay(const QString& text) override { delay = text; }
    void processEvents() override { reach(QStringLiteral("events")); }
    void hold(std::chrono::milliseconds length) override {
        holds.push_back(length.count());
        reach(QStringLiteral("hold"));
    }
    void showMessage(const QString& text) override {
        messages << text;
        reach(QStringLiteral("message"));
    }
    bool ending() const override { return isEnding; }

    std::array<QString, 8> texts;
    std::array<int, 8> sliders{};
    QStringList steps;  // every text the step field has shown, in order
    QString delay;
    QStringList messages;
    std::vector<long long> holds;  // milliseconds
    bool isEnding = false;
    // Runs where other handlers could: "events", "hold" or "message", with the how-many-th time
    // that point has been reached (from 1).
    std::function<void(const QString&, int)> onPoint;

  private:
    void reach(const QString& point) {
        const int count = ++reached_[point];
        if (onPoint) {
            onPoint(point, count);
        }
    }

    QMap<QString, int> reached_;
    SerialLink& link_;
};

class SequenceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(link.open());
        link.board = echoOf;
        sequence.start();
    }

    // Records a step whose channel k shows position(k), then forgets what was sent.
    void record(const std::function<double(int)>& position) {
        for (int k = 0; k < 8; ++k) {
            view.texts.at(k) = QString::number(position(k));
        }
        sequence.save();
        link.clearWritten();
    }

    ScriptedLink link;
    ScriptedView view{link};
    Sequence sequence{view, link};
};

// ---- One channel's handshake ----------------------------------------------------------------

struct HandshakeCase {
    const char* name;
    EchoState before;
    QByteArray waiting;  // already received when the handshake starts
    // The board's answer to the n-th command (from 0) of the handshake.
    std::function<QByteArray(int, PositionCommand)> board;
    std::optional<int> tries;  // nothing: gave up
    int commands;              // sent for channel 0
    EchoState after;
    QByteArray rxBuffer;  // what the last reading try took
};

class Handshake : public ::testing::TestWithParam<HandshakeCase> {};

TEST_P(Handshake, EndsWhenTheLastEchoNamesTheChannel) {
    const HandshakeCase& c = GetParam();
    ScriptedLink link;
    ASSERT_FALSE(link.open());
    link.receive(c.waiting);
    int sent = 0;
    link.board = [&](PositionCommand command) { return c.board(sent++, command); };
    QByteArray rxBuffer("earlier");
    EchoState echo = c.before;

    const auto tries = EchoHandshake(link, rxBuffer).run({0, 10}, echo);

    EXPECT_EQ(tries, c.tries);
    EXPECT_EQ(link.commands(), Commands(c.commands, PositionCommand{0, 10}));
    EXPECT_EQ(link.waits(), c.commands) << "each try waits for the reply";
    EXPECT_EQ(int(echo.echoChannel), int(c.after.echoChannel));
    EXPECT_EQ(int(echo.echoPosition), int(c.after.echoPosition));
    EXPECT_EQ(rxBuffer, c.rxBuffer);
}

QByteArray nothing(int, PositionCommand) {
    return {};
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, Handshake, ::testing::Values(
    HandshakeCase{"FirstChannelOfARunTriesOnce", {}, {},
                  [](int, PositionCommand c) { return echoOf(c); }, 1, 1, {0, 10}, bytes({0, 10})},
    HandshakeCase{"LastEchoNamesTheChannelAlready", {0, 99}, {}, nothing, 0, 0, {0, 99}, "earlier"},
    // The first try takes all four waiting bytes; only the first two count, so the echo of
    // channel 0 behind them is dropped and a second try is needed.
    HandshakeCase{"WaitingDataIsReadWholeAndOnlyItsFirstTwoBytesCount", {}, bytes({7, 1, 0, 10}),
                  [](int n, PositionCommand c) { return n == 0 ? QByteArray() : echoOf(c); },
                  2, 2, {0, 10}, bytes({0, 10})},
    // One waiting byte is not read, yet the try counts; the third try finds two.
    HandshakeCase{"OneByteReplyCountsAsATryAndReadsNothing", {}, {},
                  [](int n, PositionCommand) {
                      return n == 0 ? bytes({0}) : n == 2 ? bytes({33}) : QByteArray();
                  },
                  3, 3, {0, 33}, bytes({0, 33})},
    HandshakeCase{"EchoesOfAnotherChannelNeverEndIt", {}, {},
                  [](int n, PositionCommand) { return bytes({1, n}); },
                  std::nullopt, 200, {1, 199}, bytes({1, 199})},
    // The 200th try's echo would pass, but it is not looked at.
    HandshakeCase{"TheTwoHundredthEchoIsNotTested", {}, {},
                  [](int n, PositionCommand c) { return n == 199 ? echoOf(c) : QByteArray(); },
                  std::nullopt, 200, {0, 10}, bytes({0, 10})}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// First try: line time of command and echo, 50 ms for the board, 16 ms for a USB adapter and
// 20 ms of slack; later tries: the line time and the slack.
TEST(ReplyWindow, CoversCommandAndReplyOnTheLinePlusSlack) {
    EXPECT_EQ(replyWindows(2400), (ReplyWindows{107ms, 41ms}));  // 20.8 ms on the line
    EXPECT_EQ(replyWindows(9600), (ReplyWindows{92ms, 26ms}));   // 5.2 ms
}

// ---- Stored positions: what is sent, and what is refused ------------------------------------

struct PositionCase {
    const char* name;
    double stored;            // channel 2's position in the one recorded step
    const char* shown;        // as the playback writes it into channel 2's field
    const char* typed;        // typed into channel 2's field while events run, if any
    std::optional<int> sent;  // the position sent; nothing when refused
};

class StoredPositions : public SequenceTest, public ::testing::WithParamInterface<PositionCase> {};

TEST_P(StoredPositions, AreSentRoundedOrRefusedWithoutLosingTheTable) {
    const PositionCase& c = GetParam();
    record([&](int k) { return k == 2 ? c.stored : 127; });
    QString shown;  // channel 2's field as the playback wrote it
    view.onPoint = [&](const QString& point, int count) {
        if (point == "events" && count == 3) {
            shown = view.texts[2];
            if (c.typed != nullptr) {
                view.texts[2] = QString::fromUtf8(c.typed);
            }
        }
    };

    sequence.play();

    EXPECT_EQ(shown, QString::fromUtf8(c.shown));
    const Commands sent = link.commands();
    if (c.sent) {
        ASSERT_GE(sent.size(), 3u);
        EXPECT_EQ(sent[2], (PositionCommand{2, static_cast<std::uint8_t>(*c.sent)}));
        EXPECT_EQ(view.messages, QStringList(8, "1"));
    } else {
        const QString text = QString::fromUtf8(c.typed ? c.typed : c.shown);
        EXPECT_EQ(view.messages,
                  QStringList({"1", "1",
                               QStringLiteral("Playback stopped at step 1: channel 2 shows "
                                              "\"%1\", which is not a position from 1 to 254.")
                                   .arg(text)}));
        EXPECT_EQ(sent, (Commands{{0, 127}, {1, 127}})) << "nothing sent for channel 2 or later";
        EXPECT_EQ(view.steps.last(), QStringLiteral("2"));
        EXPECT_TRUE(view.holds.empty());
    }
    EXPECT_EQ(sequence.table().stepCount(), 1u);
    EXPECT_EQ(sequence.table().position(2, 1), c.stored);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, StoredPositions, ::testing::Values(
    PositionCase{"HalfDownToEven", 12.5, "12.5", nullptr, 12},
    PositionCase{"HalfUpToEven", 13.5, "13.5", nullptr, 14},
    PositionCase{"TopHalfDownToEven", 254.5, "254.5", nullptr, 254},
    PositionCase{"Zero", 0, "0", nullptr, std::nullopt},
    PositionCase{"HalfRoundsToZero", 0.5, "0.5", nullptr, std::nullopt},
    PositionCase{"FrameStart", 255, "255", nullptr, std::nullopt},
    PositionCase{"Negative", -3, "-3", nullptr, std::nullopt},
    PositionCase{"TypedLetters", 50, "50", "abc", std::nullopt},
    PositionCase{"TypedNumber", 50, "50", " 60 ", 60}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// An earlier channel's field typed into while a later channel runs events: the sliders are not
// moved past it in silence; the step ends with the same refusal as an unsendable position.
TEST_F(SequenceTest, AFieldTypedIntoBeforeTheSlidersMoveIsRefused) {
    record([](int k) { return 40 + k; });
    view.onPoint = [&](const QString& point, int count) {
        if (point == "events" && count == 6) {
            view.texts[0] = QStringLiteral("4x");
        }
    };

    sequence.play();

    EXPECT_EQ(view.messages.size(), 9);
    EXPECT_EQ(view.messages.last(),
              QStringLiteral("Playback stopped at step 1: channel 0 shows "
                             "\"4x\", which is not a position from 1 to 254."));
    EXPECT_EQ(view.sliders, (std::array<int, 8>{127, 127, 127, 127, 127, 127, 127, 127}));
    EXPECT_TRUE(view.holds.empty());
    EXPECT_EQ(view.steps.last(), QStringLiteral("2"));
}

// ---- Handlers that run inside a playback ----------------------------------------------------

TEST_F(SequenceTest, AStepSavedDuringTheLastHoldIsPlayedNext) {
    record([](int k) { return 10 + k; });
    view.onPoint = [&](const QString& point, int count) {
        if (point == "hold" && count == 1) {
            record([](int k) { return 100 + k; });
        }
    };

    sequence.play();

    // Start-up, the first save, step 1, the save during the hold, step 2, the end.
    EXPECT_EQ(view.steps, QStringList({"1", "2", "1", "3", "2", "3"}));
    EXPECT_EQ(view.messages.size(), 16);
    EXPECT_EQ(view.sliders[7], 107);
}

TEST_F(SequenceTest, ADelayChangeCountsFromTheNextHold) {
    for (int step = 0; step < 3; ++step) {
        record([](int k) { return 10 + k; });
    }
    view.onPoint = [&](const QString& point, int count) {
        if (point == "hold" && count == 1) {
            sequence.delayChanged(3);
        }
    };

    sequence.play();

    EXPECT_EQ(view.holds, (std::vector<long long>{1000, 3000, 3000}));
    EXPECT_EQ(view.delay, QStringLiteral(" 3"));
    EXPECT_EQ(sequence.playback().playDelay, 3);
}

TEST_F(SequenceTest, ANestedPlaybackRunsWholeAndTheOuterKeepsItsOwnCounters) {
    record([](int k) { return 10 + k; });
    record([](int k) { return 100 + k; });
    // Inside step 1, once channel 7's field is fresh: the outer run's last echo named channel
    // 6, the nested run's last names channel 7.
    view.onPoint = [&](const QString& point, int count) {
        if (point == "events" && count == 8) {
            sequence.play();
        }
    };

    sequence.play();

    EXPECT_EQ(view.steps.mid(3), QStringList({"1", "1", "2", "3", "2", "3"}));
    // The outer run's channel 7 still makes tries: its last echo named channel 6, not the
    // nested run's 7. Its first try reads the echoes of the nested run's slider moves, which
    // name channel 0, so a second try follows.
    EXPECT_EQ(view.messages, QStringList(7 + 16, "1") + QStringList{"2"} + QStringList(8, "1"));
    EXPECT_EQ(view.holds.size(), 4u);
}

// Exit or the close box at each point where other handlers run, and an end requested by a timer
// while a silent board's handshake waits: the playback returns at once.
struct ExitCase {
    const char* name;
    const char* point;  // where the program ends: "events", "message", "hold" or "wait"
    int count;          // the how-many-th time that point is reached
    int messages;       // shown in all
    bool silentBoard = false;
};

class ExitDuringPlayback : public SequenceTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(ExitDuringPlayback, SendsAndShowsNothingMore) {
    const ExitCase& c = GetParam();
    record([](int k) { return 10 + k; });
    record([](int k) { return 100 + k; });
    QByteArray writtenAtExit;
    const auto end = [&](const QString& point, int count) {
        if (point == c.point && count == c.count) {
            view.isEnding = true;
            writtenAtExit = link.written();
        }
    };
    view.onPoint = end;
    link.onWait = [&] { end(QStringLiteral("wait"), link.waits()); };
    if (c.silentBoard) {
        link.board = nullptr;
    }

    sequence.play();

    ASSERT_TRUE(view.isEnding);
    EXPECT_EQ(link.written(), writtenAtExit);
    EXPECT_EQ(view.messages.size(), c.messages);
    EXPECT_EQ(view.steps.last(), QStringLiteral("1")) << "the step field is left as it was";
}

INSTANTIATE_TEST_SUITE_P(Table, ExitDuringPlayback,
                         ::testing::Values(ExitCase{"AfterAChannelsField", "events", 4, 3},
                                           ExitCase{"WhileATryCountIsShown", "message", 5, 5},
                                           ExitCase{"DuringTheHold", "hold", 1, 8},
                                           ExitCase{"WhileAHandshakeWaits", "wait", 3, 0, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Long sequences -------------------------------------------------------------------------

TEST_F(SequenceTest, ThreeHundredRecordedStepsAllPlay) {
    const auto position = [](int step, int k) { return 1 + (step * 8 + k) % 254; };
    for (int step = 1; step <= 300; ++step) {
        record([&](int k) { return position(step, k); });
    }
    sequence.delayChanged(0);
    view.steps.clear();

    sequence.play();

    ASSERT_EQ(view.steps.size(), 301);
    EXPECT_EQ(view.steps[255], QStringLiteral("256"));
    EXPECT_EQ(view.steps[299], QStringLiteral("300"));
    EXPECT_EQ(view.steps.last(), QStringLiteral("301"));
    EXPECT_EQ(view.messages, QStringList(2400, "1"));
    // Each step: one try per channel, then every slider moves. No step is skipped or repeated.
    Commands expected;
    for (int step = 1; step <= 300; ++step) {
        for (int round = 0; round < 2; ++round) {
            for (std::uint8_t k = 0; k < 8; ++k) {
                expected.push_back({k, static_cast<std::uint8_t>(position(step, k))});
            }
        }
    }
    EXPECT_EQ(link.commands(), expected);
}

}  // namespace
}  // namespace tolvane
