// korvel-test-dns: a name server for the tests that answers slowly, written from the DNS
// message layout of RFC 1035 alone.
//
//   --bind ADDR                  where to listen (port 53)
//   --name NAME                  the one name it knows; others get "no such name"
//   --a ADDR / --aaaa ADDR       its IPv4 / IPv6 address (either may be left out)
//   --delay MS                   every answer leaves MS ms after its question came (0)
//   --drop                       reads every question and answers none

#include <poll.h>
#include <time.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <vector>

#include "tool_options.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kHeaderSize = 12;
constexpr int kTypeA = 1;
constexpr int kTypeAaaa = 28;

double monotonicNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

struct Question {
    std::string name;  // dotted, lower case
    int type = 0;
    std::size_t end = 0;  // where the question ends in the message
};

bool parseQuestion(const Bytes& query, Question& question) {
    std::size_t at = kHeaderSize;
    while (at < query.size() && query[at] != 0) {
        const std::size_t length = query[at++];
        if (length > 63 || at + length > query.size()) {
            return false;
        }
        if (!question.name.empty()) {
            question.name += '.';
        }
        for (std::size_t i = 0; i < length; ++i) {
            question.name += static_cast<char>(std::tolower(query[at + i]));
        }
        at += length;
    }
    if (at + 5 > query.size()) {
        return false;
    }
    question.type = query[at + 1] << 8 | query[at + 2];
    question.end = at + 5;
    return true;
}

// The answer: the question echoed, one record when the name and type are known.
Bytes answer(const Bytes& query, const Question& question, const std::string& name,
             const Bytes& address) {
    Bytes reply(query.begin(), query.begin() + static_cast<long>(question.end));
    const bool known = question.name == name;
    const bool record = known && !address.empty();
    reply[2] = 0x84 | (query[2] & 0x01);  // response, authoritative, recursion desired echoed
    reply[3] = known ? 0x80 : 0x83;       // recursion available; NXDOMAIN for unknown names
    reply[4] = 0;
    reply[5] = 1;
    reply[6] = 0;
    reply[7] = record ? 1 : 0;
    std::fill(reply.begin() + 8, reply.begin() + kHeaderSize, 0);
    if (record) {
        // Name by pointer to the question, type, class IN, TTL 60, the address.
        reply.insert(reply.end(), {0xC0, 0x0C, 0, static_cast<std::uint8_t>(question.type), 0, 1, 0,
                                   0, 0, 60, 0, static_cast<std::uint8_t>(address.size())});
        reply.insert(reply.end(), address.begin(), address.end());
    }
    return reply;
}

Bytes addressBytes(int family, const std::string& text) {
    Bytes bytes(family == AF_INET ? 4 : 16);
    if (!text.empty() && inet_pton(family, text.c_str(), bytes.data()) != 1) {
        korvel::tools::Options::fail("bad address " + text);
    }
    return text.empty() ? Bytes{} : bytes;
}

struct Held {
    double dueAt;
    Bytes bytes;
    sockaddr_in to;
};

}  // namespace

int main(int argc, char** argv) {
    const korvel::tools::Options options(argc, argv);
    const std::string name = options.text("name", "korvel.test");
    const Bytes v4 = addressBytes(AF_INET, options.text("a", ""));
    const Bytes v6 = addressBytes(AF_INET6, options.text("aaaa", ""));
    const double delay = options.number("delay", 0) / 1000;
    const bool drop = options.has("drop");
    const int fd = korvel::tools::boundSocket(
        korvel::tools::endpoint(options.text("bind", "127.0.0.1") + ":53"));
    korvel::tools::announceReady();

    std::vector<Held> held;
    for (;;) {
        std::erase_if(held, [&](const Held& h) {
            if (h.dueAt > monotonicNow()) {
                return false;
            }
            ::sendto(fd, h.bytes.data(), h.bytes.size(), 0,
                     reinterpret_cast<const sockaddr*>(&h.to), sizeof h.to);
            return true;
        });
        int waitMs = -1;
        for (const Held& h : held) {
            const int due = static_cast<int>(std::max(0.0, h.dueAt - monotonicNow()) * 1000) + 1;
            waitMs = waitMs < 0 ? due : std::min(waitMs, due);
        }
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, waitMs) <= 0) {
            continue;
        }
        Bytes query(512);
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        const ssize_t got = ::recvfrom(fd, query.data(), query.size(), 0,
                                       reinterpret_cast<sockaddr*>(&from), &fromSize);
        Question question;
        if (got < static_cast<ssize_t>(kHeaderSize)) {
            continue;
        }
        query.resize(static_cast<std::size_t>(got));
        if (drop || !parseQuestion(query, question)) {
            continue;
        }
        const Bytes& address =
            question.type == kTypeA ? v4 : (question.type == kTypeAaaa ? v6 : Bytes{});
        held.push_back({monotonicNow() + delay, answer(query, question, name, address), from});
    }
}
