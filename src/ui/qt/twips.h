#pragma once

#include <QRect>

#include "ui/form/controls.h"

namespace korvel {

// 15 twips make one logical pixel; Qt scales logical pixels for high-DPI screens.
inline constexpr int kTwipsPerPixel = 15;

inline int twipsToPixels(int twips) {
    return (twips >= 0 ? twips + kTwipsPerPixel / 2 : twips - kTwipsPerPixel / 2) / kTwipsPerPixel;
}

// A rectangle given as left, top, width and height in twips, as the window is laid out.
inline QRect twipsRect(int left, int top, int width, int height) {
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

inline QRect twipsRect(const TwipsRect& rect) {
    return twipsRect(rect.left, rect.top, rect.width, rect.height);
}

}  // namespace korvel
