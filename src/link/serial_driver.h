// The few facts of the system's serial driver that the link relies on beyond Qt's own calls: how
// much output the system still holds, whether the device has room for more, how that output is
// let go when the port closes, how the modem lines are set, and whether the device is gone. A
// pseudo-terminal's queue reads empty and its close never waits, so tests put a model of a real
// driver in the system's place.
#pragma once

#include <QString>
#include <chrono>
#include <optional>

class QSerialPort;

namespace tolvane {

class SerialDriver {
  public:
    SerialDriver() = default;
    virtual ~SerialDriver() = default;
    SerialDriver(const SerialDriver&) = delete;
    SerialDriver& operator=(const SerialDriver&) = delete;

    // Bytes handed to the system that have not left on the line yet; 0 when it cannot tell.
    [[nodiscard]] virtual int queuedOutput(QSerialPort& port) = 0;
    // Waits until the system's output has left or `bound` has passed; true when it has left.
    virtual bool drain(QSerialPort& port, std::chrono::milliseconds bound) = 0;
    // Drops Qt's write buffer and whatever output the driver can drop: a built-in UART drops its
    // queue, a USB adapter's driver keeps it.
    virtual void discardOutput(QSerialPort& port) = 0;
    // Closes the port. A real driver first waits here for the output it still holds.
    virtual void close(QSerialPort& port) = 0;
    // Whether the device has no room for output and reports no failure either: the line is
    // behind, as a 2400-baud line is behind a fast drag. Written to then, the device answers "try
    // again" (EAGAIN), which Qt reports as the same ResourceError as an unplugged device (EIO);
    // asking the device first keeps the two apart.
    [[nodiscard]] virtual bool lineIsBehind(const QSerialPort& port) = 0;
    // Sets DTR and RTS. Qt reads both lines back first, which some drivers cannot do (on
    // Windows: virtual and Bluetooth COM ports), and reports that as an error of the port.
    virtual void setModemLines(QSerialPort& port, bool dataTerminalReady, bool requestToSend) = 0;
    // Hands Qt what the device holds now and what Qt has finished reading but not handed on,
    // without waiting for the line.
    virtual void readNow(QSerialPort& port) = 0;
    // Bytes that have reached the system and that Qt has not taken yet; 0 when it cannot tell.
    [[nodiscard]] virtual int queuedInput(const QSerialPort& port) = 0;
};

// The operating system's own driver, reached through Qt and the system's calls. What differs
// between systems is in serial_driver_unix.cpp and serial_driver_win.cpp.
class SystemSerialDriver final : public SerialDriver {
  public:
    int queuedOutput(QSerialPort& port) override;
    bool drain(QSerialPort& port, std::chrono::milliseconds bound) override;
    void discardOutput(QSerialPort& port) override;
    void close(QSerialPort& port) override;
    bool lineIsBehind(const QSerialPort& port) override;
    void setModemLines(QSerialPort& port, bool dataTerminalReady, bool requestToSend) override;
    void readNow(QSerialPort& port) override;
    int queuedInput(const QSerialPort& port) override;

  private:
    // Whether the transmitter itself has sent its last bit, beyond what queuedOutput() counts.
    static bool transmitterEmpty(QSerialPort& port);
};

// The device's own word on whether it is gone: "the device was removed" for a hang-up, or the
// system's text for the error its settings can no longer be read with. Nothing when it looks
// well, or where the system cannot tell.
std::optional<QString> deviceGone(const QSerialPort& port);

}  // namespace tolvane
