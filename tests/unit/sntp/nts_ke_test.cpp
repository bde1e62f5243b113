#include "sntp/nts_ke.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvel {
namespace {

Bytes record(bool critical, std::uint16_t type, Bytes body) {
    return encodeNtsKeRecord({critical, type, std::move(body)});
}

Bytes joined(std::initializer_list<Bytes> records) {
    Bytes all;
    for (const Bytes& r : records) {
        all.insert(all.end(), r.begin(), r.end());
    }
    return all;
}

const Bytes kNtpv4 = record(true, 1, {0, 0});
const Bytes kSiv = record(true, 4, {0, 15});
const Bytes kCookie = record(false, 5, Bytes(100, 0xAB));
const Bytes kEnd = record(true, 0, {});

TEST(NtsKe, RequestAsksForNtpv4AndAesSivAndEnds) {
    EXPECT_EQ(ntsKeRequest(), (Bytes{0x80, 1, 0, 2, 0, 0, 0x80, 4, 0, 2, 0, 15, 0x80, 0, 0, 0}));
    EXPECT_EQ(ntsExporterContext(NtsDirection::ClientToServer), (Bytes{0, 0, 0, 15, 0}));
    EXPECT_EQ(ntsExporterContext(NtsDirection::ServerToClient), (Bytes{0, 0, 0, 15, 1}));
}

TEST(NtsKe, AnswersAreJudgedRecordByRecord) {
    struct Case {
        std::string name;
        Bytes stream;
        NtsKeAnswerFault fault;
    };
    const Bytes full = joined({kNtpv4, kSiv, kCookie, kCookie, kEnd});
    using enum NtsKeAnswerFault;
    const std::vector<Case> cases = {
        {"the usual answer", full, None},
        {"records in another order", joined({kCookie, kSiv, kNtpv4, kEnd}), None},
        {"an unknown record that is not critical is skipped",
         joined({kNtpv4, record(false, 0x1234, {1, 2, 3}), kSiv, kCookie, kEnd}), None},
        {"nothing yet", {}, Incomplete},
        {"cut inside a record", Bytes(full.begin(), full.end() - 5), Incomplete},
        {"no end of message yet", joined({kNtpv4, kSiv, kCookie}), Incomplete},
        {"an unknown critical record",
         joined({kNtpv4, record(true, 0x1234, {}), kSiv, kCookie, kEnd}), UnknownCritical},
        {"an error record", joined({record(true, 2, {0, 1}), kEnd}), ServerError},
        {"no protocol agreed", joined({record(true, 1, {}), kSiv, kCookie, kEnd}), NoNtpv4},
        {"two protocols", joined({record(true, 1, {0, 0, 0, 1}), kSiv, kCookie, kEnd}), NoNtpv4},
        {"no protocol record", joined({kSiv, kCookie, kEnd}), NoNtpv4},
        {"another algorithm", joined({kNtpv4, record(true, 4, {0, 30}), kCookie, kEnd}),
         NoAlgorithm},
        {"no algorithm agreed", joined({kNtpv4, record(true, 4, {}), kCookie, kEnd}), NoAlgorithm},
        {"no cookies", joined({kNtpv4, kSiv, kEnd}), NoCookies},
        {"bytes after the end", joined({full, {0}}), Malformed},
        {"an end with a body", joined({kNtpv4, kSiv, kCookie, record(true, 0, {0, 0})}), Malformed},
        {"a protocol list of odd length", joined({record(true, 1, {0}), kSiv, kCookie, kEnd}),
         Malformed},
        {"two protocol records", joined({kNtpv4, kNtpv4, kSiv, kCookie, kEnd}), Malformed},
        {"a port of three bytes",
         joined({kNtpv4, kSiv, kCookie, record(false, 7, {0, 1, 2}), kEnd}), Malformed},
        {"a server name with a blank",
         joined({kNtpv4, kSiv, kCookie, record(false, 6, {'a', ' ', 'b'}), kEnd}), Malformed},
        {"an empty cookie", joined({kNtpv4, kSiv, record(false, 5, {}), kEnd}), Malformed},
        {"a warning of one byte", joined({kNtpv4, kSiv, kCookie, record(true, 3, {1}), kEnd}),
         Malformed},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseNtsKeAnswer(c.stream).fault, c.fault) << c.name;
    }
}

TEST(NtsKe, AnswerGivesCookiesServerPortWarningsAndErrorCode) {
    const NtsKeAnswer answer = parseNtsKeAnswer(
        joined({kNtpv4, record(true, 3, {0, 9}), kSiv, record(false, 6, {'1', '0', '.', '1'}),
                record(true, 7, {0x12, 0x34}), kCookie, record(false, 5, {7, 7, 7, 7}), kEnd}));
    EXPECT_EQ(answer.fault, NtsKeAnswerFault::None);
    EXPECT_EQ(answer.cookies, (std::vector<Bytes>{Bytes(100, 0xAB), Bytes{7, 7, 7, 7}}));
    EXPECT_EQ(answer.ntpServer, "10.1");
    EXPECT_EQ(answer.ntpPort, 0x1234);
    EXPECT_EQ(answer.warnings, std::vector<std::uint16_t>{9});
    EXPECT_EQ(parseNtsKeAnswer(joined({record(true, 2, {0, 2}), kEnd})).errorCode, 2);
    const NtsKeAnswer plain = parseNtsKeAnswer(joined({kNtpv4, kSiv, kCookie, kEnd}));
    EXPECT_EQ(plain.ntpServer, "");
    EXPECT_EQ(plain.ntpPort, std::nullopt);
}

}  // namespace
}  // namespace korvel
