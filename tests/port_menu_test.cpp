// The "Com Port" menu: the order of its steps, the COM2 fallback, and a link that survives
// missing, busy and unplugged devices, on a scripted line and on real pseudo-terminals.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QScrollBar>
#include <QTemporaryDir>

#include "board_process.h"
#include "link/serial_port_link.h"
#include "panel/main_window.h"
#include "panel/panel.h"
#include "recording_messages.h"
#include "scripted_link.h"

namespace tolvane {
namespace {

using test_support::BoardProcess;
using test_support::RecordingMessages;
using test_support::ScriptedLink;

const QString kInvalidPort = QStringLiteral("Invalid port - will use Port 1 instead");

LinkError missing(int port) {
    return {LinkError::Kind::NotFound, port, QStringLiteral("/dev/ttyS%1").arg(port - 1),
            QStringLiteral("No such file or directory")};
}

struct MenuCase {
    const char* name;
    int item;                  // 1 or 2
    std::vector<int> missing;  // ports whose open fails
    QStringList calls;         // the link calls the menu item makes
    int portAfter;             // 0: closed
    QStringList messages;      // substrings, one per message shown
};

class PortMenuSteps : public ::testing::TestWithParam<MenuCase> {};

TEST_P(PortMenuSteps, FollowTheirOrderAndEndOnTheRightPort) {
    const MenuCase& c = GetParam();
    ScriptedLink link;
    RecordingMessages messages;
    Panel panel(link, messages);
    panel.load();
    QCoreApplication::processEvents();
    const int callsBefore = static_cast<int>(link.calls().size());
    link.clearWritten();
    for (const int port : c.missing) {
        link.openFailures[port] = missing(port);
    }
    QStringList order;
    messages.onShow = [&](const QString&) {
        order << QStringLiteral("message on %1").arg(link.openPort());
    };

    QAction* item = c.item == 1 ? panel.window().com1Action() : panel.window().com2Action();
    item->trigger();

    EXPECT_EQ(link.calls().mid(callsBefore), c.calls);
    EXPECT_EQ(link.openPort(), c.portAfter);
    EXPECT_TRUE(link.written().isEmpty()) << "nothing is sent to a newly opened port";
    ASSERT_EQ(messages.texts.size(), c.messages.size());
    for (int i = 0; i < c.messages.size(); ++i) {
        EXPECT_TRUE(messages.texts[i].contains(c.messages[i])) << messages.texts[i].toStdString();
    }
    if (messages.texts.contains(kInvalidPort)) {
        EXPECT_EQ(order.last(), QStringLiteral("message on 1")) << "shown after COM1 opened";
    }
}

const QStringList kOpen1{"settings 2400,N,8,1", "port 1", "open"};
const QStringList kOpen2{"settings 2400,N,8,1", "port 2", "open"};

INSTANTIATE_TEST_SUITE_P(
    Table, PortMenuSteps,
    ::testing::Values(
        MenuCase{"Com1WhileOpenReopensWithoutSending", 1, {}, QStringList{"close"} + kOpen1, 1, {}},
        MenuCase{"Com2Present", 2, {}, QStringList{"close"} + kOpen2, 2, {}},
        MenuCase{"Com2AbsentFallsBackToCom1",
                 2,
                 {2},
                 QStringList{"close"} + kOpen2 + kOpen1,
                 1,
                 {kInvalidPort}},
        MenuCase{"Com2AndCom1Absent",
                 2,
                 {1, 2},
                 QStringList{"close"} + kOpen2 + kOpen1,
                 0,
                 {"COM1 (/dev/ttyS0) cannot be opened: the device does not exist"}},
        MenuCase{"Com1Absent",
                 1,
                 {1},
                 QStringList{"close"} + kOpen1,
                 0,
                 {"COM1 (/dev/ttyS0) cannot be opened"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PortMenu, ClosedPortIsOpenedWithoutClosingFirst) {
    ScriptedLink link;
    RecordingMessages messages;
    link.openFailures[1] = missing(1);
    Panel panel(link, messages);
    panel.load();
    QCoreApplication::processEvents();
    link.openFailures.clear();
    const int callsBefore = static_cast<int>(link.calls().size());

    panel.window().com2Action()->trigger();
    EXPECT_EQ(link.calls().mid(callsBefore), kOpen2);
    EXPECT_EQ(link.openPort(), 2);
}

// ---- Real pseudo-terminals with the simulated board on the far end ----

class PortMenuOnTerminals : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("TOLVANE_COM1", path("COM1").toLocal8Bit());
        qputenv("TOLVANE_COM2", path("COM2").toLocal8Bit());
    }
    void TearDown() override {
        qunsetenv("TOLVANE_COM1");
        qunsetenv("TOLVANE_COM2");
    }
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    std::unique_ptr<BoardProcess> boardAt(const char* name) {
        return std::make_unique<BoardProcess>(
            TOLVANE_BOARD_PATH,
            BoardProcess::Options{board::ReplyMode::Echo, {}, path(name).toStdString()});
    }
    // Starts the panel on COM1's board and forgets the start-up commands.
    static void startUp(Panel& panel, BoardProcess& com1) {
        panel.load();
        ASSERT_TRUE(com1.waitForCommands(16));
        com1.clearCommands();
    }
    static void moveSlider(Panel& panel, int channel, int value) {
        panel.window().channelSlider(channel)->setValue(value);
    }

    QTemporaryDir dir;
    SerialPortLink link;
    RecordingMessages messages;
};

TEST_F(PortMenuOnTerminals, Com2PresentTakesTheNextMoveAndCom1GetsNothing) {
    auto com1 = boardAt("COM1");
    auto com2 = boardAt("COM2");
    Panel panel(link, messages);
    ASSERT_NO_FATAL_FAILURE(startUp(panel, *com1));

    panel.window().com2Action()->trigger();
    moveSlider(panel, 2, 200);
    ASSERT_TRUE(com2->waitForCommands(1));
    EXPECT_EQ(com2->commands(), (std::vector<PositionCommand>{{2, 200}}));
    EXPECT_FALSE(com1->waitForCommands(1, std::chrono::milliseconds(200)));
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(PortMenuOnTerminals, Com2AbsentFallsBackToCom1WithOneMessage) {
    auto com1 = boardAt("COM1");
    Panel panel(link, messages);
    ASSERT_NO_FATAL_FAILURE(startUp(panel, *com1));

    panel.window().com2Action()->trigger();
    EXPECT_EQ(messages.texts, QStringList{kInvalidPort});
    moveSlider(panel, 0, 10);
    ASSERT_TRUE(com1->waitForCommands(1));
    EXPECT_EQ(com1->commands(), (std::vector<PositionCommand>{{0, 10}}));
}

TEST_F(PortMenuOnTerminals, BusyCom1IsNamedAndMovesSendNothing) {
    auto com1 = boardAt("COM1");
    SerialPortLink otherProgram;
    ASSERT_EQ(openServoPort(otherProgram, 1), std::nullopt);

    Panel panel(link, messages);
    panel.load();
    QCoreApplication::processEvents();
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_TRUE(messages.texts[0].contains("busy")) << messages.texts[0].toStdString();
    EXPECT_FALSE(link.isOpen());

    otherProgram.close();
    com1->clearCommands();
    moveSlider(panel, 4, 90);
    QCoreApplication::processEvents();
    EXPECT_EQ(messages.texts.size(), 1);
    EXPECT_FALSE(com1->waitForCommands(1, std::chrono::milliseconds(200)));

    panel.window().com1Action()->trigger();  // free now: the menu reconnects
    moveSlider(panel, 4, 91);
    ASSERT_TRUE(com1->waitForCommands(1));
    EXPECT_EQ(com1->commands(), (std::vector<PositionCommand>{{4, 91}}));
}

TEST_F(PortMenuOnTerminals, UnpluggedBoardIsReportedOnceAndTheMenuReconnects) {
    auto com1 = boardAt("COM1");
    Panel panel(link, messages);
    panel.load();
    ASSERT_TRUE(com1->waitForCommands(16));

    com1->stop();
    for (int value = 20; value < 30; ++value) {
        moveSlider(panel, 1, value);
        QCoreApplication::processEvents();
    }
    EXPECT_FALSE(link.isOpen());
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_TRUE(messages.texts[0].contains("was lost")) << messages.texts[0].toStdString();
    EXPECT_TRUE(messages.texts[0].contains(path("COM1")));

    com1 = boardAt("COM1");  // plugged in again, at the same path
    panel.window().com1Action()->trigger();
    moveSlider(panel, 1, 77);
    ASSERT_TRUE(com1->waitForCommands(1));
    EXPECT_EQ(com1->commands(), (std::vector<PositionCommand>{{1, 77}}));
    EXPECT_EQ(messages.texts.size(), 1);
}

}  // namespace
}  // namespace tolvane
