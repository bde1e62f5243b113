#include "common/config_line.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>
#include <vector>

#include "common/text_forms.h"
#include "common/utf8_text.h"

namespace korvel {

namespace {

constexpr std::size_t kAddressPosition = 5;  // 0-based: characters 6..20
constexpr std::size_t kPortPosition = 21;    // 0-based: characters 22..25

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

bool allDigits(std::string_view text, bool hex = false) {
    return std::all_of(text.begin(), text.end(), [hex](char c) {
        const auto b = static_cast<unsigned char>(c);
        return hex ? std::isxdigit(b) != 0 : std::isdigit(b) != 0;
    });
}

bool isIpv4(std::string_view text) {
    const auto parts = split(text, '.');
    return parts.size() == 4 && std::all_of(parts.begin(), parts.end(), [](std::string_view part) {
               return !part.empty() && part.size() <= 3 && allDigits(part) &&
                      std::stoi(std::string(part)) <= 255;
           });
}

// Groups of hexadecimal digits, the last of which may be a dotted IPv4 address (two groups).
int ipv6Groups(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    int groups = 0;
    const auto parts = split(text, ':');
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i + 1 == parts.size() && isIpv4(parts[i])) {
            groups += 2;
        } else if (parts[i].empty() || parts[i].size() > 4 || !allDigits(parts[i], true)) {
            return -1;
        } else {
            ++groups;
        }
    }
    return groups;
}

bool isIpv6(std::string_view text) {
    const std::size_t gap = text.find("::");
    if (gap == std::string_view::npos) {
        return ipv6Groups(text) == 8;
    }
    if (text.find("::", gap + 1) != std::string_view::npos) {
        return false;
    }
    const int before = ipv6Groups(text.substr(0, gap));
    const int after = ipv6Groups(text.substr(gap + 2));
    return before >= 0 && after >= 0 && before + after <= 7;
}

// Bytes of UTF-8 sequences count as letters, so internationalised names pass.
bool isHostName(std::string_view text) {
    if (!text.empty() && text.back() == '.') {
        text.remove_suffix(1);
    }
    if (text.empty() || text.size() > 253) {
        return false;
    }
    const auto labels = split(text, '.');
    const auto goodLabel = [](std::string_view label) {
        return !label.empty() && label.size() <= 63 && label.front() != '-' &&
               label.back() != '-' && std::all_of(label.begin(), label.end(), [](char c) {
                   const auto b = static_cast<unsigned char>(c);
                   return std::isalnum(b) || c == '-' || b >= 0x80;
               });
    };
    return std::all_of(labels.begin(), labels.end(), goodLabel) && !allDigits(labels.back());
}

// The numeric prefix of a text as a double, in the manner of a BASIC Val.
double numericValue(const std::string& text) {
    std::string s;
    for (char c : text) {
        if (!isBlank(c)) {
            s += c;
        }
    }
    if (s.size() >= 2 && s[0] == '&') {
        const char radix = static_cast<char>(std::toupper(static_cast<unsigned char>(s[1])));
        const int base = radix == 'H' ? 16 : (radix == 'O' ? 8 : 0);
        if (base == 0) {
            return 0.0;
        }
        double value = 0.0;
        for (std::size_t i = 2; i < s.size(); ++i) {
            const int c = std::toupper(static_cast<unsigned char>(s[i]));
            const int digit =
                std::isdigit(c) ? c - '0' : (c >= 'A' && c <= 'F' ? c - 'A' + 10 : 99);
            if (digit >= base) {
                break;
            }
            value = value * base + digit;
        }
        return value;
    }
    std::size_t i = 0;
    double sign = 1.0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        sign = s[i] == '-' ? -1.0 : 1.0;
        ++i;
    }
    double value = 0.0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        value = value * 10 + (s[i++] - '0');
    }
    if (i < s.size() && s[i] == '.') {
        double scale = 0.1;
        ++i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            value += (s[i++] - '0') * scale;
            scale /= 10;
        }
    }
    if (i + 1 < s.size() && std::strchr("EeDd", s[i]) != nullptr) {
        std::size_t j = i + 1;
        int exponentSign = 1;
        if (s[j] == '+' || s[j] == '-') {
            exponentSign = s[j] == '-' ? -1 : 1;
            ++j;
        }
        int exponent = 0;
        bool digits = false;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])) && exponent < 400) {
            exponent = exponent * 10 + (s[j++] - '0');
            digits = true;
        }
        if (digits) {
            value *= std::pow(10.0, exponentSign * exponent);
        }
    }
    return sign * value;
}

}  // namespace

std::string formatConfigLine(const std::string& addressField, const std::string& portField,
                             const std::vector<std::string>& extraServers) {
    std::string line = "SNTP " + addressField + " " + portField;
    for (const std::string& server : extraServers) {
        line += " " + server;
    }
    return line;
}

ConfigFields parseConfigLine(const std::string& line) {
    ConfigFields fields;
    fields.addressField = characters(line, kAddressPosition, kAddressFieldWidth);
    fields.portField = characters(line, kPortPosition, kPortFieldWidth);
    fields.localPort = portNumber(fields.portField);
    std::vector<std::string> named{trimBlanks(fields.addressField)};
    std::istringstream rest(characters(line, kPortPosition + kPortFieldWidth, line.size()));
    for (std::string word; rest >> word;) {
        const bool repeated = std::ranges::any_of(
            named, [&word](const std::string& before) { return sameServerName(before, word); });
        if (!parseServerEntry(word).entry || repeated ||
            fields.extraServers.size() == kMostExtraServers) {
            fields.skippedServers.push_back(word);
        } else {
            fields.extraServers.push_back(word);
            named.push_back(word);
        }
    }
    return fields;
}

std::string defaultConfigLine() {
    return formatConfigLine(padRight(kDefaultServerAddress, kAddressFieldWidth), kDefaultPortField);
}

std::string firstTextField(const std::string& line) {
    const auto start = line.find_first_not_of(" \t");
    if (start == std::string::npos) {
        return {};
    }
    if (line[start] == '"') {
        const auto close = line.find('"', start + 1);
        return line.substr(start + 1,
                           close == std::string::npos ? std::string::npos : close - start - 1);
    }
    const auto comma = line.find(',', start);
    return line.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
}

bool isServerAddress(std::string_view text) {
    return isIpv4(text) || isIpv6(text) || isHostName(text);
}

std::int32_t portNumber(const std::string& field) {
    const double rounded = roundHalfEven(numericValue(field));
    constexpr double kLow = std::numeric_limits<std::int32_t>::min();
    constexpr double kHigh = std::numeric_limits<std::int32_t>::max();
    if (std::isnan(rounded)) {
        return 0;
    }
    return static_cast<std::int32_t>(rounded < kLow ? kLow : (rounded > kHigh ? kHigh : rounded));
}

}  // namespace korvel
