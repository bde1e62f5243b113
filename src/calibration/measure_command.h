#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvel {

struct MainForm;

// Connects the window to its burst engine (the reply count, the end of a burst) and to the
// validity timer Timer3.
void attachMeasurement(MainForm& form);

// Binds the local port unless the socket already holds it and takes the server set (the address
// field first). False when the port cannot be used: the socket keeps its old port and the
// servers stay as they were.
bool prepareSocket(MainForm& form, std::vector<std::string> servers, std::int32_t localPort);

// Command5: starts one burst. Closes the gates, pauses the clock display (the local clock goes
// on), logs the start, starts the reply count and the engine.
void measureCommand(MainForm& form);

// Timer3, 34 s after an evaluation: the offset may no longer be applied.
void validityTick(MainForm& form);

}  // namespace korvel
