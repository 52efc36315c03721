#include "usb_adapter_driver.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QSerialPort>
#include <QtGlobal>
#include <algorithm>
#include <ratio>
#include <thread>

namespace tolvane::test_support {

namespace {

// 2400 baud, ten bits a byte.
constexpr std::chrono::duration<long long, std::ratio<1, 240>> kByteTime{1};

UsbAdapterDriver::Clock::duration lineTime(qsizetype bytes) {
    return std::chrono::ceil<UsbAdapterDriver::Clock::duration>(bytes * kByteTime);
}

}  // namespace

UsbAdapterDriver::UsbAdapterDriver() {
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master_, &slave_, nullptr, &raw, nullptr) != 0) {
        qFatal("no pseudo-terminal for the driver double");
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    device_ = QString::fromLocal8Bit(ttyname(slave_));
    qputenv("TOLVANE_COM1", device_.toLocal8Bit());
}

UsbAdapterDriver::~UsbAdapterDriver() {
    qunsetenv("TOLVANE_COM1");
    ::close(master_);
    ::close(slave_);
}

void UsbAdapterDriver::update() {
    const Clock::time_point now = Clock::now();
    const auto left = std::min<long long>(queue_.size(), (now - lineFrom_) / kByteTime);
    sent_ += queue_.left(left);
    queue_.remove(0, left);
    lineFrom_ += lineTime(left);
    if (queue_.isEmpty()) {
        lineFrom_ = now;  // an idle line starts on the next byte at once
    }
    // The driver takes what fits; the rest stays with the writer, as a full driver refuses it.
    char bytes[kQueueSize];
    const ssize_t taken = ::read(master_, bytes, sizeof bytes - queue_.size());
    if (taken > 0) {
        queue_.append(bytes, taken);
    }
    peak_ = std::max(peak_, static_cast<int>(queue_.size()));
}

void UsbAdapterDriver::waitFor(Clock::duration length) {
    std::this_thread::sleep_for(length);
    update();
}

int UsbAdapterDriver::queuedOutput(QSerialPort& /*port*/) {
    return queued();
}

int UsbAdapterDriver::queued() {
    update();
    return static_cast<int>(queue_.size());
}

bool UsbAdapterDriver::drain(QSerialPort& /*port*/, std::chrono::milliseconds bound) {
    update();
    waitFor(std::min<Clock::duration>(lineTime(queue_.size()), bound));
    return queue_.isEmpty();
}

void UsbAdapterDriver::discardOutput(QSerialPort& port) {
    update();  // what the driver holds stays; only Qt's own buffer goes
    port.clear(QSerialPort::Output);
}

void UsbAdapterDriver::close(QSerialPort& port) {
    update();
    lastCloseWait_ = std::min<Clock::duration>(lineTime(queue_.size()), kClosingWait);
    waitFor(lastCloseWait_);
    port.close();
}

QByteArray UsbAdapterDriver::sent() {
    update();
    return sent_;
}

}  // namespace tolvane::test_support
