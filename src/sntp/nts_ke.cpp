#include "sntp/nts_ke.h"

namespace korvel {

namespace {

constexpr std::uint16_t kCriticalBit = 0x8000;

// A body that is a list of 16-bit numbers; nothing when its length is odd.
std::optional<std::vector<std::uint16_t>> numberList(ByteView body) {
    if (body.size() % 2 != 0) {
        return std::nullopt;
    }
    std::vector<std::uint16_t> numbers;
    for (std::size_t at = 0; at < body.size(); at += 2) {
        numbers.push_back(u16At(body, at));
    }
    return numbers;
}

// What the records said, before the end-of-message record decides.
struct Negotiated {
    std::optional<std::vector<std::uint16_t>> protocols;
    std::optional<std::vector<std::uint16_t>> algorithms;
    bool serverError = false;
};

// Takes one record into the answer; false when it makes the answer unusable (the fault is
// then set).
bool takeRecord(bool critical, std::uint16_t type, ByteView body, Negotiated& seen,
                NtsKeAnswer& answer) {
    const auto fail = [&answer](NtsKeAnswerFault fault) {
        answer.fault = fault;
        return false;
    };
    switch (static_cast<NtsRecordType>(type)) {
        case NtsRecordType::EndOfMessage:
            return body.empty() || fail(NtsKeAnswerFault::Malformed);
        case NtsRecordType::NextProtocol:
        case NtsRecordType::AeadAlgorithm: {
            auto& list = type == static_cast<std::uint16_t>(NtsRecordType::NextProtocol)
                             ? seen.protocols
                             : seen.algorithms;
            if (list.has_value() || !(list = numberList(body)).has_value()) {
                return fail(NtsKeAnswerFault::Malformed);
            }
            return true;
        }
        case NtsRecordType::Error:
        case NtsRecordType::Warning:
        case NtsRecordType::Port:
            if (body.size() != 2) {
                return fail(NtsKeAnswerFault::Malformed);
            }
            if (type == static_cast<std::uint16_t>(NtsRecordType::Error)) {
                seen.serverError = true;
                answer.errorCode = u16At(body, 0);
            } else if (type == static_cast<std::uint16_t>(NtsRecordType::Warning)) {
                answer.warnings.push_back(u16At(body, 0));
            } else {
                answer.ntpPort = u16At(body, 0);
            }
            return true;
        case NtsRecordType::NewCookie:
            if (body.empty()) {
                return fail(NtsKeAnswerFault::Malformed);
            }
            answer.cookies.emplace_back(body.begin(), body.end());
            return true;
        case NtsRecordType::Server:
            // A name or an address in ASCII, printable, without blanks.
            for (const std::uint8_t c : body) {
                if (c <= 0x20 || c >= 0x7F) {
                    return fail(NtsKeAnswerFault::Malformed);
                }
            }
            if (body.empty()) {
                return fail(NtsKeAnswerFault::Malformed);
            }
            answer.ntpServer.assign(body.begin(), body.end());
            return true;
    }
    // A record we do not know: ignored unless the server says it must be understood.
    return !critical || fail(NtsKeAnswerFault::UnknownCritical);
}

}  // namespace

Bytes encodeNtsKeRecord(const NtsKeRecord& record) {
    Bytes bytes;
    putU16(bytes, static_cast<std::uint16_t>((record.critical ? kCriticalBit : 0) |
                                             (record.type & ~kCriticalBit)));
    putU16(bytes, static_cast<std::uint16_t>(record.body.size()));
    bytes.insert(bytes.end(), record.body.begin(), record.body.end());
    return bytes;
}

Bytes ntsKeRequest() {
    Bytes request;
    for (const NtsKeRecord& record : {
             NtsKeRecord{true,
                         static_cast<std::uint16_t>(NtsRecordType::NextProtocol),
                         {0, kNtsProtocolNtpv4}},
             NtsKeRecord{true,
                         static_cast<std::uint16_t>(NtsRecordType::AeadAlgorithm),
                         {0, kAeadAesSivCmac256}},
             NtsKeRecord{true, static_cast<std::uint16_t>(NtsRecordType::EndOfMessage), {}},
         }) {
        const Bytes bytes = encodeNtsKeRecord(record);
        request.insert(request.end(), bytes.begin(), bytes.end());
    }
    return request;
}

Bytes ntsExporterContext(NtsDirection direction) {
    Bytes context;
    putU16(context, kNtsProtocolNtpv4);
    putU16(context, kAeadAesSivCmac256);
    context.push_back(static_cast<std::uint8_t>(direction));
    return context;
}

NtsKeAnswer parseNtsKeAnswer(ByteView stream) {
    NtsKeAnswer answer;
    Negotiated seen;
    std::size_t at = 0;
    while (stream.size() - at >= 4) {
        const std::uint16_t word = u16At(stream, at);
        const std::size_t length = u16At(stream, at + 2);
        if (stream.size() - at - 4 < length) {
            break;
        }
        const bool critical = (word & kCriticalBit) != 0;
        const auto type = static_cast<std::uint16_t>(word & ~kCriticalBit);
        const ByteView body = stream.subspan(at + 4, length);
        at += 4 + length;
        if (!takeRecord(critical, type, body, seen, answer)) {
            return answer;
        }
        if (type != static_cast<std::uint16_t>(NtsRecordType::EndOfMessage)) {
            continue;
        }
        const auto only = [](const auto& list, std::uint16_t value) {
            return list.has_value() && list->size() == 1 && list->front() == value;
        };
        if (at != stream.size()) {
            answer.fault = NtsKeAnswerFault::Malformed;
        } else if (seen.serverError) {
            answer.fault = NtsKeAnswerFault::ServerError;
        } else if (!only(seen.protocols, kNtsProtocolNtpv4)) {
            answer.fault = NtsKeAnswerFault::NoNtpv4;
        } else if (!only(seen.algorithms, kAeadAesSivCmac256)) {
            answer.fault = NtsKeAnswerFault::NoAlgorithm;
        } else if (answer.cookies.empty()) {
            answer.fault = NtsKeAnswerFault::NoCookies;
        } else {
            answer.fault = NtsKeAnswerFault::None;
        }
        return answer;
    }
    answer.fault = NtsKeAnswerFault::Incomplete;
    return answer;
}

}  // namespace korvel
