#include "exchange/nts_servers.h"

#include <algorithm>
#include <cctype>

#include "exchange/exchange.h"

namespace korvel {

std::string ntsFailureName(NtsKeFailure failure) {
    switch (failure) {
        case NtsKeFailure::None:
            break;
        case NtsKeFailure::NameNotResolved:
            return "nameNotResolved";
        case NtsKeFailure::Refused:
            return "refused";
        case NtsKeFailure::TimedOut:
            return "timedOut";
        case NtsKeFailure::NoAlpn:
            return "noAlpn";
        case NtsKeFailure::CertificateExpired:
            return "certificateExpired";
        case NtsKeFailure::WrongName:
            return "wrongName";
        case NtsKeFailure::Untrusted:
            return "untrusted";
        case NtsKeFailure::TlsFailed:
            return "tlsFailed";
        case NtsKeFailure::BadAnswer:
            return "badAnswer";
    }
    return {};
}

void NtsServers::startBurst(const std::vector<std::string>& servers) {
    ++m_burstNumber;
    m_burst.clear();
    for (const std::string& text : servers) {
        BurstServer server;
        const ParsedServerEntry parsed = parseServerEntry(text);
        server.entry = parsed.entry.value_or(ServerEntry{text, false, kNtsKePort});
        for (const char c : text) {
            server.key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        m_burst.push_back(std::move(server));
    }
}

// The keys of an NTS server's last exchange; nullptr for a plain server or before one.
const NtsServers::Keys* NtsServers::keysOf(int server) const {
    const BurstServer& burst = m_burst[index(server)];
    const auto keys = m_keys.find(burst.key);
    return burst.entry.nts && keys != m_keys.end() ? &keys->second : nullptr;
}

std::string NtsServers::host(int server) const {
    const Keys* keys = keysOf(server);
    return keys != nullptr ? keys->ntpHost : m_burst[index(server)].entry.host;
}

std::int32_t NtsServers::port(int server) const {
    const Keys* keys = keysOf(server);
    return keys != nullptr ? keys->ntpPort : kServerPort;
}

bool NtsServers::needsExchange(int server) const {
    const BurstServer& burst = m_burst[index(server)];
    const auto keys = m_keys.find(burst.key);
    return burst.entry.nts && (keys == m_keys.end() || keys->second.cookies.empty());
}

void NtsServers::exchange(int server, int timeoutMs, std::optional<std::int64_t> datesAtUnixSec,
                          std::function<void(std::string)> done) {
    BurstServer& burst = m_burst[index(server)];
    m_keys.erase(burst.key);
    burst.inFlight.clear();
    ++burst.exchanges;
    burst.exchanging = true;
    NtsKeTarget target{burst.entry.host, burst.entry.ntsKePort, m_trustFile, datesAtUnixSec,
                       timeoutMs};
    m_exchange->start(
        target, [this, server, number = m_burstNumber, done = std::move(done)](NtsKeResult result) {
            if (number != m_burstNumber) {
                return;
            }
            BurstServer& answered = m_burst[index(server)];
            answered.exchanging = false;
            if (result.failure != NtsKeFailure::None) {
                done(ntsFailureName(result.failure));
                return;
            }
            m_keys[answered.key] = {
                std::move(result.clientToServerKey), std::move(result.serverToClientKey),
                std::move(result.answer.cookies),
                result.answer.ntpServer.empty() ? answered.entry.host : result.answer.ntpServer,
                result.answer.ntpPort.value_or(kServerPort)};
            done({});
        });
}

Bytes NtsServers::randomBytes(std::size_t count) {
    Bytes bytes;
    while (bytes.size() < count) {
        const std::uint32_t bits = m_random.randomBits();
        for (int shift = 0; shift < 32 && bytes.size() < count; shift += 8) {
            bytes.push_back(static_cast<std::uint8_t>(bits >> shift & 0xFF));
        }
    }
    return bytes;
}

std::optional<Bytes> NtsServers::request(int server, const PacketBytes& wirePacket,
                                         NtpTimestamp transmit, std::int64_t nowMs) {
    BurstServer& burst = m_burst[index(server)];
    const auto keys = m_keys.find(burst.key);
    if (keys == m_keys.end() || keys->second.cookies.empty()) {
        return std::nullopt;
    }
    std::vector<Bytes>& cookies = keys->second.cookies;
    const Bytes cookie = std::move(cookies.back());
    cookies.pop_back();
    Bytes uniqueId = randomBytes(kNtsUniqueIdBytes);
    const Bytes nonce = randomBytes(kNtsNonceBytes);
    // Placeholders ask for as many new cookies as bring the jar back to eight.
    const std::size_t placeholders =
        kNtsCookiesKept - 1 - std::min(cookies.size(), kNtsCookiesKept - 1);
    auto datagram =
        ntsRequest(wirePacket, {uniqueId, cookie, placeholders, nonce, keys->second.clientToServer},
                   *m_cipher);
    if (datagram) {
        burst.inFlight.push_back({transmit, std::move(uniqueId), nowMs});
    }
    return datagram;
}

bool NtsServers::awaiting(int server, std::int64_t sinceMs) const {
    const auto& inFlight = m_burst[index(server)].inFlight;
    return std::ranges::any_of(inFlight,
                               [sinceMs](const InFlight& r) { return r.sentMs > sinceMs; });
}

NtsReplyVerdict NtsServers::reply(int server, ByteView datagram, NtpTimestamp originate) {
    BurstServer& burst = m_burst[index(server)];
    const auto keys = m_keys.find(burst.key);
    const auto request = std::ranges::find_if(
        burst.inFlight, [originate](const InFlight& r) { return r.transmit == originate; });
    if (keys == m_keys.end() || request == burst.inFlight.end()) {
        return NtsReplyVerdict::WrongId;
    }
    NtsReply checked =
        checkNtsReply(datagram, request->uniqueId, keys->second.serverToClient, *m_cipher);
    if (checked.verdict == NtsReplyVerdict::Authentic) {
        burst.inFlight.erase(request);
        std::vector<Bytes>& cookies = keys->second.cookies;
        for (Bytes& cookie : checked.cookies) {
            if (cookies.size() < kNtsCookiesKept) {
                cookies.push_back(std::move(cookie));
            }
        }
    } else if (checked.verdict == NtsReplyVerdict::Nak) {
        m_keys.erase(keys);
        burst.inFlight.clear();
    }
    return checked.verdict;
}

}  // namespace korvel
