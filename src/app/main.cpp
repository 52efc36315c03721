// Starts the panel: the window, its start-up, and the event loop until Exit or the close box.
#include <QApplication>

#include "link/serial_port_link.h"
#include "panel/app_icon.h"
#include "panel/app_style.h"
#include "panel/main_window.h"
#include "panel/panel.h"
#include "panel/termination_signals.h"
#include "panel/user_messages.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // From the start: a signal before the window is up still closes the port once the loop runs.
    tolvane::TerminationSignals endSignals;
    QApplication::setApplicationName(QStringLiteral("Tolvane"));
    QApplication::setWindowIcon(tolvane::appIcon());
    // Lets a desktop match the running window to its desktop entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tolvane.Tolvane"));
    // Before the window: its controls, its menu and the message boxes are drawn in this style.
    tolvane::usePanelStyle();

    tolvane::SerialPortLink link;
    tolvane::ModalMessageBox messages;
    tolvane::Panel panel(link, messages);
    messages.setOwner(&panel.window());
    QObject::connect(&panel, &tolvane::Panel::finished, &app, [] { QApplication::exit(0); });
    // As Exit: inside a playback it only marks the program as ending; the playback stops at its
    // next look, and a port that is waiting for a reply closes when the wait returns.
    QObject::connect(&endSignals, &tolvane::TerminationSignals::received, &panel,
                     &tolvane::Panel::exitProgram);

    panel.load();
    panel.window().show();
    return QApplication::exec();
}
