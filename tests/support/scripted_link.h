// A serial link with a scripted board behind it, for tests that need exact bytes without a port.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
#include <initializer_list>
#include <map>
#include <vector>

#include "link/serial_link.h"
#include "protocol/servo_protocol.h"

namespace tolvane::test_support {

class ScriptedLink final : public SerialLink {
    Q_OBJECT

  public:
    // What the board sends back for each complete command it receives; none by default.
    std::function<QByteArray(PositionCommand)> board;
    // Runs inside every wait for a reply, where the real link runs timers and notifiers.
    std::function<void()> onWait;
    // Ports whose open fails, with the error it gives.
    std::map<int, LinkError> openFailures;

    std::optional<LinkError> setSettings(const QString& settings) override;
    std::optional<LinkError> setPortNumber(int port) override;
    std::optional<LinkError> open() override;
    void close() override;
    bool isOpen() const override { return openPort_ != 0; }
    void writeByte(std::uint8_t byte) override;
    void setInputLength(int length) override;
    int waitingCount() override;
    QByteArray readWaiting() override;
    void waitForWaiting(int count, std::chrono::milliseconds window) override;
    int baudRate() const override { return 2400; }

    // Bytes arriving from the board before the next read.
    void receive(const QByteArray& bytes) { incoming_ += bytes; }
    // The next write fails as an unplugged device would: the port closes and lost() is raised.
    void failNextWrite(const QString& reason) { writeFailure_ = reason; }

    int openPort() const { return openPort_; }
    // Every byte written while a port was open, and per port.
    const QByteArray& written() const { return written_; }
    QByteArray writtenTo(int port) const { return writtenPerPort_.value(port); }
    std::vector<PositionCommand> commands() const;
    void clearWritten();
    // The calls made, in order: "settings 2400,N,8,1", "port 1", "open", "close", "read", ...
    const QStringList& calls() const { return calls_; }
    int waits() const { return static_cast<int>(windows_.size()); }
    // The reply window of every wait made while a port was open, in order.
    const std::vector<std::chrono::milliseconds>& windows() const { return windows_; }

  private:
    int portNumber_ = 1;
    int openPort_ = 0;
    int inputLength_ = 0;
    std::vector<std::chrono::milliseconds> windows_;
    QByteArray written_;
    QMap<int, QByteArray> writtenPerPort_;
    QByteArray incoming_;
    CommandDecoder decoder_;
    QStringList calls_;
    std::optional<QString> writeFailure_;
};

// Decodes a byte stream into the position commands it carries.
std::vector<PositionCommand> decodeCommands(const QByteArray& bytes);

// The bytes of a list of values: bytes({0xFF, 2, 200}).
QByteArray bytes(std::initializer_list<int> values);

// What an echoing board answers to a command: its channel and position.
QByteArray echoOf(PositionCommand command);

}  // namespace tolvane::test_support
