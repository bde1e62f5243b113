#include "ui/form/controls.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace korvel {
namespace {

// A connection ends with its owner, also while the signal is delivered, and moves with it.
TEST(Signal, ConnectionEndsWithItsOwner) {
    Signal changed;
    std::vector<int> calls;
    std::optional<Connection> second;
    Connection first = changed.connect([&] {
        calls.push_back(1);
        second.reset();
    });
    second = changed.connect([&] { calls.push_back(2); });
    {
        const Connection third = changed.connect([&] { calls.push_back(3); });
        changed.notify();
    }
    Connection moved = std::move(first);
    changed.notify();
    moved.disconnect();
    changed.notify();
    EXPECT_EQ(calls, (std::vector<int>{1, 3, 1}));
}

// As a Windows scroll bar: Left, Up and Page Up lower the value, within the range; each real
// change runs the change handler.
TEST(ScrollBar, KeysMoveByTheStepsWithinTheRange) {
    using Key = ScrollBar::Key;
    ScrollBar bar(1, 12, 1, 3);
    std::vector<int> changes;
    bar.onChange = [&] { changes.push_back(bar.value()); };
    for (const Key key : {Key::End, Key::PageUp, Key::Left, Key::Up, Key::Right, Key::PageDown,
                          Key::PageDown, Key::Down, Key::Home, Key::Left}) {
        bar.pressKey(key);
    }
    EXPECT_EQ(changes, (std::vector<int>{12, 9, 8, 7, 8, 11, 12, 1}));
}

}  // namespace
}  // namespace korvel
