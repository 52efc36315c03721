// The program's emblem, drawn at any size, and the window's icon made of it.
#pragma once

#include <QIcon>
#include <QImage>

namespace tolvane {

// The program's emblem: a black disc bearing three yellow sectors, one above and two below,
// each reaching from the rim toward the centre; transparent outside the disc. Drawn without
// smoothing so that each image keeps to a handful of flat colours.
QImage drawEmblem(int size);

// The emblem at 32 and 16 pixels, for the window and the program.
QIcon appIcon();

}  // namespace tolvane
