// The panel against the simulated board on a real pseudo-terminal: what start-up, a slider move,
// Center and Exit put on the line, as the board decodes it.
#include <gtest/gtest.h>

#include <QCoreApplication>
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

std::vector<PositionCommand> centreAllTwice() {
    std::vector<PositionCommand> commands;
    for (int round = 0; round < 2; ++round) {
        for (std::uint8_t channel = 0; channel < 8; ++channel) {
            commands.push_back({channel, 127});
        }
    }
    return commands;
}

TEST(PanelOnBoard, StartUpSliderCenterAndExitReachTheBoardInOrder) {
    BoardProcess board(TOLVANE_BOARD_PATH);
    qputenv("TOLVANE_COM1", QByteArray::fromStdString(board.device()));
    SerialPortLink link;
    testing::RecordingMessages messages;
    Panel panel(link, messages);

    panel.load();
    ASSERT_TRUE(board.waitForCommands(16));
    EXPECT_EQ(board.commands(), centreAllTwice());

    panel.window().channelSlider(2)->setValue(200);
    panel.window().channelSlider(2)->setValue(199);
    QTest::mouseClick(panel.window().centerButton(2), Qt::LeftButton);
    ASSERT_TRUE(board.waitForCommands(16 + 4));
    const std::vector<PositionCommand> after(board.commands().begin() + 16, board.commands().end());
    EXPECT_EQ(after, (std::vector<PositionCommand>{{2, 200}, {2, 199}, {2, 127}, {2, 127}}));

    QTest::mouseClick(panel.window().exitButton(), Qt::LeftButton);
    EXPECT_FALSE(link.isOpen());
    EXPECT_TRUE(messages.texts.isEmpty());
    qunsetenv("TOLVANE_COM1");
}

}  // namespace
}  // namespace tolvane
