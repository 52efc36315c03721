// Notices that the open device is gone (a USB adapter pulled out, a pseudo-terminal whose far end
// closed) while the panel sits idle, with no read or write of ours: Qt may report such a device
// with a stale errno (Qt 6.4), or not at all while it has nothing to read (later versions).
#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QSerialPort;

namespace tolvane {

class HangUpWatch final : public QObject {
    Q_OBJECT

  public:
    explicit HangUpWatch(QObject* parent = nullptr);
    ~HangUpWatch() override;

    // Watches the open port until stop(); says gone() once when the device is gone.
    void start(const QSerialPort& port);
    void stop();

  signals:
    void gone(const QString& reason);

  private:
    // What makes the watch ask the device, each system's own: hang_up_watch_unix.cpp,
    // hang_up_watch_mac.cpp, hang_up_watch_win.cpp.
    struct Trigger;

    // Asks the device whether it is gone (deviceGone()).
    void check();

    const QSerialPort* port_ = nullptr;
    std::unique_ptr<Trigger> trigger_;
};

}  // namespace tolvane
