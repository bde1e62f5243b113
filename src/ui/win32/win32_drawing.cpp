#include "ui/win32/win32_drawing.h"

#include <cmath>
#include <string_view>

#include "platform/win32/win32_text.h"
#include "ui/form/control_fitting.h"

namespace korvel {

namespace {

// Calls of Windows 10 and later, looked up so that the program still starts on Windows 8.
template <typename Function>
Function user32Call(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

int CALLBACK noteFound(const LOGFONTW* /*font*/, const TEXTMETRICW* /*metrics*/, DWORD /*type*/,
                       LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool installed(const std::wstring& face) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    face.copy(wanted.lfFaceName, LF_FACESIZE - 1);
    bool found = false;
    HDC context = GetDC(nullptr);
    EnumFontFamiliesExW(context, &wanted, &noteFound, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, context);
    return found;
}

// The first installed of the faces that may draw the font; the designed face where none is,
// left to the system's substitution.
std::wstring faceFor(const layout::FontSpec& spec) {
    for (const std::string& family : fontFaces(spec).families) {
        if (std::wstring face = wideOf(family); installed(face)) {
            return face;
        }
    }
    return wideOf(spec.family);
}

}  // namespace

UINT screenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return static_cast<UINT>(dpi);
}

UINT dpiOf(HWND window) {
    using GetDpiForWindow = UINT(WINAPI*)(HWND);
    static const auto getDpi = user32Call<GetDpiForWindow>("GetDpiForWindow");
    return getDpi != nullptr ? getDpi(window) : screenDpi();
}

RECT outerRect(const RECT& client, DWORD style, bool menu, UINT dpi) {
    using AdjustForDpi = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjust = user32Call<AdjustForDpi>("AdjustWindowRectExForDpi");
    RECT outer = client;
    if (adjust != nullptr) {
        adjust(&outer, style, menu, 0, dpi);
    } else {
        AdjustWindowRectEx(&outer, style, menu, 0);
    }
    return outer;
}

HWND createControl(HWND parent, const wchar_t* windowClass, const std::string& caption, DWORD style,
                   const RECT& place, int id, DWORD extendedStyle) {
    return CreateWindowExW(
        extendedStyle, windowClass, wideOf(caption).c_str(), WS_CHILD | WS_VISIBLE | style,
        place.left, place.top, place.right - place.left, place.bottom - place.top, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

SIZE textExtent(HFONT font, const std::string& text) {
    HDC context = GetDC(nullptr);
    const HGDIOBJ previous = SelectObject(context, font);
    const std::wstring wide = wideOf(text);
    SIZE extent{};
    GetTextExtentPoint32W(context, wide.c_str(), static_cast<int>(wide.size()), &extent);
    SelectObject(context, previous);
    ReleaseDC(nullptr, context);
    return extent;
}

HFONT FontCache::font(const layout::FontSpec& spec, UINT dpi) {
    const auto key = std::make_tuple(std::string(spec.family), spec.pointSize, spec.bold, dpi);
    if (const auto found = m_fonts.find(key); found != m_fonts.end()) {
        return found->second;
    }
    LOGFONTW description{};
    description.lfHeight = -static_cast<LONG>(std::lround(spec.pointSize * dpi / 72.0));
    description.lfWeight = spec.bold ? FW_BOLD : FW_NORMAL;
    // The Chinese faces by the Chinese character set, so that where the face is missing the
    // system picks another that holds the characters.
    const bool chinese = spec.family == std::string_view(layout::kSongTi) ||
                         spec.family == std::string_view(layout::kKaiTi);
    description.lfCharSet = chinese ? GB2312_CHARSET : DEFAULT_CHARSET;
    description.lfQuality = CLEARTYPE_QUALITY;
    // Wine without the designed faces would take one without Chinese characters.
    const std::wstring face = faceFor(spec);
    face.copy(description.lfFaceName, LF_FACESIZE - 1);
    HFONT font = CreateFontIndirectW(&description);
    m_fonts.emplace(key, font);
    return font;
}

void FontCache::clear() {
    for (const auto& [key, font] : m_fonts) {
        DeleteObject(font);
    }
    m_fonts.clear();
}

}  // namespace korvel
