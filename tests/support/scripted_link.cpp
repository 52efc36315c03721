#include "scripted_link.h"

namespace tolvane::test_support {

std::optional<LinkError> ScriptedLink::setSettings(const QString& settings) {
    calls_ << QStringLiteral("settings ") + settings;
    return std::nullopt;
}

std::optional<LinkError> ScriptedLink::setPortNumber(int port) {
    calls_ << QStringLiteral("port %1").arg(port);
    portNumber_ = port;
    return std::nullopt;
}

std::optional<LinkError> ScriptedLink::open() {
    calls_ << QStringLiteral("open");
    if (openPort_ != 0) {
        return LinkError{LinkError::Kind::AlreadyOpen, portNumber_, QString(), "already open"};
    }
    if (const auto failure = openFailures.find(portNumber_); failure != openFailures.end()) {
        return failure->second;
    }
    openPort_ = portNumber_;
    decoder_ = CommandDecoder();
    return std::nullopt;
}

void ScriptedLink::close() {
    calls_ << QStringLiteral("close");
    openPort_ = 0;
}

void ScriptedLink::writeByte(std::uint8_t byte) {
    if (openPort_ == 0) {
        return;
    }
    if (writeFailure_) {
        const LinkError error{LinkError::Kind::Lost, openPort_, QStringLiteral("/dev/scripted"),
                              *writeFailure_};
        writeFailure_.reset();
        openPort_ = 0;
        emit lost(error);
        return;
    }
    written_ += static_cast<char>(byte);
    writtenPerPort_[openPort_] += static_cast<char>(byte);
    if (const auto command = decoder_.feed(byte); command && board) {
        incoming_ += board(*command);
    }
}

void ScriptedLink::setInputLength(int length) {
    calls_ << QStringLiteral("input length %1").arg(length);
    inputLength_ = length;
}

int ScriptedLink::waitingCount() {
    return openPort_ == 0 ? 0 : static_cast<int>(incoming_.size());
}

QByteArray ScriptedLink::readWaiting() {
    if (openPort_ == 0) {
        return {};
    }
    calls_ << QStringLiteral("read");
    const qsizetype count = inputLength_ == 0 ? incoming_.size() : inputLength_;
    QByteArray data = incoming_.left(count);
    incoming_.remove(0, data.size());
    return data;
}

void ScriptedLink::waitForWaiting(int /*count*/, std::chrono::milliseconds window) {
    // The scripted board answers at once: what it will send has arrived already.
    if (openPort_ != 0) {
        windows_.push_back(window);
        if (onWait) {
            onWait();
        }
    }
}

std::vector<PositionCommand> ScriptedLink::commands() const {
    return decodeCommands(written_);
}

void ScriptedLink::clearWritten() {
    written_.clear();
    writtenPerPort_.clear();
}

std::vector<PositionCommand> decodeCommands(const QByteArray& bytes) {
    CommandDecoder decoder;
    std::vector<PositionCommand> commands;
    for (const char byte : bytes) {
        if (const auto command = decoder.feed(static_cast<std::uint8_t>(byte))) {
            commands.push_back(*command);
        }
    }
    return commands;
}

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray result;
    for (const int value : values) {
        result += static_cast<char>(value);
    }
    return result;
}

QByteArray echoOf(PositionCommand command) {
    return bytes({command.channel, command.position});
}

}  // namespace tolvane::test_support
