#pragma once

#include <QIcon>

namespace korvel {

// ImageList1: the toolbar's pictures by their number (1..18). Numbers the program never shows
// give a null icon.
QIcon picture(int image);

QIcon applicationIcon();

// The program's icon with the picture (a number of the image list, 0 for none) over its lower
// right corner.
QIcon badgedIcon(int badge);

}  // namespace korvel
