#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace korvel {

// A state of sixteen runs is about two kilobytes; anything much larger is not ours.
inline constexpr std::uint64_t kLargestKeeperStateBytes = 64 * 1024;

// Why a state file is not taken, in the same words on every system.
enum class StateFileFault { Missing, Link, NotAFile, OtherOwner, TooLarge, Unreadable };
inline const char* stateFileProblem(StateFileFault fault) {
    switch (fault) {
        case StateFileFault::Missing:
            return "no state yet";
        case StateFileFault::Link:
            return "the state file is a link";
        case StateFileFault::NotAFile:
            return "the state file is not a file";
        case StateFileFault::OtherOwner:
            return "the state file belongs to another user";
        case StateFileFault::TooLarge:
            return "the state file is too large";
        case StateFileFault::Unreadable:
            break;
    }
    return "the state file could not be read";
}

// The file the keeper keeps its runs in, and the boot it runs in.
class KeeperStateStore {
public:
    virtual ~KeeperStateStore() = default;
    // This boot's identity: the same for every run until the system starts again.
    virtual std::string bootId() = 0;
    // Holds the state for this run until the store is destroyed, waiting while another run
    // holds it; a refusal (why the state cannot be held) when it cannot be, else empty.
    virtual std::string hold() = 0;
    // The state file's text. nullopt with problem set when there is none or it is not taken:
    // missing, not a regular file of this user's (a link is never followed), or too large.
    virtual std::optional<std::string> read(std::string& problem) = 0;
    // Replaces the state atomically: a reader sees the old text or the new, never a part.
    virtual std::string write(const std::string& text) = 0;
    // Replaces the status that users may read (the last run, its offset and frequency).
    virtual std::string writeStatus(const std::string& text) = 0;
};

}  // namespace korvel
