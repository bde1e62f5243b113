#include "exchange/exchange.h"

#include "common/day_date.h"
#include "common/utf8_text.h"
#include "exchange/burst_supervision.h"
#include "exchange/reply_handler.h"
#include "exchange/request_sender.h"
#include "platform/program_files.h"
#include "ui/form/main_form.h"

namespace korvel {

namespace {

constexpr int kRequestIntervalMs = 100;
constexpr int kBurstTimeoutMs = 10000;
constexpr int kOffsetValidityMs = 34000;

// Servers that must not be asked in this burst: refused for the run, or held after a RATE.
void holdBackServers(MainForm& form) {
    const RateHolds holds =
        heldServers(form.platform.files, ntpSeconds(form.platform.systemClock.getSystemTime()));
    for (int i = 0; i < form.rotation.size(); ++i) {
        const std::string name = trimBlanks(form.servers[static_cast<std::size_t>(i)]);
        if (const auto refused = form.refusingServers.find(name);
            refused != form.refusingServers.end()) {
            form.rotation.leave(i, ServerStatus::KissOfDeath, refused->second);
        } else if (holds.contains(name)) {
            form.rotation.leave(i, ServerStatus::KissOfDeath, "RATE");
        }
    }
}

}  // namespace

void attachExchange(MainForm& form) {
    form.Timer1->setInterval(kRequestIntervalMs);
    form.Timer1->setTickHandler([&form] { requestTick(form); });
    form.Timer2->setInterval(kBurstTimeoutMs);
    form.Timer2->setTickHandler([&form] { burstTimeoutTick(form); });
    form.Timer3->setInterval(kOffsetValidityMs);
    form.Timer3->setTickHandler([&form] { validityTick(form); });
    form.quietTimer->setTickHandler([&form] { quietTick(form); });
    form.platform.socket.setArrivalHandler(
        [&form](std::int32_t byteCount, int server, std::optional<std::int64_t> receivedUtcNs) {
            datagramArrival(form, byteCount, server, receivedUtcNs);
        });
}

bool prepareSocket(MainForm& form, std::vector<std::string> servers, std::int32_t localPort) {
    UdpSocket& socket = form.platform.socket;
    // Port 0 asks for any free port, which the bound socket reports under its own number.
    const bool bound = localPort != 0 && socket.localPort() == localPort;
    if (!bound && !socket.bind(localPort)) {
        return false;
    }
    form.servers = std::move(servers);
    // Connected while idle too, so that the system drops datagrams from anyone else; each
    // burst looks the names up again.
    socket.setServers({form.servers.front()}, kServerPort, [](int, ConnectOutcome) {});
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
    form.rotation = ServerRotation(static_cast<int>(form.servers.size()));
    holdBackServers(form);
    // Nothing to ask at all: the burst ends once the measure command has returned.
    if (form.rotation.inRotation() == 0 && !form.rotation.anyLookingUp()) {
        form.quietTimer->setInterval(1);
        form.quietTimer->start();
        return;
    }
    form.platform.socket.setServers(
        form.servers, kServerPort, [&form](int server, ConnectOutcome outcome) {
            // The burst may have ended while the names were looked up.
            if (!form.Timer2->isRunning()) {
                return;
            }
            if (outcome == ConnectOutcome::Connected) {
                form.rotation.found(server);
                if (!form.Timer1->isRunning() && !form.requestsOut) {
                    form.Timer1->start();
                }
                return;
            }
            form.rotation.leave(server, ServerStatus::NotFound);
            form.lookUpProblems.push_back(
                {outcome, connectProblem(outcome, form.servers[static_cast<std::size_t>(server)])});
            serverLeft(form);
        });
}

}  // namespace korvel
