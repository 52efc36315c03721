#include "link/hang_up_watch.h"

#include "link/serial_driver.h"

namespace tolvane {

void HangUpWatch::check() {
    if (port_ == nullptr) {
        return;
    }
    if (const auto reason = deviceGone(*port_)) {
        stop();
        emit gone(*reason);
    }
}

}  // namespace tolvane
