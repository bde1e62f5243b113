#include "exchange/exchange.h"

#include "exchange/burst_supervision.h"
#include "exchange/reply_handler.h"
#include "exchange/request_sender.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

constexpr int kRequestIntervalMs = 100;
constexpr int kBurstTimeoutMs = 10000;
constexpr int kOffsetValidityMs = 34000;

}  // namespace

void attachExchange(MainForm& form) {
    form.Timer1->setInterval(kRequestIntervalMs);
    form.Timer1->setTickHandler([&form] { requestTick(form); });
    form.Timer2->setInterval(kBurstTimeoutMs);
    form.Timer2->setTickHandler([&form] { burstTimeoutTick(form); });
    form.Timer3->setInterval(kOffsetValidityMs);
    form.Timer3->setTickHandler([&form] { validityTick(form); });
    form.platform.socket.setArrivalHandler(
        [&form](std::int32_t byteCount) { datagramArrival(form, byteCount); });
}

bool prepareSocket(MainForm& form, const std::string& addressField, std::int32_t localPort) {
    UdpSocket& socket = form.platform.socket;
    // Port 0 asks for any free port, which the bound socket reports under its own number.
    const bool bound = localPort != 0 && socket.localPort() == localPort;
    if (!bound && !socket.bind(localPort)) {
        return false;
    }
    socket.setRemoteHost(addressField);
    socket.setRemotePort(kServerPort);
    return true;
}

std::string portUnusableText(std::int32_t localPort) {
    return "本机端口 " + std::to_string(localPort) + " 无法使用";
}

}  // namespace korvel
