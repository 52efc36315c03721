// Watches for the device of a port that cannot be used now: it says when that device may have
// appeared, and leaves finding out whether it has to whoever opens the port.
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include "ports/port_devices.h"

namespace tolvane {

class DeviceWatch final : public QObject {
    Q_OBJECT

  public:
    explicit DeviceWatch(PortLookup lookup = {}, QObject* parent = nullptr);

    // Watches for port n's device until stop(): on Linux and other Unix systems the folder of
    // the device its variable names, and the adapter folder, through the system's file
    // notifications (nothing wakes while nothing changes); on Windows and macOS the system's
    // list of ports, looked at once a second.
    void start(int port);
    void stop();
    [[nodiscard]] bool watching() const { return !targets_.isEmpty() || listCheck_.isActive(); }

  signals:
    // Something changed where port n's device would be; it may be there now.
    void mayHaveAppeared();

  private:
    void folderChanged();
    void watchNearestFolders();
    void checkList();

    PortLookup lookup_;
    // The folders the device may appear in; each is watched once it exists, its nearest
    // existing parent until then (/dev/serial/by-id comes and goes with the adapters).
    QStringList targets_;
    QFileSystemWatcher folders_;
    QTimer listCheck_;
    QStringList lastList_;
};

}  // namespace tolvane
