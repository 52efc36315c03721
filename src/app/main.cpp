// Starts the panel: the window, its start-up, and the event loop until Exit or the close box.
#include <QApplication>

#include "link/serial_port_link.h"
#include "panel/app_icon.h"
#include "panel/main_window.h"
#include "panel/panel.h"
#include "panel/user_messages.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tolvane"));
    QApplication::setWindowIcon(tolvane::appIcon());
    // Lets a desktop match the running window to its desktop entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tolvane.Tolvane"));

    tolvane::SerialPortLink link;
    tolvane::ModalMessageBox messages;
    tolvane::Panel panel(link, messages);
    messages.setOwner(&panel.window());
    QObject::connect(&panel, &tolvane::Panel::finished, &app, [] { QApplication::exit(0); });

    panel.load();
    panel.window().show();
    return QApplication::exec();
}
