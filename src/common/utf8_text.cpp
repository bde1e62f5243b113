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

}  // namespace korvel
