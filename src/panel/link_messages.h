#pragma once

#include <QString>

#include "link/link_error.h"

namespace tolvane {

// What the user reads when the serial link fails: the port, its device and the reason, with
// advice for the cases a user can fix.
QString describeLinkError(const LinkError& error);

}  // namespace tolvane
