#pragma once

// Small helpers shared by the test tools: option parsing and UDP endpoints. The tools are
// plain POSIX programs and share nothing with the program under test.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>
#include <string>

namespace korvel::tools {

// "--name value" pairs and bare "--flag"s.
class Options {
public:
    Options(int argc, char** argv) {
        for (int i = 1; i < argc; ++i) {
            std::string name = argv[i];
            if (name.rfind("--", 0) != 0) {
                fail("unexpected argument " + name);
            }
            name = name.substr(2);
            if (i + 1 < argc && std::string(argv[i + 1]).rfind("--", 0) != 0) {
                m_values[name] = argv[++i];
            } else {
                m_values[name] = "";
            }
        }
    }
    bool has(const std::string& name) const { return m_values.contains(name); }
    std::string text(const std::string& name, const std::string& fallback) const {
        const auto it = m_values.find(name);
        return it == m_values.end() ? fallback : it->second;
    }
    double number(const std::string& name, double fallback) const {
        const auto it = m_values.find(name);
        return it == m_values.end() ? fallback : std::strtod(it->second.c_str(), nullptr);
    }
    long integer(const std::string& name, long fallback) const {
        const auto it = m_values.find(name);
        return it == m_values.end() ? fallback : std::strtol(it->second.c_str(), nullptr, 0);
    }

    [[noreturn]] static void fail(const std::string& why) {
        std::fprintf(stderr, "%s\n", why.c_str());
        std::exit(64);
    }

private:
    std::map<std::string, std::string> m_values;
};

// "ADDR:PORT" as a socket address.
inline sockaddr_in endpoint(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) {
        Options::fail("expected ADDR:PORT, got " + text);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(std::stoi(text.substr(colon + 1))));
    if (inet_pton(AF_INET, text.substr(0, colon).c_str(), &address.sin_addr) != 1) {
        Options::fail("bad address " + text);
    }
    return address;
}

// A UDP socket bound to the endpoint; the tool ends when that is impossible.
inline int boundSocket(const sockaddr_in& address) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        std::perror("bind");
        std::exit(70);
    }
    return fd;
}

// Asks the kernel to stamp each datagram with the time it reached the host, as NTP servers
// take it, so that the tool's own wake-up does not count as time on the way.
inline void stampArrivals(int fd) {
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
}

// That stamp (real-time clock) among a received datagram's ancillary data.
inline std::optional<timespec> arrivalStamp(msghdr& message) {
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
            timespec stamp{};
            std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
            return stamp;
        }
    }
    return std::nullopt;
}

// Tells the test that the sockets are bound.
inline void announceReady() {
    std::printf("ready\n");
    std::fflush(stdout);
}

// A fixed-seed generator (splitmix64): the same seed gives the same sequence everywhere.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }

private:
    std::uint64_t m_state;
};

}  // namespace korvel::tools
