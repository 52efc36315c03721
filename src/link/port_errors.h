// Which errors of an open port mean that its device is gone.
#pragma once

#include <QSerialPort>

#include "ports/port_system.h"

namespace tolvane {

// True for an error on an open port that means the device was unplugged or has failed; false
// for a timeout, an operation the device does not support (a pseudo-terminal has no modem lines)
// and no error at all. Unix reports a lost device as a resource, read, write or unknown error;
// Windows also as a missing device or a permission error, so there every other error counts.
bool meansDeviceGone(QSerialPort::SerialPortError error, PortSystem system = kThisSystem);

}  // namespace tolvane
