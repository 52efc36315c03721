#include "link/serial_driver.h"

#include <QDeadlineTimer>
#include <QSerialPort>
#include <thread>

namespace tolvane {

bool SystemSerialDriver::drain(QSerialPort& port, std::chrono::milliseconds bound) {
    // tcdrain() has no time limit; the system holds only milliseconds of output, so looking
    // every millisecond costs nothing and keeps the wait bounded.
    const QDeadlineTimer deadline(bound);
    while (queuedOutput(port) > 0 || !transmitterEmpty(port)) {
        if (deadline.hasExpired()) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void SystemSerialDriver::discardOutput(QSerialPort& port) {
    port.clear(QSerialPort::Output);
}

void SystemSerialDriver::close(QSerialPort& port) {
    port.close();
}

void SystemSerialDriver::setModemLines(QSerialPort& port, bool dataTerminalReady,
                                       bool requestToSend) {
    port.setDataTerminalReady(dataTerminalReady);
    port.setRequestToSend(requestToSend);
}

}  // namespace tolvane
