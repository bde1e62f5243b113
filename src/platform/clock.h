#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "common/system_time.h"

namespace korvel {

// How a request to step the clock ended.
enum class ClockStep {
    Stepped,        // the clock was stepped by the offset
    NotAuthorised,  // the system's authorisation refused, or would have had to ask
    AutomaticSync,  // automatic time synchronisation is on and the time service will not step
    NoRight,        // no time service to ask and no right to set the clock directly
    Rejected,       // the system refused the new time
    Unknown,        // the answer was lost: the clock may or may not have been stepped
};

// The answer to a request to step the clock.
struct ClockStepAnswer {
    ClockStep outcome = ClockStep::Stepped;
    std::string reason;  // why the clock was not stepped, in the user's words; empty if it was
};

// The system clock in UTC.
class SystemClock {
public:
    virtual ~SystemClock() = default;
    // Current UTC time with milliseconds; cannot fail.
    virtual SystemTime getSystemTime() = 0;
    // Steps the clock by offsetSec (positive: forward), relative to wherever it stands when the
    // step is made. interactive allows the system to ask the user for authorisation. done runs
    // exactly once on the program's thread: before stepClock returns where the system answers
    // at once, otherwise later from the event loop (possibly minutes later, while a password is
    // typed).
    virtual void stepClock(double offsetSec, bool interactive,
                           std::function<void(ClockStepAnswer)> done) = 0;
    // Whether this process itself may set the clock (CAP_SYS_TIME, the "change the system time"
    // right), so that a step needs nobody's consent.
    virtual bool holdsRightToStep() = 0;
    // The name of another time service running on this machine that steers the clock and so
    // may undo a step made here (chronyd, ntpd, systemd-timesyncd); empty when there is none.
    virtual std::string competingTimeService() = 0;
};

// A system clock reading for measuring, at the clock's own resolution, paired with a reading
// of a clock that steps of the system clock never move but slews do, taken at the same moment:
// a step between two readings shows as a change of utc minus steady.
struct PairedReading {
    std::int64_t utcNs = 0;     // UTC, nanoseconds since 1970-01-01 00:00:00 (no leap seconds)
    std::int64_t steadyMs = 0;  // milliseconds from an arbitrary start; never goes back
};

class SteadyClock {
public:
    virtual ~SteadyClock() = default;
    virtual PairedReading readPaired() = 0;
    // The resolution of the utc readings in nanoseconds: how far apart two readings of one
    // instant may lie.
    virtual std::int64_t readingResolutionNs() = 0;
};

// The local wall clock (time zone applied).
class LocalClock {
public:
    virtual ~LocalClock() = default;
    virtual SystemTime getLocalTime() = 0;
};

}  // namespace korvel
