#include "panel/port_menu.h"

#include "link/serial_link.h"
#include "panel/user_messages.h"

namespace tolvane {

PortMenu::PortMenu(SerialLink& link, UserMessages& messages, FailureReport reportFailure,
                   QObject* parent)
    : QObject(parent), link_(link), messages_(messages), reportFailure_(std::move(reportFailure)) {}

std::optional<LinkError> PortMenu::reopenOn(int port) {
    if (link_.isOpen()) {
        link_.close();
    }
    return openServoPort(link_, port);
}

void PortMenu::chooseCom1() {
    if (const auto error = reopenOn(1)) {
        reportFailure_(*error);
    }
}

void PortMenu::chooseCom2() {
    if (!reopenOn(2)) {
        return;
    }
    // COM2 is closed by now (its open failed), so COM1 is opened without closing first. The
    // message comes only once COM1 is open; if COM1 fails too, that failure is reported instead.
    if (const auto error = openServoPort(link_, 1)) {
        reportFailure_(*error);
        return;
    }
    messages_.show(QStringLiteral("Invalid port - will use Port 1 instead"));
}

}  // namespace tolvane
