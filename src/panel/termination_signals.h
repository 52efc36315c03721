// SIGTERM, SIGHUP (the terminal closed, the user logged out) and SIGINT, turned into a Qt signal
// on the GUI thread, so that they end the program as Exit does: port closed, lock released.
// The system's handler only writes the signal's number to a socket pair; a notifier reads it in
// the event loop (termination_signals_unix.cpp). On Windows nothing is caught.
#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace tolvane {

class TerminationSignals final : public QObject {
    Q_OBJECT

  public:
    // Catches the signals from here on; one instance at a time.
    explicit TerminationSignals(QObject* parent = nullptr);
    // Gives the signals back to the system's default.
    ~TerminationSignals() override;

  signals:
    void received(int signalNumber);

  private:
    void readPending();

    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace tolvane
