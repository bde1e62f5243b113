// libFuzzer target for the datagram path: arbitrary datagrams of arbitrary sizes, from the
// server or elsewhere, through the arrival handler into the evaluation, on the fake platform.
//
// The input is a list of chunks:
//   byte 0   bit 0: from the server's address and port (else from another host, which the
//                   connected socket never delivers)
//            bit 1: echo the transmit time of request (byte 0 >> 2) % 30 as the originate, so
//                   that fuzzed replies get past the matching and reach adjust; without bit 0,
//                   the local clock steps by ((byte 0 >> 2) & 31) - 16 s instead
//            bit 7: let 100 ms pass first (the burst goes on sending meanwhile)
//   byte 1-2 datagram size, big-endian (cut to what is left of the input)
//   then     the datagram's bytes
// After the last chunk the burst runs to its time-out.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/test_rig.h"

namespace {

constexpr std::size_t kOriginateAt = 24;
constexpr std::size_t kTransmitAt = 40;
constexpr std::size_t kTimestampSize = 8;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using korvel::test::FakeSntpServer;
    korvel::test::TestRig rig;
    rig.startSilentBurst();  // every reply comes from the input
    rig.time.advance(100);

    std::size_t at = 0;
    while (at + 3 <= size) {
        const std::uint8_t control = data[at];
        std::size_t length = (std::size_t{data[at + 1]} << 8) | data[at + 2];
        at += 3;
        length = std::min(length, size - at);
        std::vector<std::uint8_t> datagram(data + at, data + at + length);
        at += length;

        if (control & 0x80) {
            rig.time.advance(100);
        }
        const bool fromServer = control & 0x01;
        if (!fromServer && (control & 0x02)) {
            rig.time.stepWallClock((((control >> 2) & 0x1F) - 16) * 1000);
            continue;
        }
        const auto& sent = rig.socket.sent();
        if ((control & 0x02) && !sent.empty() && datagram.size() >= kOriginateAt + kTimestampSize) {
            const auto& request = sent[(control >> 2) % sent.size()];
            std::copy_n(request.begin() + kTransmitAt, kTimestampSize,
                        datagram.begin() + kOriginateAt);
        }
        rig.socket.deliver(std::move(datagram),
                           fromServer ? FakeSntpServer::kAddress : "192.0.2.99",
                           fromServer ? 123 : 40123);
        rig.time.advance(1);
    }
    rig.time.advance(12'000);
    return 0;
}
