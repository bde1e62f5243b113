#include "common/server_entry.h"

#include <gtest/gtest.h>

namespace korvel {
namespace {

TEST(ServerEntry, PlainAddressOrNtsHostWithItsKeyExchangePort) {
    const struct {
        const char* text;
        const char* host;  // nullptr: no entry
        bool nts;
        std::int32_t port;
        const char* fault;
    } cases[] = {
        {"ntp.example.cn", "ntp.example.cn", false, kNtsKePort, ""},
        {"2001:db8::1", "2001:db8::1", false, kNtsKePort, ""},
        {"nts:time.example.com", "time.example.com", true, 4460, ""},
        {"NTS:time.example.com:4461", "time.example.com", true, 4461, ""},
        {"nts:10.0.0.1:1", "10.0.0.1", true, 1, ""},
        {"nts:[2001:db8::1]", "2001:db8::1", true, 4460, ""},
        {"nts:[::1]:65535", "::1", true, 65535, ""},
        {"ntp_1.cn", nullptr, false, 0, "bad server address 'ntp_1.cn'"},
        {"[::1]", nullptr, false, 0, "bad server address '[::1]'"},
        {"nts:", nullptr, false, 0, "no host after 'nts:' in 'nts:'"},
        {"nts::4460", nullptr, false, 0, "no host after 'nts:' in 'nts::4460'"},
        {"nts:a.cn:", nullptr, false, 0, "no port after ':' in 'nts:a.cn:'"},
        {"nts:a.cn:65536", nullptr, false, 0,
         "bad NTS key exchange port '65536' in 'nts:a.cn:65536' (1 to 65535)"},
        {"nts:a.cn:+44", nullptr, false, 0,
         "bad NTS key exchange port '+44' in 'nts:a.cn:+44' (1 to 65535)"},
        {"nts:2001:db8::1", nullptr, false, 0,
         "an IPv6 address goes in brackets, as nts:[::1], not 'nts:2001:db8::1'"},
        {"nts:[2001:db8::1", nullptr, false, 0, "no ']' after '[' in 'nts:[2001:db8::1'"},
        {"nts:[::1]4460", nullptr, false, 0, "bad text after ']' in 'nts:[::1]4460'"},
        {"nts:[::1]:", nullptr, false, 0, "no port after ':' in 'nts:[::1]:'"},
        {"nts:[10.0.0.1]", nullptr, false, 0, "bad IPv6 address in 'nts:[10.0.0.1]'"},
        {"nts:a..cn", nullptr, false, 0, "bad server address in 'nts:a..cn'"},
    };
    for (const auto& c : cases) {
        const ParsedServerEntry parsed = parseServerEntry(c.text);
        EXPECT_EQ(parsed.fault, c.fault) << c.text;
        ASSERT_EQ(parsed.entry.has_value(), c.host != nullptr) << c.text;
        if (parsed.entry) {
            EXPECT_EQ(parsed.entry->host, c.host) << c.text;
            EXPECT_EQ(parsed.entry->nts, c.nts) << c.text;
            EXPECT_EQ(parsed.entry->ntsKePort, c.port) << c.text;
        }
    }
}

}  // namespace
}  // namespace korvel
