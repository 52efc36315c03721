// Unix but macOS: the watch is a notifier of the handle's hang-up or error, woken by the system.
#include "link/hang_up_watch.h"

#include <QSerialPort>
#include <QSocketNotifier>

namespace tolvane {

struct HangUpWatch::Trigger {
    // Qt's serial port registers no notifier of this type, so it shares the handle with Qt's own
    // read notifier without taking its place.
    QSocketNotifier notifier{QSocketNotifier::Exception};
};

HangUpWatch::HangUpWatch(QObject* parent) : QObject(parent), trigger_(std::make_unique<Trigger>()) {
    trigger_->notifier.setEnabled(false);
    connect(&trigger_->notifier, &QSocketNotifier::activated, this, [this] {
        // The notifier fires for as long as the condition lasts, so it stays off from here on: a
        // device that only seemed wrong is still watched by every read and write.
        trigger_->notifier.setEnabled(false);
        check();
    });
}

HangUpWatch::~HangUpWatch() = default;

void HangUpWatch::start(const QSerialPort& port) {
    port_ = &port;
    trigger_->notifier.setSocket(port.handle());
    trigger_->notifier.setEnabled(true);
}

void HangUpWatch::stop() {
    trigger_->notifier.setEnabled(false);
    port_ = nullptr;
}

}  // namespace tolvane
