// korvel-test-relay: a UDP relay that impairs traffic, since the test kernels have no netem.
//
//   --listen ADDR:PORT     where the client sends (the address it takes for the server)
//   --upstream ADDR:PORT   the real server
//   --condition NAME       a named condition (below), or several joined by "+" whose
//                          impairments add up, e.g. jitter200+loss30
//   --seed N               fixed seed: the same seed gives the same fate to every packet
//   --wire-ms MS           every packet held this much longer each way, as on a wire
//   --tamper WHAT          an attacker on the path of authenticated (NTS) traffic:
//                          alter   each reply's receive and transmit times one second later
//                          replay  every reply after the first is the first again
//                          swap    the cookie fields of each two requests change places
//                          forge   each request answered by the relay, 1000 s ahead, with
//                                  the request's identifier and authenticator field
//
// Per direction (up: client to server, down: server to client) each packet draws, in this
// order, whether it is lost, whether it is held back for reordering and its jitter, so one
// packet's fate never shifts the draws of the next.
//
// A packet's delay runs from the kernel's arrival time and ends on time to the microsecond,
// so the relay's own wake-ups add nothing to the path as long as the delay covers them: a
// relay that woke more slowly for a request than for its reply would show as a server
// that is ahead.

#include <poll.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tool_options.h"

namespace {

using korvel::tools::Options;
using korvel::tools::Random;

struct Impairment {
    double delayMs = 0;
    double jitterMs = 0;  // uniform in +-jitter around the delay
    double lossPercent = 0;
    double reorderPercent = 0;  // held back by reorderMs, so the next packet overtakes it
    double reorderMs = 120;
};

struct Condition {
    Impairment up;
    Impairment down;
};

// Loss of a round trip split evenly between the two directions.
void addRoundTripLoss(Condition& c, double percent) {
    const double perDirection = 100.0 * (1.0 - std::sqrt(1.0 - percent / 100.0));
    c.up.lossPercent = perDirection;
    c.down.lossPercent = perDirection;
}

// Both directions delayed by delayMs, each packet by up to +-jitterMs more.
void addJitter(Condition& c, double delayMs, double jitterMs) {
    c.up.delayMs = c.down.delayMs = delayMs;
    c.up.jitterMs = c.down.jitterMs = jitterMs;
}

void addNamed(Condition& c, const std::string& name) {
    if (name == "clean") {
        return;
    }
    if (name.rfind("loss", 0) == 0) {
        addRoundTripLoss(c, std::stod(name.substr(4)));
    } else if (name == "jitter20") {
        addJitter(c, 20, 5);
    } else if (name == "jitter200") {
        addJitter(c, 200, 50);
    } else if (name == "asym10-40") {
        c.up.delayMs = 10;
        c.down.delayMs = 40;
    } else if (name == "reorder") {
        c.up.reorderPercent = 30;
        c.down.reorderPercent = 30;
    } else {
        Options::fail("unknown condition " + name);
    }
}

Condition namedCondition(const std::string& names) {
    Condition c;
    std::size_t start = 0;
    for (;;) {
        const std::size_t plus = names.find('+', start);
        addNamed(c, names.substr(start, plus - start));
        if (plus == std::string::npos) {
            return c;
        }
        start = plus + 1;
    }
}

constexpr std::size_t kPacketSize = 48;
constexpr std::size_t kReceiveSeconds = 32;
constexpr std::size_t kTransmitSeconds = 40;
constexpr std::uint16_t kCookieField = 0x0204;
constexpr std::uint16_t kAuthenticatorField = 0x0404;

// Adds to the big-endian 32-bit word at byte at.
void addToWord(std::vector<char>& b, std::size_t at, std::uint32_t delta) {
    std::uint32_t word = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        word = word << 8 | static_cast<std::uint8_t>(b[at + i]);
    }
    word += delta;
    for (std::size_t i = 0; i < 4; ++i) {
        b[at + i] = static_cast<char>(word >> (24 - 8 * i));
    }
}

// Where the extension field of the type begins and how long it is; none when it is missing.
std::optional<std::pair<std::size_t, std::size_t>> field(const std::vector<char>& b,
                                                         std::uint16_t type) {
    const auto word = [&](std::size_t at) {
        return static_cast<std::size_t>(static_cast<std::uint8_t>(b[at]) << 8 |
                                        static_cast<std::uint8_t>(b[at + 1]));
    };
    for (std::size_t at = kPacketSize; at + 4 <= b.size() && word(at + 2) >= 4;
         at += word(at + 2)) {
        if (word(at) == type && at + word(at + 2) <= b.size()) {
            return std::pair(at, word(at + 2));
        }
    }
    return std::nullopt;
}

// A packet and whether it goes to the server.
using Sent = std::pair<bool, std::vector<char>>;

// What --tamper makes of a packet going up (to the server) or down.
class Tamper {
public:
    explicit Tamper(std::string what) : m_what(std::move(what)) {}

    std::vector<Sent> apply(bool up, std::vector<char> bytes) {
        if (bytes.size() <= kPacketSize) {
            return {{up, std::move(bytes)}};
        }
        if (m_what == "alter" && !up) {
            addToWord(bytes, kReceiveSeconds, 1);
            addToWord(bytes, kTransmitSeconds, 1);
        } else if (m_what == "replay" && !up) {
            if (m_first.empty()) {
                m_first = bytes;
            }
            return {{false, m_first}};
        } else if (m_what == "swap" && up) {
            return swapCookies(std::move(bytes));
        } else if (m_what == "forge" && up) {
            // The client's own identifier, then its authenticator field as a reply's.
            const auto cookie = field(bytes, kCookieField);
            const auto authenticator = field(bytes, kAuthenticatorField);
            if (!cookie || !authenticator) {
                return {};
            }
            const std::vector<char> sealed(
                bytes.begin() + static_cast<long>(authenticator->first),
                bytes.begin() + static_cast<long>(authenticator->first + authenticator->second));
            bytes.resize(cookie->first);
            bytes.insert(bytes.end(), sealed.begin(), sealed.end());
            bytes[0] = 0x24;  // version 4, server
            bytes[1] = 1;
            std::copy_n(bytes.begin() + kTransmitSeconds, 8, bytes.begin() + 24);
            std::copy_n(bytes.begin() + kTransmitSeconds, 8, bytes.begin() + kReceiveSeconds);
            addToWord(bytes, kReceiveSeconds, 1000);
            addToWord(bytes, kTransmitSeconds, 1000);
            return {{false, std::move(bytes)}};
        }
        return {{up, std::move(bytes)}};
    }

private:
    std::vector<Sent> swapCookies(std::vector<char> bytes) {
        if (m_held.empty()) {
            m_held = std::move(bytes);
            return {};
        }
        const auto mine = field(bytes, kCookieField);
        const auto held = field(m_held, kCookieField);
        if (mine && held && mine->second == held->second) {
            std::swap_ranges(bytes.begin() + static_cast<long>(mine->first),
                             bytes.begin() + static_cast<long>(mine->first + mine->second),
                             m_held.begin() + static_cast<long>(held->first));
        }
        return {{true, std::exchange(m_held, {})}, {true, std::move(bytes)}};
    }

    std::string m_what;
    std::vector<char> m_first;
    std::vector<char> m_held;
};

double milliseconds(const timespec& ts) {
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double clockMs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return milliseconds(ts);
}

double monotonicMs() {
    return clockMs(CLOCK_MONOTONIC);
}

// The last stretch before a packet is due is waited out awake: a timer wake-up can be late by
// tens of microseconds, more after an idle spell.
constexpr double kAwakeMs = 0.2;

// Reads one datagram and when it arrived, on the monotonic clock: the kernel stamps it with
// the real-time clock, whose distance to the monotonic one is read next to each other.
std::optional<double> receive(int fd, std::vector<char>& bytes, sockaddr_in& from) {
    bytes.resize(65536);
    iovec data{bytes.data(), bytes.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t got = ::recvmsg(fd, &message, MSG_DONTWAIT);
    if (got < 0) {
        return std::nullopt;
    }
    bytes.resize(static_cast<std::size_t>(got));
    const double now = monotonicMs();
    const auto stamp = korvel::tools::arrivalStamp(message);
    return stamp ? now - (clockMs(CLOCK_REALTIME) - milliseconds(*stamp)) : now;
}

timespec span(double ms) {
    const auto ns = static_cast<long long>(std::max(0.0, ms) * 1e6);
    return {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

struct Pending {
    double dueMs;
    std::uint64_t sequence;
    bool up;
    std::vector<char> bytes;
};

class Direction {
public:
    Direction(const Impairment& impairment, std::uint64_t seed)
        : m_impairment(impairment), m_random(seed) {}

    // When a packet that arrived at arrivalMs is due; none when it is lost.
    std::optional<double> fate(double arrivalMs) {
        const bool lost = m_random.unit() * 100 < m_impairment.lossPercent;
        const bool held = m_random.unit() * 100 < m_impairment.reorderPercent;
        const double jitter = (m_random.unit() * 2 - 1) * m_impairment.jitterMs;
        if (lost) {
            return std::nullopt;
        }
        const double due = arrivalMs + std::max(0.0, m_impairment.delayMs + jitter);
        return held ? due + m_impairment.reorderMs : due;
    }

private:
    Impairment m_impairment;
    Random m_random;
};

}  // namespace

int main(int argc, char** argv) {
    const Options options(argc, argv);
    Condition condition = namedCondition(options.text("condition", "clean"));
    const double wireMs = options.number("wire-ms", 0);
    condition.up.delayMs += wireMs;
    condition.down.delayMs += wireMs;
    const auto seed = static_cast<std::uint64_t>(options.integer("seed", 1));
    Direction up(condition.up, seed * 2 + 1);
    Direction down(condition.down, seed * 2 + 2);
    Tamper tamper(options.text("tamper", ""));

    const int listen =
        korvel::tools::boundSocket(korvel::tools::endpoint(options.text("listen", "")));
    const sockaddr_in server = korvel::tools::endpoint(options.text("upstream", ""));
    const int toServer = korvel::tools::boundSocket(korvel::tools::endpoint("0.0.0.0:0"));
    korvel::tools::stampArrivals(listen);
    korvel::tools::stampArrivals(toServer);
    korvel::tools::announceReady();

    sockaddr_in client{};
    bool haveClient = false;
    std::vector<Pending> queue;
    std::uint64_t sequence = 0;
    const auto earlier = [](const Pending& a, const Pending& b) {
        return a.dueMs != b.dueMs ? a.dueMs < b.dueMs : a.sequence < b.sequence;
    };
    for (;;) {
        // The queue is sorted below, so its front is the packet due first.
        timespec wait{};
        if (!queue.empty()) {
            wait = span(queue.front().dueMs - kAwakeMs - monotonicMs());
        }
        pollfd fds[2] = {{listen, POLLIN, 0}, {toServer, POLLIN, 0}};
        ::ppoll(fds, 2, queue.empty() ? nullptr : &wait, nullptr);
        for (int i = 0; i < 2; ++i) {
            std::vector<char> bytes;
            sockaddr_in from{};
            while (const auto arrival = receive(fds[i].fd, bytes, from)) {
                const bool isUp = i == 0;
                if (isUp) {
                    client = from;
                    haveClient = true;
                }
                for (auto& [goesUp, packet] : tamper.apply(isUp, std::move(bytes))) {
                    if (const auto due = (goesUp ? up : down).fate(*arrival)) {
                        queue.push_back({*due, sequence++, goesUp, std::move(packet)});
                    }
                }
            }
        }
        // Send what is due, earliest first, each when it is due.
        std::sort(queue.begin(), queue.end(), earlier);
        auto it = queue.begin();
        for (; it != queue.end() && it->dueMs <= monotonicMs() + kAwakeMs; ++it) {
            while (monotonicMs() < it->dueMs) {
            }
            if (it->up) {
                ::sendto(toServer, it->bytes.data(), it->bytes.size(), 0,
                         reinterpret_cast<const sockaddr*>(&server), sizeof server);
            } else if (haveClient) {
                ::sendto(listen, it->bytes.data(), it->bytes.size(), 0,
                         reinterpret_cast<const sockaddr*>(&client), sizeof client);
            }
        }
        queue.erase(queue.begin(), it);
    }
}
