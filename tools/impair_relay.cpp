// korvel-test-relay: a UDP relay that impairs traffic, since the test kernels have no netem.
//
//   --listen ADDR:PORT     where the client sends (the address it takes for the server)
//   --upstream ADDR:PORT   the real server
//   --condition NAME       a named condition (below), or several joined by "+" whose
//                          impairments add up, e.g. jitter200+loss30
//   --seed N               fixed seed: the same seed gives the same fate to every packet
//
// Per direction (up: client to server, down: server to client) each packet draws, in this
// order, whether it is lost, whether it is held back for reordering and its jitter, so one
// packet's fate never shifts the draws of the next.

#include <poll.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
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

double monotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
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

    // When a packet that arrived at nowMs is due; none when it is lost.
    std::optional<double> fate(double nowMs) {
        const bool lost = m_random.unit() * 100 < m_impairment.lossPercent;
        const bool held = m_random.unit() * 100 < m_impairment.reorderPercent;
        const double jitter = (m_random.unit() * 2 - 1) * m_impairment.jitterMs;
        if (lost) {
            return std::nullopt;
        }
        const double due = nowMs + std::max(0.0, m_impairment.delayMs + jitter);
        return held ? due + m_impairment.reorderMs : due;
    }

private:
    Impairment m_impairment;
    Random m_random;
};

}  // namespace

int main(int argc, char** argv) {
    const Options options(argc, argv);
    const Condition condition = namedCondition(options.text("condition", "clean"));
    const auto seed = static_cast<std::uint64_t>(options.integer("seed", 1));
    Direction up(condition.up, seed * 2 + 1);
    Direction down(condition.down, seed * 2 + 2);

    const int listen =
        korvel::tools::boundSocket(korvel::tools::endpoint(options.text("listen", "")));
    const sockaddr_in server = korvel::tools::endpoint(options.text("upstream", ""));
    const int toServer = korvel::tools::boundSocket(korvel::tools::endpoint("0.0.0.0:0"));
    korvel::tools::announceReady();

    sockaddr_in client{};
    bool haveClient = false;
    std::vector<Pending> queue;
    std::uint64_t sequence = 0;
    for (;;) {
        const auto earliest = std::min_element(queue.begin(), queue.end(), [](auto& a, auto& b) {
            return a.dueMs != b.dueMs ? a.dueMs < b.dueMs : a.sequence < b.sequence;
        });
        int waitMs = -1;
        if (earliest != queue.end()) {
            waitMs = std::max(0, static_cast<int>(std::ceil(earliest->dueMs - monotonicMs())));
        }
        pollfd fds[2] = {{listen, POLLIN, 0}, {toServer, POLLIN, 0}};
        ::poll(fds, 2, waitMs);
        const double now = monotonicMs();
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & POLLIN)) {
                continue;
            }
            std::vector<char> bytes(65536);
            sockaddr_in from{};
            socklen_t fromSize = sizeof from;
            const ssize_t got = ::recvfrom(fds[i].fd, bytes.data(), bytes.size(), MSG_DONTWAIT,
                                           reinterpret_cast<sockaddr*>(&from), &fromSize);
            if (got < 0) {
                continue;
            }
            bytes.resize(static_cast<std::size_t>(got));
            const bool isUp = i == 0;
            if (isUp) {
                client = from;
                haveClient = true;
            }
            if (const auto due = (isUp ? up : down).fate(now)) {
                queue.push_back({*due, sequence++, isUp, std::move(bytes)});
            }
        }
        // Send what is due, earliest first.
        std::sort(queue.begin(), queue.end(), [](const Pending& a, const Pending& b) {
            return a.dueMs != b.dueMs ? a.dueMs < b.dueMs : a.sequence < b.sequence;
        });
        auto it = queue.begin();
        for (; it != queue.end() && it->dueMs <= monotonicMs(); ++it) {
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
