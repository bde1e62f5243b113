#pragma once

#include "platform/clock.h"
#include "platform/elevated_correction.h"
#include "platform/files.h"
#include "platform/nts_key_exchange.h"
#include "platform/random.h"
#include "platform/system_events.h"
#include "platform/timer.h"
#include "platform/udp_socket.h"
#include "platform/user_feedback.h"
#include "platform/windows.h"
#include "sntp/nts_packet.h"

namespace korvel {

// The services the core reaches the outside world through; owned by the composition root.
struct Platform {
    SystemClock& systemClock;
    LocalClock& localClock;
    UdpSocket& socket;
    TimerService& timers;
    FileSystem& files;
    MessageBox& messageBox;
    Beeper& beeper;
    InstanceGuard& instanceGuard;
    SecondaryWindows& windows;
    ProgramControl& program;
    SteadyClock& steadyClock;
    RandomSource& random;
    ElevatedCorrection& elevation;
    SystemEventWatch& systemEvents;
    // NTS, where the program has it: without them a server named `nts:HOST` fails.
    NtsKeyExchange* ntsKeyExchange = nullptr;
    const SivCipher* sivCipher = nullptr;
};

}  // namespace korvel
