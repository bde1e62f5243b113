#include "exchange/burst_engine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "exchange/exchange.h"
#include "exchange/scratch_file.h"
#include "support/fake_files.h"
#include "support/fake_network.h"
#include "support/virtual_time.h"

namespace korvel {
namespace {

using test::FakeSntpServer;
using Bytes = std::vector<std::uint8_t>;

// The engine alone on the fake platform, with two servers on the virtual network.
struct EngineRig {
    EngineRig() {
        openScratchFile(scratch, files, kScratchFileName);
        bindSocket(socket, "192.0.2.1", 1231);
        engine.setListener(
            {.replyCounted = [this](int n) { counted.push_back(n); },
             .ended =
                 [this](const BurstEnd& end) {
                     ends.push_back({end.outcome, end.result.counted, time.nowMs(), end.rotation});
                 }});
    }

    struct End {
        OutcomeRecord outcome;
        int counted;
        std::int64_t atMs;
        ServerRotation rotation;
    };

    test::VirtualTime time{test::utcTime(2026, 12, 6, 1, 5, 7), 8 * 60};
    test::FakeUdpSocket socket{time};
    FakeSntpServer a{time, socket, "192.0.2.1"};
    FakeSntpServer b{time, socket, "192.0.2.2"};
    test::FakeFileSystem files;
    ScratchFile scratch;
    BurstEngine engine{{time, time, socket, time, files, time, scratch}};
    std::vector<int> counted;
    std::vector<End> ends;
};

// A reply's first byte, stratum and reference identifier.
std::function<void(int, Bytes&)> header(std::uint8_t firstByte, std::uint8_t stratum,
                                        const char* code) {
    return [=](int, Bytes& reply) {
        reply[0] = firstByte;
        reply[1] = stratum;
        std::copy_n(code, 4, reply.begin() + 12);
    };
}

std::function<bool(int)> answersFirst(int count) {
    return [count](int request) { return request > count; };
}

// Every way a burst ends, each through the one end: when, with what, and once.
TEST(BurstEngine, EndsOnceForEveryWayABurstCanEnd) {
    const auto none = [](int) { return true; };
    const struct {
        const char* what;
        std::vector<std::string> servers;
        std::function<void(EngineRig&)> setUp;
        Outcome outcome;
        std::int64_t endsAtMs;
        int counted;
        const char* cause;
    } cases[] = {
        {"all answered: the 25th reply",
         {"192.0.2.1"},
         [](EngineRig&) {},
         Outcome::Evaluated,
         2510,
         25,
         ""},
        {"replies stopped: a quiet second after the last request",
         {"192.0.2.1"},
         [](EngineRig& r) { r.a.drop = answersFirst(12); },
         Outcome::Evaluated,
         4100,
         12,
         ""},
        {"time-out with too few",
         {"192.0.2.1"},
         [](EngineRig& r) { r.a.drop = answersFirst(5); },
         Outcome::TooFewReplies,
         10'000,
         0,
         ""},
        {"time-out with none",
         {"192.0.2.1"},
         [&](EngineRig& r) { r.a.drop = none; },
         Outcome::NoReply,
         10'000,
         0,
         ""},
        {"every server out of rotation: DENY and RSTR",
         {"192.0.2.1", "192.0.2.2"},
         [](EngineRig& r) {
             r.a.tamper = header(0xE4, 0, "DENY");
             r.b.tamper = header(0x24, 0, "RSTR");
         },
         Outcome::RefusedByServer,
         210,
         0,
         "192.0.2.1 拒绝服务 (DENY)\n192.0.2.2 限制访问 (RSTR)"},
        {"nothing to ask: held after a RATE by an earlier run",
         {"192.0.2.1"},
         [](EngineRig& r) {
             r.files.textFiles["/run/user/1000/RATE-HOLD.TMP"] = {"192.0.2.1 4005507937000"};
         },
         Outcome::RefusedByServer,
         1,
         0,
         "192.0.2.1 限制访问频率 (RATE)"},
        {"a clock step mid-burst: evaluated on its far side",
         {"192.0.2.1"},
         [](EngineRig& r) {
             r.time.schedule(1230, [&r] {
                 r.time.stepWallClock(5000);
                 r.a.offsetMs = -5000;
             });
         },
         Outcome::Evaluated,
         3100,
         18,
         ""},
        {"no name found",
         {"192.0.2.1", "bad.example"},
         [](EngineRig& r) { r.socket.lookUpOutcome = ConnectOutcome::NameNotResolved; },
         Outcome::NameNotResolved,
         0,
         0,
         "服务器名称无法解析: 192.0.2.1\n服务器名称无法解析: bad.example"},
        // An unknown kiss code is no refusal: the request goes unanswered.
        {"unknown kiss codes",
         {"192.0.2.1"},
         [](EngineRig& r) { r.a.tamper = header(0x24, 0, "XQZW"); },
         Outcome::NoReply,
         10'000,
         0,
         ""},
        // A server that has not synchronised: each reply counts, flagged; the burst ends at the
        // 25th, or, with fewer and all flagged, says the time is invalid.
        {"unsynchronised server",
         {"192.0.2.1", "bad.example"},
         [](EngineRig& r) {
             r.socket.lookUpOutcomeOf["bad.example"] = ConnectOutcome::NameNotResolved;
             r.a.tamper = header(0xE4, 0, "\0\0\0\0");
         },
         Outcome::RejectedInvalid,
         2510,
         25,
         ""},
        {"unsynchronised server, few replies",
         {"192.0.2.1"},
         [](EngineRig& r) {
             r.a.tamper = header(0xE4, 0, "INIT");
             r.a.drop = answersFirst(6);
         },
         Outcome::RejectedInvalid,
         10'000,
         0,
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EngineRig rig;
        c.setUp(rig);
        rig.engine.start(c.servers);
        EXPECT_EQ(rig.engine.state(), BurstState::LookingUp);
        EXPECT_TRUE(rig.ends.empty());  // never inside start()
        rig.time.advance(c.endsAtMs == 0 ? 0 : c.endsAtMs - 1);
        EXPECT_TRUE(rig.ends.empty() || c.endsAtMs == 0);
        rig.time.advance(1);
        ASSERT_EQ(rig.ends.size(), 1U);
        EXPECT_EQ(rig.engine.state(), BurstState::Ended);
        EXPECT_EQ(rig.ends[0].outcome.outcome, c.outcome);
        EXPECT_EQ(rig.ends[0].outcome.cause, c.cause);
        EXPECT_EQ(rig.ends[0].counted, c.counted);
        rig.time.advance(20'000);
        EXPECT_EQ(rig.ends.size(), 1U);
    }
}

// With a server not found, the others take its turns; a refusal (DENY, RSTR) keeps a server
// out of every later burst, a RATE for 64 s in a file other runs read.
TEST(BurstEngine, RotatesOverTheServersLeftAndRemembersRefusals) {
    EngineRig rig;
    rig.socket.lookUpOutcomeOf["bad.example"] = ConnectOutcome::NameNotResolved;
    rig.socket.lookUpDelayMs = 50;
    rig.b.tamper = [](int request, Bytes& reply) {
        if (request == 2) {
            header(0x24, 0, "RSTR")(request, reply);
        }
    };
    rig.engine.start({"192.0.2.1", "bad.example", "192.0.2.2"});
    rig.time.advance(4200);
    ASSERT_EQ(rig.ends.size(), 1U);
    const ServerRotation& rotation = rig.ends[0].rotation;
    EXPECT_EQ(rotation.tally(1).status, ServerStatus::NotFound);
    EXPECT_EQ(rotation.tally(2).status, ServerStatus::KissOfDeath);
    EXPECT_EQ(rotation.tally(2).requests, 2);
    EXPECT_EQ(rotation.tally(0).requests, 24);  // the 25th reply ends the burst
    EXPECT_EQ(rig.ends[0].outcome.outcome, Outcome::Evaluated);
    EXPECT_EQ(rig.ends[0].counted, 25);

    rig.engine.start({"192.0.2.1", "bad.example", "192.0.2.2"});
    rig.time.advance(4200);
    EXPECT_EQ(rig.ends[1].rotation.tally(2).requests, 0);
    EXPECT_EQ(rig.ends[1].rotation.tally(2).kissCode, "RSTR");
}

}  // namespace
}  // namespace korvel
