#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/clock_adjustment.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/keeper_state_store.h"
#include "platform/nts_key_exchange.h"
#include "platform/random.h"
#include "platform/timer.h"
#include "platform/udp_socket.h"
#include "sntp/nts_packet.h"

namespace korvel {

// What the command-line tool runs on; the composition root of each system fills it in.
struct CliPlatform {
    SystemClock& systemClock;
    // The same clock set by this process itself, for an unattended run that holds the right.
    SystemClock& directClock;
    LocalClock& localClock;
    UdpSocket& socket;
    TimerService& timers;
    FileSystem& files;
    Console& console;
    SteadyClock& steadyClock;
    RandomSource& random;
    std::uint32_t processId;  // names this run's own scratch file
    // Runs the event loop until quit is called and gives quit's status.
    std::function<int()> runEventLoop;
    std::function<void(int status)> quitEventLoop;
    // Where an unattended run adds its line (time and outcome); empty where the system keeps
    // the tool's standard error (the journal).
    std::string unattendedLogPath;
    // The keeper, where the system has one: the clock's frequency and slew, its state folder
    // (the service's, unless --state names one; empty: no keeper) and its store there.
    ClockAdjustment* adjustment = nullptr;
    std::string stateFolder;
    std::function<std::unique_ptr<KeeperStateStore>(const std::string& folder)> openKeeperStore;
    // NTS, where the system has it: without them a server named `nts:HOST` fails.
    NtsKeyExchange* ntsKeyExchange = nullptr;
    const SivCipher* sivCipher = nullptr;
};

// korvel-cli's whole behaviour: arguments without the program name, exit status returned.
int runCli(const std::vector<std::string>& arguments, CliPlatform& platform);

}  // namespace korvel
