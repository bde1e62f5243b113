#include "common/utf8_text.h"

namespace korvel {

namespace {

bool isContinuation(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// Byte offset of character index n, or text.size() when there are fewer characters.
std::size_t byteOffset(std::string_view text, std::size_t n) {
    std::size_t at = 0;
    while (n > 0 && at < text.size()) {
        ++at;
        while (at < text.size() && isContinuation(text[at])) {
            ++at;
        }
        --n;
    }
    return at;
}

// Bytes of the well-formed UTF-8 character at the start of text, 0 when there is none. The
// second byte's range excludes overlong forms, surrogates and code points above U+10FFFF.
std::size_t wellFormedLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    }
    if (length == 0 || text.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (!isContinuation(text[i])) {
            return 0;
        }
    }
    return length;
}

}  // namespace

std::size_t characterCount(std::string_view text) {
    std::size_t count = 0;
    for (char byte : text) {
        count += isContinuation(byte) ? 0 : 1;
    }
    return count;
}

std::string characters(std::string_view text, std::size_t first, std::size_t count) {
    const std::size_t begin = byteOffset(text, first);
    const std::size_t end = begin + byteOffset(text.substr(begin), count);
    return std::string(text.substr(begin, end - begin));
}

std::string padRight(std::string_view text, std::size_t width) {
    std::string padded(text);
    const std::size_t length = characterCount(text);
    if (length < width) {
        padded.append(width - length, ' ');
    }
    return padded;
}

std::string trimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

std::string shortened(std::string_view text, std::size_t count) {
    if (characterCount(text) <= count) {
        return std::string(text);
    }
    return characters(text, 0, count - 1) + "…";
}

std::string wellFormedUtf8(std::string_view text) {
    std::string result;
    while (!text.empty()) {
        const std::size_t length = wellFormedLength(text);
        result += length == 0 ? std::string_view("\xEF\xBF\xBD") : text.substr(0, length);
        text.remove_prefix(length == 0 ? 1 : length);
    }
    return result;
}

}  // namespace korvel
