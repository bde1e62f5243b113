// The GUI tests run on Qt's offscreen platform, with or without a display.

#include <gtest/gtest.h>

#include <QApplication>

#include "support/system_bus_guard.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new korvel::test::SystemBusGuard);
    return RUN_ALL_TESTS();
}
