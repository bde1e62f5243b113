#pragma once

#include <cstdint>
#include <string>

#include "platform/udp_socket.h"

namespace korvel {

struct MainForm;

inline constexpr std::int32_t kServerPort = 123;

// Connects the request sender, the time-out, the validity timer and the socket's arrivals to
// their handlers and sets the timers' intervals.
void attachExchange(MainForm& form);

// Binds the local port unless the socket already holds it, remembers the server's address
// field and connects the socket to the server in the background. False when the port cannot
// be used: the socket keeps its old port and the server stays as it was.
bool prepareSocket(MainForm& form, const std::string& addressField, std::int32_t localPort);

// What the user is told when prepareSocket refuses the port.
std::string portUnusableText(std::int32_t localPort);

// The start of a burst's exchange: the server's name is looked up anew and the socket
// connected to it (port 123); the requests start when that is done. When it fails, the burst
// ends at once as one without a server, the cause in Text1's tool tip.
void startExchange(MainForm& form);

// The cause of a failed connect as the user reads it; empty for Connected.
std::string connectProblem(ConnectOutcome outcome, const std::string& addressField);

}  // namespace korvel
