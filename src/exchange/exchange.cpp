#include "exchange/exchange.h"

#include "common/text_forms.h"
#include "common/utf8_text.h"

namespace korvel {

bool bindSocket(UdpSocket& socket, const std::string& firstServer, std::int32_t localPort) {
    // Port 0 asks for any free port, which the bound socket reports under its own number.
    const bool bound = localPort != 0 && socket.localPort() == localPort;
    if (!bound && !socket.bind(localPort)) {
        return false;
    }
    // Connected while idle too, so that the system drops datagrams from anyone else; each
    // burst looks the names up again.
    socket.setServers({firstServer}, kServerPort, [](int, ConnectOutcome) {});
    return true;
}

std::string portUnusableText(std::int32_t localPort) {
    return "本机端口 " + std::to_string(localPort) + " 无法使用";
}

std::string refusalText(const std::string& server, const std::string& kissCode) {
    if (kissCode == "RATE") {
        return server + " 限制访问频率 (RATE)";
    }
    if (kissCode == "DENY") {
        return server + " 拒绝服务 (DENY)";
    }
    return server + " 限制访问 (" + kissCode + ")";
}

std::string unreachedText(const std::string& server, const ServerTally& tally) {
    switch (tally.status) {
        case ServerStatus::KissOfDeath:
            return refusalText(server, tally.kissCode);
        case ServerStatus::NotFound:
            return "服务器名称无法解析: " + server;
        case ServerStatus::Unreachable:
            return "网络不可达: " + server;
        case ServerStatus::LookingUp:
            return "服务器名称查询没有答复: " + server;
        case ServerStatus::InRotation:
        case ServerStatus::Silent:
        case ServerStatus::SameMachine:
            break;
    }
    return "服务器没有回答: " + server;
}

std::string serverMedians(const std::vector<std::string>& servers, const BurstResult& result) {
    std::string lines;
    for (std::size_t i = 0; i < result.servers.size() && i < servers.size(); ++i) {
        const ServerSummary& server = result.servers[i];
        if (server.usable > 0) {
            lines += (lines.empty() ? "" : "\n") + trimBlanks(servers[i]) + ": " +
                     sixDecimals(server.medianOffset) + " 秒";
        }
    }
    return lines;
}

std::string serversLeftOut(const std::vector<std::string>& servers, const BurstResult& result) {
    std::string lines;
    for (std::size_t i = 0; i < result.servers.size() && i < servers.size(); ++i) {
        const ServerSummary& server = result.servers[i];
        if (server.replies > 0 && !server.agreed) {
            lines += (lines.empty() ? "" : "\n") + trimBlanks(servers[i]) +
                     " 与其他服务器的时间不一致，未采用";
        }
    }
    return lines;
}

}  // namespace korvel
