// The words the user reads when the serial link fails.
#pragma once

#include <QString>

#include "link/link_error.h"
#include "ports/port_system.h"

namespace tolvane {

// What the user reads when the serial link fails: the port, its device and the reason, with
// advice for the cases a user can fix, in the system's own terms.
QString describeLinkError(const LinkError& error, PortSystem system = kThisSystem);

}  // namespace tolvane
