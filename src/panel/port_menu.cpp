#include "panel/port_menu.h"

#include "panel/port_keeper.h"
#include "panel/user_messages.h"

namespace tolvane {

PortMenu::PortMenu(PortKeeper& keeper, UserMessages& messages, FailureReport reportFailure,
                   QObject* parent)
    : QObject(parent),
      keeper_(keeper),
      messages_(messages),
      reportFailure_(std::move(reportFailure)) {}

void PortMenu::chooseCom1() {
    if (const auto error = keeper_.open(1)) {
        reportFailure_(*error);
    }
}

void PortMenu::chooseCom2() {
    if (!keeper_.open(2)) {
        return;
    }
    // COM2 is closed by now (its open failed), so COM1 is opened without closing first, and is
    // the port kept from here on. The message comes only once COM1 is open; if COM1 fails too,
    // that failure is reported instead.
    if (const auto error = keeper_.open(1)) {
        reportFailure_(*error);
        return;
    }
    messages_.show(QStringLiteral("Invalid port - will use Port 1 instead"));
}

}  // namespace tolvane
