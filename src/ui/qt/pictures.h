#pragma once

#include <QIcon>

namespace korvel {

// ImageList1: the toolbar's pictures by their number (1..18). Numbers the program never shows
// give a null icon.
QIcon picture(int image);

QIcon applicationIcon();

}  // namespace korvel
