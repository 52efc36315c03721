// The panel against the simulated board on a real pseudo-terminal, as the board decodes what it
// receives: start-up, slider moves, recording and playback with a board that echoes, at once or
// late, and with one that stays silent, and Exit.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "board_process.h"
#include "link/serial_port_link.h"
#include "panel/main_window.h"
#include "panel/panel.h"
#include "recording_messages.h"
#include "test_printers.h"

namespace tolvane {
namespace {

using test_support::BoardProcess;
using test_support::PrintTo;
using Commands = std::vector<PositionCommand>;
using namespace std::chrono_literals;

class SequenceOnBoard : public ::testing::Test {
  protected:
    // Starts the panel on a board, checks the start-up commands and forgets them.
    void start(const BoardProcess::Options& options) {
        board = std::make_unique<BoardProcess>(TOLVANE_BOARD_PATH, options);
        qputenv("TOLVANE_COM1", QByteArray::fromStdString(board->device()));
        panel = std::make_unique<Panel>(link, messages);
        panel->load();
        ASSERT_TRUE(link.isOpen());
        Commands centred;
        for (int i = 0; i < 16; ++i) {
            centred.push_back({std::uint8_t(i % 8), 127});
        }
        ASSERT_TRUE(board->waitForCommands(16));
        EXPECT_EQ(board->commands(), centred) << "every channel centred, twice over";
        board->clearCommands();
        panel->window().delaySlider()->setValue(1);
        panel->window().delaySlider()->setValue(0);
    }
    void TearDown() override { qunsetenv("TOLVANE_COM1"); }

    MainWindow& window() { return panel->window(); }
    void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    std::unique_ptr<BoardProcess> board;
    SerialPortLink link;
    test_support::RecordingMessages messages;
    std::unique_ptr<Panel> panel;
};

// A board that answers at once, one that answers only after a first try's reply window has
// passed, and one that answers after 25 ms on a 2400-baud line behind a USB adapter whose latency
// timer fires every 16 ms: its echo comes 46 to 62 ms after the command.
struct EchoCase {
    const char* name;
    BoardProcess::Options board;
    int fewest;  // tries of each channel of the first step, played with no reply waiting
    int most;
};

class EchoingBoard : public SequenceOnBoard, public ::testing::WithParamInterface<EchoCase> {};

TEST_P(EchoingBoard, TheBoxesShowTheTriesTheBoardReceived) {
    start(GetParam().board);
    const std::array<int, 3> base{10, 100, 200};
    for (const int first : base) {
        for (int k = 0; k < 8; ++k) {
            window().channelSlider(k)->setValue(first + k);
        }
        click(window().saveButton());
    }
    ASSERT_TRUE(board->waitForCommands(24));
    link.waitForWaiting(2 * (16 + 24), 5s);
    link.readWaiting();  // the echoes of everything so far
    board->clearCommands();

    click(window().playbackButton());
    // A fence: sent after all that the playback sent, and not a command of it.
    window().channelSlider(0)->setValue(1);
    while (board->commands().empty() || board->commands().back() != PositionCommand{0, 1}) {
        ASSERT_TRUE(board->waitForCommands(board->commands().size() + 1));
    }

    // Each channel's tries are the run of its command at the board; the slider moves follow.
    const Commands& got = board->commands();
    QStringList tries;
    std::size_t at = 0;
    for (const int first : base) {
        for (std::uint8_t k = 0; k < 8; ++k) {
            const std::size_t from = at;
            while (at < got.size() && got[at] == PositionCommand{k, std::uint8_t(first + k)}) {
                ++at;
            }
            tries << QString::number(at - from);
        }
        for (std::uint8_t k = 0; k < 8; ++k, ++at) {
            ASSERT_LT(at, got.size());
            EXPECT_EQ(got[at], (PositionCommand{k, std::uint8_t(first + k)})) << "slider move";
        }
    }
    EXPECT_EQ(at + 1, got.size()) << "nothing but the tries, the moves and the fence";
    EXPECT_EQ(messages.texts, tries);
    for (int k = 0; k < 8; ++k) {
        EXPECT_GE(tries[k].toInt(), GetParam().fewest) << "channel " << k;
        EXPECT_LE(tries[k].toInt(), GetParam().most) << "channel " << k;
    }
    EXPECT_EQ(window().stepText()->text(), QStringLiteral("4"));

    click(window().exitButton());
    EXPECT_FALSE(link.isOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Table, EchoingBoard,
    ::testing::Values(
        EchoCase{"AtOnce", {board::ReplyMode::Echo, 0ms, ""}, 1, 1},
        EchoCase{"AfterTheReplyWindow", {board::ReplyMode::Echo, 150ms, ""}, 2, 199},
        EchoCase{"BehindAnAdapter", {board::ReplyMode::Echo, 25ms, "", 2400, false, 16ms}, 1, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// A timer set before the click fires while the handshake waits for a silent board. It marks
// that it ran; in the second case it also ends the program, as a request to end would, and the
// playback stops at its next look, with the port closed and no message.
struct SilentCase {
    const char* name;
    bool endProgram;
    QStringList texts;  // the messages shown, and "timer" where the timer ran
    const char* stepText;
};

class SilentBoard : public SequenceOnBoard, public ::testing::WithParamInterface<SilentCase> {};

TEST_P(SilentBoard, TimersRunWhileTheHandshakeWaits) {
    const SilentCase& c = GetParam();
    start({board::ReplyMode::None, 0ms, ""});
    click(window().saveButton());
    QTimer::singleShot(300ms, panel.get(), [&] {
        messages.texts << QStringLiteral("timer");
        if (c.endProgram) {
            panel->exitProgram();
        }
    });
    click(window().playbackButton());

    EXPECT_EQ(messages.texts, c.texts);
    // Fewer than 200 tries once ended: the board has them all when a further wait finds no more.
    EXPECT_EQ(board->waitForCommands(200, c.endProgram ? 500ms : 5s), !c.endProgram);
    const std::size_t tries = c.endProgram ? board->commands().size() : 200;
    EXPECT_EQ(board->commands(), Commands(tries, PositionCommand{0, 127}));
    EXPECT_EQ(link.isOpen(), !c.endProgram);
    EXPECT_EQ(window().stepText()->text(), QString::fromUtf8(c.stepText));
}

INSTANTIATE_TEST_SUITE_P(
    Table, SilentBoard,
    ::testing::Values(SilentCase{"FailureAfter200Tries",
                                 false,
                                 {"timer", "Communications problem encountered"},
                                 "2"},
                      SilentCase{"AnEndRequestedMeanwhileStops", true, {"timer"}, "1"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tolvane
