#include "link/serial_port_link.h"

#include <QFileInfo>

#include "link/port_devices.h"
#include "link/port_errors.h"

#ifdef Q_OS_UNIX
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace tolvane {

namespace {

QSerialPort::Parity toQt(LineSettings::Parity parity) {
    switch (parity) {
        case LineSettings::Parity::None:
            return QSerialPort::NoParity;
        case LineSettings::Parity::Even:
            return QSerialPort::EvenParity;
        case LineSettings::Parity::Odd:
            return QSerialPort::OddParity;
        case LineSettings::Parity::Mark:
            return QSerialPort::MarkParity;
        case LineSettings::Parity::Space:
            return QSerialPort::SpaceParity;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits toQt(LineSettings::StopBits stopBits) {
    switch (stopBits) {
        case LineSettings::StopBits::One:
            return QSerialPort::OneStop;
        case LineSettings::StopBits::OneAndHalf:
            return QSerialPort::OneAndHalfStop;
        case LineSettings::StopBits::Two:
            return QSerialPort::TwoStop;
    }
    return QSerialPort::OneStop;
}

// Whether the device has no room for output and reports no failure either: the line is behind,
// as a 2400-baud line is behind a fast drag. Written to then, the device answers "try again"
// (EAGAIN), which Qt reports as the same ResourceError as an unplugged device (EIO); asking the
// device first keeps the two apart.
bool lineIsBehind([[maybe_unused]] const QSerialPort& port) {
#ifdef Q_OS_UNIX
    pollfd fd{static_cast<int>(port.handle()), POLLOUT, 0};
    int ready = 0;
    do {
        ready = ::poll(&fd, 1, 0);
    } while (ready < 0 && errno == EINTR);
    return ready == 0;
#else
    return false;  // writes there are overlapped: the system queues them and never says "try again"
#endif
}

// Qt reports both "not allowed" and "locked by another program" as a permission error.
bool userMayUse([[maybe_unused]] const QString& device) {
#ifdef Q_OS_UNIX
    return ::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0;
#else
    return true;   // Windows answers "access denied" for a port that another program holds
#endif
}

}  // namespace

SerialPortLink::SerialPortLink(QObject* parent) : SerialLink(parent) {
    // Qt keeps no more than this beside our own input buffer, which every read notification
    // drains it into; Qt's own buffer would otherwise grow with every reply nobody reads.
    port_.setReadBufferSize(kDeviceReadChunk);
    connect(&port_, &QSerialPort::readyRead, this, &SerialPortLink::takeArrivals);
    overrunDrain_.setInterval(kOverrunDrainInterval);
    connect(&overrunDrain_, &QTimer::timeout, this, &SerialPortLink::drainInput);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialPortLink::noteError);
    lossReport_.setSingleShot(true);
    lossReport_.setInterval(0);
    connect(&lossReport_, &QTimer::timeout, this, &SerialPortLink::reportLoss);
}

SerialPortLink::~SerialPortLink() {
    port_.close();
}

std::optional<LinkError> SerialPortLink::setSettings(const QString& settings) {
    const auto parsed = LineSettings::parse(settings);
    if (!parsed) {
        return LinkError{LinkError::Kind::BadSettings, portNumber_, deviceForPort(portNumber_).path,
                         QStringLiteral("invalid line settings \"%1\"").arg(settings)};
    }
    settings_ = *parsed;
    return std::nullopt;
}

std::optional<LinkError> SerialPortLink::setPortNumber(int port) {
    if (port != 1 && port != 2) {
        return LinkError{LinkError::Kind::BadPort, port, QString(),
                         QStringLiteral("there is no port %1").arg(port)};
    }
    portNumber_ = port;
    return std::nullopt;
}

std::optional<LinkError> SerialPortLink::open() {
    const PortDevice chosen = deviceForPort(portNumber_);
    const QString& device = chosen.path;
    if (port_.isOpen()) {
        return LinkError{LinkError::Kind::AlreadyOpen, portNumber_, device,
                         QStringLiteral("the port is already open")};
    }
    failure_.reset();
    input_.clear();
    device_ = device;
    port_.setPortName(device);
    if (!port_.open(QIODevice::ReadWrite)) {
        LinkError error = openError(device);
        error.noAdapterFound = chosen.noAdapterFound;
        return error;
    }
    if (!applySettings()) {
        LinkError error{LinkError::Kind::OpenFailed, portNumber_, device, port_.errorString(),
                        chosen.noAdapterFound};
        port_.close();
        return error;
    }
    return std::nullopt;
}

bool SerialPortLink::applySettings() {
    const bool lineSet =
        port_.setBaudRate(settings_.baudRate) && port_.setParity(toQt(settings_.parity)) &&
        port_.setDataBits(static_cast<QSerialPort::DataBits>(settings_.dataBits)) &&
        port_.setStopBits(toQt(settings_.stopBits)) &&
        port_.setFlowControl(QSerialPort::NoFlowControl);
    // DTR up and RTS down, as the board expects; a pseudo-terminal has neither line, which
    // is not worth failing the open for.
    port_.setDataTerminalReady(true);
    port_.setRequestToSend(false);
    return lineSet;
}

LinkError SerialPortLink::openError(const QString& device) const {
    LinkError error{LinkError::Kind::OpenFailed, portNumber_, device, port_.errorString()};
    switch (port_.error()) {
        case QSerialPort::DeviceNotFoundError:
            error.kind = LinkError::Kind::NotFound;
            break;
        case QSerialPort::PermissionError:
            error.kind = (QFileInfo::exists(device) && !userMayUse(device))
                             ? LinkError::Kind::PermissionDenied
                             : LinkError::Kind::Busy;
            break;
        default:
            break;
    }
    return error;
}

void SerialPortLink::close() {
    if (waitLoop_ != nullptr) {
        closeRequested_ = true;
        waitLoop_->quit();
        return;
    }
    port_.close();
    failure_.reset();
    input_.clear();
    overrunDrain_.stop();
}

bool SerialPortLink::isOpen() const {
    return port_.isOpen();
}

void SerialPortLink::writeByte(std::uint8_t byte) {
    if (!port_.isOpen()) {
        return;
    }
    const char data = static_cast<char>(byte);
    // write() only queues in Qt's output buffer; flush() hands the queue to the device now,
    // without waiting. Behind a slow line the byte waits there instead, in order, and the event
    // loop (or a wait for a reply) hands it over as the line takes it: 3 bytes a command, so a
    // backlog of 100,000 commands, more than 20 minutes of a 2400-baud line, holds about 300 KB.
    port_.write(&data, 1);
    if (!lineIsBehind(port_)) {
        port_.flush();
    }
    reportLoss();
}

void SerialPortLink::setInputLength(int length) {
    inputLength_ = length < 0 ? 0 : length;
}

int SerialPortLink::waitingCount() {
    if (!port_.isOpen()) {
        return 0;
    }
    pollDevice();
    return port_.isOpen() ? input_.size() : 0;
}

QByteArray SerialPortLink::readWaiting() {
    if (!port_.isOpen()) {
        return {};
    }
    pollDevice();
    return input_.take(inputLength_);
}

void SerialPortLink::waitForWaiting(int count, std::chrono::milliseconds window) {
    if (!port_.isOpen() || waitLoop_ != nullptr) {
        return;
    }
    pollDevice();
    if (!port_.isOpen() || input_.size() >= count) {
        return;
    }
    // Timers, notifiers, repaints and the desktop's requests run meanwhile; clicks, keys and the
    // close box wait for the caller's next event processing.
    QEventLoop loop;
    QTimer windowEnd;
    windowEnd.setSingleShot(true);
    windowEnd.setTimerType(Qt::PreciseTimer);
    connect(&windowEnd, &QTimer::timeout, &loop, &QEventLoop::quit);
    // After takeArrivals(), which was connected first and has moved the bytes into input_.
    connect(&port_, &QSerialPort::readyRead, &loop, [this, &loop, count] {
        if (input_.size() >= count) {
            loop.quit();
        }
    });
    waitLoop_ = &loop;
    windowEnd.start(window);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    waitLoop_ = nullptr;
    if (closeRequested_) {
        closeRequested_ = false;
        close();
        return;
    }
    reportLoss();
}

void SerialPortLink::pollDevice() {
    // Reads what the device holds now, so that the count does not depend on the event loop
    // having run since the bytes arrived.
    port_.waitForReadyRead(0);
    drainInput();
    reportLoss();
}

void SerialPortLink::takeArrivals() {
    // While the input buffer is full, what arrives is lost anyway. Reading it the moment it comes
    // would let a board that never stops talking keep the panel busy; instead Qt's own buffer is
    // left to fill, which pauses Qt's reading, and a timer drops what came every few
    // milliseconds. The board waits meanwhile, and an unplug is noticed at the next drop.
    if (input_.isFull()) {
        if (!overrunDrain_.isActive()) {
            overrunDrain_.start();
        }
        return;
    }
    drainInput();
}

void SerialPortLink::drainInput() {
    // Reading also re-arms Qt's read notification, which Qt turns off whenever its own buffer is
    // full: an unplug must be noticed while the panel sits idle.
    char chunk[kDeviceReadChunk];
    for (qint64 n = 0; (n = port_.read(chunk, sizeof chunk)) > 0;) {
        input_.append(chunk, n);
    }
    if (!input_.isFull()) {
        overrunDrain_.stop();
    }
}

int SerialPortLink::baudRate() const {
    return settings_.baudRate;
}

void SerialPortLink::noteError(QSerialPort::SerialPortError error) {
    if (!meansDeviceGone(error) || !port_.isOpen() || failure_) {
        return;
    }
    if (error == QSerialPort::ResourceError && lineIsBehind(port_)) {
        return;  // "try again" from a full output buffer: the bytes wait in Qt's queue
    }
    failure_ = port_.errorString();
    // The error may come from deep inside QSerialPort; close and report once control is back
    // in our hands: right after our own call returns, or on the next turn of the event loop.
    lossReport_.start();
}

void SerialPortLink::reportLoss() {
    if (!failure_ || !port_.isOpen()) {
        return;
    }
    if (waitLoop_ != nullptr) {
        waitLoop_->quit();  // reported once the wait has returned
        return;
    }
    const LinkError error{LinkError::Kind::Lost, portNumber_, device_, *failure_};
    port_.close();
    failure_.reset();
    emit lost(error);
}

}  // namespace tolvane
