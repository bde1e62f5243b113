#pragma once

#include <gtest/gtest.h>

namespace korvel::test {

// Refuses to run the suite unless DBUS_SYSTEM_BUS_ADDRESS names a bus other than the
// machine's: a real timedated there would set the real clock for any caller it trusts. Points
// the user's own folders at nothing, so that no test writes the real user's settings; a test
// that needs them makes its own.
class SystemBusGuard final : public ::testing::Environment {
public:
    void SetUp() override;
};

}  // namespace korvel::test
