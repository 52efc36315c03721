// F10 for a window's menu bar: the key that desktops use to reach the menu from the keyboard.
#pragma once

class QMainWindow;

namespace tolvane {

// Gives `window` an F10 key that selects the first title of its menu bar, as pressing and
// releasing Alt does: Down or Return then opens the title's menu, Escape gives the focus back to
// the control that had it, and F10 again leaves the menu bar. The key belongs to the window, not
// to a menu entry, and does nothing while another window, such as a modal message box, is active.
void addMenuBarKey(QMainWindow& window);

}  // namespace tolvane
