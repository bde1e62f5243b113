#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/server_entry.h"
#include "platform/nts_key_exchange.h"
#include "platform/random.h"
#include "sntp/nts_packet.h"
#include "sntp/sntp_packet.h"

namespace korvel {

// The names of why an NTS server gave no authenticated time, as the tool's --json gives them.
std::string ntsFailureName(NtsKeFailure failure);
inline constexpr const char* kNtsUnavailable = "ntsUnavailable";
inline constexpr const char* kNtsNak = "nak";
inline constexpr const char* kNtsCookiesUsedUp = "cookiesUsedUp";

// The servers of a burst named as `nts:HOST[:PORT]`: their keys and cookies, kept between
// bursts in memory only, and the authenticated requests in flight. A server gets at most one
// key exchange per burst, and none while it has cookies.
class NtsServers {
public:
    NtsServers(NtsKeyExchange* exchange, const SivCipher* cipher, RandomSource& random)
        : m_exchange(exchange), m_cipher(cipher), m_random(random) {}

    // A file of PEM certificates trusted besides the system's store.
    void setTrustFile(std::string path) { m_trustFile = std::move(path); }

    // A new burst over the entries (an entry that does not parse is taken as a plain host).
    void startBurst(const std::vector<std::string>& servers);
    // Servers past the entries (further addresses of a plain name) are plain.
    bool isNts(int server) const {
        return index(server) < m_burst.size() && m_burst[index(server)].entry.nts;
    }
    // Whether the program can speak NTS at all.
    bool available() const { return m_exchange != nullptr && m_cipher != nullptr; }
    // The host and port the socket asks: the NTP server and port the key exchange named, else
    // the entry's host at the SNTP port.
    std::string host(int server) const;
    std::int32_t port(int server) const;
    // Whether the server needs a key exchange before anything may be sent to it.
    bool needsExchange(int server) const;
    bool mayExchange(int server) const { return m_burst[index(server)].exchanges == 0; }
    bool exchanging(int server) const { return m_burst[index(server)].exchanging; }
    // Runs the server's key exchange, the certificate's dates checked at datesAtUnixSec or
    // else now; done gets the failure's name, empty on success, later, never inside this call.
    // The keys and cookies held before are dropped.
    void exchange(int server, int timeoutMs, std::optional<std::int64_t> datesAtUnixSec,
                  std::function<void(std::string failure)> done);

    // The datagram asking the server, the request's identifier kept for its reply; nothing
    // when no cookie is left.
    std::optional<Bytes> request(int server, const PacketBytes& wirePacket, NtpTimestamp transmit,
                                 std::int64_t nowMs);
    // Whether a request to the server sent after sinceMs still awaits its reply.
    bool awaiting(int server, std::int64_t sinceMs) const;

    // What a datagram from the server is: an authentic reply to one of its requests in flight
    // (its cookies are kept), a NAK of one (the keys and cookies are dropped), or nothing.
    NtsReplyVerdict reply(int server, ByteView datagram, NtpTimestamp originate);

private:
    struct Keys {
        Bytes clientToServer;
        Bytes serverToClient;
        std::vector<Bytes> cookies;
        std::string ntpHost;
        std::int32_t ntpPort = 0;
    };
    struct InFlight {
        NtpTimestamp transmit;
        Bytes uniqueId;
        std::int64_t sentMs = 0;
    };
    struct BurstServer {
        ServerEntry entry;
        std::string key;  // of m_keys: the entry as typed, without case
        int exchanges = 0;
        bool exchanging = false;
        std::vector<InFlight> inFlight;
    };

    static std::size_t index(int server) { return static_cast<std::size_t>(server); }
    const Keys* keysOf(int server) const;
    Bytes randomBytes(std::size_t count);

    NtsKeyExchange* m_exchange;
    const SivCipher* m_cipher;
    RandomSource& m_random;
    std::string m_trustFile;
    std::map<std::string, Keys> m_keys;
    std::vector<BurstServer> m_burst;
    // Exchanges answering after a new burst began are not this burst's.
    std::uint64_t m_burstNumber = 0;
};

}  // namespace korvel
