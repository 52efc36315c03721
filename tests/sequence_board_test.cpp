// Recording and playback against the simulated board on a real pseudo-terminal, once with a board
// that echoes and once with one that stays silent.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include "board_process.h"
#include "link/serial_port_link.h"
#include "panel/main_window.h"
#include "panel/panel.h"
#include "recording_messages.h"

namespace tolvane {
namespace {

using test_support::BoardProcess;
using Commands = std::vector<PositionCommand>;

class SequenceOnBoard : public ::testing::Test {
  protected:
    void start(const BoardProcess::Options& options) {
        board = std::make_unique<BoardProcess>(TOLVANE_BOARD_PATH, options);
        qputenv("TOLVANE_COM1", QByteArray::fromStdString(board->device()));
        panel = std::make_unique<Panel>(link, messages);
        panel->load();
        ASSERT_TRUE(link.isOpen());
        panel->window().delaySlider()->setValue(1);
        panel->window().delaySlider()->setValue(0);
    }
    void TearDown() override { qunsetenv("TOLVANE_COM1"); }

    MainWindow& window() { return panel->window(); }
    void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    std::unique_ptr<BoardProcess> board;
    SerialPortLink link;
    testing::RecordingMessages messages;
    std::unique_ptr<Panel> panel;
};

TEST_F(SequenceOnBoard, ThreePosesPlayBackOnAnEchoingBoard) {
    start({});
    const std::array<int, 3> base{10, 100, 200};
    for (const int first : base) {
        for (int k = 0; k < 8; ++k) {
            window().channelSlider(k)->setValue(first + k);
        }
        click(window().saveButton());
    }
    ASSERT_TRUE(board->waitForCommands(16 + 24));
    board->clearCommands();

    click(window().playbackButton());

    // How many tries each channel needed depends on when echoes arrive; what went out must
    // match the counts reported, channel by channel, followed by the slider moves.
    ASSERT_EQ(messages.texts.size(), 24) << messages.texts.join(", ").toStdString();
    Commands expected;
    for (int step = 0; step < 3; ++step) {
        for (std::uint8_t k = 0; k < 8; ++k) {
            const int tries = messages.texts[step * 8 + k].toInt();
            EXPECT_GE(tries, 1);
            EXPECT_LT(tries, 200);
            expected.insert(expected.end(), tries, {k, static_cast<std::uint8_t>(base[step] + k)});
        }
        for (std::uint8_t k = 0; k < 8; ++k) {
            expected.push_back({k, static_cast<std::uint8_t>(base[step] + k)});
        }
    }
    ASSERT_TRUE(board->waitForCommands(expected.size()));
    EXPECT_EQ(board->commands(), expected);
    EXPECT_EQ(window().stepText()->text(), QStringLiteral("4"));
}

TEST_F(SequenceOnBoard, ASilentBoardGetsTwoHundredTriesAndTheFailureIsShown) {
    start({board::ReplyMode::None, std::chrono::milliseconds(0), ""});
    click(window().saveButton());
    ASSERT_TRUE(board->waitForCommands(16));
    board->clearCommands();

    click(window().playbackButton());

    EXPECT_EQ(messages.texts, QStringList(QStringLiteral("Communications problem encountered")));
    ASSERT_TRUE(board->waitForCommands(200));
    EXPECT_EQ(board->commands(), Commands(200, PositionCommand{0, 127}));
    EXPECT_EQ(window().stepText()->text(), QStringLiteral("2"));
}

}  // namespace
}  // namespace tolvane
