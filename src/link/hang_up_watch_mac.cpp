// macOS: its event dispatcher has no exception notifiers, so the device is asked a few times a
// second while the port is open.
#include "link/hang_up_watch.h"

#include <QSerialPort>
#include <QTimer>
#include <chrono>

namespace tolvane {

struct HangUpWatch::Trigger {
    QTimer timer;
};

HangUpWatch::HangUpWatch(QObject* parent) : QObject(parent), trigger_(std::make_unique<Trigger>()) {
    trigger_->timer.setInterval(std::chrono::milliseconds(250));
    connect(&trigger_->timer, &QTimer::timeout, this, &HangUpWatch::check);
}

HangUpWatch::~HangUpWatch() = default;

void HangUpWatch::start(const QSerialPort& port) {
    port_ = &port;
    trigger_->timer.start();
}

void HangUpWatch::stop() {
    trigger_->timer.stop();
    port_ = nullptr;
}

}  // namespace tolvane
