#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvel {

// Texts are UTF-8; fixed-width fields count characters, not bytes.
std::size_t characterCount(std::string_view text);
// Up to count characters starting at character index first (0-based); fewer or none when the
// text is shorter.
std::string characters(std::string_view text, std::size_t first, std::size_t count);
// The text extended with blanks on the right to width characters (never shortened).
std::string padRight(std::string_view text, std::size_t width);
// The text cut to count characters, its last one an ellipsis, when it is longer.
std::string shortened(std::string_view text, std::size_t count);
// The text without blanks at either end.
std::string trimBlanks(std::string_view text);
// The text with each byte that starts no well-formed UTF-8 character replaced by U+FFFD, for
// bytes from a file that may be in another encoding.
std::string wellFormedUtf8(std::string_view text);

}  // namespace korvel
