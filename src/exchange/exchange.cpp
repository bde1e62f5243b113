#include "exchange/exchange.h"

#include "common/utf8_text.h"
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
    form.serverAddress = addressField;
    // Connected while idle too, so that the system drops datagrams from anyone else; each
    // burst looks the name up again.
    socket.connectTo(addressField, kServerPort, [](ConnectOutcome) {});
    return true;
}

std::string portUnusableText(std::int32_t localPort) {
    return "本机端口 " + std::to_string(localPort) + " 无法使用";
}

std::string connectProblem(ConnectOutcome outcome, const std::string& addressField) {
    switch (outcome) {
        case ConnectOutcome::Connected:
            break;
        case ConnectOutcome::NameNotResolved:
            return "服务器名称无法解析: " + trimBlanks(addressField);
        case ConnectOutcome::NetworkUnreachable:
            return "网络不可达: " + trimBlanks(addressField);
    }
    return {};
}

void startExchange(MainForm& form) {
    form.platform.socket.connectTo(
        form.serverAddress, kServerPort, [&form](ConnectOutcome outcome) {
            // The burst may have timed out while the name was looked up.
            if (!form.Timer2->isRunning()) {
                return;
            }
            if (outcome == ConnectOutcome::Connected) {
                form.Timer1->start();
                return;
            }
            endBurstEarly(form,
                          {outcome == ConnectOutcome::NameNotResolved ? Outcome::NameNotResolved
                                                                      : Outcome::NoReply,
                           connectProblem(outcome, form.serverAddress),
                           {}});
        });
}

}  // namespace korvel
