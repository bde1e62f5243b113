#pragma once

#include <cstdint>
#include <string>

namespace korvel {

struct MainForm;

inline constexpr std::int32_t kServerPort = 123;

// Connects the request sender, the time-out, the validity timer and the socket's arrivals to
// their handlers and sets the timers' intervals.
void attachExchange(MainForm& form);

// Binds the local port unless the socket already holds it, then points the socket at the
// server (port 123). False when the port cannot be used: the socket keeps its old port and
// server.
bool prepareSocket(MainForm& form, const std::string& addressField, std::int32_t localPort);

// What the user is told when prepareSocket refuses the port.
std::string portUnusableText(std::int32_t localPort);

}  // namespace korvel
