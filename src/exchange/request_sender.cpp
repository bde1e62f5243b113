#include "exchange/request_sender.h"

#include "ui/form/main_form.h"

namespace korvel {

void requestTick(MainForm& form) {
    if (form.requestsSent >= kRequestsPerBurst) {
        form.Timer1->stop();
        return;
    }
    const NtpTimestamp transmit = ntpTimestamp(form.platform.systemClock.getSystemTime());
    // A request that cannot be converted or sent still counts, so the burst keeps its pace.
    if (auto bytes = form.scratchFile.recordToBytes(requestPacket(transmit))) {
        swapByteOrder(*bytes);
        if (form.platform.socket.send(*bytes)) {
            form.sentRequests.add(transmit);
        }
    }
    ++form.requestsSent;
}

}  // namespace korvel
