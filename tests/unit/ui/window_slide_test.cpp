#include "ui/form/window_slide.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/virtual_time.h"

namespace korvel::test {
namespace {

using ::testing::ElementsAre;

// Hidden, the window goes straight to each geometry; shown, it draws every step the model
// took, one each 5 ms tick. The window manager confirms the view's placements late, twice and
// after later ones: only a place never taken is the user's, where the slide stops; the next
// slide starts there and keeps the new top edge.
TEST(WindowSlide, DrawsEveryStepInTurnAndStopsAtTheUsersMoveOnly) {
    // A view of 15 twips a pixel that records each place and width it draws, as "x,y,width".
    VirtualTime time{utcTime(2026, 12, 6, 1, 5, 7), 0};
    WindowModel window;
    bool shown = false;
    std::vector<std::string> drawn;
    WindowSlide slide{window,
                      time,
                      200,
                      {.isShown = [&] { return shown; },
                       .pixels = [](int twips) { return twips / 15; },
                       .twips = [](int pixels) { return pixels * 15; },
                       .draw =
                           [&](const WindowSlide::Geometry& geometry, WindowSlide::Place place) {
                               drawn.push_back(std::to_string(place.x) + "," +
                                               std::to_string(place.y) + "," +
                                               std::to_string(geometry.widthTwips));
                           }}};
    window.setGeometry(4500, 6100);
    shown = true;
    window.setGeometry(4400, 6100);
    window.setGeometry(4300, 6100);
    window.setGeometry(4300, 6200);
    EXPECT_THAT(drawn, ElementsAre("300,200,6100"));
    time.advance(10);
    EXPECT_THAT(drawn, ElementsAre("300,200,6100", "293,200,6100", "286,200,6100"));
    for (const int x : {293, 300, 286, 293}) {
        slide.reported({x, 200});
    }
    slide.reported({40, 70});
    EXPECT_EQ(drawn.back(), "40,70,6200");
    EXPECT_EQ(window.leftTwips(), 600);
    time.advance(50);
    EXPECT_EQ(drawn.size(), 4u);
    window.setGeometry(700, 6200);
    time.advance(5);
    EXPECT_EQ(drawn.back(), "46,70,6200");
}

}  // namespace
}  // namespace korvel::test
