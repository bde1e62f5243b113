#pragma once

#include <windows.h>

namespace korvel {

// The resource numbers of the pictures, drawn from resources/icons at build time.
inline constexpr int kApplicationIconId = 1;
inline constexpr int kFirstPictureId = 100;  // + the picture's number in the image list

// The image list's picture by its number, at size × size pixels; the caller destroys it.
HICON picture(int image, int size);
HICON applicationIcon();
// The system's shield (elevation will be asked) at size × size pixels; shared, never destroyed.
HICON shieldIcon(int size);
// The picture with the shield in its lower right corner; the caller destroys it.
HICON shieldedPicture(int image, int size);
// The program's icon with the picture (0 for none) in its lower right corner; the caller
// destroys it.
HICON badgedApplicationIcon(int badge, int size);
// The shield as a 32-bit bitmap with alpha, for a menu item; the caller deletes it.
HBITMAP shieldBitmap(int size);

}  // namespace korvel
