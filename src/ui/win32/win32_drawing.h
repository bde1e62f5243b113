#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <tuple>

#include "ui/form/form_layout.h"

namespace korvel {

// Twips on a screen of the given dots per inch.
inline int twipsToPixels(int twips, UINT dpi) {
    return MulDiv(twips, static_cast<int>(dpi), 1440);
}

inline RECT pixelRect(const TwipsRect& rect, UINT dpi) {
    const int left = twipsToPixels(rect.left, dpi);
    const int top = twipsToPixels(rect.top, dpi);
    return {left, top, left + twipsToPixels(rect.width, dpi),
            top + twipsToPixels(rect.height, dpi)};
}

inline COLORREF colorRef(Rgb color) {
    return RGB(color.red, color.green, color.blue);
}

// The dots per inch of the window's monitor, and of the primary screen.
UINT dpiOf(HWND window);
UINT screenDpi();

// The outer rectangle of a window whose client area, below its menu bar if it has one, is given.
RECT outerRect(const RECT& client, DWORD style, bool menu, UINT dpi);

// The size of a line of text in the font.
SIZE textExtent(HFONT font, const std::string& text);

// Creates a child control at a rectangle in pixels.
HWND createControl(HWND parent, const wchar_t* windowClass, const std::string& caption, DWORD style,
                   const RECT& place, int id, DWORD extendedStyle = 0);

// The designed fonts at one resolution, made once and deleted with this object.
class FontCache {
public:
    FontCache() = default;
    FontCache(const FontCache&) = delete;
    FontCache& operator=(const FontCache&) = delete;
    ~FontCache() { clear(); }

    HFONT font(const layout::FontSpec& spec, UINT dpi);
    void clear();

private:
    std::map<std::tuple<std::string, double, bool, UINT>, HFONT> m_fonts;
};

}  // namespace korvel
