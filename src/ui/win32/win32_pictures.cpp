#include "ui/win32/win32_pictures.h"

namespace korvel {

namespace {

// A size × size 32-bit bitmap, transparent, with its bits; nullptr where none can be made.
HBITMAP transparentBitmap(int size) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

// Draws the icons into a new transparent bitmap, each at its place and size.
struct IconPlace {
    HICON icon;
    int left;
    int top;
    int size;
};
template <std::size_t N>
HBITMAP drawn(int size, const IconPlace (&places)[N]) {
    HBITMAP bitmap = transparentBitmap(size);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    for (const IconPlace& place : places) {
        if (place.icon != nullptr) {
            DrawIconEx(dc, place.left, place.top, place.icon, place.size, place.size, 0, nullptr,
                       DI_NORMAL);
        }
    }
    SelectObject(dc, previous);
    DeleteDC(dc);
    return bitmap;
}

// A new icon: the base with the badge over its lower right corner.
HICON withBadge(HICON base, HICON badge, int size, int badgeSize) {
    HBITMAP color = drawn(size, {IconPlace{base, 0, 0, size},
                                 IconPlace{badge, size - badgeSize, size - badgeSize, badgeSize}});
    HBITMAP mask = CreateBitmap(size, size, 1, 1, nullptr);  // the colour's alpha is the mask
    ICONINFO info{TRUE, 0, 0, mask, color};
    HICON badged = CreateIconIndirect(&info);
    DeleteObject(mask);
    DeleteObject(color);
    return badged;
}

}  // namespace

HICON picture(int image, int size) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr),
                                         MAKEINTRESOURCEW(kFirstPictureId + image), IMAGE_ICON,
                                         size, size, LR_DEFAULTCOLOR));
}

HICON applicationIcon() {
    return LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kApplicationIconId));
}

HICON shieldIcon(int size) {
    return static_cast<HICON>(LoadImageW(nullptr, IDI_SHIELD, IMAGE_ICON, size, size, LR_SHARED));
}

HICON shieldedPicture(int image, int size) {
    HICON base = picture(image, size);
    const int shieldSize = size * 9 / 16;
    HICON shield = shieldIcon(shieldSize);
    if (shield == nullptr) {
        return base;
    }
    HICON shielded = withBadge(base, shield, size, shieldSize);
    DestroyIcon(base);
    return shielded;
}

HICON badgedApplicationIcon(int badge, int size) {
    HICON base = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr),
                                               MAKEINTRESOURCEW(kApplicationIconId), IMAGE_ICON,
                                               size, size, LR_DEFAULTCOLOR));
    if (badge == 0) {
        return base;
    }
    const int badgeSize = size * 9 / 16;
    HICON picturePart = picture(badge, badgeSize);
    HICON badged = withBadge(base, picturePart, size, badgeSize);
    DestroyIcon(picturePart);
    DestroyIcon(base);
    return badged;
}

HBITMAP shieldBitmap(int size) {
    return drawn(size, {IconPlace{shieldIcon(size), 0, 0, size}});
}

}  // namespace korvel
