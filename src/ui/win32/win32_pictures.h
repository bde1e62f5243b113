#pragma once

#include <windows.h>

namespace korvel {

// The resource numbers of the pictures, drawn from resources/icons at build time.
inline constexpr int kApplicationIconId = 1;
inline constexpr int kFirstPictureId = 100;  // + the picture's number in the image list

// The image list's picture by its number, at size × size pixels; the caller destroys it.
HICON picture(int image, int size);
HICON applicationIcon();

}  // namespace korvel
