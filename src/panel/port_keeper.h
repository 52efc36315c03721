// Opens the port the user chose, and keeps it in use as its device comes and goes. A port whose
// device is missing, or was lost, waits for it and is opened when it appears, as the "Com Port"
// menu opens it: no message, nothing sent. A port open on the system's default device only
// because no adapter was found moves to an adapter that appears. While a playback runs nothing
// is opened or closed; what the watch reports meanwhile is done once the playback has ended.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <optional>

#include "link/link_error.h"
#include "ports/device_watch.h"
#include "ports/port_devices.h"

namespace tolvane {

class SerialLink;

class PortKeeper final : public QObject {
    Q_OBJECT

  public:
    PortKeeper(SerialLink& link, PortLookup lookup, QObject* parent = nullptr);

    // Closes the link if open, then opens port n as every open does; from here on port n is the
    // one kept. The first failing step's error is returned.
    std::optional<LinkError> open(int port);
    // The open port's device is gone: the port waits for it.
    void lost();
    // A playback runs between the two; nested ones are counted.
    void playbackStarted();
    void playbackEnded();
    // The program ends: nothing is watched or opened any more.
    void stop();

  private:
    enum class State {
        Settled,    // open on the device it should have, or failed for a reason a device won't mend
        Waiting,    // closed; its device is missing
        OnDefault,  // open on the system's default device because no adapter was found
    };

    void settle(State state);
    void deviceMayHaveAppeared();
    void takeUp();

    // An open refused right after the device appeared is tried again this often, this far
    // apart: the system may give the device its permissions a moment later.
    static constexpr int kRetries = 4;
    static constexpr std::chrono::milliseconds kRetryInterval{250};

    SerialLink& link_;
    PortLookup lookup_;
    DeviceWatch watch_;
    QTimer soon_;  // takes the device up once control is back in the event loop
    QTimer retry_;
    int port_ = 1;
    State state_ = State::Settled;
    bool pending_ = false;  // the device may be there: to be looked at when nothing holds it up
    int retriesLeft_ = 0;
    int playbacks_ = 0;
    bool stopped_ = false;
};

}  // namespace tolvane
