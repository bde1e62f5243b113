#include "ui/win32/win32_pictures.h"

namespace korvel {

HICON picture(int image, int size) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr),
                                         MAKEINTRESOURCEW(kFirstPictureId + image), IMAGE_ICON,
                                         size, size, LR_DEFAULTCOLOR));
}

HICON applicationIcon() {
    return LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kApplicationIconId));
}

}  // namespace korvel
