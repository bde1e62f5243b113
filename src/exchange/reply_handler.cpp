#include "exchange/reply_handler.h"

#include <algorithm>
#include <string>

#include "calibration/offset_evaluation.h"
#include "calibration/outcome_display.h"
#include "common/day_date.h"
#include "common/utf8_text.h"
#include "exchange/burst_supervision.h"
#include "exchange/exchange.h"
#include "exchange/request_sender.h"
#include "platform/program_files.h"
#include "sntp/sntp_packet.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

constexpr int kServerMode = 4;
// Stratum 16 and above (reserved in SNTPv4, "unsynchronised" in NTPv4) come from a server
// without a reference: such replies count, but as flagged ones, like a leap alarm, so a
// server that lost its sources is reported as one whose time is invalid.
constexpr int kUnsynchronisedStratum = 16;
constexpr std::uint8_t kLeapWarningByte = 96;
constexpr double kSecondsPerDay = 86400.0;

// A server time before this version was made (a server claiming 1970) is no time at all.
double versionDayNtpSeconds() {
    constexpr int kDate = KORVEL_VERSION_DATE;
    return static_cast<double>(dayNumber(kDate / 10000, kDate / 100 % 100, kDate % 100) - 2) *
           kSecondsPerDay;
}

// A kiss-o'-death to a request of this burst: the server leaves the rotation for its code.
void kissOfDeath(MainForm& form, const SntpPacket& packet, int server) {
    SentRequests::Entry* request = form.sentRequests.find(originateOf(packet), server);
    const std::string code = kissCode(packet);
    if (request == nullptr || (code != "RATE" && code != "DENY" && code != "RSTR")) {
        return;
    }
    request->answered = true;
    form.rotation.leave(server, ServerStatus::KissOfDeath, code);
    const std::string name = trimBlanks(form.servers[static_cast<std::size_t>(server)]);
    if (code == "RATE") {
        holdServer(form.platform.files, name,
                   ntpSeconds(form.platform.systemClock.getSystemTime()));
    } else {
        form.refusingServers[name] = code;
    }
    serverLeft(form);
}

// A server reply whose timestamps may be used: server mode, with receive and transmit times
// whose seconds are set. A kiss-o'-death (stratum 0) never gets this far.
bool isUsableReply(const SntpPacket& packet) {
    return modeOf(packet) == kServerMode && packet.receiveSeconds != 0 &&
           packet.transmitSeconds != 0;
}

}  // namespace

void datagramArrival(MainForm& form, std::int32_t byteCount, int server,
                     std::optional<std::int64_t> receivedUtcNs) {
    if (byteCount != static_cast<std::int32_t>(kPacketSize)) {
        return;
    }
    // Read before the datagram is, so that the read, the byte swap and the scratch-file round
    // trip do not count as time on the network where the system gave no arrival stamp. The
    // reading also pairs the arrival with the monotonic clock: a step of the clock since the
    // request left, between the system's stamp and now too, forgets the request.
    const PairedReading handled = burstClockReading(form);
    PacketBytes buffer{};
    if (form.platform.socket.read(buffer) != byteCount) {
        return;
    }
    swapByteOrder(buffer);
    const auto packet = form.scratchFile.bytesToRecord(buffer);
    if (packet && modeOf(*packet) == kServerMode && packet->stratum == 0) {
        kissOfDeath(form, *packet, server);
        return;
    }
    if (!packet || !isUsableReply(*packet)) {
        return;
    }
    SentRequests::Entry* request = form.sentRequests.find(originateOf(*packet), server);
    if (request == nullptr) {
        return;
    }
    // The system's stamp, taken as the datagram reached the host, is the arrival time unless
    // it cannot be: before the request left or after the handler's own reading.
    std::int64_t arrivalNs = handled.utcNs;
    if (receivedUtcNs && *receivedUtcNs <= handled.utcNs &&
        ntpSecondsOfUnixNs(*receivedUtcNs) >= request->sentAt) {
        arrivalNs = *receivedUtcNs;
    }
    // Time cannot run backwards at the server, nor a reply come back before it left: such a
    // reply would sort as the fastest and carry its forged offset into the mean.
    const double arrival = ntpSecondsOfUnixNs(arrivalNs);
    const double t2 = unwrapNtpSeconds(receiveOf(*packet), arrival);
    const double t3 = unwrapNtpSeconds(transmitOf(*packet), arrival);
    const double resolution =
        static_cast<double>(form.platform.steadyClock.readingResolutionNs()) / 1e9;
    if (t3 < t2 || (arrival - request->sentAt) - (t3 - t2) < -resolution) {
        return;
    }
    request->answered = true;
    form.rotation.answered(server);
    form.largestDelaySec = std::max(form.largestDelaySec, (arrival - request->sentAt) - (t3 - t2));

    const std::int16_t k = ++form.repliesReceived;
    form.StatusBar1.setPanel(2, replyCountText(k));
    ReplyRecord& record = form.replyRecords[static_cast<std::size_t>(k)];
    record.invalid = packet->liVnMode >= kLeapWarningByte ||
                             packet->stratum >= kUnsynchronisedStratum ||
                             t2 < versionDayNtpSeconds()
                         ? 1
                         : 0;
    form.arrivalTime = utcOfUnixNs(arrivalNs);
    record.t1 = request->sentAt;
    record.t2 = t2;
    record.t3 = t3;
    record.t4 = arrival;
    record.server = static_cast<std::int16_t>(server);

    if (k >= kRepliesPerBurst) {
        form.platform.beeper.beep();
        form.Timer2->stop();
        form.quietTimer->stop();
        adjust(form, form.repliesReceived);
    } else {
        replyCounted(form);
    }
}

}  // namespace korvel
