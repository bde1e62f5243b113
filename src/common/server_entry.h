#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvel {

// The key exchange's port of Network Time Security when an entry names none.
inline constexpr std::int32_t kNtsKePort = 4460;
inline constexpr std::string_view kNtsPrefix = "nts:";

// A server as the user names it: an address or host name asked over plain SNTP, or
// `nts:HOST[:PORT]`, asked only with authenticated requests after a key exchange on PORT.
struct ServerEntry {
    std::string host;  // a name or an address; an IPv6 address without brackets
    bool nts = false;
    std::int32_t ntsKePort = kNtsKePort;
};

// The entry, or why the text is none (in English, naming the text, for the tool's complaint).
struct ParsedServerEntry {
    std::optional<ServerEntry> entry;
    std::string fault;
};

// A plain entry is what isServerAddress takes. An NTS entry's host is a name or an IPv4
// address, or an IPv6 address in brackets; its port is 1..65535.
ParsedServerEntry parseServerEntry(std::string_view text);

// Whether two entries as typed name one server: of one kind (both NTS or both plain), their
// hosts compared without case, a trailing dot ignored. A host named once with NTS and once
// without is two servers of one machine. Names that differ may still reach one address; the
// look-up tells.
bool sameServerName(std::string_view a, std::string_view b);

}  // namespace korvel
