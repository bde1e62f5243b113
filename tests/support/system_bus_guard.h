#pragma once

#include <gtest/gtest.h>

namespace korvel::test {

// Refuses to run the suite unless DBUS_SYSTEM_BUS_ADDRESS names a bus other than the
// machine's: a real timedated there would set the real clock for any caller it trusts.
class SystemBusGuard final : public ::testing::Environment {
public:
    void SetUp() override;
};

}  // namespace korvel::test
