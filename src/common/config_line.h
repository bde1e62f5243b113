#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/server_entry.h"

namespace korvel {

// The built-in server: a public NTP service reachable from mainland China.
inline constexpr const char* kDefaultServerAddress = "203.107.6.88";
inline constexpr const char* kDefaultPortField = "1231";
inline constexpr const char* kConfigFileName = "sntp.cfg";
inline constexpr std::size_t kAddressFieldWidth = 15;
inline constexpr std::size_t kPortFieldWidth = 4;

// The servers a site file names besides the first, for example.
inline constexpr const char* kSiteExtraServers = "ntp.tencent.com ntp.ntsc.ac.cn cn.pool.ntp.org";
// Servers after the first that a line may name.
inline constexpr std::size_t kMostExtraServers = 3;

// "SNTP " + 15-character address + " " + 4-character port, then up to three more servers,
// each after one blank and of any length.
struct ConfigFields {
    std::string addressField;
    std::string portField;
    std::int32_t localPort = 0;
    std::vector<std::string> extraServers;
    // Words after the port field that are no server address, repeat one, or exceed the three.
    std::vector<std::string> skippedServers;
};

std::string formatConfigLine(const std::string& addressField, const std::string& portField,
                             const std::vector<std::string>& extraServers = {});
ConfigFields parseConfigLine(const std::string& line);
std::string defaultConfigLine();

// The first text field of a line: leading blanks skipped, ended by the first comma; a line
// that starts with a double quote is read up to the closing quote.
std::string firstTextField(const std::string& line);

// A server address as the socket takes it: a dotted IPv4 address, an IPv6 address or a host
// name (letters, digits and hyphens in dot-separated labels, the last one not all digits).
bool isServerAddress(std::string_view text);

// A port field read as a number: blanks ignored, reading stops at the first character that
// cannot continue the number, no digits give 0, halves go to the even neighbour.
std::int32_t portNumber(const std::string& field);

}  // namespace korvel
