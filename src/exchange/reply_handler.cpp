#include "exchange/reply_handler.h"

#include "calibration/offset_evaluation.h"
#include "common/day_date.h"
#include "exchange/request_sender.h"
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
    return modeOf(packet) == kServerMode && packet.stratum != 0 && packet.receiveSeconds != 0 &&
           packet.transmitSeconds != 0;
}

void datagramArrival(MainForm& form, std::int32_t byteCount) {
    if (byteCount != static_cast<std::int32_t>(kPacketSize)) {
        return;
    }
    // The arrival time is read before the datagram is, so that the read, the byte swap and
    // the scratch-file round trip do not count as time on the network.
    const SystemTime arrivalTime = burstClockReading(form);
    PacketBytes buffer{};
    if (form.platform.socket.read(buffer) != byteCount) {
        return;
    }
    swapByteOrder(buffer);
    const auto packet = form.scratchFile.bytesToRecord(buffer);
    if (!packet || !isUsableReply(*packet)) {
        return;
    }
    SentRequests::Entry* request = form.sentRequests.find(originateOf(*packet));
    if (request == nullptr) {
        return;
    }
    // Time cannot run backwards at the server, nor a reply come back before it left: such a
    // reply would sort as the fastest and carry its forged offset into the mean.
    const double arrival = ntpSeconds(arrivalTime);
    const double t2 = unwrapNtpSeconds(receiveOf(*packet), arrival);
    const double t3 = unwrapNtpSeconds(transmitOf(*packet), arrival);
    const double resolution = form.platform.steadyClock.readingResolutionMs() / 1000.0;
    if (t3 < t2 || (arrival - request->sentAt) - (t3 - t2) < -resolution) {
        return;
    }
    request->answered = true;

    const std::int16_t k = ++form.repliesReceived;
    ReplyRecord& record = form.replyRecords[static_cast<std::size_t>(k)];
    record.invalid =
        packet->liVnMode >= kLeapWarningByte || packet->stratum >= kUnsynchronisedStratum ? 1 : 0;
    form.arrivalTime = arrivalTime;
    record.t1 = request->sentAt;
    record.t2 = t2;
    record.t3 = t3;
    record.t4 = arrival;

    if (k >= kRepliesPerBurst) {
        form.platform.beeper.beep();
        form.Timer2->stop();
        adjust(form, form.repliesReceived);
    }
}

}  // namespace korvel
