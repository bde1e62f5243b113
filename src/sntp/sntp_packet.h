#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/system_time.h"

namespace korvel {

// The 48-byte SNTP packet in host form. Every word holds the 32 bits of the unsigned NTP
// quantity in a signed integer.
struct SntpPacket {
    std::uint8_t liVnMode = 0;
    std::uint8_t stratum = 0;
    std::uint8_t poll = 0;
    std::uint8_t precision = 0;
    std::int32_t rootDelay = 0;
    std::int32_t rootDispersion = 0;
    std::int32_t referenceId = 0;
    std::int32_t referenceSeconds = 0;
    std::int32_t referenceFraction = 0;
    std::int32_t originateSeconds = 0;
    std::int32_t originateFraction = 0;
    std::int32_t receiveSeconds = 0;
    std::int32_t receiveFraction = 0;
    std::int32_t transmitSeconds = 0;
    std::int32_t transmitFraction = 0;
};

inline constexpr std::size_t kPacketSize = 48;
using PacketBytes = std::array<std::uint8_t, kPacketSize>;

// Host order: the four single bytes, then each word little-endian, as the scratch file holds
// the record.
PacketBytes hostBytes(const SntpPacket& packet);
SntpPacket packetFromHostBytes(const PacketBytes& bytes);

// Reverses each 4-byte group from byte 4 on; turns host order into wire order and back.
void swapByteOrder(PacketBytes& bytes);

// An NTP 32.32 timestamp as it travels: seconds modulo 2^32 and the fraction.
struct NtpTimestamp {
    std::uint32_t seconds = 0;
    std::uint32_t fraction = 0;
    friend bool operator==(const NtpTimestamp&, const NtpTimestamp&) = default;
};

// The timestamp of a UTC clock reading; the fraction is round(ms / 1000 * 2^32), ties to even.
NtpTimestamp ntpTimestamp(const SystemTime& utc);

// NTP seconds of a wire timestamp, taken in the era (2^32 s) nearest the reference, so that
// timestamps keep their meaning across 2036-02-07 06:28:16 UTC.
double unwrapNtpSeconds(NtpTimestamp stamp, double nearNtpSeconds);

inline std::int32_t asWord(std::uint32_t value) {
    return static_cast<std::int32_t>(value);
}
inline std::uint32_t asUnsigned(std::int32_t word) {
    return static_cast<std::uint32_t>(word);
}

// The client request of one tick (version 4, mode 3) carrying the transmit time.
SntpPacket requestPacket(NtpTimestamp transmit);

// The code of a kiss-o'-death (a reply of stratum 0): the four letters its reference
// identifier carries on the wire, such as RATE; empty when they are not capital letters.
std::string kissCode(const SntpPacket& packet);

// Fields of a reply that the exchange looks at.
inline int modeOf(const SntpPacket& packet) {
    return packet.liVnMode & 0x07;
}
inline NtpTimestamp originateOf(const SntpPacket& p) {
    return {asUnsigned(p.originateSeconds), asUnsigned(p.originateFraction)};
}
inline NtpTimestamp receiveOf(const SntpPacket& p) {
    return {asUnsigned(p.receiveSeconds), asUnsigned(p.receiveFraction)};
}
inline NtpTimestamp transmitOf(const SntpPacket& p) {
    return {asUnsigned(p.transmitSeconds), asUnsigned(p.transmitFraction)};
}

}  // namespace korvel
