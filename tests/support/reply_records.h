#pragma once

#include <cstdint>
#include <vector>

#include "sntp/burst_evaluation.h"

namespace korvel::test {

struct Reply {
    double offset;
    double delay;
    std::int16_t invalid = 0;
    std::int16_t server = 0;
};

// Records 1..n holding replies with the given offset and delay (t1 = 0, the server answering
// at once), in arrival order.
inline ReplyRecords recordsOf(const std::vector<Reply>& replies) {
    ReplyRecords records{};
    for (std::size_t i = 0; i < replies.size(); ++i) {
        ReplyRecord& r = records[i + 1];
        r.t2 = replies[i].offset + replies[i].delay / 2;
        r.t3 = r.t2;
        r.t4 = replies[i].delay;
        r.invalid = replies[i].invalid;
        r.server = replies[i].server;
    }
    return records;
}

}  // namespace korvel::test
