#include "sntp/rate_holds.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/program_files.h"
#include "support/fake_files.h"

namespace korvel {
namespace {

constexpr double kNow = 3'990'000'000.0;  // NTP seconds

// The hold file keeps ends in whole milliseconds.
std::string ms(double ntpSec) {
    return std::to_string(static_cast<long long>(ntpSec * 1000));
}

TEST(RateHolds, ReadingKeepsRunningHoldsOfAtMost64SecondsAndDropsBadTokens) {
    struct Case {
        std::string line;
        RateHolds held;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {"a " + ms(kNow + 10) + " b " + ms(kNow + 64), {{"a", kNow + 10}, {"b", kNow + 64}}},
        {"ended " + ms(kNow) + " old " + ms(kNow - 5), {}},
        {"far " + ms(kNow + 3600), {{"far", kNow + 64}}},
        {"huge 99999999999999999999", {{"huge", kNow + 64}}},
        {"neg -5 frac " + ms(kNow + 1) + ".5 exp 4e12 word x", {}},
        {"a 12x b " + ms(kNow + 1), {{"b", kNow + 1}}},
        {"lonely", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseRateHolds(c.line, kNow), c.held) << c.line;
    }
}

// Steps on one hold file: a RATE from a server (hold) or a burst's start reading the holds,
// at a time on the host's clock, and what is held and stored after it.
TEST(RateHolds, TheFileNeverKeepsAServerLongerThan64SecondsFromNow) {
    struct Step {
        const char* server;  // held at `at`; null: the holds are read
        double at;
        std::vector<std::string> held;
        std::string stored;
    };
    struct Case {
        const char* name;
        std::string planted;
        std::vector<Step> steps;
    };
    const std::vector<Case> cases = {
        {"a stored end beyond 64 s is shortened in the file",
         "far " + ms(kNow + 3600),
         {{nullptr, kNow, {"far"}, "far " + ms(kNow + 64)}, {nullptr, kNow + 65, {}, ""}}},
        {"a hold across the clock set back an hour ends 64 s after it",
         "",
         {{"srv", kNow, {"srv"}, "srv " + ms(kNow + 64)},
          {nullptr, kNow - 3600, {"srv"}, "srv " + ms(kNow - 3536)},
          {nullptr, kNow - 3535, {}, ""}}},
        {"a new hold keeps the others and drops bad tokens and ended holds",
         "a 12x b " + ms(kNow - 1) + " c " + ms(kNow + 30),
         {{"d", kNow, {"c", "d"}, "c " + ms(kNow + 30) + " d " + ms(kNow + 64)}}},
    };
    for (const Case& c : cases) {
        test::FakeFileSystem files;
        const std::string path = joinPath(files.runtimeFolderPath, kRateHoldFileName);
        if (!c.planted.empty()) {
            files.textFiles[path] = {c.planted};
        }
        for (const Step& step : c.steps) {
            if (step.server != nullptr) {
                holdServer(files, step.server, step.at);
            }
            std::vector<std::string> held;
            for (const auto& [server, until] : heldServers(files, step.at)) {
                held.push_back(server);
            }
            EXPECT_EQ(held, step.held) << c.name << " at " << step.at - kNow;
            EXPECT_EQ(files.readFirstLine(path).value_or(""), step.stored)
                << c.name << " at " << step.at - kNow;
        }
    }
}

}  // namespace
}  // namespace korvel
