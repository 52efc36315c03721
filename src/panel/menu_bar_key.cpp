#include "panel/menu_bar_key.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QShortcut>

namespace tolvane {

namespace {

void selectFirstTitle(QMainWindow& window) {
    QMenuBar* bar = window.menuBar();
    if (bar->isNativeMenuBar() || bar->actions().isEmpty()) {
        return;  // a menu bar that the system shows has keys of its own
    }
    const bool wasInBar = bar->hasFocus();
    // The menu bar's keyboard mode has no public call. The menu bar enters it (or leaves it) when
    // Alt is pressed and released alone, which it learns from these two events on its window;
    // handing it the same two keeps F10 and Alt alike in every detail. Qt reports the modifiers of
    // a key event of Alt itself as they stand after the key, so the press is built without Alt and
    // the release with it.
    QKeyEvent altPressed(QEvent::ShortcutOverride, Qt::Key_Alt, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &altPressed);
    QKeyEvent altReleased(QEvent::KeyRelease, Qt::Key_Alt, Qt::AltModifier);
    QCoreApplication::sendEvent(&window, &altReleased);
    if (!wasInBar && !bar->hasFocus()) {
        // A style with no keyboard mode for menu bars: open the first title's menu instead.
        bar->setActiveAction(bar->actions().constFirst());
    }
}

}  // namespace

void addMenuBarKey(QMainWindow& window) {
    auto* key = new QShortcut(QKeySequence(Qt::Key_F10), &window);
    key->setContext(Qt::WindowShortcut);
    QObject::connect(key, &QShortcut::activated, &window, [&window] { selectFirstTitle(window); });
}

}  // namespace tolvane
