// A device's file on Unix: the file itself says whether it is there and who may open it.
#include "ports/device_files.h"

#include <unistd.h>

#include <QFile>
#include <QFileInfo>

namespace tolvane {

bool devicePresent(const QString& path) {
    return QFileInfo::exists(path);
}

bool userMayUse(const QString& device) {
    return ::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0;
}

QString realDeviceName(const QString& device) {
    const QString realName = QFileInfo(device).canonicalFilePath();
    return realName.isEmpty() ? device : realName;
}

}  // namespace tolvane
