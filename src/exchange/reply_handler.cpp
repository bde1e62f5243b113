#include "exchange/reply_handler.h"

#include "calibration/offset_evaluation.h"
#include "common/day_date.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

constexpr int kServerMode = 4;
// Stratum 16 and above (reserved in SNTPv4, "unsynchronised" in NTPv4) come from a server
// without a reference: such replies count, but as flagged ones, like a leap alarm, so a
// server that lost its sources is reported as one whose time is invalid.
constexpr int kUnsynchronisedStratum = 16;
constexpr std::uint8_t kLeapWarningByte = 96;

}  // namespace

bool isUsableReply(const SntpPacket& packet) {
    return modeOf(packet) == kServerMode && packet.stratum != 0 &&
           transmitOf(packet) != NtpTimestamp{};
}

void datagramArrival(MainForm& form, std::int32_t byteCount) {
    if (byteCount != static_cast<std::int32_t>(kPacketSize)) {
        return;
    }
    // The arrival time is read before the datagram is, so that the read, the byte swap and
    // the scratch-file round trip do not count as time on the network.
    const SystemTime arrivalTime = form.platform.systemClock.getSystemTime();
    PacketBytes buffer{};
    DatagramSource source;
    if (form.platform.socket.read(buffer, source) != byteCount || !source.fromRemote) {
        return;
    }
    swapByteOrder(buffer);
    const auto packet = form.scratchFile.bytesToRecord(buffer);
    if (!packet || !isUsableReply(*packet) || !form.sentRequests.claim(originateOf(*packet))) {
        return;
    }

    const std::int16_t k = ++form.repliesReceived;
    ReplyRecord& record = form.replyRecords[static_cast<std::size_t>(k)];
    record.invalid =
        packet->liVnMode >= kLeapWarningByte || packet->stratum >= kUnsynchronisedStratum ? 1 : 0;
    form.arrivalTime = arrivalTime;
    const double arrival = ntpSeconds(arrivalTime);
    record.t1 = unwrapNtpSeconds(originateOf(*packet), arrival);
    record.t2 = unwrapNtpSeconds(receiveOf(*packet), arrival);
    record.t3 = unwrapNtpSeconds(transmitOf(*packet), arrival);
    record.t4 = arrival;

    if (k >= kRepliesPerBurst) {
        form.platform.beeper.beep();
        form.Timer2->stop();
        adjust(form, form.repliesReceived);
        form.repliesReceived = 0;
    }
}

}  // namespace korvel
