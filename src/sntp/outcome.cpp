#include "sntp/outcome.h"

namespace korvel {

namespace {

struct StatusRow {
    Outcome outcome;
    int status;
};

// One row per outcome; where two outcomes share a status the first is the one read back.
constexpr StatusRow kStatuses[] = {
    {Outcome::Stepped, 0},  // the tool's status for a correction that went through
    {Outcome::Evaluated, 0},
    {Outcome::NoReply, 1},
    {Outcome::NameNotResolved, 1},
    {Outcome::TooFewReplies, 2},
    {Outcome::RejectedInvalid, 3},
    {Outcome::StepRefused, 4},
    {Outcome::LocalPortUnusable, 5},
    {Outcome::NoScratchFolder, 6},
    {Outcome::StepUnknown, 7},
    {Outcome::RefusedByServer, 8},
    {Outcome::ServersDisagree, 9},
    {Outcome::WithheldNoSecondOpinion, 10},
    {Outcome::WithheldOtherTimeService, 11},
    {Outcome::WithheldOffsetTooLarge, 12},
    {Outcome::ConsentRefused, 13},
    {Outcome::WithheldOffsetChanged, 14},
    {Outcome::NtsFailed, 15},
};

}  // namespace

int exitStatus(Outcome outcome) {
    for (const StatusRow& row : kStatuses) {
        if (row.outcome == outcome) {
            return row.status;
        }
    }
    return 1;
}

std::optional<Outcome> outcomeOfExitStatus(int status) {
    for (const StatusRow& row : kStatuses) {
        if (row.status == status) {
            return row.outcome;
        }
    }
    return std::nullopt;
}

}  // namespace korvel
