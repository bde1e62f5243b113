#include "common/text_forms.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "common/day_date.h"
#include "support/virtual_time.h"

namespace korvel {
namespace {

using test::utcTime;

// The server clock is the local clock plus whole seconds of offset, so its text must carry
// across days, years and leap days.
TEST(TextForms, ClockDisplayHasALeadingBlankAndCarriesIntoTheDate) {
    for (const auto& [value, text] : std::map<double, std::string>{
             {dayDate(utcTime(2026, 12, 31, 23, 59, 59)) + 1.0 / 86400, " 2027-01-01  00:00:00"},
             {dayDate(utcTime(2027, 1, 1, 0, 0, 0)) - 1.0 / 86400, " 2026-12-31  23:59:59"},
             {dayDate(utcTime(2024, 2, 28, 23, 59, 30)) + 45.0 / 86400, " 2024-02-29  00:00:15"}}) {
        EXPECT_EQ(clockDisplayText(value), text);
    }
}

}  // namespace
}  // namespace korvel
