// The serial line to the servo board, as the rest of the program sees it. The program talks to
// this interface only, so tests can put a scripted board in place of a real port.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>
#include <cstdint>
#include <optional>

#include "link/link_error.h"
#include "protocol/servo_protocol.h"

namespace tolvane {

class SerialLink : public QObject {
    Q_OBJECT

  public:
    using QObject::QObject;

    // Line settings of the next open, as "2400,N,8,1"; a malformed text is an error.
    [[nodiscard]] virtual std::optional<LinkError> setSettings(const QString& settings) = 0;
    // 1 (COM1) or 2 (COM2): the port of the next open.
    [[nodiscard]] virtual std::optional<LinkError> setPortNumber(int port) = 0;
    // Opens the chosen port with the current settings.
    [[nodiscard]] virtual std::optional<LinkError> open() = 0;
    virtual void close() = 0;
    [[nodiscard]] virtual bool isOpen() const = 0;

    // Sends one byte after every byte written before it: at once, or, while the line is behind,
    // as soon as the line takes it. Dropped while no port is open. Only a device that is gone or
    // fails closes the port and raises lost(); a full output buffer is no failure.
    virtual void writeByte(std::uint8_t byte) = 0;

    // How many bytes one readWaiting() takes at most; 0 takes all.
    virtual void setInputLength(int length) = 0;
    // Received bytes waiting to be read, up to the input buffer's fixed capacity (1,024 bytes);
    // what arrives while it is full is lost, the oldest bytes kept.
    [[nodiscard]] virtual int waitingCount() = 0;
    // Removes and returns the waiting bytes.
    virtual QByteArray readWaiting() = 0;
    // Runs a local event loop without user input until at least `count` bytes wait, `window` has
    // passed or the port closes; wakes as bytes arrive. Bytes that have reached the system by the
    // window's end are waited for too, however busy the loop was meanwhile, while the loop hands
    // them on (a few milliseconds at most). Timers, notifiers and the window's upkeep run
    // meanwhile; clicks, keys and the close box wait for the caller's next event processing.
    // A loss or a close requested meanwhile takes effect when it returns. Returns at once while
    // no port is open.
    virtual void waitForWaiting(int count, std::chrono::milliseconds window) = 0;

    [[nodiscard]] virtual int baudRate() const = 0;

  signals:
    // An open port failed while in use; it is closed by now. Raised once per failure.
    void lost(const tolvane::LinkError& error);
};

// The line the servo board speaks: 2400 baud, no parity, 8 data bits, 1 stop bit.
inline constexpr QLatin1String kServoLineSettings("2400,N,8,1");

// Opens the link on COM1 or COM2 as every open does: settings first, then the port number, then
// the open itself. The first failing step's error is returned.
std::optional<LinkError> openServoPort(SerialLink& link, int port);

// Sends a position command as three single-byte writes, back to back.
void writeCommand(SerialLink& link, PositionCommand command);

}  // namespace tolvane
