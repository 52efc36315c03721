// The serial link over a real pseudo-terminal: bytes in order, counts without the event loop,
// open failures named, and an unplugged device reported once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <chrono>

#include "link/command_io.h"
#include "link/line_settings.h"
#include "link/serial_port_link.h"

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
    // Reads until `count` bytes came or a generous timeout passed.
    QByteArray receive(int count) {
        QByteArray data;
        char buffer[4096];
        while (data.size() < count) {
            pollfd fd{master_, POLLIN, 0};
            if (::poll(&fd, 1, 2000) <= 0) {
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
    ASSERT_TRUE(link.isOpen());

    QByteArray expected;
    for (int i = 0; i < 3; ++i) {
        const PositionCommand command{static_cast<std::uint8_t>(i),
                                      static_cast<std::uint8_t>(10 + i)};
        writeCommand(link, command);
        for (const auto byte : encode(command)) {
            expected += static_cast<char>(byte);
        }
    }
    // No event loop has run: the bytes must have been handed over by the writes themselves.
    EXPECT_EQ(board.receive(expected.size()), expected);
}

TEST(SerialPortLink, CountsAndReadsWaitingBytesWithoutTheEventLoop) {
    FarEnd board;
    SerialPortLink link;
    ASSERT_EQ(openServoPort(link, 1), std::nullopt);
    board.send(QByteArray("\x02\x7f\x05", 3));

    link.waitForWaiting(3, 2s);
    EXPECT_EQ(link.waitingCount(), 3);
    link.setInputLength(0);
    EXPECT_EQ(link.readWaiting(), QByteArray("\x02\x7f\x05", 3));
    EXPECT_EQ(link.waitingCount(), 0);
}

TEST(SerialPortLink, WaitEndsWhenTheWindowPassesWithoutReply) {
    FarEnd board;
    SerialPortLink link;
    ASSERT_EQ(openServoPort(link, 1), std::nullopt);
    link.waitForWaiting(2, 30ms);
    EXPECT_EQ(link.waitingCount(), 0);
    EXPECT_TRUE(link.isOpen());
}

TEST(SerialPortLink, UnpluggedDeviceClosesThePortAndIsReportedOnce) {
    FarEnd board;
    SerialPortLink link;
    QSignalSpy lost(&link, &SerialLink::lost);
    ASSERT_EQ(openServoPort(link, 1), std::nullopt);

    board.unplug();
    for (int i = 0; i < 20; ++i) {
        link.writeByte(0xFF);
    }
    QCoreApplication::processEvents();

    EXPECT_FALSE(link.isOpen());
    ASSERT_EQ(lost.count(), 1);
    const auto error = lost.first().first().value<LinkError>();
    EXPECT_EQ(error.kind, LinkError::Kind::Lost);
    EXPECT_EQ(error.port, 1);
    EXPECT_EQ(error.device, board.device());
    EXPECT_FALSE(error.reason.isEmpty());
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

TEST(SerialPortLink, ClosedPortDropsWritesAndReadsNothing) {
    SerialPortLink link;
    link.writeByte(0xFF);
    EXPECT_EQ(link.waitingCount(), 0);
    EXPECT_TRUE(link.readWaiting().isEmpty());
    link.waitForWaiting(2, 10s);  // must return at once
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

TEST(ReplyWindow, CoversCommandAndReplyOnTheLinePlusSlack) {
    EXPECT_EQ(replyWindow(2400), 41ms);
    EXPECT_EQ(replyWindow(9600), 26ms);
}

}  // namespace
}  // namespace tolvane
