#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/udp_socket.h"
#include "sntp/burst_evaluation.h"
#include "sntp/server_rotation.h"

namespace korvel {

inline constexpr std::int32_t kServerPort = 123;

// Binds the local port unless the socket already holds it and connects the socket to the first
// server in the background. False when the port cannot be used: the socket keeps its old port
// and server.
bool bindSocket(UdpSocket& socket, const std::string& firstServer, std::int32_t localPort);

// What the user is told when the port cannot be bound.
std::string portUnusableText(std::int32_t localPort);

// Why a server may not be asked, from its kiss-o'-death code.
std::string refusalText(const std::string& server, const std::string& kissCode);

// Why a server named as NTS gave no authenticated time, with the failure's name.
std::string ntsFailureText(const std::string& server, const std::string& failure);

// Why a server that gave no reply did not: its refusal, its name not found, no route to it, its
// name still being looked up, or silence.
std::string unreachedText(const std::string& server, const ServerTally& tally);

// Each server's median offset, one line each, where the servers disagreed.
std::string serverMedians(const std::vector<std::string>& servers, const BurstResult& result);
// The servers whose replies were not averaged although they answered, and why; empty when
// every server that answered was.
std::string serversLeftOut(const std::vector<std::string>& servers, const BurstResult& result);
// That NTS certificates' dates were checked at the servers' time, the local clock offsetSec
// behind it.
std::string ntsDatesText(double offsetSec);

// How the texts mark a server whose replies were authenticated (NTS).
inline constexpr const char* kAuthenticatedMark = "（已认证）";
// Each server whose replies were authenticated, marked.
std::vector<std::string> authenticatedServers(const std::vector<std::string>& servers,
                                              const BurstResult& result);
// What the details window says of the servers: each address of a name that answered several
// with the name, each entry found at another's address with that one. None for a set of
// single-address servers.
std::vector<std::string> serverNotes(const ServerRotation& rotation,
                                     const std::vector<std::string>& entries);

}  // namespace korvel
