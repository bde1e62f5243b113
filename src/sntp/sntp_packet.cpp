#include "sntp/sntp_packet.h"

#include <cmath>
#include <utility>

#include "common/day_date.h"

namespace korvel {

namespace {

constexpr double kTwoTo32 = 4294967296.0;

void putWord(PacketBytes& bytes, std::size_t at, std::int32_t word) {
    const std::uint32_t value = asUnsigned(word);
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::int32_t getWord(const PacketBytes& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value |= std::uint32_t{bytes[at + i]} << (8 * i);
    }
    return asWord(value);
}

// The eleven words in their order in the packet.
template <typename Packet>
auto words(Packet& p) {
    return std::array{&p.rootDelay,         &p.rootDispersion,    &p.referenceId,
                      &p.referenceSeconds,  &p.referenceFraction, &p.originateSeconds,
                      &p.originateFraction, &p.receiveSeconds,    &p.receiveFraction,
                      &p.transmitSeconds,   &p.transmitFraction};
}

}  // namespace

PacketBytes hostBytes(const SntpPacket& packet) {
    PacketBytes bytes{};
    bytes[0] = packet.liVnMode;
    bytes[1] = packet.stratum;
    bytes[2] = packet.poll;
    bytes[3] = packet.precision;
    std::size_t at = 4;
    for (const std::int32_t* word : words(packet)) {
        putWord(bytes, at, *word);
        at += 4;
    }
    return bytes;
}

SntpPacket packetFromHostBytes(const PacketBytes& bytes) {
    SntpPacket packet;
    packet.liVnMode = bytes[0];
    packet.stratum = bytes[1];
    packet.poll = bytes[2];
    packet.precision = bytes[3];
    std::size_t at = 4;
    for (std::int32_t* word : words(packet)) {
        *word = getWord(bytes, at);
        at += 4;
    }
    return packet;
}

void swapByteOrder(PacketBytes& bytes) {
    for (std::size_t i = 4; i < kPacketSize; i += 4) {
        std::swap(bytes[i], bytes[i + 3]);
        std::swap(bytes[i + 1], bytes[i + 2]);
    }
}

NtpTimestamp ntpTimestamp(const SystemTime& utc) {
    const std::int64_t seconds = ntpWholeSeconds(utc);
    const double fraction = std::nearbyint(utc.milliseconds / 1000.0 * kTwoTo32);
    return {static_cast<std::uint32_t>(seconds), static_cast<std::uint32_t>(fraction)};
}

double unwrapNtpSeconds(NtpTimestamp stamp, double nearNtpSeconds) {
    const double inEra = stamp.seconds + stamp.fraction / kTwoTo32;
    const double eras = std::round((nearNtpSeconds - inEra) / kTwoTo32);
    return inEra + eras * kTwoTo32;
}

SntpPacket requestPacket(NtpTimestamp transmit) {
    SntpPacket packet;
    packet.liVnMode = 0x23;  // leap 0, version 4, mode 3 (client)
    packet.stratum = 1;
    packet.poll = 0;
    packet.precision = 0xEE;          // -18
    packet.referenceId = 0x41435453;  // "ACTS" on the wire
    packet.transmitSeconds = asWord(transmit.seconds);
    packet.transmitFraction = asWord(transmit.fraction);
    return packet;
}

std::string kissCode(const SntpPacket& packet) {
    const std::uint32_t id = asUnsigned(packet.referenceId);
    std::string code;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto letter = static_cast<char>((id >> shift) & 0xFF);
        if (letter < 'A' || letter > 'Z') {
            return {};
        }
        code += letter;
    }
    return code;
}

}  // namespace korvel
