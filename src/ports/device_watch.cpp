#include "ports/device_watch.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <iterator>

namespace tolvane {

namespace {

// Windows and macOS list their ports, and adapters come and go from that list; macOS's file
// notifications may not see /dev at all. Elsewhere the devices are files in folders.
constexpr bool kWatchesPortList =
    kThisSystem == PortSystem::Windows || kThisSystem == PortSystem::MacOs;

// About once a second, and only while a port waits.
constexpr std::chrono::milliseconds kListInterval{1000};

// A watch is set up again at most this often in one go: a folder that keeps coming and going
// under it is caught at its next change.
constexpr int kMaxRounds = 8;

// The folder itself when it exists, else its nearest parent that does.
QString nearestExisting(QString folder) {
    while (!QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).path();
        if (parent == folder) {
            break;
        }
        folder = parent;
    }
    return folder;
}

QStringList portList() {
    QStringList devices;
    for (const SerialPortRecord& port : systemPortRecords()) {
        devices.append(port.systemLocation);
    }
    devices.sort();
    return devices;
}

}  // namespace

DeviceWatch::DeviceWatch(PortLookup lookup, QObject* parent)
    : QObject(parent), lookup_(std::move(lookup)) {
    connect(&folders_, &QFileSystemWatcher::directoryChanged, this, &DeviceWatch::folderChanged);
    listCheck_.setInterval(kListInterval);
    connect(&listCheck_, &QTimer::timeout, this, &DeviceWatch::checkList);
}

void DeviceWatch::start(int port) {
    stop();
    if (kWatchesPortList) {
        lastList_ = portList();
        listCheck_.start();
        return;
    }
    if (!lookup_.adapterFolder.isEmpty()) {
        targets_.append(QDir::cleanPath(lookup_.adapterFolder));
    }
    // The system's default device is not waited for: the adapter that is missing is.
    const PortDevice device = lookup_.device(port);
    const QString folder = QFileInfo(device.path).absolutePath();
    if (!device.noAdapterFound && !targets_.contains(folder)) {
        targets_.append(folder);
    }
    watchNearestFolders();
}

void DeviceWatch::stop() {
    listCheck_.stop();
    targets_.clear();
    const QStringList watched = folders_.directories();
    if (!watched.isEmpty()) {
        folders_.removePaths(watched);
    }
}

void DeviceWatch::folderChanged() {
    if (targets_.isEmpty()) {
        return;  // stopped meanwhile
    }
    // A watched folder that is removed is no longer watched (udev removes /dev/serial/by-id with
    // the last adapter, and a later one would go unseen): the nearest folders are watched anew.
    watchNearestFolders();
    if (std::any_of(targets_.cbegin(), targets_.cend(),
                    [](const QString& folder) { return QFileInfo(folder).isDir(); })) {
        emit mayHaveAppeared();
    }
}

void DeviceWatch::watchNearestFolders() {
    // A folder made between looking and watching would go unseen: look again until what is
    // watched is what exists.
    for (int round = 0; round < kMaxRounds; ++round) {
        QStringList wanted;
        for (const QString& target : targets_) {
            const QString folder = nearestExisting(target);
            if (!wanted.contains(folder)) {
                wanted.append(folder);
            }
        }
        const QStringList watched = folders_.directories();
        QStringList dropped;
        std::copy_if(watched.cbegin(), watched.cend(), std::back_inserter(dropped),
                     [&](const QString& folder) { return !wanted.contains(folder); });
        QStringList added;
        std::copy_if(wanted.cbegin(), wanted.cend(), std::back_inserter(added),
                     [&](const QString& folder) { return !watched.contains(folder); });
        if (dropped.isEmpty() && added.isEmpty()) {
            return;
        }
        if (!dropped.isEmpty()) {
            folders_.removePaths(dropped);
        }
        if (!added.isEmpty()) {
            folders_.addPaths(added);
        }
    }
}

void DeviceWatch::checkList() {
    QStringList now = portList();
    if (now != lastList_) {
        lastList_ = std::move(now);
        emit mayHaveAppeared();
    }
}

}  // namespace tolvane
