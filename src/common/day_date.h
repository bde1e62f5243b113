#pragma once

#include <cstdint>

#include "common/system_time.h"

namespace korvel {

// Day-count dates count days since 1899-12-30 00:00:00; the fraction is the time of day.

struct CivilDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

// Day number of a proleptic Gregorian date (1899-12-30 is 0).
std::int64_t dayNumber(int year, int month, int day);
CivilDate civilDate(std::int64_t dayNumber);
// 0 = Sunday.
int dayOfWeek(std::int64_t dayNumber);

// Whole seconds only: the milliseconds of the record are not part of a day-count date.
double dayDate(const SystemTime& time);

// Calendar fields of a day-count date, rounded to the nearest second.
SystemTime fieldsOfDayDate(double dayDate);

// Whole seconds since 1900-01-01 00:00:00 of a UTC record.
std::int64_t ntpWholeSeconds(const SystemTime& utc);
// The same with the milliseconds as a fraction.
double ntpSeconds(const SystemTime& utc);

// A UTC clock reading at the clock's own resolution is held as nanoseconds since 1970-01-01
// 00:00:00, leap seconds not counted (unixNs).
// Its NTP seconds, as near as a double holds them: within 0.24 us until 2036, 0.48 us after.
double ntpSecondsOfUnixNs(std::int64_t unixNs);
// Its record to the nearest millisecond: from 999.5 ms on the reading carries into the next
// second, and on up through the date.
SystemTime utcOfUnixNs(std::int64_t unixNs);

// Seconds since local midnight as the local clock reports it, with single precision.
float secondsSinceMidnight(const SystemTime& local);

// The UTC record read plus offsetSec, carried into the date when it leaves the day; the
// day-of-week field keeps the value read. Milliseconds that round to 1000 carry into the
// seconds.
SystemTime correctedTime(const SystemTime& utc, double offsetSec);

}  // namespace korvel
