#pragma once

#include <QString>

namespace tolvane {

// The device behind COM1 or COM2: the path in TOLVANE_COM1 / TOLVANE_COM2 when set, else the
// system's own name (COM1 on Windows, /dev/ttyS0 elsewhere).
QString deviceForPort(int port);

}  // namespace tolvane
