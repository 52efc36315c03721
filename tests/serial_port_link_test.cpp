// The serial link over a real pseudo-terminal: bytes in order, counts without the event loop,
// open failures named, an unplugged device reported once, a wait that only marks what happens to
// the port, modem lines that cannot be read back taken for no loss, and, under a double of a USB
// adapter's driver, a close that never waits for the line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <thread>
#include <utility>

#include "link/input_buffer.h"
#include "link/line_settings.h"
#include "link/serial_port_link.h"
#include "panel/main_window.h"
#include "panel/panel.h"
#include "recording_messages.h"
#include "usb_adapter_driver.h"
#include "wrapped_system_driver.h"

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
    // Lets the far end go, as when a USB adapter is pulled. The terminal's own end stays held
    // until the far end is destroyed, so that no test running beside this one gets its number
    // (and a lock by its name) meanwhile.
    void unplug() { closeMaster(); }

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
    test_support::RecordingMessages messages;
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

// A wait for bytes blocks not at all while no port is open or the bytes are there, until they
// arrive, and for the whole window while nothing comes; the bytes are then counted and read
// without the event loop.
TEST(SerialPortLink, AWaitKeepsToItsWindow) {
    struct Row {
        const char* what;
        bool open;
        int arriving;  // bytes the board sends for the wait for 2
        bool late;     // sent 20 ms into the wait rather than before it
        std::chrono::milliseconds window;
        qint64 atLeastMs;
        qint64 belowMs;
    };
    const Row rows[] = {
        {"no port: at once", false, 0, false, 10s, 0, 100},
        {"bytes waiting: at once", true, 3, false, 10s, 0, 100},
        {"bytes arriving: when they come", true, 3, true, 10s, 15, 2000},
        {"no reply: the whole window", true, 0, false, 30ms, 25, 130},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        FarEnd board;
        SerialPortLink link;
        if (row.open) {
            ASSERT_EQ(openServoPort(link, 1), std::nullopt);
        }
        link.writeByte(0xFF);  // dropped while no port is open
        const auto send = [&] { board.send(stream(0, row.arriving)); };
        if (row.late) {
            QTimer::singleShot(20ms, send);
        } else {
            send();
        }

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

// Runs the event loop for `ms` and counts how often it woke up, and what Qt wrote meanwhile.
struct Quiet {
    int wakeUps = 0;
    QStringList warnings;
};
QStringList* g_warnings = nullptr;
Quiet watchIdle(int ms) {
    Quiet seen;
    g_warnings = &seen.warnings;
    const QtMessageHandler before = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { *g_warnings << text; });
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    const auto counter =
        QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake,
                         [&] { ++seen.wakeUps; });
    loop.exec();
    QObject::disconnect(counter);
    qInstallMessageHandler(before);
    g_warnings = nullptr;
    return seen;
}

// An unplugged device closes the port and is reported once, with the reason the device itself
// gives: noticed by the next write, and also while the panel sits idle, with unread bytes (where
// Qt itself stops reading a device) or without. Then the link keeps still: no timer, no spinning,
// nothing written to stderr.
TEST(SerialPortLink, AnUnplugClosesThePortAndIsReportedOnce) {
    struct Row {
        const char* what;
        bool writing;
        int arriving;  // bytes the board sends before it is unplugged
    };
    const Row rows[] = {
        {"writing", true, 0},
        {"idle with the input empty", false, 0},
        {"idle with the input full", false, 12000},  // far more than our buffer and Qt's hold
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
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
        for (int sent = 0; sent < row.arriving; sent += 1000) {
            board.send(stream(sent, 1000));
            idle(20);
        }

        board.unplug();
        for (int i = 0; row.writing && i < 20; ++i) {
            link.writeByte(0xFF);
        }
        QCoreApplication::processEvents();
        idle(row.writing ? 0 : 2000);

        EXPECT_FALSE(link.isOpen());
        ASSERT_EQ(lost.count(), 1);
        const auto error = lost.first().first().value<LinkError>();
        EXPECT_EQ(error.kind, LinkError::Kind::Lost);
        EXPECT_EQ(error.port, 1);
        EXPECT_EQ(error.device, board.device());
        EXPECT_EQ(error.reason, QStringLiteral("the device was removed"));

        const Quiet after = watchIdle(300);
        EXPECT_LE(after.wakeUps, 3) << "the event loop kept waking up for the closed port";
        EXPECT_TRUE(after.warnings.isEmpty()) << after.warnings.join(u'\n').toStdString();
        EXPECT_EQ(lost.count(), 1);
    }
}

// The lock file that Qt's serial port keeps while `path` is open, or nothing: "LCK.." and the path
// without its /dev/, slashes as underscores, in the first lock folder Qt may write to.
QString lockFileOf(const QString& path) {
    QString name = path.startsWith(QLatin1String("/dev/")) ? path.mid(5) : path;
    name = QStringLiteral("LCK..") + name.replace(u'/', u'_');
    for (const char* folder : {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp",
                               "/tmp", "/var/tmp", "/run/lock"}) {
        const QString file = QDir(QString::fromLatin1(folder)).filePath(name);
        if (QFileInfo::exists(file)) {
            return file;
        }
    }
    return {};
}

// Whatever happens to the port while a reply is waited for (a timer asks to close it, the device
// goes) ends the wait but takes effect only when the wait returns: the try that waits never has
// its port closed under it.
TEST(SerialPortLink, AWaitOnlyMarksWhatHappensToThePort) {
    struct Row {
        const char* what;
        bool unplug;  // else close() is asked for
        QList<int> lostInLoops;
    };
    const Row rows[] = {
        {"close asked for", false, {}},
        {"device unplugged", true, {0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        FarEnd board;
        SerialPortLink link;
        ASSERT_EQ(openServoPort(link, 1), std::nullopt);
        // The event loops running when lost() is raised: the wait's own must have ended by then.
        QList<int> lostInLoops;
        QObject::connect(&link, &SerialLink::lost,
                         [&] { lostInLoops << QThread::currentThread()->loopLevel(); });
        bool lockedAfterClose = false;
        QTimer::singleShot(20ms, [&] {
            if (row.unplug) {
                board.unplug();
            } else {
                link.close();
                lockedAfterClose = !lockFileOf(board.device()).isEmpty();
            }
        });

        QElapsedTimer clock;
        clock.start();
        link.waitForWaiting(2, 10s);

        EXPECT_LT(clock.elapsed(), 5000) << "the wait ran on to its window";
        EXPECT_EQ(lockedAfterClose, !row.unplug) << "closed in the middle of the wait";
        EXPECT_FALSE(link.isOpen());
        EXPECT_TRUE(lockFileOf(board.device()).isEmpty());
        EXPECT_EQ(lostInLoops, row.lostInLoops);
    }
}

// Another program looks for the lock of the device itself (LCK..ttyUSB0), whatever link the
// panel was given; messages keep naming the link, the name the user knows.
TEST(SerialPortLink, ADeviceOpenedThroughALinkIsLockedByItsRealName) {
    FarEnd board;
    QTemporaryDir folder;
    const QString linkPath = folder.filePath(QStringLiteral("usb-Example_Board-if00-port0"));
    ASSERT_TRUE(QFile::link(board.device(), linkPath));
    qputenv("TOLVANE_COM1", linkPath.toLocal8Bit());

    SerialPortLink holder;
    ASSERT_EQ(openServoPort(holder, 1), std::nullopt);
    EXPECT_FALSE(lockFileOf(board.device()).isEmpty()) << "not locked by the device's name";
    EXPECT_TRUE(lockFileOf(linkPath).isEmpty()) << "locked by the link's name";
    SerialPortLink other;
    const auto busy = openServoPort(other, 1);
    ASSERT_TRUE(busy.has_value());
    EXPECT_EQ(busy->kind, LinkError::Kind::Busy);
    EXPECT_EQ(busy->device, linkPath);

    holder.close();
    EXPECT_TRUE(lockFileOf(board.device()).isEmpty()) << "lock left behind";
}

// A USB adapter's driver holds 17 s of a 2400-baud line and waits for it at close, flush or no
// flush. After a fast drag far beyond that, Exit and a port change must not wait for the line:
// what the board has not been handed is dropped, and a new port starts with what comes next.
TEST(SerialPortLink, UnderAUsbAdapterAClosedPortDropsTheBacklog) {
    struct Row {
        const char* what;
        bool exit;  // else COM1 is chosen from the menu
    };
    for (const Row& row : {Row{"Exit", true}, Row{"COM1 chosen again", false}}) {
        SCOPED_TRACE(row.what);
        test_support::UsbAdapterDriver driver;
        SerialPortLink link(driver);
        test_support::RecordingMessages messages;
        Panel panel(link, messages);
        panel.load();
        QByteArray expected;
        for (int channel = 0; channel < 16; ++channel) {
            expected += QByteArray("\xff") + static_cast<char>(channel % 8) + '\x7f';
        }
        // 2,000 moves of a key drag, 25 s of the line; the event loop turns now and then.
        for (int i = 0; i < 2000; ++i) {
            const char value = i % 2 == 0 ? 30 : 31;
            panel.window().channelSlider(4)->setValue(value);
            expected += QByteArray("\xff\x04") + value;
            if (i % 100 == 0) {
                QCoreApplication::processEvents();
            }
        }

        if (row.exit) {
            panel.exitProgram();
        } else {
            panel.window().com1Action()->trigger();
        }
        EXPECT_EQ(driver.lastCloseWait(), test_support::UsbAdapterDriver::Clock::duration::zero());
        EXPECT_LE(driver.peakQueued(), 12) << "the system held more than 50 ms of the line";
        const QByteArray sent = driver.sent();
        EXPECT_LT(sent.size(), expected.size());
        EXPECT_EQ(sent, expected.left(sent.size())) << "bytes lost or out of order";
        EXPECT_TRUE(messages.texts.isEmpty());
        ASSERT_EQ(link.isOpen(), !row.exit);
        if (!row.exit) {
            panel.window().channelSlider(0)->setValue(100);
            const QDeadlineTimer deadline(5000);
            while (driver.sent().size() < sent.size() + 3 && !deadline.hasExpired()) {
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
            }
            EXPECT_EQ(driver.sent(), sent + QByteArray("\xff\x00\x64", 3));
        }
    }
}

// The system's driver on a device that cannot read DTR and RTS back, as Windows' virtual and
// Bluetooth COM ports cannot. Qt's setters fail on the pseudo-terminal too, and leave the port's
// error set from inside Qt, as only Qt can set it; then comes the UnknownError ("Request not
// supported.") that Qt's Windows backend raises from inside each of the two setters. The double
// notes the port's error as the setters leave it and as the first write finds it.
class NoModemLineReadBack final : public test_support::WrappedSystemDriver {
  public:
    void setModemLines(QSerialPort& port, bool dataTerminalReady, bool requestToSend) override {
        WrappedSystemDriver::setModemLines(port, dataTerminalReady, requestToSend);
        errorAfterSetters = port.error();
        emit port.errorOccurred(QSerialPort::UnknownError);
        emit port.errorOccurred(QSerialPort::UnknownError);
    }
    bool lineIsBehind(const QSerialPort& port) override {
        if (!errorAtFirstWrite) {
            errorAtFirstWrite = port.error();
        }
        return WrappedSystemDriver::lineIsBehind(port);
    }
    QSerialPort::SerialPortError errorAfterSetters = QSerialPort::NoError;
    std::optional<QSerialPort::SerialPortError> errorAtFirstWrite;
};

// The lines are the board's wish, not the link's need: their failure is no lost device, and the
// port goes on without it as its error.
TEST(SerialPortLink, ModemLinesThatCannotBeReadBackKeepThePortOpen) {
    FarEnd board;
    NoModemLineReadBack driver;
    SerialPortLink link(driver);
    QSignalSpy lost(&link, &SerialLink::lost);
    ASSERT_EQ(openServoPort(link, 1), std::nullopt);

    EXPECT_FALSE(lost.wait(100)) << "reported as lost";
    EXPECT_TRUE(link.isOpen());
    writeCommand(link, {2, 200});
    EXPECT_EQ(board.receive(3), QByteArray("\xff\x02\xc8", 3));
    ASSERT_NE(driver.errorAfterSetters, QSerialPort::NoError) << "the setters left no error";
    EXPECT_EQ(driver.errorAtFirstWrite, QSerialPort::NoError);
}

// Reads nothing outside the event loop, as a driver that can hand nothing on at once.
class EventLoopReadsOnly final : public test_support::WrappedSystemDriver {
  public:
    void readNow(QSerialPort&) override {}
};

// A reply that reaches the port only through the event loop still ends the wait for it.
TEST(SerialPortLink, FindsAReplyThatOnlyTheEventLoopHandsOn) {
    FarEnd board;
    EventLoopReadsOnly driver;
    SerialPortLink link(driver);
    ASSERT_EQ(openServoPort(link, 1), std::nullopt);
    board.send(QByteArray("\x02\xc8", 2));
    QElapsedTimer clock;
    clock.start();
    link.waitForWaiting(2, 5s);
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(link.readWaiting(), QByteArray("\x02\xc8", 2));
}

// Hands what arrives on to the port as Qt's Windows backend does without its wait, through the
// event loop alone: a reply that reaches the system ends a wait for input, which one posted event
// reports; that starts a read, which a second one completes, and only then does the port see the
// bytes. Until then they count as the system's input.
class HandsOnThroughTheEventLoop final : public test_support::WrappedSystemDriver {
  public:
    explicit HandsOnThroughTheEventLoop(FarEnd& board) : board_(board) {}

    // The board's bytes reach the system now.
    void arrive(const QByteArray& bytes) {
        held_ += bytes;
        QMetaObject::invokeMethod(
            &events_,
            [this] {
                QMetaObject::invokeMethod(
                    &events_, [this] { board_.send(std::exchange(held_, {})); },
                    Qt::QueuedConnection);
            },
            Qt::QueuedConnection);
    }
    void readNow(QSerialPort&) override {}
    int queuedInput(const QSerialPort& port) override {
        return static_cast<int>(held_.size()) + WrappedSystemDriver::queuedInput(port);
    }

  private:
    FarEnd& board_;
    QByteArray held_;
    QObject events_;
};

// A reply that reaches the system before a try's window ends is found by that try, even when the
// event loop was busy past the window and its timer falls due before the reply is handed on; the
// window stays a window when nothing has come.
TEST(SerialPortLink, AReplyInTheSystemBeforeTheWindowEndsIsFound) {
    struct Row {
        const char* what;
        int arrivesAtMs;  // -1: nothing arrives
        int busyForMs;    // the event loop is held from the reply's time (or 10 ms) on
        bool found;
        qint64 belowMs;
    };
    const Row rows[] = {
        {"arrives in the window, the loop busy past it", 10, 150, true, 300},
        {"arrives in the window, the loop free", 10, 0, true, 40},
        {"arrives after the window", 60, 0, false, 100},
        {"nothing, the loop busy past the window", -1, 150, false, 200},
    };
    constexpr auto kWindow = 50ms;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        FarEnd board;
        HandsOnThroughTheEventLoop driver(board);
        SerialPortLink link(driver);
        ASSERT_EQ(openServoPort(link, 1), std::nullopt);
        QTimer::singleShot(
            std::chrono::milliseconds(row.arrivesAtMs < 0 ? 10 : row.arrivesAtMs), &link, [&] {
                if (row.arrivesAtMs >= 0) {
                    driver.arrive(QByteArray("\x02\xc8", 2));
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(row.busyForMs));
            });

        QElapsedTimer clock;
        clock.start();
        link.waitForWaiting(2, kWindow);
        const qint64 waited = clock.elapsed();
        link.setInputLength(0);
        EXPECT_EQ(link.readWaiting(), row.found ? QByteArray("\x02\xc8", 2) : QByteArray());
        EXPECT_GE(waited, row.found ? 0 : 45);
        EXPECT_LT(waited, row.belowMs);
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

}  // namespace
}  // namespace tolvane
