// The serial link over a real pseudo-terminal: bytes in order, counts without the event loop,
// open failures named, and an unplugged device reported once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QSignalSpy>
#include <chrono>

#include "link/command_io.h"
#include "link/input_buffer.h"
#include "link/line_settings.h"
#include "link/serial_port_link.h"
#include "panel/main_window.h"
#include "panel/panel.h"
#include "recording_messages.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;

// The far end of a pseudo-terminal, playing the board; COM1 points at the near end.
class FarEnd {
  public:
    FarEnd() {
        termios raw{};
        cfmakeraw(&raw);
        EXPECT_EQ(openpty(&master_, &slave_, nullptr, &raw, nullptr), 0);
        device_ = QString::fromLocal8Bit(ttyname(slave_));
        qputenv("TOLVANE_COM1", device_.toLocal8Bit());
    }
    ~FarEnd() {
        closeMaster();
        if (slave_ >= 0) {
            ::close(slave_);
        }
        qunsetenv("TOLVANE_COM1");
    }
    FarEnd(const FarEnd&) = delete;
    FarEnd& operator=(const FarEnd&) = delete;

    const QString& device() const { return device_; }
    void send(const QByteArray& bytes) {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), bytes.size());
    }
    // Reads until `count` bytes came or a generous timeout passed. Serving events lets output that
    // waits in the port's queue leave meanwhile.
    QByteArray receive(int count, bool serveEvents = false) {
        QByteArray data;
        char buffer[4096];
        const QDeadlineTimer deadline(10000);
        while (data.size() < count && !deadline.hasExpired()) {
            if (serveEvents) {
                QCoreApplication::processEvents();
            }
            pollfd fd{master_, POLLIN, 0};
            const int ready = ::poll(&fd, 1, serveEvents ? 10 : 2000);
            if (ready == 0 && serveEvents) {
                continue;
            }
            if (ready <= 0) {
                break;
            }
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            data.append(buffer, n);
        }
        return data;
    }
    // Lets the far end go, as when a USB adapter is pulled.
    void unplug() {
        closeMaster();
        ::close(slave_);
        slave_ = -1;
    }

  private:
    void closeMaster() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }
    int master_ = -1;
    int slave_ = -1;
    QString device_;
};

TEST(SerialPortLink, WritesEveryByteInCallOrderAtOnce) {
    FarEnd board;
    SerialPortLink link;
    ASSERT_EQ(openServoPort(link, 1), std::nullopt);

    QElapsedTimer clock;
    clock.start();
    for (const std::uint8_t k : {0, 1, 2}) {
        writeCommand(link, {k, static_cast<std::uint8_t>(10 + k)});
    }
    // No event loop runs: the writes themselves must hand every byte over, at once.
    EXPECT_EQ(board.receive(9), QByteArray("\xff\x00\x0a\xff\x01\x0b\xff\x02\x0c", 9));
    EXPECT_LT(clock.elapsed(), 100);
}

// Bytes 7i + 3 (mod 256) for i from `from`: where each received byte stood in the stream.
QByteArray stream(int from, int count) {
    QByteArray bytes;
    for (int i = from; i < from + count; ++i) {
        bytes += static_cast<char>((7 * i + 3) % 256);
    }
    return bytes;
}

TEST(SerialPortLink, InputIsHeldUpToTheCapKeepingTheOldestBytes) {
    struct Row {
        const char* what;
        int arriving;  // the next bytes of the stream, sent by the board
        int waiting;   // counted afterwards
        int readFrom;  // a read then takes the stream's bytes from here; -1: no read
        int readCount;
    };
    const Row rows[] = {
        {"fills up", 1000, 1000, -1, 0},
        {"reaches the cap", 24, 1024, -1, 0},
        {"drops what arrives while full", 100, 1024, -1, 0},
        {"a read takes the oldest and empties it", 0, 1024, 0, 1024},
        {"counts anew after a read", 10, 10, 1124, 10},
    };
    FarEnd board;
    SerialPortLink link;
    ASSERT_EQ(openServoPort(link, 1), std::nullopt);
    link.setInputLength(0);
    int sent = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        board.send(stream(sent, row.arriving));
        sent += row.arriving;
        // Takes in everything that arrives within the window: more than the cap never waits.
        link.waitForWaiting(InputBuffer::kCapacity + 1, 50ms);
        EXPECT_EQ(link.waitingCount(), row.waiting);
        if (row.readFrom >= 0) {
            EXPECT_EQ(link.readWaiting(), stream(row.readFrom, row.readCount));
            EXPECT_EQ(link.waitingCount(), 0);
        }
    }
}

// A line that falls behind, as 2400 baud falls behind a fast drag: the board stops reading while
// the panel goes on sending, then reads again.
TEST(SerialPortLink, AStalledLineLosesNothingAndRaisesNothing) {
    FarEnd board;
    SerialPortLink link;
    testing::RecordingMessages messages;
    Panel panel(link, messages);
    panel.load();
    ASSERT_EQ(board.receive(48).size(), 48);

    constexpr int kMoves = 40'000;  // 120,000 bytes: far more than the terminal holds
    for (int i = 0; i < kMoves; ++i) {
        panel.window().channelSlider(4)->setValue(i % 2 == 0 ? 30 : 31);
        if (i % 100 == 0) {
            QCoreApplication::processEvents();  // the event loop turns during a drag
        }
    }
    EXPECT_TRUE(link.isOpen());
    EXPECT_TRUE(messages.texts.isEmpty());

    const QByteArray received = board.receive(3 * kMoves, true);
    ASSERT_EQ(received.size(), 3 * kMoves);
    for (int i = 0; i < kMoves; ++i) {
        const QByteArray expected =
            i % 2 == 0 ? QByteArray("\xff\x04\x1e", 3) : QByteArray("\xff\x04\x1f", 3);
        ASSERT_EQ(received.mid(3 * i, 3), expected) << "command " << i;
    }
    EXPECT_TRUE(link.isOpen());
    EXPECT_TRUE(messages.texts.isEmpty());
}

// A wait for bytes blocks not at all while no port is open or the bytes are there, and for the
// whole window while nothing comes; the bytes are then counted and read without the event loop.
TEST(SerialPortLink, AWaitKeepsToItsWindow) {
    struct Row {
        const char* what;
        bool open;
        int arriving;  // bytes the board sends before the wait for 2
        std::chrono::milliseconds window;
        qint64 atLeastMs;
        qint64 belowMs;
    };
    const Row rows[] = {
        {"no port: at once", false, 0, 10s, 0, 100},
        {"bytes waiting: at once", true, 3, 10s, 0, 100},
        {"no reply: the whole window", true, 0, 30ms, 25, 130},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        FarEnd board;
        SerialPortLink link;
        if (row.open) {
            ASSERT_EQ(openServoPort(link, 1), std::nullopt);
        }
        link.writeByte(0xFF);  // dropped while no port is open
        board.send(stream(0, row.arriving));

        QElapsedTimer clock;
        clock.start();
        link.waitForWaiting(2, row.window);
        EXPECT_GE(clock.elapsed(), row.atLeastMs);
        EXPECT_LT(clock.elapsed(), row.belowMs);
        EXPECT_EQ(link.waitingCount(), row.arriving);
        link.setInputLength(0);
        EXPECT_EQ(link.readWaiting(), QByteArray("\x03\x0a\x11", row.arriving));
        EXPECT_EQ(link.waitingCount(), 0);
        EXPECT_EQ(link.isOpen(), row.open);
    }
}

// An unplugged device closes the port and is reported once: noticed by the next write, and also
// while the panel sits idle with unread bytes, where Qt itself stops reading a device.
TEST(SerialPortLink, AnUnplugClosesThePortAndIsReportedOnce) {
    for (const bool writing : {true, false}) {
        SCOPED_TRACE(writing ? "writing" : "idle with the input full");
        FarEnd board;
        SerialPortLink link;
        QSignalSpy lost(&link, &SerialLink::lost);
        ASSERT_EQ(openServoPort(link, 1), std::nullopt);
        const auto idle = [&](int ms) {
            const QDeadlineTimer deadline(ms);
            while (lost.isEmpty() && !deadline.hasExpired()) {
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
            }
        };
        // Idle, far more than our buffer and Qt's hold together arrives first.
        for (int sent = 0; !writing && sent < 12000; sent += 1000) {
            board.send(stream(sent, 1000));
            idle(20);
        }

        board.unplug();
        for (int i = 0; writing && i < 20; ++i) {
            link.writeByte(0xFF);
        }
        QCoreApplication::processEvents();
        idle(writing ? 0 : 2000);

        EXPECT_FALSE(link.isOpen());
        ASSERT_EQ(lost.count(), 1);
        const auto error = lost.first().first().value<LinkError>();
        EXPECT_EQ(error.kind, LinkError::Kind::Lost);
        EXPECT_EQ(error.port, 1);
        EXPECT_EQ(error.device, board.device());
        EXPECT_FALSE(error.reason.isEmpty());
    }
}

TEST(SerialPortLink, NamesTheReasonAnOpenFails) {
    SerialPortLink link;
    qputenv("TOLVANE_COM2", "/dev/tolvane-no-such-device");
    const auto missing = openServoPort(link, 2);
    qunsetenv("TOLVANE_COM2");
    ASSERT_TRUE(missing.has_value());
    EXPECT_EQ(missing->kind, LinkError::Kind::NotFound);
    EXPECT_EQ(missing->port, 2);
    EXPECT_EQ(missing->device, QStringLiteral("/dev/tolvane-no-such-device"));
    EXPECT_FALSE(link.isOpen());

    FarEnd board;
    SerialPortLink holder;
    ASSERT_EQ(openServoPort(holder, 1), std::nullopt);
    const auto busy = openServoPort(link, 1);
    ASSERT_TRUE(busy.has_value());
    EXPECT_EQ(busy->kind, LinkError::Kind::Busy);
    EXPECT_EQ(busy->device, board.device());

    const auto twice = holder.open();
    ASSERT_TRUE(twice.has_value());
    EXPECT_EQ(twice->kind, LinkError::Kind::AlreadyOpen);
}

TEST(SerialPortLink, RejectsBadSettingsAndPorts) {
    SerialPortLink link;
    for (const char* bad : {"", "2400", "2400,N,8", "fast,N,8,1", "2400,X,8,1", "2400,N,9,1",
                            "2400,N,8,3", "-1,N,8,1", "2400,N,8,1,0"}) {
        const auto error = link.setSettings(QString::fromLatin1(bad));
        ASSERT_TRUE(error.has_value()) << bad;
        EXPECT_EQ(error->kind, LinkError::Kind::BadSettings);
    }
    EXPECT_EQ(link.setSettings(QStringLiteral("2400,N,8,1")), std::nullopt);
    for (const int port : {0, 3, -1}) {
        EXPECT_TRUE(link.setPortNumber(port).has_value()) << port;
    }
}

TEST(LineSettings, ReadsEveryField) {
    const auto settings = LineSettings::parse(QStringLiteral("9600,e,7,1.5"));
    ASSERT_TRUE(settings.has_value());
    EXPECT_EQ(settings->baudRate, 9600);
    EXPECT_EQ(settings->parity, LineSettings::Parity::Even);
    EXPECT_EQ(settings->dataBits, 7);
    EXPECT_EQ(settings->stopBits, LineSettings::StopBits::OneAndHalf);
}

// First try: line time of command and echo, 50 ms for the board, 16 ms for a USB adapter and
// 20 ms of slack; later tries: the line time and the slack.
TEST(ReplyWindow, CoversCommandAndReplyOnTheLinePlusSlack) {
    EXPECT_EQ(replyWindows(2400), (ReplyWindows{107ms, 41ms}));  // 20.8 ms on the line
    EXPECT_EQ(replyWindows(9600), (ReplyWindows{92ms, 26ms}));   // 5.2 ms
}

}  // namespace
}  // namespace tolvane
