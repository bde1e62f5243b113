#pragma once

#include <cstdint>
#include <string>

namespace korvel {

struct MainForm;

inline constexpr std::int32_t kServerPort = 123;

// Connects the request sender, the time-out, the validity timer and the socket's arrivals to
// their handlers and sets the timers' intervals.
void attachExchange(MainForm& form);

// Points the socket at the server (port 123) and binds the local port; false when the port
// cannot be used.
bool prepareSocket(MainForm& form, const std::string& addressField, std::int32_t localPort);

}  // namespace korvel
