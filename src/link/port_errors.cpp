#include "link/port_errors.h"

namespace tolvane {

bool meansDeviceGone(QSerialPort::SerialPortError error, PortSystem system) {
    switch (error) {
        case QSerialPort::NoError:
        case QSerialPort::TimeoutError:
        case QSerialPort::UnsupportedOperationError:
            return false;
        case QSerialPort::ResourceError:
        case QSerialPort::WriteError:
        case QSerialPort::ReadError:
        case QSerialPort::UnknownError:
            return true;
        case QSerialPort::DeviceNotFoundError:
        case QSerialPort::PermissionError:
        case QSerialPort::OpenError:
        case QSerialPort::NotOpenError:
            break;
    }
    return system == PortSystem::Windows;
}

}  // namespace tolvane
