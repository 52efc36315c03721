// Windows has no SIGHUP and raises neither SIGTERM nor SIGINT for a program with a window:
// nothing is caught, and the notifier stays empty.
#include "panel/termination_signals.h"

#include <QSocketNotifier>

namespace tolvane {

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {}

TerminationSignals::~TerminationSignals() = default;

void TerminationSignals::readPending() {}

}  // namespace tolvane
