#include <gtest/gtest.h>

#include "support/system_bus_guard.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new korvel::test::SystemBusGuard);
    return RUN_ALL_TESTS();
}
