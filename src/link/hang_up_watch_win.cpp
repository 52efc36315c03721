// Windows: nothing to watch, as the system tells no more than Qt does (deviceGone()).
#include "link/hang_up_watch.h"

#include <QSerialPort>

namespace tolvane {

struct HangUpWatch::Trigger {};

HangUpWatch::HangUpWatch(QObject* parent)
    : QObject(parent), trigger_(std::make_unique<Trigger>()) {}

HangUpWatch::~HangUpWatch() = default;

void HangUpWatch::start(const QSerialPort& port) {
    port_ = &port;
}

void HangUpWatch::stop() {
    port_ = nullptr;
}

}  // namespace tolvane
