#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/udp_socket.h"

namespace korvel {

struct MainForm;

inline constexpr std::int32_t kServerPort = 123;

// Connects the request sender, the time-out, the validity and quiet timers and the socket's
// arrivals to their handlers and sets the timers' intervals.
void attachExchange(MainForm& form);

// Binds the local port unless the socket already holds it, takes the server set (the address
// field first) and connects the socket to the first server in the background. False when the
// port cannot be used: the socket keeps its old port and the servers stay as they were.
bool prepareSocket(MainForm& form, std::vector<std::string> servers, std::int32_t localPort);

// What the user is told when prepareSocket refuses the port.
std::string portUnusableText(std::int32_t localPort);

// The start of a burst's exchange: the servers' names are looked up anew and the requests
// start once one is found. Servers that refused service or asked for fewer requests are not
// asked; when no server may be asked, or none is found, the burst ends at once.
void startExchange(MainForm& form);

// The cause of a failed look-up as the user reads it; empty for Connected.
std::string connectProblem(ConnectOutcome outcome, const std::string& addressField);

}  // namespace korvel
