// The serial link over a real serial port (or a pseudo-terminal standing in for one).
#pragma once

#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>

#include "link/input_buffer.h"
#include "link/line_settings.h"
#include "link/serial_link.h"

namespace tolvane {

class SerialPortLink final : public SerialLink {
    Q_OBJECT

  public:
    explicit SerialPortLink(QObject* parent = nullptr);
    ~SerialPortLink() override;

    std::optional<LinkError> setSettings(const QString& settings) override;
    std::optional<LinkError> setPortNumber(int port) override;
    std::optional<LinkError> open() override;
    void close() override;
    bool isOpen() const override;
    void writeByte(std::uint8_t byte) override;
    void setInputLength(int length) override;
    int waitingCount() override;
    QByteArray readWaiting() override;
    void waitForWaiting(int count, std::chrono::milliseconds window) override;
    int baudRate() const override;

  private:
    // How much one read takes from the device, and the most Qt keeps beside input_.
    static constexpr int kDeviceReadChunk = 4096;
    // How often a full input buffer drops what has come since.
    static constexpr std::chrono::milliseconds kOverrunDrainInterval{20};

    void pollDevice();
    void takeArrivals();
    void drainInput();
    void noteError(QSerialPort::SerialPortError error);
    void reportLoss();
    bool applySettings();
    LinkError openError(const QString& device) const;

    QSerialPort port_;
    LineSettings settings_;
    int portNumber_ = 1;
    int inputLength_ = 0;
    InputBuffer input_;  // what waitingCount() counts and readWaiting() takes
    // Why the open port failed, kept until the port is closed and lost() raised: a dead device
    // raises a burst of errors, and the user hears of it once.
    std::optional<QString> failure_;
    QString device_;  // the device of the open port
    QTimer lossReport_;
    QTimer overrunDrain_;
    // Set while waitForWaiting() runs its loop: a loss or a close then only ends the wait, and
    // takes effect once it has returned.
    QEventLoop* waitLoop_ = nullptr;
    bool closeRequested_ = false;
};

}  // namespace tolvane
