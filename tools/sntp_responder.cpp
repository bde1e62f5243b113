// korvel-test-responder: an SNTP server for the tests, built from the packet layout of
// RFC 4330 alone, so that it checks the program's packet code instead of mirroring it.
//
// Serves CLOCK_REALTIME plus --offset seconds. What a hostile or broken server does is a
// switch:
//   --bind ADDR --port N         where to listen (0.0.0.0:123)
//   --offset SEC                 server clock minus real clock
//   --decoy                      before each reply, a forged one carrying offset + 1000 s from
//                                the server's own socket, --decoy-size N bytes (48)
//   --script I:k=v[/k=v],...     per reply of a burst (1-based): byte0 (leap/version/mode,
//                                0x24), ahead=SEC (transmit time SEC after the receive time),
//                                delay=MS (the reply leaves MS ms after the request came)
//   --silent                     reads requests, answers none
// A burst is a run of requests without a gap of 1.5 s.
//
// Refusal, before any of the above; kept per client address:
//   --limit AVG:BURST:KOD        like ntpd's limit: a score in requests per second, bumped by
//                                1/BURST per request and decaying with a time constant of
//                                BURST s; above AVG the request gets a RATE kiss-o'-death
//                                while a second score, bumped per refused request, is at most
//                                KOD, and nothing after that

#include <poll.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <sstream>
#include <vector>

#include "tool_options.h"

namespace {

using korvel::tools::Options;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kPacketSize = 48;
constexpr double kUnixToNtp = 2208988800.0;  // seconds from 1900-01-01 to 1970-01-01
constexpr double kTwo32 = 4294967296.0;
constexpr double kBurstGapSec = 1.5;

// Offsets of the fields in an SNTP packet.
constexpr std::size_t kReferenceId = 12;
constexpr std::size_t kReferenceTime = 16;
constexpr std::size_t kOriginateTime = 24;
constexpr std::size_t kReceiveTime = 32;
constexpr std::size_t kTransmitTime = 40;

double realNow() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// An NTP timestamp of a Unix time: 32-bit seconds since 1900 (modulo 2^32, so the era rolls
// over in 2036) and a 32-bit binary fraction, both big-endian.
void putTimestamp(Bytes& packet, std::size_t at, double unixSeconds) {
    const double ntp = unixSeconds + kUnixToNtp;
    const double whole = std::floor(ntp);
    const std::uint32_t seconds =
        static_cast<std::uint32_t>(static_cast<std::uint64_t>(whole) & 0xFFFFFFFFu);
    const std::uint32_t fraction =
        static_cast<std::uint32_t>(std::min(std::floor((ntp - whole) * kTwo32), kTwo32 - 1));
    for (std::size_t i = 0; i < 4; ++i) {
        packet[at + i] = static_cast<std::uint8_t>(seconds >> (24 - 8 * i));
        packet[at + 4 + i] = static_cast<std::uint8_t>(fraction >> (24 - 8 * i));
    }
}

struct ReplyShape {
    int firstByte = 0x24;  // leap 0, version 4, mode 4 (server)
    double transmitAhead = 0.0;
    long delayMs = 0;
};

// ntpd's limit: a decaying score of requests per second (see the header).
struct Score {
    double average = 0.0;  // 0: no limit
    double burst = 1.0;
    double kod = 0.0;
};

struct Config {
    double offset = 0.0;
    ReplyShape shape;
    Score score;
    bool silent = false;
    bool decoy = false;
    std::size_t decoySize = kPacketSize;
    std::map<int, ReplyShape> script;
};

std::map<int, ReplyShape> parseScript(const std::string& text, const ReplyShape& base) {
    std::map<int, ReplyShape> script;
    std::stringstream entries(text);
    std::string entry;
    while (std::getline(entries, entry, ',')) {
        const auto colon = entry.find(':');
        if (colon == std::string::npos) {
            Options::fail("bad script entry " + entry);
        }
        ReplyShape shape = base;
        std::stringstream settings(entry.substr(colon + 1));
        std::string setting;
        while (std::getline(settings, setting, '/')) {
            const auto eq = setting.find('=');
            const std::string key = setting.substr(0, eq);
            const long value = std::strtol(setting.substr(eq + 1).c_str(), nullptr, 0);
            if (key == "byte0") {
                shape.firstByte = static_cast<int>(value);
            } else if (key == "ahead") {
                shape.transmitAhead = std::strtod(setting.substr(eq + 1).c_str(), nullptr);
            } else if (key == "delay") {
                shape.delayMs = value;
            } else {
                Options::fail("bad script key " + key);
            }
        }
        script[std::stoi(entry.substr(0, colon))] = shape;
    }
    return script;
}

// The reply to one request, as a server whose clock is offset from the real one writes it.
Bytes buildReply(const Bytes& request, const ReplyShape& shape, double offset, double receivedAt) {
    Bytes reply(kPacketSize, 0);
    reply[0] = static_cast<std::uint8_t>(shape.firstByte);
    reply[1] = 2;  // stratum
    reply[2] = request[2];
    reply[3] = 0xEC;  // precision 2^-20 s
    reply[7] = 0x10;  // root delay and dispersion: a few ms
    reply[11] = 0x20;
    std::memcpy(&reply[kReferenceId], "TEST", 4);
    putTimestamp(reply, kReferenceTime, receivedAt + offset - 10);
    // The originate field echoes the request's transmit field byte for byte.
    std::memcpy(&reply[kOriginateTime], &request[kTransmitTime], 8);
    putTimestamp(reply, kReceiveTime, receivedAt + offset);
    putTimestamp(reply, kTransmitTime, realNow() + offset + shape.transmitAhead);
    return reply;
}

// A RATE kiss-o'-death as ntpd sends it: the request's own times sent back.
Bytes rateKissOfDeath(const Bytes& request) {
    Bytes reply(kPacketSize, 0);
    reply[0] = static_cast<std::uint8_t>(0xC0 | (request[0] & 0x38) | 4);  // leap 3, mode 4
    reply[2] = request[2];
    reply[3] = request[3];
    std::memcpy(&reply[kReferenceId], "RATE", 4);
    std::memcpy(&reply[kReferenceTime], &request[kReferenceTime], 8);
    for (const std::size_t at : {kOriginateTime, kReceiveTime, kTransmitTime}) {
        std::memcpy(&reply[at], &request[kTransmitTime], 8);
    }
    return reply;
}

// What the limits keep of one client address.
struct ClientLimits {
    bool seen = false;
    double lastAt = 0.0;
    double score = 0.0;
    double refusals = 0.0;  // the score of refused requests, which caps the kiss-o'-deaths
};

enum class Verdict { Serve, Drop, KissOfDeath };

Verdict limitVerdict(ClientLimits& client, const Config& config, double now) {
    const double elapsed = client.seen ? now - client.lastAt : 0.0;
    client.seen = true;
    client.lastAt = now;
    if (config.score.average > 0) {
        const double decay = std::exp(-elapsed / config.score.burst);
        client.score = client.score * decay + 1 / config.score.burst;
        client.refusals *= decay;
        if (client.score > config.score.average) {
            client.refusals += 1 / config.score.burst;
            return client.refusals <= config.score.kod ? Verdict::KissOfDeath : Verdict::Drop;
        }
    }
    return Verdict::Serve;
}

// "A:B:C" as numbers.
std::vector<double> fields(const std::string& text) {
    std::vector<double> numbers;
    std::stringstream parts(text);
    for (std::string part; std::getline(parts, part, ':');) {
        numbers.push_back(std::strtod(part.c_str(), nullptr));
    }
    return numbers;
}

Bytes resized(Bytes bytes, std::size_t size) {
    bytes.resize(size, 0);
    return bytes;
}

struct Client {
    sockaddr_in address{};
    socklen_t size = sizeof address;
};

void sendTo(int fd, const Bytes& bytes, const Client& to) {
    ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to.address),
             to.size);
}

// One datagram and the time it reached the host.
ssize_t receive(int fd, Bytes& into, Client& from, double& receivedAt) {
    iovec vector{into.data(), into.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))] = {};
    msghdr message{};
    message.msg_name = &from.address;
    message.msg_namelen = from.size;
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t got = ::recvmsg(fd, &message, 0);
    from.size = message.msg_namelen;
    const auto stamp = korvel::tools::arrivalStamp(message);
    receivedAt =
        stamp ? static_cast<double>(stamp->tv_sec) + static_cast<double>(stamp->tv_nsec) / 1e9
              : realNow();
    return got;
}

// Replies held back by a delay, sent when due.
struct Held {
    double dueAt;
    Bytes bytes;
    Client to;
};

}  // namespace

int main(int argc, char** argv) {
    const Options options(argc, argv);
    Config config;
    config.offset = options.number("offset", 0.0);
    if (options.has("limit")) {
        const std::vector<double> n = fields(options.text("limit", ""));
        if (n.size() != 3 || n[1] <= 0) {
            Options::fail("--limit takes AVG:BURST:KOD");
        }
        config.score = {n[0], n[1], n[2]};
    }
    config.silent = options.has("silent");
    config.decoy = options.has("decoy");
    config.decoySize = static_cast<std::size_t>(options.integer("decoy-size", kPacketSize));
    config.script = parseScript(options.text("script", ""), config.shape);

    const int server = korvel::tools::boundSocket(korvel::tools::endpoint(
        options.text("bind", "0.0.0.0") + ":" + options.text("port", "123")));
    korvel::tools::stampArrivals(server);
    korvel::tools::announceReady();

    int burstIndex = 0;  // of the last request served
    double lastRequestAt = 0.0;
    std::vector<Held> held;
    std::map<in_addr_t, ClientLimits> clients;
    for (;;) {
        std::erase_if(held, [&](const Held& h) {
            if (h.dueAt > realNow()) {
                return false;
            }
            sendTo(server, h.bytes, h.to);
            return true;
        });
        double wait = -1.0;
        for (const Held& h : held) {
            wait = wait < 0 ? h.dueAt - realNow() : std::min(wait, h.dueAt - realNow());
        }
        pollfd ready{server, POLLIN, 0};
        if (::poll(&ready, 1, wait < 0 ? -1 : static_cast<int>(std::max(0.0, wait) * 1000) + 1) <=
            0) {
            continue;
        }
        Bytes request(2048);
        Client client;
        double receivedAt = 0.0;
        const ssize_t got = receive(server, request, client, receivedAt);
        // Only client requests (mode 3) of the SNTP size are answered.
        if (got != static_cast<ssize_t>(kPacketSize) || (request[0] & 0x07) != 3) {
            continue;
        }
        request.resize(kPacketSize);
        const Verdict verdict =
            limitVerdict(clients[client.address.sin_addr.s_addr], config, receivedAt);
        if (verdict == Verdict::KissOfDeath) {
            sendTo(server, rateKissOfDeath(request), client);
        }
        if (verdict != Verdict::Serve || config.silent) {
            continue;
        }
        burstIndex = receivedAt - lastRequestAt > kBurstGapSec ? 1 : burstIndex + 1;
        lastRequestAt = receivedAt;
        const auto scripted = config.script.find(burstIndex);
        const ReplyShape& shape = scripted != config.script.end() ? scripted->second : config.shape;

        if (config.decoy) {
            const Bytes forged =
                buildReply(request, config.shape, config.offset + 1000.0, receivedAt);
            sendTo(server, resized(forged, config.decoySize), client);
        }
        const Bytes reply = buildReply(request, shape, config.offset, receivedAt);
        if (shape.delayMs > 0) {
            held.push_back({receivedAt + static_cast<double>(shape.delayMs) / 1000, reply, client});
            continue;
        }
        sendTo(server, reply, client);
    }
}
