// Windows: a port's name (COMn) names no file, and the system's answers stand for both questions.
#include "ports/device_files.h"

namespace tolvane {

bool devicePresent(const QString& /*path*/) {
    return true;
}

bool userMayUse(const QString& /*device*/) {
    return true;
}

QString realDeviceName(const QString& device) {
    return device;
}

}  // namespace tolvane
