#include "platform/win32/win32_text.h"

#include <windows.h>

namespace korvel {

namespace {

std::wstring wideOfCodePage(UINT codePage, std::string_view bytes) {
    if (bytes.empty()) {
        return {};
    }
    const int size = static_cast<int>(bytes.size());
    const int wideSize = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), size, wide.data(), wideSize);
    return wide;
}

}  // namespace

std::wstring wideOf(std::string_view utf8) {
    return wideOfCodePage(CP_UTF8, utf8);
}

std::string utf8Of(std::wstring_view wide) {
    if (wide.empty()) {
        return {};
    }
    const int size = static_cast<int>(wide.size());
    const int utf8Size =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(utf8Size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), utf8Size, nullptr, nullptr);
    return utf8;
}

namespace {

// No best fit: a character the code page lacks must be noticed, not quietly swapped.
std::string narrowed(UINT codePage, std::string_view utf8, BOOL& defaultUsed) {
    const std::wstring wide = wideOf(utf8);
    defaultUsed = FALSE;
    if (wide.empty()) {
        return {};
    }
    const int size = static_cast<int>(wide.size());
    const int length = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), size,
                                           nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), size, text.data(), length,
                        nullptr, &defaultUsed);
    return text;
}

}  // namespace

std::optional<std::string> inCodePage(unsigned codePage, std::string_view utf8) {
    BOOL defaultUsed = FALSE;
    std::string text = narrowed(codePage, utf8, defaultUsed);
    if (defaultUsed) {
        return std::nullopt;
    }
    return text;
}

std::string inCodePageLossy(unsigned codePage, std::string_view utf8) {
    BOOL defaultUsed = FALSE;
    return narrowed(codePage, utf8, defaultUsed);
}

bool isValidUtf8(std::string_view bytes) {
    return bytes.empty() || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                                static_cast<int>(bytes.size()), nullptr, 0) > 0;
}

std::string utf8OfCodePage(unsigned codePage, std::string_view bytes) {
    return utf8Of(wideOfCodePage(codePage, bytes));
}

}  // namespace korvel
