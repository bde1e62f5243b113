#include "ui/form/window_slide.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "support/virtual_time.h"

namespace korvel::test {
namespace {

using ::testing::ElementsAre;
using Place = WindowSlide::Place;

// A view of 15 twips a pixel that records where it put the window.
struct SlideRig {
    SlideRig() { window.setGeometry(4500, 6100); }
    WindowSlide::View view() {
        return {.isShown = [this] { return shown; },
                .pixels = [](int twips) { return twips / 15; },
                .twips = [](int pixels) { return pixels * 15; },
                .draw =
                    [this](const WindowSlide::Geometry& geometry, Place place) {
                        drawn.push_back({place.x, place.y, geometry.widthTwips});
                    }};
    }
    struct Drawn {
        int x, y, widthTwips;
        friend bool operator==(const Drawn&, const Drawn&) = default;
    };
    VirtualTime time{utcTime(2026, 12, 6, 1, 5, 7), 0};
    WindowModel window;
    bool shown = false;
    std::vector<Drawn> drawn;
    WindowSlide slide{window, time, 200, view()};
};

// Hidden, the window goes straight to the model's latest geometry; shown, it passes through
// every step the model took, one each 5 ms tick.
TEST(WindowSlide, HiddenWindowJumpsAndShownWindowShowsEveryStepInTurn) {
    SlideRig rig;
    rig.window.setGeometry(4400, 6100);
    rig.window.setGeometry(4300, 6100);
    EXPECT_THAT(rig.drawn,
                ElementsAre(SlideRig::Drawn{300, 200, 6100}, SlideRig::Drawn{293, 200, 6100},
                            SlideRig::Drawn{286, 200, 6100}));
    rig.drawn.clear();
    rig.shown = true;
    rig.window.setGeometry(4200, 6100);
    rig.window.setGeometry(4200, 6200);
    rig.window.setGeometry(4200, 6300);
    EXPECT_TRUE(rig.drawn.empty());
    rig.time.advance(5);
    EXPECT_THAT(rig.drawn, ElementsAre(SlideRig::Drawn{280, 200, 6100}));
    rig.time.advance(10);
    EXPECT_EQ(rig.drawn.back(), (SlideRig::Drawn{280, 200, 6300}));
    EXPECT_EQ(rig.slide.drawn(), (WindowSlide::Geometry{4200, 6300}));
}

// Window managers confirm the view's own placements late, twice and after later ones; only a
// place the view never put the window is the user's. That stops the slide where the window
// is, and the next slide starts there and keeps the new top edge.
TEST(WindowSlide, OnlyAMoveToAPlaceNeverTakenIsTheUsers) {
    SlideRig rig;
    rig.shown = true;
    for (const int left : {4400, 4300, 4200}) {
        rig.window.setGeometry(left, 6100);
    }
    rig.time.advance(15);
    for (const Place confirmed :
         {Place{286, 200}, Place{293, 200}, Place{280, 200}, Place{293, 200}}) {
        rig.slide.reported(confirmed);
    }
    EXPECT_EQ(rig.window.leftTwips(), 4200);

    rig.window.setGeometry(4200, 6200);
    rig.window.setGeometry(4200, 6300);
    rig.time.advance(5);
    rig.slide.reported({40, 70});
    EXPECT_EQ(rig.drawn.back(), (SlideRig::Drawn{40, 70, 6300}));
    EXPECT_EQ(rig.window.leftTwips(), 600);
    rig.time.advance(50);
    EXPECT_EQ(rig.drawn.size(), 6u);  // the slide stopped

    rig.window.setGeometry(700, 6300);
    rig.time.advance(5);
    EXPECT_EQ(rig.drawn.back(), (SlideRig::Drawn{46, 70, 6300}));
}

}  // namespace
}  // namespace korvel::test
