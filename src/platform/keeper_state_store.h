#pragma once

#include <optional>
#include <string>

namespace korvel {

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
