// Hands output to the system at the pace of the line, so that the system never holds more than
// a few milliseconds of it; the rest waits in a backlog of our own.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>

#include "link/output_backlog.h"

class QSerialPort;

namespace tolvane {

class SerialDriver;

class OutputPacer final : public QObject {
    Q_OBJECT

  public:
    // The system is handed only what the line carries in this time (7 bytes at 2400 baud); the
    // rest waits in the backlog. A close then never waits long for the line.
    static constexpr std::chrono::milliseconds kOutputAhead{30};

    OutputPacer(QSerialPort& port, SerialDriver& driver, int baudRate, QObject* parent = nullptr);

    // The line's speed, which sets how much the system is handed at a time.
    void setBaudRate(int baudRate) { baudRate_ = baudRate; }
    // Sends one byte after every byte written before it, as soon as the line takes it.
    void write(std::uint8_t byte);
    // Drops the backlog and stops handing on.
    void clear();

  private:
    // How often a backlog is handed on: well within kOutputAhead, so the line does not run dry.
    static constexpr std::chrono::milliseconds kPaceInterval{10};

    void handOver();
    int outputAheadBytes() const;

    QSerialPort& port_;
    SerialDriver& driver_;
    int baudRate_;
    OutputBacklog backlog_;  // output the system has no room for yet, in order
    QTimer pacing_;
    // Hands on more as soon as Qt has passed on what the device at first refused: a device with
    // no line to wait for (a pseudo-terminal) need not wait for the pacing timer.
    QTimer handOverSoon_;
    bool qtHoldsOutput_ = false;
};

}  // namespace tolvane
