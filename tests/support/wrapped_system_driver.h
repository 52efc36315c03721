// The system's own serial driver, held and forwarded to: a double that changes some of its facts
// derives from this and overrides just those.
#pragma once

#include "link/serial_driver.h"

namespace tolvane::test_support {

class WrappedSystemDriver : public SerialDriver {
  public:
    int queuedOutput(QSerialPort& port) override { return system_.queuedOutput(port); }
    bool drain(QSerialPort& port, std::chrono::milliseconds bound) override {
        return system_.drain(port, bound);
    }
    void discardOutput(QSerialPort& port) override { system_.discardOutput(port); }
    void close(QSerialPort& port) override { system_.close(port); }
    bool lineIsBehind(const QSerialPort& port) override { return system_.lineIsBehind(port); }
    void setModemLines(QSerialPort& port, bool dataTerminalReady, bool requestToSend) override {
        system_.setModemLines(port, dataTerminalReady, requestToSend);
    }
    void readNow(QSerialPort& port) override { system_.readNow(port); }
    int queuedInput(const QSerialPort& port) override { return system_.queuedInput(port); }

  private:
    SystemSerialDriver system_;
};

}  // namespace tolvane::test_support
