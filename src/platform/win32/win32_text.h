#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvel {

// UTF-8 (the core's text) and UTF-16 (the wide Windows API). Invalid sequences become U+FFFD.
std::wstring wideOf(std::string_view utf8);
std::string utf8Of(std::wstring_view wide);

// The text in a Windows code page; nullopt when the code page cannot hold every character,
// rather than a text with question marks.
std::optional<std::string> inCodePage(unsigned codePage, std::string_view utf8);
// The same where a question mark for a missing character is acceptable.
std::string inCodePageLossy(unsigned codePage, std::string_view utf8);
bool isValidUtf8(std::string_view bytes);
std::string utf8OfCodePage(unsigned codePage, std::string_view bytes);

}  // namespace korvel
