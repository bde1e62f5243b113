#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/clock_adjustment.h"
#include "platform/keeper_state_store.h"

namespace korvel::test {

// The kernel's adjustments as calls recorded, refused with a reason when one is set.
class FakeClockAdjustment final : public ClockAdjustment {
public:
    std::optional<double> frequencyPpm() override { return frequency; }
    AdjustmentRefusal setFrequency(double ppm) override {
        calls.push_back("frequency " + std::to_string(ppm));
        if (refusal.empty()) {
            frequency = ppm;
        }
        return refusal;
    }
    bool canSlew() override { return slews; }
    AdjustmentRefusal slew(double offsetSec) override {
        calls.push_back("slew " + std::to_string(offsetSec));
        return refusal;
    }
    AdjustmentRefusal reset() override {
        calls.push_back("reset");
        return refusal;
    }
    bool steadyFollowsFrequency() override { return steadyFollows; }

    double frequency = 0.0;
    bool slews = true;
    bool steadyFollows = true;
    std::string refusal;
    std::vector<std::string> calls;
};

// The keeper's files in memory: the state's text (nullopt: none, with the problem given), the
// status, the boot.
class FakeKeeperStore final : public KeeperStateStore {
public:
    std::string bootId() override { return boot; }
    std::string hold() override { return {}; }
    std::optional<std::string> read(std::string& problem) override {
        problem = state ? "" : readProblem;
        return state;
    }
    std::string write(const std::string& text) override {
        state = text;
        ++writes;
        return {};
    }
    std::string writeStatus(const std::string& text) override {
        status = text;
        return {};
    }

    std::string boot = "b1";
    std::optional<std::string> state;
    std::string readProblem = "no state yet";
    std::string status;
    int writes = 0;
};

}  // namespace korvel::test
