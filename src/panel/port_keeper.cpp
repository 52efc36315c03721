#include "panel/port_keeper.h"

#include "link/serial_link.h"
#include "ports/device_files.h"

namespace tolvane {

PortKeeper::PortKeeper(SerialLink& link, PortLookup lookup, QObject* parent)
    : QObject(parent), link_(link), lookup_(lookup), watch_(std::move(lookup)) {
    soon_.setSingleShot(true);
    soon_.setInterval(0);
    connect(&soon_, &QTimer::timeout, this, &PortKeeper::takeUp);
    retry_.setSingleShot(true);
    retry_.setInterval(kRetryInterval);
    connect(&retry_, &QTimer::timeout, this, [this] {
        pending_ = true;
        takeUp();
    });
    connect(&watch_, &DeviceWatch::mayHaveAppeared, this, &PortKeeper::deviceMayHaveAppeared);
}

std::optional<LinkError> PortKeeper::open(int port) {
    pending_ = false;
    retry_.stop();
    watch_.stop();
    if (link_.isOpen()) {
        link_.close();
    }
    // Looked at before and after the open: an adapter that comes or goes meanwhile costs at most
    // one needless move later, never a port left on the default device.
    const bool defaultBefore = lookup_.device(port).noAdapterFound;
    auto error = openServoPort(link_, port);
    port_ = port;
    if (error) {
        settle(deviceMissing(*error) ? State::Waiting : State::Settled);
    } else {
        const bool onDefault = defaultBefore || lookup_.device(port).noAdapterFound;
        settle(onDefault ? State::OnDefault : State::Settled);
    }
    return error;
}

void PortKeeper::lost() {
    if (stopped_) {
        return;
    }
    pending_ = false;
    retry_.stop();
    settle(State::Waiting);
}

void PortKeeper::playbackStarted() {
    ++playbacks_;
}

void PortKeeper::playbackEnded() {
    if (playbacks_ > 0 && --playbacks_ == 0) {
        takeUp();
    }
}

void PortKeeper::stop() {
    stopped_ = true;
    pending_ = false;
    soon_.stop();
    retry_.stop();
    watch_.stop();
}

void PortKeeper::settle(State state) {
    state_ = state;
    if (state_ == State::Settled || stopped_) {
        pending_ = false;
        retry_.stop();
        watch_.stop();
    } else if (!watch_.watching()) {
        watch_.start(port_);
    }
}

void PortKeeper::deviceMayHaveAppeared() {
    // Only marked here: the report may come inside a handshake's wait for the board.
    pending_ = true;
    retriesLeft_ = kRetries;
    soon_.start();
}

void PortKeeper::takeUp() {
    if (!pending_ || stopped_ || playbacks_ > 0 || state_ == State::Settled) {
        return;
    }
    pending_ = false;
    const PortDevice device = lookup_.device(port_);
    if (device.noAdapterFound || !devicePresent(device.path)) {
        return;  // still nothing to open but the default
    }
    if (link_.isOpen()) {
        link_.close();  // the default device makes way for the adapter
    }
    if (!openServoPort(link_, port_)) {
        settle(State::Settled);
        return;
    }
    settle(State::Waiting);
    if (retriesLeft_ > 0) {
        --retriesLeft_;
        retry_.start();
    }
}

}  // namespace tolvane
