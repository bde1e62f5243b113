#include "common/config_line.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace korvel {
namespace {

// Fields by position: address characters 6 to 20, port 22 to 25, the tag not checked; then up
// to three more servers, each after a blank, any length, nts:HOST[:PORT] too. A word that is no
// server, repeats one of its kind (letters in any case, a trailing dot or none) or
// exceeds the three is skipped and named.
TEST(ConfigLine, LinesAreTakenApartByPosition) {
    using Words = std::vector<std::string>;
    const struct {
        std::string line, address, port;
        std::int32_t localPort;
        Words extras, skipped;
    } cases[] = {
        {"SNTP 192.168.100.200 5000", "192.168.100.200", "5000", 5000, {}, {}},
        {"XXXX 10.1.2.3        4000", "10.1.2.3       ", "4000", 4000, {}, {}},
        {"SNTP 10.0.0.1", "10.0.0.1", "", 0, {}, {}},
        {"SNTP 10.0.0.1        12", "10.0.0.1       ", "12", 12, {}, {}},
        {"SNTP 10.0.0.1        1234567", "10.0.0.1       ", "1234", 1234, {}, {"567"}},
        {"", "", "", 0, {}, {}},
        {"SNTP 10.0.0.1        1231   a.cn  b_c.cn 10.0.0.1 A.CN. 2001:db8::1 2001:DB8::1 a.c "
         "e.cn",
         "10.0.0.1       ", "1231", 1231, Words{"a.cn", "2001:db8::1", "a.c"},
         Words{"b_c.cn", "10.0.0.1", "A.CN.", "2001:DB8::1", "e.cn"}},
        {"SNTP 10.0.0.1        1231 nts:a.cn:4461 nts:[2001:db8::1] nts:b.cn:0 NTS:A.cn "
         "NTS:[2001:DB8::1] a.cn nts: ::1",
         "10.0.0.1       ", "1231", 1231, Words{"nts:a.cn:4461", "nts:[2001:db8::1]", "a.cn"},
         Words{"nts:b.cn:0", "NTS:A.cn", "NTS:[2001:DB8::1]", "nts:", "::1"}},
    };
    for (const auto& c : cases) {
        const ConfigFields fields = parseConfigLine(c.line);
        EXPECT_EQ(fields.addressField + "|" + fields.portField, c.address + "|" + c.port) << c.line;
        EXPECT_EQ(fields.localPort, c.localPort) << c.line;
        EXPECT_EQ(fields.extraServers, c.extras) << c.line;
        EXPECT_EQ(fields.skippedServers, c.skipped) << c.line;
    }
    EXPECT_EQ(formatConfigLine("10.0.0.1       ", "123 ", {"a.cn", "2001:db8::1"}),
              "SNTP 10.0.0.1        123  a.cn 2001:db8::1");
}

// The first line is read as one text field, and the port as a number rounded half to even.
TEST(ConfigLine, FirstLineIsOneTextFieldAndThePortANumber) {
    for (const auto& [line, field] : std::map<std::string, std::string>{
             {"SNTP 10.0,0.1        123 ", "SNTP 10.0"},  // ends at the first comma
             {"   SNTP 10.0.0.1        123 ", "SNTP 10.0.0.1        123 "},
             {"\"SNTP 10.0.0.1, 7\" tail", "SNTP 10.0.0.1, 7"},
             {"", ""}}) {
        EXPECT_EQ(firstTextField(line), field) << line;
    }
    const std::map<std::string, std::int32_t> ports{
        {"12.5", 12}, {"13.5", 14}, {"abcd", 0}, {"    ", 0}, {" 80 ", 80},
        {"1 2 ", 12}, {"12ab", 12}, {"-5", -5},  {".5", 0},
    };
    for (const auto& [field, port] : ports) {
        EXPECT_EQ(portNumber(field), port) << '"' << field << '"';
    }
}

TEST(ConfigLine, ServerAddressIsAnIpAddressOrAHostName) {
    for (const char* good :
         {"10.0.0.1", "255.255.255.255", "::1", "2001:db8::1", "fe80::1:2:3", "1:2:3:4:5:6:7:8",
          "::ffff:10.0.0.1", "ntp.example.cn", "ntp1", "time-a.example.", "授时.中国"}) {
        EXPECT_TRUE(isServerAddress(good)) << good;
    }
    for (const char* bad : {"", "10.0.0.256", "10.0.0", "10.0 .0.1", "10.0.0.1 5", "1.2.3.4.5",
                            "1::2::3", ":::", "1:2:3:4:5:6:7:8:9", "12345::1", "-ntp.cn", "ntp..cn",
                            "ntp_1.cn", "ntp.cn/x", "   .   .   .   "}) {
        EXPECT_FALSE(isServerAddress(bad)) << '"' << bad << '"';
    }
}

}  // namespace
}  // namespace korvel
