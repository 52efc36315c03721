// What went wrong on the serial link, and whether a missing device is why.
#pragma once

#include <QString>

namespace tolvane {

// What went wrong on the serial link, with enough detail for a message the user can act on.
struct LinkError {
    enum class Kind {
        BadSettings,       // line settings text that cannot be understood
        BadPort,           // a port number other than 1 or 2
        AlreadyOpen,       // open while a port is open
        NotFound,          // the device does not exist
        PermissionDenied,  // the user may not use the device
        Busy,              // another program holds the device
        OpenFailed,        // any other reason the device would not open or take the settings
        Lost,              // a write or read failed on an open port (device unplugged)
    };
    Kind kind = Kind::OpenFailed;
    int port = 0;    // 1 for COM1, 2 for COM2
    QString device;  // the device the port maps to
    QString reason;  // the operating system's words
    // The device is the system's default because no USB serial adapter was found (and no
    // TOLVANE_COMn names one): the user may need to name the right device.
    bool noAdapterFound = false;
};

// The open failed because the device is not there: nothing at the path, or the system's default
// tried because no adapter was found. The panel waits for such a device to be plugged in.
inline bool deviceMissing(const LinkError& error) {
    switch (error.kind) {
        case LinkError::Kind::NotFound:
            return true;
        case LinkError::Kind::PermissionDenied:
        case LinkError::Kind::Busy:
        case LinkError::Kind::OpenFailed:
            return error.noAdapterFound;
        case LinkError::Kind::BadSettings:
        case LinkError::Kind::BadPort:
        case LinkError::Kind::AlreadyOpen:
        case LinkError::Kind::Lost:
            break;
    }
    return false;
}

}  // namespace tolvane
