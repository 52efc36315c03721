#include "ports/device_files.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace tolvane {

bool devicePresent([[maybe_unused]] const QString& path) {
#ifdef Q_OS_UNIX
    return QFileInfo::exists(path);
#else
    return true;
#endif
}

bool userMayUse([[maybe_unused]] const QString& device) {
#ifdef Q_OS_UNIX
    return ::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0;
#else
    return true;
#endif
}

}  // namespace tolvane
