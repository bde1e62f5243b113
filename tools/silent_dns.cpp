// korvel-test-dns: a name server for the tests. It answers the names it is given (their IPv4
// addresses, and no IPv6 address) and reads every other question without answering, so that
// a look-up of any other name stalls until the resolver gives up.
//
//   --bind ADDR                  where to listen (port 53; 127.0.0.1)
//   --names N=A[,A...][;N=...]   the names it answers, each with its addresses in that order

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tool_options.h"

namespace {

constexpr std::uint8_t kHeaderSize = 12;
constexpr std::uint16_t kTypeA = 1;

std::map<std::string, std::vector<in_addr>> namesOf(const std::string& text) {
    std::map<std::string, std::vector<in_addr>> names;
    std::istringstream entries(text);
    for (std::string entry; std::getline(entries, entry, ';');) {
        const auto equals = entry.find('=');
        std::istringstream addresses(entry.substr(equals + 1));
        for (std::string address; std::getline(addresses, address, ',');) {
            in_addr parsed{};
            if (equals == std::string::npos || inet_pton(AF_INET, address.c_str(), &parsed) != 1) {
                korvel::tools::Options::fail("bad --names entry " + entry);
            }
            names[entry.substr(0, equals)].push_back(parsed);
        }
    }
    return names;
}

// The question's name in lower case and where its type begins; none when it is malformed.
bool questionName(const std::vector<std::uint8_t>& query, std::size_t size, std::string& name,
                  std::size_t& typeAt) {
    std::size_t at = kHeaderSize;
    while (at < size && query[at] != 0) {
        const std::size_t length = query[at];
        if (length > 63 || at + 1 + length >= size) {
            return false;
        }
        name += (name.empty() ? "" : ".");
        for (std::size_t i = 0; i < length; ++i) {
            name += static_cast<char>(std::tolower(query[at + 1 + i]));
        }
        at += 1 + length;
    }
    typeAt = at + 1;
    return typeAt + 4 <= size;
}

}  // namespace

int main(int argc, char** argv) {
    const korvel::tools::Options options(argc, argv);
    const auto names = namesOf(options.text("names", ""));
    const int fd = korvel::tools::boundSocket(
        korvel::tools::endpoint(options.text("bind", "127.0.0.1") + ":53"));
    korvel::tools::announceReady();
    std::vector<std::uint8_t> query(512);
    for (;;) {
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        const ssize_t size = ::recvfrom(fd, query.data(), query.size(), 0,
                                        reinterpret_cast<sockaddr*>(&from), &fromSize);
        std::string name;
        std::size_t typeAt = 0;
        if (size < static_cast<ssize_t>(kHeaderSize) ||
            !questionName(query, static_cast<std::size_t>(size), name, typeAt) ||
            !names.contains(name)) {
            continue;
        }
        // The header and the question as asked; an answer per address to a question for A.
        std::vector<std::uint8_t> reply(query.begin(), query.begin() + typeAt + 4);
        const bool askedForA = (query[typeAt] << 8 | query[typeAt + 1]) == kTypeA;
        const std::vector<in_addr>& addresses = names.at(name);
        const std::size_t answers = askedForA ? addresses.size() : 0;
        reply[2] = static_cast<std::uint8_t>(0x84 | (query[2] & 0x01));  // answer, authoritative
        reply[3] = 0x80;                                                 // recursion, no error
        reply[6] = 0;
        reply[7] = static_cast<std::uint8_t>(answers);
        std::fill(reply.begin() + 8, reply.begin() + kHeaderSize, 0);
        for (std::size_t i = 0; i < answers; ++i) {
            // The question's name, type A, class IN, a minute to live, four bytes of address.
            reply.insert(reply.end(), {0xC0, kHeaderSize, 0, kTypeA, 0, 1, 0, 0, 0, 60, 0, 4});
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(&addresses[i].s_addr);
            reply.insert(reply.end(), bytes, bytes + 4);
        }
        ::sendto(fd, reply.data(), reply.size(), 0, reinterpret_cast<const sockaddr*>(&from),
                 fromSize);
    }
}
