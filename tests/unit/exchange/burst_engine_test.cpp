#include "exchange/burst_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "exchange/exchange.h"
#include "exchange/scratch_file.h"
#include "platform/crypto/gcrypt_siv.h"
#include "support/fake_files.h"
#include "support/fake_network.h"
#include "support/fake_nts_server.h"
#include "support/virtual_time.h"

namespace korvel {
namespace {

using test::FakeNtsServer;
using test::FakeSntpServer;
using test::utcTime;
using Bytes = std::vector<std::uint8_t>;

// The reply as the fake NTS server answers the request: sealed, or a NAK.
void answerAs(FakeNtsServer& server, const Bytes& request, Bytes& reply, bool nak = false) {
    PacketBytes packet{};
    std::copy_n(reply.begin(), packet.size(), packet.begin());
    reply = server.answer(request, packet, nak).value_or(Bytes{});
}

// The parts of the text between the separators, blanks kept.
std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (const char c : text) {
        c == separator ? void(parts.emplace_back()) : parts.back().push_back(c);
    }
    return parts;
}

// Key exchanges that answer after 50 ms with the fake NTS server's keys and eight of its
// cookies, or with the failure set unless the dates are checked at a time given.
struct FakeKeyExchange final : NtsKeyExchange {
    FakeKeyExchange(test::VirtualTime& t, FakeNtsServer& s) : time(t), server(s) {}
    void start(const NtsKeTarget& target, std::function<void(NtsKeResult)> done) override {
        targets.push_back(target);
        const NtsKeFailure f = target.checkDatesAtUnixSec ? NtsKeFailure::None : failure;
        NtsKeResult result{f, {}, Bytes(32, 0x11), Bytes(32, 0x22), {}};
        result.answer.ntpPort = ntpPort;
        for (std::size_t i = 0; i < kNtsCookiesKept && f == NtsKeFailure::None; ++i) {
            result.answer.cookies.push_back(server.nextCookie());
        }
        time.schedule(50, [done = std::move(done), result] { done(result); });
    }
    test::VirtualTime& time;
    FakeNtsServer& server;
    NtsKeFailure failure = NtsKeFailure::None;
    std::optional<std::uint16_t> ntpPort;
    std::vector<NtsKeTarget> targets;
};

// The engine alone on the fake platform, with four servers on the virtual network; the first
// answers NTS requests too, and at port 4123 as well.
struct EngineRig {
    explicit EngineRig(const SystemTime& utcStart = utcTime(2026, 12, 6, 1, 5, 7))
        : time(utcStart, 8 * 60) {
        a.seal = aside.seal = [this](const Bytes& request, Bytes& reply) {
            if (request.size() > kPacketSize) {
                answerAs(nts, request, reply);
            }
        };
        openScratchFile(scratch, files, kScratchFileName);
        bindSocket(socket, "192.0.2.1", 1231);
        engine.setListener({.replyCounted = nullptr, .ended = [this](const BurstEnd& end) {
                                ends.push_back({end.outcome, end.result.counted,
                                                end.result.offsetSec, end.rotation,
                                                end.result.agreedServers,
                                                authenticatedServers(end.servers, end.result),
                                                end.ntsDatesOffsetSec});
                            }});
    }

    struct End {
        OutcomeRecord outcome;
        int counted;
        double offsetSec;
        ServerRotation rotation;
        int agreed;
        std::vector<std::string> authenticated;
        std::optional<double> ntsDatesOffsetSec;
    };

    // A burst the server never answers: the test delivers the replies.
    void startSilentBurst() {
        a.drop = [](int) { return true; };
        engine.start({"192.0.2.1"});
    }
    // A burst to the first server, and time passing.
    void measure(std::int64_t runMs = 12'000) {
        engine.start({"192.0.2.1"});
        time.advance(runMs);
    }

    test::VirtualTime time;
    test::FakeUdpSocket socket{time};
    FakeSntpServer a{time, socket, "192.0.2.1"};
    FakeSntpServer b{time, socket, "192.0.2.2"};
    FakeSntpServer c{time, socket, "192.0.2.3"};
    FakeSntpServer d{time, socket, "192.0.2.4"};
    FakeSntpServer aside{time, socket, "192.0.2.1", 4123};
    FakeSntpServer& server = a;
    test::FakeFileSystem files;
    ScratchFile scratch;
    GcryptSiv siv;
    FakeNtsServer nts{siv, Bytes(32, 0x11), Bytes(32, 0x22)};
    FakeKeyExchange keyExchange{time, nts};
    BurstEngine engine{{time, time, socket, time, files, time, scratch, &keyExchange, &siv}};
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
    const struct {
        const char* what;
        int servers;  // 192.0.2.1, then 192.0.2.2
        std::function<void(EngineRig&)> setUp;
        Outcome outcome;
        std::int64_t endsAtMs;
        int counted;
        const char* cause = "";
    } cases[] = {
        {"all answered: the 25th reply", 1, [](EngineRig&) {}, Outcome::Evaluated, 2510, 25},
        {"replies stopped: a quiet second after the last request", 1,
         [](EngineRig& r) { r.a.drop = answersFirst(12); }, Outcome::Evaluated, 4100, 12},
        {"a short burst: its twelfth reply", 1, [](EngineRig& r) { r.engine.setRequestLimit(12); },
         Outcome::Evaluated, 1210, 12},
        {"time-out with too few", 1, [](EngineRig& r) { r.a.drop = answersFirst(5); },
         Outcome::TooFewReplies, 10'000, 0},
        {"time-out with none", 1, [](EngineRig& r) { r.a.drop = [](int) { return true; }; },
         Outcome::NoReply, 10'000, 0, "服务器没有回答: 192.0.2.1"},
        {"every server out of rotation: DENY and RSTR", 2,
         [](EngineRig& r) {
             r.a.tamper = header(0xE4, 0, "DENY");
             r.b.tamper = header(0x24, 0, "RSTR");
         },
         Outcome::RefusedByServer, 210, 0, "192.0.2.1 拒绝服务 (DENY)\n192.0.2.2 限制访问 (RSTR)"},
        {"nothing to ask: held after a RATE by an earlier run", 1,
         [](EngineRig& r) {
             r.files.textFiles["/run/user/1000/RATE-HOLD.TMP"] = {"192.0.2.1 4005507937000"};
         },
         Outcome::RefusedByServer, 1, 0, "192.0.2.1 限制访问频率 (RATE)"},
        {"unknown kiss codes", 1, [](EngineRig& r) { r.a.tamper = header(0x24, 0, "XQZW"); },
         Outcome::NoReply, 10'000, 0, "服务器没有回答: 192.0.2.1"},
        // Each reply counts, flagged; the server not found leaves a all turns.
        {"unsynchronised server", 2,
         [](EngineRig& r) {
             r.socket.lookUpOutcomeOf["192.0.2.2"] = ConnectOutcome::NameNotResolved;
             r.a.tamper = header(0xE4, 0, "\0\0\0\0");
         },
         Outcome::RejectedInvalid, 2510, 25},
        {"unsynchronised server, few replies", 1,
         [](EngineRig& r) {
             r.a.tamper = header(0xE4, 0, "INIT");
             r.a.drop = answersFirst(6);
         },
         Outcome::RejectedInvalid, 10'000, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EngineRig rig;
        c.setUp(rig);
        const std::vector<std::string> both{"192.0.2.1", "192.0.2.2"};
        rig.engine.start({both.begin(), both.begin() + c.servers});
        EXPECT_EQ(rig.engine.state(), BurstState::LookingUp);
        EXPECT_TRUE(rig.ends.empty());  // never inside start()
        rig.time.advance(c.endsAtMs - 1);
        EXPECT_TRUE(rig.ends.empty());
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

// A refusal (DENY, RSTR) keeps a server out of every later burst, its turns the others'.
TEST(BurstEngine, RotatesOverTheServersLeftAndRemembersRefusals) {
    EngineRig rig;
    rig.b.tamper = [](int request, Bytes& reply) {
        if (request == 2) {
            header(0x24, 0, "RSTR")(request, reply);
        }
    };
    for (const int refusedAfter : {2, 0}) {
        rig.engine.start({"192.0.2.1", "192.0.2.2"});
        rig.time.advance(4200);
        const ServerRotation& rotation = rig.ends.back().rotation;
        EXPECT_EQ(std::tuple(rotation.tally(1).status, rotation.tally(1).requests,
                             rotation.tally(1).kissCode, rig.ends.back().counted),
                  std::tuple(ServerStatus::KissOfDeath, refusedAfter, "RSTR", 25));
    }
}

// Entries of one kind at one address, however written, are one server counted once; a name's
// addresses (up to four servers in all) share the burst and outvote a falseticker, one entry;
// NTS and plain entries of one machine (any NTP port) are two servers, yet one opinion.
TEST(BurstEngine, OneAddressIsOneServerAndANamesAddressesShareTheBurst) {
    const struct {
        const char* what;
        const char* entries;  // between '|', blanks kept
        const char* names;    // NAME NAME…=ADDRESS ADDRESS…
        const char* servers;  // each address and its requests, or which server it is one with
        int agreed;
        int counted;
        const char* notes;                          // in the details window
        std::optional<std::uint16_t> ntpPort = {};  // else a answers NTS at 123
    } cases[] = {
        {"a name twice, beside its address, and a second name",
         "ntp.test| NTP.test.|192.0.2.1|other.test", "ntp.test NTP.test. other.test=192.0.2.1",
         "192.0.2.1:25 =0 =0 =0", 1, 25,
         "NTP.test. 与 ntp.test 是同一台服务器; 192.0.2.1 与 ntp.test 是同一台服务器; "
         "other.test 与 ntp.test 是同一台服务器; "},
        {"a pool of four with a falseticker", "pool.test",
         "pool.test=192.0.2.1 192.0.2.2 192.0.2.3 192.0.2.4",
         "192.0.2.1:7 192.0.2.2:6 192.0.2.3:6 192.0.2.4:6", 1, 25,
         "192.0.2.1 来自 pool.test; 192.0.2.2 来自 pool.test; 192.0.2.3 来自 pool.test; "
         "192.0.2.4 来自 pool.test; "},
        {"a pool beside two servers, one of them its member", "pool.test|192.0.2.3|192.0.2.2",
         "pool.test=192.0.2.1 192.0.2.3 192.0.2.4", "192.0.2.1:8 =3 192.0.2.2:8 192.0.2.3:8", 2, 24,
         "192.0.2.1 来自 pool.test; 192.0.2.3 与 pool.test 是同一台服务器; 192.0.2.3 来自 "
         "pool.test; "},
        {"one host plain and NTS", "192.0.2.1|nts:192.0.2.1", "", "192.0.2.1:8 192.0.2.1:8", 1, 16,
         ""},
        {"NTS at another port", "nts:192.0.2.1|192.0.2.1", "", "192.0.2.1:8 192.0.2.1:8", 1, 16, "",
         4123},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EngineRig rig;
        const std::vector<std::string> names = split(c.names, '=');
        for (const std::string& name : split(names.front(), ' ')) {
            rig.socket.addressesOfName[name] = split(names.back(), ' ');
        }
        rig.d.offsetMs = 3'600'000;
        if (c.ntpPort) {
            rig.keyExchange.ntpPort = c.ntpPort;
            rig.a.seal = nullptr;
        }
        const std::vector<std::string> entries = split(c.entries, '|');
        rig.engine.start(entries);
        rig.time.advance(4000);
        ASSERT_EQ(rig.ends.size(), 1U);
        const ServerRotation& rotation = rig.ends[0].rotation;
        std::string servers;
        for (int i = 0; i < rotation.size(); ++i) {
            const ServerTally& tally = rotation.tally(i);
            servers += (i > 0 ? " " : "") +
                       (tally.sameAs >= 0 ? "=" + std::to_string(tally.sameAs)
                                          : tally.address + ":" + std::to_string(tally.requests));
        }
        EXPECT_EQ(servers, c.servers);
        std::string notes;
        for (const std::string& note : serverNotes(rotation, entries)) {
            notes += note + "; ";
        }
        EXPECT_EQ(notes, c.notes);
        EXPECT_EQ(std::tuple(rig.ends[0].outcome.outcome, rig.ends[0].counted, rig.ends[0].agreed),
                  std::tuple(Outcome::Evaluated, c.counted, c.agreed));
        EXPECT_NEAR(rig.ends[0].offsetSec, 0.0, 1e-6);
    }
}

TEST(BurstEngine, BurstSendsThirtyRequestsAHundredMillisecondsApart) {
    EngineRig rig(utcTime(2004, 3, 18, 11, 59, 59, 400));
    rig.time.fixedRandomBits = 0xFFFF'FFFF;
    // Each scratch-file access takes a millisecond: the request leaves 2 ms after its tick.
    rig.files.onByteAccess = [&] { rig.time.pass(1); };
    rig.startSilentBurst();
    rig.time.advance(3050);
    // The time a request left, as a reply naming its transmit time finds it.
    const auto sentAt = [&](std::uint32_t fraction) {
        const SentRequests::Entry* entry = rig.engine.sentRequest({0xC4040DC0, fraction}, 0);
        return entry == nullptr ? 0.0 : entry->sentAt;
    };
    ASSERT_EQ(rig.socket.sent().size(), 30U);
    EXPECT_EQ(rig.engine.state(), BurstState::Sending);
    // The sixth request is built at 12:00:00.000, the eleventh at 12:00:00.500; the transmit
    // fraction's 22 bits below the millisecond are random.
    Bytes expected{0x23, 1, 0, 0xEE, 0, 0, 0, 0, 0, 0, 0, 0, 'A', 'C', 'T', 'S'};
    expected.resize(40);
    expected.insert(expected.end(), {0xC4, 0x04, 0x0D, 0xC0, 0, 0x3F, 0xFF, 0xFF});
    EXPECT_EQ(rig.socket.sent()[5], expected);
    // The time it left is read after the conversion, as it goes.
    EXPECT_DOUBLE_EQ(sentAt(0x003FFFFF), 3288600000.002);
    expected[44] = 0x80;
    EXPECT_EQ(rig.socket.sent()[10], expected);
    EXPECT_DOUBLE_EQ(sentAt(0x803FFFFF), 3288600000.502);

    // The 31st tick sends nothing and stops the sender.
    rig.time.advance(100);
    EXPECT_EQ(rig.engine.state(), BurstState::WaitingForReplies);
    EXPECT_EQ(rig.engine.requestsSent(), 30);

    // A burst whose requests cannot be converted still counts them, so that it ends.
    rig.time.advance(10'000);
    rig.files.failByteAccess = true;
    rig.engine.start({"192.0.2.1"});
    rig.time.advance(3200);
    EXPECT_EQ(std::tuple(rig.socket.sent().size(), rig.engine.requestsSent()),
              std::tuple(30UL, 30));
    EXPECT_NE(rig.engine.state(), BurstState::Sending);
}

// A burst whose first request has gone out; the test delivers the replies.
struct OneRequestSent {
    OneRequestSent() {
        rig.startSilentBurst();
        rig.time.advance(100);
        request = rig.socket.sent().at(0);
    }

    // A well-behaved server's reply, its clock serverAheadMs ahead of ours.
    Bytes reply(double serverAheadMs = 0.0) const {
        return FakeSntpServer::reply(request,
                                     static_cast<double>(rig.time.utcMs()) + serverAheadMs);
    }

    void deliver(Bytes bytes) {
        rig.socket.deliver(std::move(bytes), FakeSntpServer::kAddress, 123);
        rig.time.advance(1);
    }

    int received() const { return rig.engine.repliesReceived(); }
    const ReplyRecord& record(std::size_t index) const { return rig.engine.records()[index]; }

    EngineRig rig;
    Bytes request;
};

// Adds to the big-endian word at byte at.
void addToWord(Bytes& b, std::size_t at, std::uint32_t delta) {
    const std::uint32_t word =
        (std::uint32_t{b[at]} << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3]) + delta;
    for (std::size_t i = 0; i < 4; ++i) {
        b[at + i] = static_cast<std::uint8_t>(word >> (24 - 8 * i));
    }
}

// What a datagram answering the open request counts as: a leap alarm (first byte 96 or more),
// stratum 16 and above and a time from before this version flag it; no genuine reply is dropped
// without a trace, its request still open. Faster than instant is allowed by the clock's reading
// resolution only (whole milliseconds can hide a half millisecond of holding; microseconds not).
TEST(BurstEngine, CountsGenuineRepliesFlaggedAsTheirServerSaysAndDropsTheRest) {
    constexpr double k1995 = -1e12;               // ms behind ours
    constexpr std::uint32_t kTwoMs = 8'589'935;   // fraction units
    constexpr std::uint32_t kHalfMs = 2'147'484;  // fraction units
    const auto firstBytes = [](std::uint8_t firstByte, std::uint8_t stratum) {
        return [=](Bytes& b) {
            b[0] = firstByte;
            b[1] = stratum;
        };
    };
    constexpr int kDropped = -1;
    const struct {
        const char* what;
        std::function<void(Bytes&)> change;
        int flag;  // kDropped where it does not count
        double serverAheadMs = 0.0;
        std::int64_t resolutionNs = 1'000'000;
    } cases[] = {
        {"version 4", firstBytes(0x24, 2), 0},
        {"leap warning", firstBytes(0x64, 2), 1},
        {"version 3, leap 1: below 96", firstBytes(0x5C, 2), 0},
        {"leap alarm", firstBytes(0xE4, 2), 1},
        {"stratum 15", firstBytes(0x24, 15), 0},
        {"stratum 16", firstBytes(0x24, 16), 1},
        {"stratum 255", firstBytes(0x24, 255), 1},
        {"a time from 1995", firstBytes(0x24, 2), 1, k1995},
        {"0.5 ms faster than instant, ms readings", [](Bytes& b) { addToWord(b, 44, kHalfMs); }, 0},
        {"0.5 ms faster than instant, µs readings", [](Bytes& b) { addToWord(b, 44, kHalfMs); },
         kDropped, 0.0, 1'000},
        {"originate one fraction unit off", [](Bytes& b) { b[31] ^= 0x01; }, kDropped},
        {"originate one second off", [](Bytes& b) { b[27] ^= 0x01; }, kDropped},
        {"Kiss-o'-Death (stratum 0)", [](Bytes& b) { b[1] = 0; }, kDropped},
        {"client mode", [](Bytes& b) { b[0] = 0x23; }, kDropped},
        {"broadcast mode", [](Bytes& b) { b[0] = 0x25; }, kDropped},
        {"receive seconds 0", [](Bytes& b) { std::fill_n(b.begin() + 32, 4, 0); }, kDropped},
        {"transmit seconds 0", [](Bytes& b) { std::fill_n(b.begin() + 40, 4, 0); }, kDropped},
        {"transmit before receive", [](Bytes& b) { addToWord(b, 32, 1); }, kDropped},
        {"transmit 100 s after receive", [](Bytes& b) { addToWord(b, 40, 100); }, kDropped},
        {"delay below zero beyond the resolution", [](Bytes& b) { addToWord(b, 44, kTwoMs); },
         kDropped},
        {"47 bytes", [](Bytes& b) { b.resize(47); }, kDropped},
        {"68 bytes", [](Bytes& b) { b.resize(68); }, kDropped},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OneRequestSent burst;
        burst.rig.time.resolutionNs = c.resolutionNs;
        // A dropped datagram claims an offset that would show.
        Bytes reply = burst.reply(c.flag == kDropped ? -30'000.0 : c.serverAheadMs);
        c.change(reply);
        burst.deliver(reply);
        if (c.flag != kDropped) {
            ASSERT_EQ(burst.received(), 1);
            EXPECT_EQ(burst.record(1).invalid, c.flag);
            continue;
        }
        EXPECT_EQ(std::pair(burst.received(), burst.record(1).t3), std::pair(0, 0.0));
        burst.deliver(burst.reply());
        EXPECT_EQ(burst.received(), 1);
        EXPECT_NEAR(burst.record(1).t3 - burst.record(1).t4, 0.0, 1e-6);
    }
}

// A reply is also dropped while the scratch file fails, once its request was answered, and
// when its request belongs to an earlier burst.
TEST(BurstEngine, DropsRepliesThatCannotBeReadOrAreNoLongerAwaited) {
    OneRequestSent burst;
    const Bytes reply = burst.reply();
    burst.rig.files.failByteAccess = true;
    burst.deliver(reply);
    EXPECT_EQ(burst.received(), 0);
    burst.rig.files.failByteAccess = false;
    burst.deliver(reply);
    burst.deliver(reply);
    EXPECT_EQ(std::tuple(burst.received(), burst.record(2).t1), std::tuple(1, 0.0));
    burst.rig.engine.start({"192.0.2.1"});
    burst.deliver(reply);
    EXPECT_EQ(burst.received(), 0);
}

// Replies from before a step of the local clock, however small beyond the readings' rounding,
// are not averaged with those after it, a reply in flight at the step or stamped before it but
// handled after it included; rounding alone forgets nothing.
TEST(BurstEngine, BurstIsEvaluatedOnOneSideOfAClockStep) {
    // The step, when it comes, how late the handler is, the replies counted.
    using Case = std::array<std::int64_t, 4>;
    for (const auto& [stepMs, stepAtMs, handlerLateMs, counted] :
         {Case{5000, 1230, 0, 18}, Case{-5000, 1230, 0, 18}, Case{5000, 1246, 3, 18},
          Case{-5000, 1246, 3, 18}, Case{5, 1230, 0, 18}, Case{-5, 1230, 0, 18},
          Case{3, 1230, 0, 25}, Case{0, 1230, 0, 25}}) {
        SCOPED_TRACE(testing::Message() << stepMs << " at " << stepAtMs);
        EngineRig rig;
        rig.server.offsetMs = 3250;
        rig.server.replyDelayMs = 40;  // 17.5 ms of bias; the reply to 1.2 s is back at 1.245 s
        rig.socket.handlerLateMs = handlerLateMs;
        rig.engine.start({"192.0.2.1"});
        rig.time.advance(stepAtMs);
        rig.time.stepWallClock(stepMs);
        rig.server.offsetMs -= static_cast<double>(stepMs);
        rig.time.advance(10'000);
        EXPECT_EQ(rig.ends.back().counted, counted);
        EXPECT_NEAR(rig.ends.back().offsetSec, (3232.5 - static_cast<double>(stepMs)) / 1000, 4e-3);
    }
}

// Time spent converting, sending or waiting to handle a reply is no time on the network: the
// system's stamps of leaving and arrival are taken, else the program's readings, as where a stamp
// cannot be right (after the reading that follows it, before the request left).
TEST(BurstEngine, OffsetIsUnbiasedByTimeSpentInTheProgram) {
    const struct {
        const char* what;
        std::int64_t accessMs;  // per scratch-file access, two per conversion
        std::int64_t handlerLateMs;
        std::optional<std::int64_t> stampErrorMs;
        std::int64_t sendLateMs;
        std::optional<std::int64_t> leftStampErrorMs;
        double offsetMs;
    } cases[] = {
        {"conversions take time", 1, 0, 0, 0, 0, 1234.5},
        {"conversions take time, no stamps", 1, 0, std::nullopt, 0, std::nullopt, 1234.5},
        {"handler 3 ms late", 0, 3, 0, 0, 0, 1234.5},
        {"handler 3 ms late, no stamps", 0, 3, std::nullopt, 0, std::nullopt, 1233.0},
        {"arrival stamp after the handler's reading", 0, 3, 4, 0, 0, 1233.0},
        {"arrival stamp before the request left", 0, 3, -20, 0, 0, 1233.0},
        {"send 2 ms late", 0, 0, 0, 2, 0, 1234.5},
        {"send 2 ms late, no leaving stamp", 0, 0, 0, 2, std::nullopt, 1235.5},
        {"leaving stamp after the reading that follows", 0, 0, 0, 2, 1, 1235.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EngineRig rig;
        rig.server.offsetMs = 1234.5;
        rig.files.onByteAccess = [&] { rig.time.pass(c.accessMs); };
        rig.socket.handlerLateMs = c.handlerLateMs;
        rig.socket.stampErrorMs = c.stampErrorMs;
        rig.socket.sendLateMs = c.sendLateMs;
        rig.socket.leftStampErrorMs = c.leftStampErrorMs;
        rig.measure();
        EXPECT_EQ(rig.ends.back().counted, 25);
        EXPECT_NEAR(rig.ends.back().offsetSec * 1000, c.offsetMs, 1e-3);
    }
}

// Timestamps are read in the era nearest the local clock: offsets stay right when the local
// clock, the server or both have passed 2036-02-07 06:28:16 UTC. (Replies stamped in the
// boundary's first second carry a seconds word of 0 and are dropped as unset.)
TEST(BurstEngine, OffsetIsRightAcrossTheNtpEraChange) {
    // What crosses, where the local clock starts, how far the server is ahead in ms.
    const std::tuple<const char*, SystemTime, double> cases[] = {
        {"local before, server after", utcTime(2036, 2, 7, 6, 27, 0), 120'000.0},
        {"local after, server before", utcTime(2036, 2, 7, 6, 30, 0), -120'000.0},
        {"local crosses during the burst", utcTime(2036, 2, 7, 6, 28, 14, 500), 750.0},
        {"server crosses during the burst", utcTime(2036, 2, 7, 6, 28, 12), 2'500.0},
        {"both in the next era", utcTime(2040, 1, 1, 0, 0, 0), -2'500.0},
        {"server nine years ahead", utcTime(2026, 12, 6, 1, 5, 7), 289'459'449'000.0},
    };
    for (const auto& [what, utcStart, serverAheadMs] : cases) {
        SCOPED_TRACE(what);
        EngineRig rig(utcStart);
        rig.server.offsetMs = serverAheadMs;
        rig.measure(10'000);
        EXPECT_GE(rig.ends.back().counted, 20);
        EXPECT_NEAR(rig.ends.back().offsetSec, serverAheadMs / 1000.0, 1e-5);
    }
}

// A server named as NTS: only replies whose identifier and authenticator check count, never a
// plain one; its cookies last from burst to burst; a NAK or running out of cookies in a burst
// that began with them gets one new key exchange, otherwise the server leaves the burst.
TEST(BurstEngine, AnNtsServerCountsOnlyAuthenticRepliesAndExchangesKeysOncePerBurst) {
    using Seal = std::function<void(const Bytes&, Bytes&)>;
    const struct {
        const char* what;
        std::function<void(EngineRig&, Seal&)> secondBurst;  // the first is a healthy one
        Outcome outcome;
        int replies;
        std::size_t exchanges;  // over both bursts
        const char* cause = "";
    } cases[] = {
        {"cookies kept: no exchange", [](EngineRig&, Seal&) {}, Outcome::Evaluated, 25, 1},
        {"a byte altered",
         [](EngineRig& r, Seal&) { r.a.tamper = [](int, Bytes& reply) { reply[60] ^= 1; }; },
         Outcome::NtsFailed, 0, 2, "nts:192.0.2.1 NTS 认证失败：认证请求没有回答 (cookiesUsedUp)"},
        {"the sealed cookies of the reply before",
         [](EngineRig& r, Seal&) {
             r.a.tamper = [before = std::make_shared<Bytes>()](int, Bytes& reply) {
                 const Bytes own = reply;
                 if (!before->empty()) {
                     reply.resize(48 + 36);
                     reply.insert(reply.end(), before->begin() + 48 + 36, before->end());
                 }
                 *before = own;
             };
         },
         Outcome::TooFewReplies, 1, 2},
        {"plain replies", [](EngineRig&, Seal& seal) { seal = nullptr; }, Outcome::NtsFailed, 0, 2,
         "nts:192.0.2.1 NTS 认证失败：认证请求没有回答 (cookiesUsedUp)"},
        {"sealed with other keys",
         [](EngineRig& r, Seal& seal) {
             auto forger = std::make_shared<FakeNtsServer>(r.siv, Bytes(32, 0x11), Bytes(32, 3));
             seal = [forger](const Bytes& request, Bytes& reply) {
                 answerAs(*forger, request, reply);
             };
         },
         Outcome::NtsFailed, 0, 2, "nts:192.0.2.1 NTS 认证失败：认证请求没有回答 (cookiesUsedUp)"},
        {"silent for eight requests, then answering after the new exchange",
         [](EngineRig& r, Seal&) { r.a.drop = [](int n) { return n > 25 && n <= 33; }; },
         Outcome::Evaluated, 22, 2},
        {"a NAK, then answering after the new exchange",
         [](EngineRig& r, Seal& seal) {
             seal = [&r, nak = true](const Bytes& request, Bytes& reply) mutable {
                 answerAs(r.nts, request, reply, std::exchange(nak, false));
             };
         },
         Outcome::Evaluated, 25, 2},
        {"the new exchange refused",
         [](EngineRig& r, Seal&) {
             r.a.drop = [](int n) { return n > 25; };
             r.keyExchange.failure = NtsKeFailure::Refused;
         },
         Outcome::NtsFailed, 0, 2, "nts:192.0.2.1 NTS 认证失败：连接被拒绝 (refused)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EngineRig rig;
        rig.engine.start({"nts:192.0.2.1"});
        rig.time.advance(12'000);
        ASSERT_EQ(rig.ends.size(), 1U);
        EXPECT_EQ(rig.ends[0].counted, 25);
        // With the jar full again: the packet, the identifier, one cookie, the authenticator.
        EXPECT_EQ(rig.socket.sent().back().size(), 48 + 36 + 104 + 40u);
        EXPECT_EQ(rig.ends[0].authenticated, std::vector<std::string>{"nts:192.0.2.1（已认证）"});

        c.secondBurst(rig, rig.a.seal);
        rig.engine.start({"nts:192.0.2.1"});
        rig.time.advance(12'000);
        ASSERT_EQ(rig.ends.size(), 2U);
        EXPECT_EQ(rig.ends[1].outcome.outcome, c.outcome);
        EXPECT_EQ(rig.ends[1].outcome.cause, c.cause);
        EXPECT_EQ(rig.ends[1].rotation.tally(0).replies, c.replies);
        EXPECT_EQ(rig.ends[1].authenticated.size(), c.outcome == Outcome::Evaluated ? 1U : 0U);
        EXPECT_EQ(rig.keyExchange.targets.size(), c.exchanges);
    }
}

// A failed key exchange names its server and why; nothing is sent to it, plain servers go on.
// Dates failing where those put the local clock over a day off get one more burst checked at
// their time, else (or alone) the server fails; without NTS in the program it fails at once.
TEST(BurstEngine, AnNtsServerWhoseKeyExchangeFailsLeavesTheBurstSayingWhy) {
    using enum NtsKeFailure;
    constexpr double kFiveYearsMs = 1826 * 86'400'000.0;
    const std::vector<std::string> both{"nts:192.0.2.2:4461", "192.0.2.1"};
    const struct {
        const char* what;
        NtsKeFailure failure;  // at the local time
        double aheadMs;        // both servers
        std::size_t servers;
        Outcome outcome;
        std::size_t exchanges;
        const char* why;
    } cases[] = {
        {"untrusted", Untrusted, 0, 2, Outcome::Evaluated, 1, "untrusted"},
        {"five years behind", CertificateExpired, kFiveYearsMs, 2, Outcome::Evaluated, 2, ""},
        {"an hour behind", CertificateExpired, 3.6e6, 2, Outcome::Evaluated, 1,
         "certificateExpired"},
        {"no other server", CertificateExpired, kFiveYearsMs, 1, Outcome::NtsFailed, 1,
         "certificateExpired"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EngineRig rig;
        rig.keyExchange.failure = c.failure;
        rig.a.offsetMs = rig.b.offsetMs = c.aheadMs;
        rig.b.seal = [&rig](const Bytes& request, Bytes& reply) {
            answerAs(rig.nts, request, reply);
        };
        rig.engine.start({both.begin(), both.begin() + static_cast<long>(c.servers)});
        rig.time.advance(12'000);
        ASSERT_EQ(rig.ends.size(), 1U);
        EXPECT_EQ(std::pair(rig.ends[0].outcome.outcome, rig.ends[0].rotation.tally(0).kissCode),
                  std::pair(c.outcome, std::string(c.why)));
        EXPECT_EQ(rig.b.requestsSeen() > 0, *c.why == '\0');
        ASSERT_EQ(rig.keyExchange.targets.size(), c.exchanges);
        const NtsKeTarget& last = rig.keyExchange.targets.back();
        EXPECT_EQ(std::tuple(last.host, last.port, last.timeoutMs),
                  std::tuple("192.0.2.2", 4461, kBurstTimeoutMs));
        // The second exchange checks the dates at the servers' time, and the end says so.
        const double movedSec = c.exchanges == 2 ? c.aheadMs / 1000 : 0.0;
        EXPECT_NEAR(rig.ends[0].ntsDatesOffsetSec.value_or(0.0), movedSec, 0.01);
        EXPECT_NEAR(static_cast<double>(last.checkDatesAtUnixSec.value_or(0)),
                    movedSec > 0 ? static_cast<double>(rig.time.utcMs()) / 1000 + movedSec : 0, 10);
    }

    EngineRig rig;
    BurstEngine withoutNts{
        {rig.time, rig.time, rig.socket, rig.time, rig.files, rig.time, rig.scratch}};
    std::optional<OutcomeRecord> outcome;
    withoutNts.setListener(
        {.replyCounted = nullptr, .ended = [&](const BurstEnd& end) { outcome = end.outcome; }});
    withoutNts.start({"nts:192.0.2.1"});
    rig.time.advance(100);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->outcome, Outcome::NtsFailed);
    EXPECT_EQ(outcome->cause,
              "nts:192.0.2.1 NTS 认证失败：本程序在这里不能使用 NTS (ntsUnavailable)");
}

}  // namespace
}  // namespace korvel
