#include "exchange/exchange.h"

#include <cmath>
#include <map>

#include "common/text_forms.h"
#include "common/utf8_text.h"
#include "exchange/nts_servers.h"

namespace korvel {

bool bindSocket(UdpSocket& socket, const std::string& firstServer, std::int32_t localPort) {
    // Port 0 asks for any free port, which the bound socket reports under its own number.
    const bool bound = localPort != 0 && socket.localPort() == localPort;
    if (!bound && !socket.bind(localPort)) {
        return false;
    }
    // Connected while idle too, so that the system drops datagrams from anyone else; each
    // burst looks the names up again.
    socket.setServers({firstServer}, {kServerPort}, [](int, ConnectOutcome) {});
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

std::string ntsFailureText(const std::string& server, const std::string& failure) {
    static const std::map<std::string, std::string> reasons{
        {"nameNotResolved", "服务器名称无法解析"},
        {"refused", "连接被拒绝"},
        {"timedOut", "密钥交换超时"},
        {"noAlpn", "服务器不提供 NTS 密钥交换"},
        {"certificateExpired", "证书不在有效期内"},
        {"wrongName", "证书不属于这个服务器名称"},
        {"untrusted", "证书不受信任"},
        {"tlsFailed", "TLS 连接失败"},
        {"badAnswer", "密钥交换的答复无法使用"},
        {kNtsUnavailable, "本程序在这里不能使用 NTS"},
        {kNtsNak, "服务器不再接受密钥 (NTSN)"},
        {kNtsCookiesUsedUp, "认证请求没有回答"},
    };
    const auto reason = reasons.find(failure);
    return server + " NTS 认证失败：" + (reason == reasons.end() ? failure : reason->second) +
           " (" + failure + ")";
}

std::string ntsDatesText(double offsetSec) {
    constexpr double kSecondsPerDay = 86400.0;
    return std::string("本机时钟比服务器") + (offsetSec > 0 ? "慢 " : "快 ") +
           std::to_string(std::llround(std::abs(offsetSec) / kSecondsPerDay)) +
           " 天：NTS 证书的有效期按服务器的时间检查";
}

std::string unreachedText(const std::string& server, const ServerTally& tally) {
    switch (tally.status) {
        case ServerStatus::KissOfDeath:
            return refusalText(server, tally.kissCode);
        case ServerStatus::NtsFailed:
            return ntsFailureText(server, tally.kissCode);
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

std::vector<std::string> authenticatedServers(const std::vector<std::string>& servers,
                                              const BurstResult& result) {
    std::vector<std::string> marked;
    for (std::size_t i = 0; i < result.servers.size() && i < servers.size(); ++i) {
        if (result.servers[i].authenticated) {
            marked.push_back(trimBlanks(servers[i]) + kAuthenticatedMark);
        }
    }
    return marked;
}

std::vector<std::string> serverNotes(const ServerRotation& rotation,
                                     const std::vector<std::string>& entries) {
    std::vector<std::string> notes;
    const auto entryOf = [&](int server) {
        return trimBlanks(entries[static_cast<std::size_t>(rotation.tally(server).entry)]);
    };
    for (int i = 0; i < rotation.size(); ++i) {
        const ServerTally& tally = rotation.tally(i);
        if (tally.sameAs >= 0) {
            notes.push_back(entryOf(i) + " 与 " + entryOf(tally.sameAs) + " 是同一台服务器");
        } else if (rotation.serversOf(tally.entry) > 1) {
            notes.push_back(tally.address + " 来自 " + entryOf(i));
        }
    }
    return notes;
}

}  // namespace korvel
