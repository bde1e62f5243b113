#include "common/server_entry.h"

#include <algorithm>
#include <cctype>

#include "common/config_line.h"

namespace korvel {

namespace {

bool sameLetters(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::optional<std::int32_t> ntsKePort(std::string_view text) {
    if (text.empty() || text.size() > 5 ||
        !std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const std::int32_t port = std::stoi(std::string(text));
    return port >= 1 && port <= 65535 ? std::optional(port) : std::nullopt;
}

ParsedServerEntry ntsEntry(std::string_view text) {
    const std::string quoted = "'" + std::string(text) + "'";
    std::string_view rest = text.substr(kNtsPrefix.size());
    std::string_view host = rest;
    std::string_view port;
    if (rest.starts_with('[')) {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos) {
            return {std::nullopt, "no ']' after '[' in " + quoted};
        }
        host = rest.substr(1, close - 1);
        const std::string_view after = rest.substr(close + 1);
        if (!after.empty() && !after.starts_with(':')) {
            return {std::nullopt, "bad text after ']' in " + quoted};
        }
        port = after.empty() ? std::string_view{} : after.substr(1);
        if (!after.empty() && port.empty()) {
            return {std::nullopt, "no port after ':' in " + quoted};
        }
        if (host.find(':') == std::string_view::npos || !isServerAddress(host)) {
            return {std::nullopt, "bad IPv6 address in " + quoted};
        }
    } else {
        const std::size_t colon = rest.find(':');
        if (colon != std::string_view::npos &&
            rest.find(':', colon + 1) != std::string_view::npos) {
            return {std::nullopt, "an IPv6 address goes in brackets, as nts:[::1], not " + quoted};
        }
        if (colon != std::string_view::npos) {
            host = rest.substr(0, colon);
            port = rest.substr(colon + 1);
            if (port.empty()) {
                return {std::nullopt, "no port after ':' in " + quoted};
            }
        }
        if (host.empty()) {
            return {std::nullopt, "no host after 'nts:' in " + quoted};
        }
        if (!isServerAddress(host)) {
            return {std::nullopt, "bad server address in " + quoted};
        }
    }
    ServerEntry entry{std::string(host), true, kNtsKePort};
    if (!port.empty()) {
        const auto number = ntsKePort(port);
        if (!number) {
            return {std::nullopt, "bad NTS key exchange port '" + std::string(port) + "' in " +
                                      quoted + " (1 to 65535)"};
        }
        entry.ntsKePort = *number;
    }
    return {std::move(entry), {}};
}

// The host an entry names, and whether with NTS; the text itself when it is no entry.
std::string_view hostOf(std::string_view text, std::string& held, bool& nts) {
    const ParsedServerEntry parsed = parseServerEntry(text);
    nts = parsed.entry && parsed.entry->nts;
    if (!parsed.entry) {
        return text;
    }
    held = parsed.entry->host;
    return held;
}

}  // namespace

ParsedServerEntry parseServerEntry(std::string_view text) {
    if (text.size() >= kNtsPrefix.size() &&
        sameLetters(text.substr(0, kNtsPrefix.size()), kNtsPrefix)) {
        return ntsEntry(text);
    }
    if (!isServerAddress(text)) {
        return {std::nullopt, "bad server address '" + std::string(text) + "'"};
    }
    return {ServerEntry{std::string(text), false, kNtsKePort}, {}};
}

bool sameServerName(std::string_view a, std::string_view b) {
    std::string heldA;
    std::string heldB;
    bool ntsA = false;
    bool ntsB = false;
    a = hostOf(a, heldA, ntsA);
    b = hostOf(b, heldB, ntsB);
    for (std::string_view* name : {&a, &b}) {
        if (name->ends_with('.')) {
            name->remove_suffix(1);
        }
    }
    return ntsA == ntsB && sameLetters(a, b);
}

}  // namespace korvel
