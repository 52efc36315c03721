// Notices that the open device is gone (a USB adapter pulled out, a pseudo-terminal whose far end
// closed) while the panel sits idle, with no read or write of ours: Qt may report such a device
// with a stale errno (Qt 6.4), or not at all while it has nothing to read (later versions).
#pragma once

#include <QObject>
#include <QString>
#include <optional>

#if defined(Q_OS_DARWIN)
#include <QTimer>
#elif defined(Q_OS_UNIX)
#include <QSocketNotifier>
#endif

class QSerialPort;

namespace tolvane {

// The device's own word on whether it is gone: "the device was removed" for a hang-up, or the
// system's text for the error its settings can no longer be read with. Nothing when it looks
// well, or where the system cannot tell.
std::optional<QString> deviceGone(const QSerialPort& port);

class HangUpWatch final : public QObject {
    Q_OBJECT

  public:
    explicit HangUpWatch(QObject* parent = nullptr);

    // Watches the open port until stop(); says gone() once when the device is gone.
    void start(const QSerialPort& port);
    void stop();

  signals:
    void gone(const QString& reason);

  private:
    void check();

    const QSerialPort* port_ = nullptr;
#if defined(Q_OS_DARWIN)
    // macOS's event dispatcher has no exception notifiers: the device is asked a few times a
    // second while the port is open.
    QTimer timer_;
#elif defined(Q_OS_UNIX)
    // Fires on hang-up or error of the handle. Qt's serial port registers no notifier of this
    // type, so it shares the handle with Qt's own read notifier without taking its place.
    QSocketNotifier notifier_{QSocketNotifier::Exception};
#endif
};

}  // namespace tolvane
