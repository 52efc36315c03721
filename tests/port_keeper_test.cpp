// A board that comes and goes is taken up with no click: plugged in after start-up, plugged in
// again after a loss, or an adapter that appears while COM1 sits on the default device. Boards on
// pseudo-terminals behind links in a temporary folder, one of which stands in for
// /dev/serial/by-id; and, on a scripted line, no move in the middle of a playback.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>

#include "board_process.h"
#include "link/serial_port_link.h"
#include "panel/main_window.h"
#include "panel/panel.h"
#include "recording_messages.h"
#include "scripted_link.h"
#include "test_printers.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;
using test_support::BoardProcess;
using test_support::PrintTo;
using test_support::RecordingMessages;

// The system's choice over a temporary folder: `named` as TOLVANE_COM1 would name it, the
// adapters of `dir`/serial/by-id, and `dir`/defaultN as the system's default device.
PortLookup lookupIn(const QString& dir, const QString& named = {}) {
    const QString adapters = dir + QStringLiteral("/serial/by-id");
    return {[=](int port) {
                PortDevice device =
                    choosePortDevice(port, port == 1 ? named : QString(),
                                     {PortSystem::Linux, adaptersInFolder(adapters)});
                if (device.noAdapterFound) {
                    device.path = dir + QStringLiteral("/default%1").arg(port);
                }
                return device;
            },
            adapters};
}

// Serves events until `done` or a generous deadline: a sanitizer build on a loaded machine is slow.
bool serveUntil(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(15s);
    while (!done() && !deadline.hasExpired()) {
        QTest::qWait(10);
    }
    return done();
}

// Whether this process holds `device` open, as the system sees it.
bool holdsOpen(const std::string& device) {
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
        if (fd.symLinkTarget() == QString::fromStdString(device)) {
            return true;
        }
    }
    return false;
}

std::unique_ptr<BoardProcess> boardAt(const QString& path) {
    return std::make_unique<BoardProcess>(
        TOLVANE_BOARD_PATH, BoardProcess::Options{board::ReplyMode::Echo, {}, path.toStdString()});
}

struct TakeUpCase {
    const char* name;
    bool named;         // COM1 named as by the variable; else the first adapter
    bool boardAtStart;  // there at start-up, then unplugged (udev removes the emptied folders)
    bool defaultBoard;  // a board on the default device, which COM1 opens while no adapter is in
    int messages;       // shown in all
};

class TakeUp : public ::testing::TestWithParam<TakeUpCase> {};

TEST_P(TakeUp, OpensTheBoardWithNothingSentAndNoMessageOfItsOwn) {
    const TakeUpCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString adapters = dir.filePath(QStringLiteral("serial/by-id"));
    const QString devicePath =
        c.named ? dir.filePath(QStringLiteral("board")) : adapters + QStringLiteral("/usb-Board");
    const PortLookup lookup = lookupIn(dir.path(), c.named ? devicePath : QString());
    auto fallback = c.defaultBoard ? boardAt(dir.filePath(QStringLiteral("default1"))) : nullptr;
    std::unique_ptr<BoardProcess> board;
    if (c.boardAtStart) {
        ASSERT_TRUE(QDir().mkpath(adapters));
        board = boardAt(devicePath);
    }

    SerialPortLink link(lookup);
    RecordingMessages messages;
    Panel panel(link, messages, lookup);
    panel.load();
    if (board) {
        ASSERT_TRUE(board->waitForCommands(16));
        board->stop();
        ASSERT_TRUE(serveUntil([&] { return !messages.texts.isEmpty(); })) << "loss reported";
        ASSERT_TRUE(QDir(dir.filePath(QStringLiteral("serial"))).removeRecursively());
    }
    if (fallback) {
        ASSERT_TRUE(fallback->waitForCommands(16));
        fallback->clearCommands();
    }

    // Each folder's change is seen before the next comes, as when udev makes them one by one.
    QTest::qWait(100);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(devicePath).path()));
    QTest::qWait(100);
    board = boardAt(devicePath);
    ASSERT_TRUE(serveUntil([&] { return holdsOpen(board->device()); })) << "taken up";
    EXPECT_FALSE(board->waitForCommands(1, 300ms)) << "nothing is sent on its own";

    panel.window().channelSlider(3)->setValue(99);
    ASSERT_TRUE(board->waitForCommands(1));
    EXPECT_EQ(board->commands(), (std::vector<PositionCommand>{{3, 99}}));
    QCoreApplication::processEvents();
    EXPECT_EQ(messages.texts.size(), c.messages) << messages.texts.join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, TakeUp,
    ::testing::Values(TakeUpCase{"PluggedInAfterAFailedStartUp", true, false, false, 1},
                      TakeUpCase{"PluggedInAgainAfterALoss", false, true, false, 1},
                      TakeUpCase{"AnAdapterTakesTheDefaultDevicesPlace", false, false, true, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// The adapter appears while a handshake waits for the board: the port stays as the try left it,
// and moves once the playback has ended.
TEST(TakeUpDuringPlayback, WaitsForThePlaybackToEnd) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const PortLookup lookup = lookupIn(dir.path());
    test_support::ScriptedLink link;
    link.board = test_support::echoOf;
    RecordingMessages messages;
    Panel panel(link, messages, lookup);
    panel.load();
    MainWindow& window = panel.window();
    window.delaySlider()->setValue(1);  // holds of 0 s, by way of 1
    window.delaySlider()->setValue(0);
    QTest::mouseClick(window.saveButton(), Qt::LeftButton);

    bool plugged = false;
    link.onWait = [&] {
        if (!plugged) {
            plugged = true;
            ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("serial/by-id")));
            QFile adapter(dir.filePath(QStringLiteral("serial/by-id/usb-Board")));
            ASSERT_TRUE(adapter.open(QIODevice::WriteOnly));
            QTest::qWait(300);  // the watch reports meanwhile
        }
    };
    const qsizetype before = link.calls().size();
    QTest::mouseClick(window.playbackButton(), Qt::LeftButton);
    ASSERT_TRUE(plugged);
    ASSERT_TRUE(serveUntil([&] { return link.calls().mid(before).contains("close"); }));

    // A move in the middle would be followed by the playback's own reads.
    const QStringList calls = link.calls().mid(before);
    EXPECT_EQ(calls.mid(calls.indexOf("close")),
              QStringList({"close", "settings 2400,N,8,1", "port 1", "open"}));
    EXPECT_EQ(link.openPort(), 1);
}

}  // namespace
}  // namespace tolvane
