#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "platform/timer.h"
#include "ui/form/controls.h"

namespace korvel {

// How a view shows the main window's place, the same in every view. Each left edge and width
// the window model passes through is drawn in turn, one a tick, so that the slide of the
// settings panel can be watched; a hidden window goes straight to the latest. A move the
// system reports is the user's only where the view never put the window: window managers
// confirm the view's own placements late, twice, and after later ones.
class WindowSlide {
public:
    struct Geometry {
        int leftTwips = 0;
        int widthTwips = 0;
        friend bool operator==(const Geometry&, const Geometry&) = default;
    };
    // The window's top-left corner in the view's pixels.
    struct Place {
        int x = 0;
        int y = 0;
        friend bool operator==(const Place&, const Place&) = default;
    };
    struct View {
        std::function<bool()> isShown;
        // A length along the screen in the view's pixels, and back in twips.
        std::function<int(int twips)> pixels;
        std::function<int(int pixels)> twips;
        // Gives the window the geometry, its top-left corner at the place.
        std::function<void(const Geometry&, Place)> draw;
    };

    static constexpr int kStepMs = 5;

    // The window model and the timer service must outlive this object. Draws the model's
    // geometry at once, so the view must be ready to draw; the window's top edge stays at
    // topPixels until the user moves it.
    WindowSlide(WindowModel& window, TimerService& timers, int topPixels, View view);

    // The geometry drawn last.
    const Geometry& drawn() const { return m_drawn; }
    // Draws it again, as after a change of the view's pixels.
    void redraw() { draw(m_drawn); }
    // The system reports the window's top-left corner at this place. Where the user moved it,
    // the slide stops, the window is drawn there at once at the model's width, and the model
    // takes the new left edge.
    void reported(Place place);

private:
    void follow();
    void tick();
    void draw(const Geometry& geometry);

    WindowModel& m_window;
    View m_view;
    std::unique_ptr<Timer> m_timer;
    int m_top;
    Geometry m_target;  // the model's geometry last taken
    Geometry m_drawn;
    std::deque<Geometry> m_steps;
    std::vector<Place> m_placements;  // since the user's last move
    Connection m_changed;
};

}  // namespace korvel
