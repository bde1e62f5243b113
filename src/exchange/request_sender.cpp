#include "exchange/request_sender.h"

#include <cmath>

#include "common/day_date.h"
#include "exchange/burst_supervision.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

// Wall clock minus monotonic clock may move this much between readings of an unstepped clock:
// the monotonic readings' whole milliseconds and the spread of each pair, at both ends.
constexpr double kLargestUnsteppedChangeMs = 4.0;
constexpr double kNanosecondsPerMillisecond = 1e6;

}  // namespace

PairedReading burstClockReading(MainForm& form) {
    const PairedReading reading = form.platform.steadyClock.readPaired();
    const double baseMs = static_cast<double>(reading.utcNs) / kNanosecondsPerMillisecond -
                          static_cast<double>(reading.steadyMs);
    if (form.burstClockBaseMs &&
        std::abs(baseMs - *form.burstClockBaseMs) > kLargestUnsteppedChangeMs) {
        form.sentRequests.clear();
        form.repliesReceived = 0;
    }
    form.burstClockBaseMs = baseMs;
    return reading;
}

void requestTick(MainForm& form) {
    if (form.requestsSent >= kRequestsPerBurst) {
        requestsOut(form);
        return;
    }
    const std::optional<int> server = form.rotation.next();
    if (!server) {
        // A server still being looked up may yet take requests; otherwise none may.
        if (!form.rotation.anyLookingUp()) {
            requestsOut(form);
        }
        return;
    }
    // The transmit field carries whole milliseconds, its bits below them random; it only
    // identifies the request.
    NtpTimestamp transmit = ntpTimestamp(form.platform.systemClock.getSystemTime());
    transmit.fraction = (transmit.fraction & ~kRandomFractionMask) |
                        (form.platform.random.randomBits() & kRandomFractionMask);
    // A request that cannot be converted or sent still counts, so the burst keeps its pace.
    if (auto bytes = form.scratchFile.recordToBytes(requestPacket(transmit))) {
        swapByteOrder(*bytes);
        // The time the request leaves is read last, so that building and converting it do
        // not count as time on the network; the system's stamp of its leaving, where it gives
        // one that lies between this reading and the next, also leaves out the send itself
        // (on a busy machine the program may wait for a core in between).
        const PairedReading before = burstClockReading(form);
        if (const SentDatagram sent = form.platform.socket.send(*server, *bytes); sent.sent) {
            std::int64_t leftNs = before.utcNs;
            if (sent.leftUtcNs && *sent.leftUtcNs >= before.utcNs &&
                *sent.leftUtcNs <= burstClockReading(form).utcNs) {
                leftNs = *sent.leftUtcNs;
            }
            form.sentRequests.add(transmit, ntpSecondsOfUnixNs(leftNs), *server);
        }
    }
    form.rotation.sent(*server);
    ++form.requestsSent;
}

void forgetBurst(MainForm& form) {
    form.Timer1->stop();
    form.sentRequests.clear();
}

}  // namespace korvel
