// libFuzzer target for the key exchange's records: any stream a server may send.
//
// Properties checked (a violation aborts):
//   - an answer judged usable has cookies, and every shorter piece of it still waits for more;
//   - a piece that reads as usable is followed by bytes after its end: the whole is malformed.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "sntp/nts_ke.h"

namespace {

void require(bool property) {
    if (!property) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using korvel::NtsKeAnswerFault;
    const korvel::ByteView stream(data, size);
    const korvel::NtsKeAnswer answer = korvel::parseNtsKeAnswer(stream);
    const bool usable = answer.fault == NtsKeAnswerFault::None;
    require(!usable || !answer.cookies.empty());
    for (std::size_t cut = 0; cut < size; ++cut) {
        const NtsKeAnswerFault fault = korvel::parseNtsKeAnswer(stream.first(cut)).fault;
        require(!usable || fault == NtsKeAnswerFault::Incomplete);
        require(fault != NtsKeAnswerFault::None || answer.fault == NtsKeAnswerFault::Malformed);
    }
    return 0;
}
