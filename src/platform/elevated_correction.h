#pragma once

#include <functional>
#include <string>
#include <vector>

namespace korvel {

// How a run of the measuring tool with the right to set the clock ended.
struct ElevatedRun {
    int exitStatus = 0;  // korvel-cli's exit status (13 where the consent was refused)
    std::string reason;  // why it did not run or how it ended, in the user's words; may be empty
};

// A correction made by korvel-cli with the right to set the clock, which this process lacks,
// after the system's consent (Windows: UAC). The tool measures for itself against the servers
// given and steps only when it finds the offset the user agreed to, within its tolerance (exit
// status 14 where it does not); no other measurement crosses to it.
class ElevatedCorrection {
public:
    virtual ~ElevatedCorrection() = default;
    // Whether a correction the user asks for would go this way (and ask for consent).
    virtual bool needed() = 0;
    // Runs the tool against servers (validated addresses, up to four) to step by about
    // agreedOffsetSec. done runs exactly once on the program's thread: before correct returns
    // where the tool cannot be started, otherwise later from the event loop when it has ended.
    virtual void correct(const std::vector<std::string>& servers, double agreedOffsetSec,
                         std::function<void(ElevatedRun)> done) = 0;
};

// Where the system asks for consent by itself (polkit on Linux) or the tool needs none.
class NoElevatedCorrection final : public ElevatedCorrection {
public:
    bool needed() override { return false; }
    void correct(const std::vector<std::string>&, double,
                 std::function<void(ElevatedRun)>) override {}
};

}  // namespace korvel
