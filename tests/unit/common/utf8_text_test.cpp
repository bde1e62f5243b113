#include "common/utf8_text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace korvel {
namespace {

// Bytes that start no well-formed character become U+FFFD one by one; the rest stays.
TEST(Utf8Text, EveryByteThatStartsNoWellFormedCharacterBecomesAReplacement) {
    const std::string r = "\xEF\xBF\xBD";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"ntp.tencent.com", "ntp.tencent.com"},
        {"时间\xF0\x9F\x95\x90\xF4\x8F\xBF\xBF", "时间\xF0\x9F\x95\x90\xF4\x8F\xBF\xBF"},
        {"caf\xE9.cn", "caf" + r + ".cn"},                   // Latin-1
        {"\xC0\xAF \xE0\x80\xAF", r + r + " " + r + r + r},  // overlong
        {"\xED\xA0\x80", r + r + r},                         // a surrogate
        {"\xF4\x90\x80\x80", r + r + r + r},                 // above U+10FFFF
        {"\xE6\x97", r + r},                                 // cut short
        {"\xE6\x97x", r + r + "x"},
        {"\x80", r},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(wellFormedUtf8(text), expected) << text;
    }
}

}  // namespace
}  // namespace korvel
