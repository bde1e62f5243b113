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
//
// Properties checked on the way (a violation aborts):
//   - before each reply from the server (not a kiss-o'-death), an impossible twin of it
//     (transmit a second before receive) is delivered: it never changes the count or records;
//   - an evaluated offset comes from at least ten counted replies and lies between the
//     smallest and the largest offset of the replies it averaged.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "exchange/burst_engine.h"
#include "support/test_rig.h"

namespace {

constexpr std::size_t kStratumAt = 1;
constexpr std::size_t kOriginateAt = 24;
constexpr std::size_t kTransmitAt = 40;
constexpr std::size_t kReceiveAt = 32;
constexpr std::size_t kTimestampSize = 8;

void require(bool property) {
    if (!property) {
        std::abort();
    }
}

// The same reply with its transmit time a second before its receive time: time running
// backwards at the server (or, across an era, a delay far below zero), so never a reply.
std::vector<std::uint8_t> impossibleTwin(std::vector<std::uint8_t> reply) {
    // The receive time whole (with a transmit fraction near one, less than a second would be
    // left, which a double near 2^31 s may no longer tell apart), its seconds less one.
    std::copy_n(reply.begin() + kReceiveAt, kTimestampSize, reply.begin() + kTransmitAt);
    for (std::size_t i = kTransmitAt + 4; i-- > kTransmitAt && reply[i]-- == 0;) {
    }
    return reply;
}

void requireSoundResult(const korvel::MainForm& form, bool recorded) {
    if (!recorded || form.lastOutcome.outcome != korvel::Outcome::Evaluated) {
        return;
    }
    const korvel::BurstResult& result = form.lastBurst;
    require(result.counted >= korvel::kFewestEvaluatedReplies);
    std::vector<double> used;
    for (int i = 1; i <= result.counted; ++i) {
        if (result.uses[static_cast<std::size_t>(i - 1)] == korvel::ReplyUse::Used) {
            used.push_back(form.replyRecords[static_cast<std::size_t>(i)].offset);
        }
    }
    require(!used.empty());
    const auto [lowest, highest] = std::ranges::minmax(used);
    require(result.offsetSec >= lowest - 1e-9 * std::abs(lowest) &&
            result.offsetSec <= highest + 1e-9 * std::abs(highest));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using korvel::test::FakeSntpServer;
    korvel::test::TestRig rig;
    rig.startSilentBurst();  // every reply comes from the input
    rig.time.advance(100);
    bool recorded = false;  // the form's outcome means nothing before the burst ends
    const auto watch = rig.form->outcomeRecorded.connect([&recorded] { recorded = true; });

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
        // A kiss-o'-death's twin is a kiss-o'-death, which rightly ends the burst.
        if (fromServer && datagram.size() == korvel::kPacketSize && datagram[kStratumAt] != 0) {
            // Any arrival first takes note of a step of the clock; that is no change by the twin.
            korvel::BurstEngine& engine = rig.form->engine;
            engine.burstClockReading();
            const korvel::ReplyRecords before = engine.records();
            const std::int16_t counted = engine.repliesReceived();
            rig.socket.deliver(impossibleTwin(datagram), FakeSntpServer::kAddress, 123);
            rig.time.advance(1);
            require(engine.repliesReceived() == counted && before == engine.records());
        }
        rig.socket.deliver(std::move(datagram),
                           fromServer ? FakeSntpServer::kAddress : "192.0.2.99",
                           fromServer ? 123 : 40123);
        rig.time.advance(1);
        requireSoundResult(*rig.form, recorded);
    }
    rig.time.advance(12'000);
    requireSoundResult(*rig.form, recorded);
    return 0;
}
