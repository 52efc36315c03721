// The serial link over a real serial port (or a pseudo-terminal standing in for one).
#pragma once

#include <QSerialPort>
#include <QTimer>
#include <chrono>

#include "link/hang_up_watch.h"
#include "link/input_buffer.h"
#include "link/line_settings.h"
#include "link/output_pacer.h"
#include "link/serial_driver.h"
#include "link/serial_link.h"
#include "ports/port_devices.h"

class QEventLoop;

namespace tolvane {

class SerialPortLink final : public SerialLink {
    Q_OBJECT

  public:
    explicit SerialPortLink(QObject* parent = nullptr);
    // Over another driver than the system's own, as tests do with a model of a real one.
    explicit SerialPortLink(SerialDriver& driver, PortLookup lookup = {},
                            QObject* parent = nullptr);
    // With the ports' devices found another way than the system's, as tests do.
    explicit SerialPortLink(PortLookup lookup, QObject* parent = nullptr);
    ~SerialPortLink() override;

    std::optional<LinkError> setSettings(const QString& settings) override;
    std::optional<LinkError> setPortNumber(int port) override;
    // Opens the device by its real name (symbolic links resolved), so that the lock is the one
    // other programs look for; errors still name the path the user gave.
    std::optional<LinkError> open() override;
    // Drops output the system has not taken yet, lets the little it holds leave, then closes.
    // Asked for during a wait for bytes, it ends the wait and closes when the wait returns.
    void close() override;
    bool isOpen() const override;
    void writeByte(std::uint8_t byte) override;
    void setInputLength(int length) override;
    int waitingCount() override;
    QByteArray readWaiting() override;
    // Runs timers and notifiers, but no user input, until the bytes wait, the window passes (and
    // what the system holds by then is handed on) or the port closes. Whatever happens to the
    // port meanwhile takes effect when it returns.
    void waitForWaiting(int count, std::chrono::milliseconds window) override;
    int baudRate() const override;

  private:
    // How much one read takes from the device, and the most Qt keeps beside input_.
    static constexpr int kDeviceReadChunk = 4096;
    // How often a full input buffer drops what has come since.
    static constexpr std::chrono::milliseconds kOverrunDrainInterval{20};
    // The longest a close waits for what the system holds: OutputPacer::kOutputAhead's worth, and
    // the 16-byte
    // FIFO of a built-in UART, which fills at once and which the count leaves out (96 ms at
    // 2400 baud together).
    static constexpr std::chrono::milliseconds kDrainBound{100};
    // The longest a wait for bytes runs past its window for bytes that the system holds at its
    // end: the loop's time to hand them on, which takes it well under a millisecond when free.
    static constexpr std::chrono::milliseconds kHandOverBound{20};

    void pollDevice();
    void takeArrivals();
    void drainInput();
    void noteError(QSerialPort::SerialPortError error);
    void noteLoss(const QString& reason);
    void reportLoss();
    void shutDown();
    bool applySettings();
    LinkError openError(const QString& device) const;

    SystemSerialDriver systemDriver_;
    SerialDriver& driver_;
    PortLookup lookup_;
    QSerialPort port_;
    LineSettings settings_;
    int portNumber_ = 1;
    int inputLength_ = 0;
    InputBuffer input_;  // what waitingCount() counts and readWaiting() takes
    OutputPacer output_;
    // Why the open port failed, kept until the port is closed and lost() raised: a dead device
    // raises a burst of errors, and the user hears of it once.
    std::optional<QString> failure_;
    QString device_;  // the device of the open port, as the user knows it
    QTimer lossReport_;
    QTimer overrunDrain_;
    HangUpWatch hangUpWatch_;
    // The innermost wait for bytes running now, the count it waits for, and how many are nested.
    QEventLoop* wait_ = nullptr;
    int waitCount_ = 0;
    int waitDepth_ = 0;
    bool closeAsked_ = false;  // close() came during a wait
};

}  // namespace tolvane
