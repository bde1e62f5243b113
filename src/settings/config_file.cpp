#include "settings/config_file.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>

#include "common/text_forms.h"
#include "common/utf8_text.h"

namespace korvel {

namespace {

constexpr std::size_t kAddressPosition = 5;  // 0-based: characters 6..20
constexpr std::size_t kPortPosition = 21;    // 0-based: characters 22..25

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
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

std::string formatConfigLine(const std::string& addressField, const std::string& portField) {
    return "SNTP " + addressField + " " + portField;
}

ConfigFields parseConfigLine(const std::string& line) {
    ConfigFields fields;
    fields.addressField = characters(line, kAddressPosition, kAddressFieldWidth);
    fields.portField = characters(line, kPortPosition, kPortFieldWidth);
    fields.localPort = portNumber(fields.portField);
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

std::int32_t portNumber(const std::string& field) {
    const double rounded = roundHalfEven(numericValue(field));
    constexpr double kLow = std::numeric_limits<std::int32_t>::min();
    constexpr double kHigh = std::numeric_limits<std::int32_t>::max();
    if (std::isnan(rounded)) {
        return 0;
    }
    return static_cast<std::int32_t>(rounded < kLow ? kLow : (rounded > kHigh ? kHigh : rounded));
}

LoadedConfig loadConfig(FileSystem& files, const std::string& cfgPath) {
    LoadedConfig loaded;
    FileError error = FileError::None;
    // Every start appends the default line; it becomes the first line of a new file.
    if (auto file = files.openAppend(cfgPath, error)) {
        if (!file->appendLine(defaultConfigLine())) {
            error = FileError::DiskFull;
        }
    }
    const auto firstLine = files.readFirstLine(cfgPath);
    // An empty file that the default line never reached (a full disk) has no line to offer.
    const bool usable = firstLine && (error == FileError::None || !firstLine->empty());
    if (usable) {
        loaded.cfgLine = firstTextField(*firstLine);
    } else {
        loaded.cfgLine = defaultConfigLine();
        if (error == FileError::None) {
            error = FileError::Other;
        }
    }
    loaded.error = usable ? FileError::None : error;
    loaded.fields = parseConfigLine(loaded.cfgLine);
    return loaded;
}

FileError saveConfig(FileSystem& files, const std::string& cfgPath, const std::string& addressField,
                     const std::string& portField) {
    return files.replaceWithLine(cfgPath, formatConfigLine(addressField, portField));
}

}  // namespace korvel
