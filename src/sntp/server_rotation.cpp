#include "sntp/server_rotation.h"

#include <algorithm>
#include <utility>

namespace korvel {

ServerRotation::ServerRotation(int servers) : m_servers(static_cast<std::size_t>(servers)) {
    for (int i = 0; i < servers; ++i) {
        m_servers[index(i)].entry = i;
    }
}

void ServerRotation::merge(int server, int into) {
    leave(server, ServerStatus::SameMachine);
    m_servers[index(server)].sameAs = into;
}

int ServerRotation::add(int entry, std::string address) {
    ServerTally& tally = m_servers.emplace_back();
    tally.status = ServerStatus::InRotation;
    tally.entry = entry;
    tally.address = std::move(address);
    return size() - 1;
}

void ServerRotation::found(int server) {
    ServerTally& tally = m_servers[index(server)];
    if (tally.status == ServerStatus::LookingUp) {
        tally.status = ServerStatus::InRotation;
    }
}

void ServerRotation::leave(int server, ServerStatus why, std::string kissCode) {
    ServerTally& tally = m_servers[index(server)];
    tally.status = why;
    tally.kissCode = std::move(kissCode);
}

int ServerRotation::inRotation() const {
    return static_cast<int>(std::count_if(m_servers.begin(), m_servers.end(), [](const auto& t) {
        return t.status == ServerStatus::InRotation;
    }));
}

int ServerRotation::serversOf(int entry) const {
    return static_cast<int>(std::ranges::count(m_servers, entry, &ServerTally::entry));
}

int ServerRotation::mayBeAsked() const {
    return inRotation() + static_cast<int>(std::ranges::count(m_servers, ServerStatus::LookingUp,
                                                              &ServerTally::status));
}

bool ServerRotation::anyLookingUp() const {
    return std::any_of(m_servers.begin(), m_servers.end(),
                       [](const auto& t) { return t.status == ServerStatus::LookingUp; });
}

std::optional<int> ServerRotation::next() {
    for (ServerTally& tally : m_servers) {
        if (inRotation() >= 2 && tally.status == ServerStatus::InRotation &&
            tally.requests >= kMostRequestsToOneServer && tally.replies == 0) {
            tally.status = ServerStatus::Silent;
        }
    }
    const bool alone = inRotation() == 1 && !anyLookingUp();
    for (int step = 1; step <= size(); ++step) {
        const int server = (m_last + step) % size();
        const ServerTally& tally = m_servers[index(server)];
        if (tally.status == ServerStatus::InRotation &&
            (alone || tally.requests < kMostRequestsToOneServer)) {
            m_last = server;
            return server;
        }
    }
    return std::nullopt;
}

}  // namespace korvel
