// A double of a USB serial adapter's driver, which a pseudo-terminal does not resemble: bytes the
// link writes enter a queue of 4,096 bytes and leave it at 2400 baud, ten bits a byte (17 s for a
// full queue); the queued count reports them; drain and close wait for them, close at most 30 s;
// a flush leaves them queued, as the kernel's USB serial core has no flush. It holds the far end
// of a pseudo-terminal, points COM1 at the near end, and takes what the link writes from there;
// the rest is the system's own driver.
#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>

#include "wrapped_system_driver.h"

namespace tolvane::test_support {

class UsbAdapterDriver final : public WrappedSystemDriver {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kQueueSize = 4096;
    static constexpr std::chrono::seconds kClosingWait{30};

    UsbAdapterDriver();
    ~UsbAdapterDriver() override;

    const QString& device() const { return device_; }
    int queuedOutput(QSerialPort& port) override;
    bool drain(QSerialPort& port, std::chrono::milliseconds bound) override;
    void discardOutput(QSerialPort& port) override;
    void close(QSerialPort& port) override;

    // Bytes in the queue now.
    int queued();
    // Every byte that has left on the line so far, in order.
    QByteArray sent();
    // The most the queue has held.
    int peakQueued() const { return peak_; }
    // How long the last close waited for the queue.
    Clock::duration lastCloseWait() const { return lastCloseWait_; }

  private:
    void update();  // takes what the link wrote and lets out what the line has carried by now
    void waitFor(Clock::duration length);

    int master_ = -1;
    int slave_ = -1;
    QString device_;
    QByteArray queue_;
    QByteArray sent_;
    Clock::time_point lineFrom_;  // when the oldest queued byte began to leave
    int peak_ = 0;
    Clock::duration lastCloseWait_{};
};

}  // namespace tolvane::test_support
