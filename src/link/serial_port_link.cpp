#include "link/serial_port_link.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QSignalBlocker>
#include <utility>

#include "link/port_errors.h"
#include "ports/device_files.h"
#include "ports/port_devices.h"

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

}  // namespace

SerialPortLink::SerialPortLink(QObject* parent) : SerialPortLink(systemDriver_, {}, parent) {}

SerialPortLink::SerialPortLink(PortLookup lookup, QObject* parent)
    : SerialPortLink(systemDriver_, std::move(lookup), parent) {}

SerialPortLink::SerialPortLink(SerialDriver& driver, PortLookup lookup, QObject* parent)
    : SerialLink(parent),
      driver_(driver),
      lookup_(std::move(lookup)),
      output_(port_, driver_, settings_.baudRate) {
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
    connect(&hangUpWatch_, &HangUpWatch::gone, this, &SerialPortLink::noteLoss);
}

SerialPortLink::~SerialPortLink() {
    shutDown();
}

std::optional<LinkError> SerialPortLink::setSettings(const QString& settings) {
    const auto parsed = LineSettings::parse(settings);
    if (!parsed) {
        return LinkError{LinkError::Kind::BadSettings, portNumber_,
                         lookup_.device(portNumber_).path,
                         QStringLiteral("invalid line settings \"%1\"").arg(settings)};
    }
    settings_ = *parsed;
    output_.setBaudRate(settings_.baudRate);
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
    const PortDevice chosen = lookup_.device(portNumber_);
    const QString& device = chosen.path;
    if (port_.isOpen()) {
        return LinkError{LinkError::Kind::AlreadyOpen, portNumber_, device,
                         QStringLiteral("the port is already open")};
    }
    failure_.reset();
    input_.clear();
    device_ = device;
    port_.setPortName(realDeviceName(device));
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
    hangUpWatch_.start(port_);
    return std::nullopt;
}

bool SerialPortLink::applySettings() {
    if (!(port_.setBaudRate(settings_.baudRate) && port_.setParity(toQt(settings_.parity)) &&
          port_.setDataBits(static_cast<QSerialPort::DataBits>(settings_.dataBits)) &&
          port_.setStopBits(toQt(settings_.stopBits)) &&
          port_.setFlowControl(QSerialPort::NoFlowControl))) {
        return false;  // the port's error names the setting that failed
    }
    // DTR up and RTS down, as the board expects. A device that cannot set or read them back (a
    // pseudo-terminal, some Windows drivers) still carries bytes: its errors here mean no loss.
    const QSignalBlocker quiet(port_);
    driver_.setModemLines(port_, true, false);
    port_.clearError();
    return true;
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
    if (waitDepth_ > 0) {
        // Never in the middle of a try: the wait ends, and the port closes when it returns.
        closeAsked_ = true;
        wait_->quit();
        return;
    }
    shutDown();
}

void SerialPortLink::shutDown() {
    hangUpWatch_.stop();
    overrunDrain_.stop();
    lossReport_.stop();
    // What the board has not been handed yet is dropped: Exit ends at once, and a port change
    // wants the new line, not the old backlog. What the system holds, a few milliseconds of the
    // line, leaves before the close, while the line still has its speed: Qt restores the speed
    // it found at open right before closing.
    output_.clear();
    if (port_.isOpen()) {
        if (!failure_ && !driver_.drain(port_, kDrainBound)) {
            driver_.discardOutput(port_);
        }
        driver_.close(port_);
    }
    failure_.reset();
    input_.clear();
    closeAsked_ = false;
}

bool SerialPortLink::isOpen() const {
    return port_.isOpen() && !closeAsked_;
}

void SerialPortLink::writeByte(std::uint8_t byte) {
    if (!isOpen()) {
        return;
    }
    output_.write(byte);
    reportLoss();
}

void SerialPortLink::setInputLength(int length) {
    inputLength_ = length < 0 ? 0 : length;
}

int SerialPortLink::waitingCount() {
    if (!isOpen()) {
        return 0;
    }
    pollDevice();
    return isOpen() ? input_.size() : 0;
}

QByteArray SerialPortLink::readWaiting() {
    if (!isOpen()) {
        return {};
    }
    pollDevice();
    return input_.take(inputLength_);
}

void SerialPortLink::waitForWaiting(int count, std::chrono::milliseconds window) {
    if (!isOpen()) {
        return;
    }
    pollDevice();
    if (!isOpen() || input_.size() >= count) {
        return;
    }
    // Timers and notifiers run meanwhile (the window stays alive, a backlog keeps leaving, and
    // the command just written may be part of it), user input waits. What they do to the port
    // is only marked here: the try that waits must find the port as it left it.
    QEventLoop loop;
    QTimer windowEnd;
    windowEnd.setSingleShot(true);
    windowEnd.setTimerType(Qt::PreciseTimer);
    bool handingOver = false;
    connect(&windowEnd, &QTimer::timeout, &loop, [&] {
        // A loop kept busy past the window meets its end before what came meanwhile, where the
        // system tells Qt of arrivals through the loop (on Windows, and under Wine only once
        // the loop waits). What Qt has finished reading is handed on now (readNow()); bytes
        // that the system holds by now are given the loop's time to be handed on.
        pollDevice();
        const int held = input_.size() + driver_.queuedInput(port_);
        if (!handingOver && input_.size() < count && held >= count) {
            handingOver = true;
            windowEnd.start(kHandOverBound);
            return;
        }
        loop.quit();
    });
    windowEnd.start(window);
    QEventLoop* const outer = std::exchange(wait_, &loop);
    const int outerCount = std::exchange(waitCount_, count);
    ++waitDepth_;
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    --waitDepth_;
    wait_ = outer;
    waitCount_ = outerCount;

    if (closeAsked_ || failure_) {
        if (waitDepth_ > 0) {
            wait_->quit();  // the outer wait's try must not go on as if nothing happened
        } else if (closeAsked_) {
            shutDown();  // the user ended it: no report of a loss
        } else {
            reportLoss();
        }
    }
}

void SerialPortLink::pollDevice() {
    // Reads what the device holds now, where the system allows, so that the count does not
    // depend on the event loop having run since the bytes arrived.
    driver_.readNow(port_);
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
    } else {
        drainInput();
    }
    if (wait_ != nullptr && input_.size() >= waitCount_) {
        wait_->quit();
    }
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
    const auto gone = deviceGone(port_);
    if (!gone && error == QSerialPort::ResourceError && driver_.lineIsBehind(port_)) {
        return;  // "try again" from a full output buffer: the bytes wait in Qt's queue
    }
    noteLoss(gone.value_or(port_.errorString()));
}

void SerialPortLink::noteLoss(const QString& reason) {
    if (failure_) {
        return;
    }
    failure_ = reason;
    if (wait_ != nullptr) {
        wait_->quit();  // reported when the wait returns
        return;
    }
    // The error may come from deep inside QSerialPort; close and report once control is back
    // in our hands: right after our own call returns, or on the next turn of the event loop.
    lossReport_.start();
}

void SerialPortLink::reportLoss() {
    if (!failure_ || !port_.isOpen() || waitDepth_ > 0) {
        return;
    }
    const LinkError error{LinkError::Kind::Lost, portNumber_, device_, *failure_};
    shutDown();
    emit lost(error);
}

}  // namespace tolvane
