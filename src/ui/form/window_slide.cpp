#include "ui/form/window_slide.h"

#include <algorithm>

namespace korvel {

WindowSlide::WindowSlide(WindowModel& window, TimerService& timers, int topPixels, View view)
    : m_window(window),
      m_view(std::move(view)),
      m_timer(timers.createTimer(TimerPrecision::Precise)),
      m_top(topPixels) {
    m_timer->setInterval(kStepMs);
    m_timer->setTickHandler([this] { tick(); });
    m_changed = m_window.changed.connect([this] { follow(); });
    follow();
}

void WindowSlide::follow() {
    const Geometry latest{m_window.leftTwips(), m_window.widthTwips()};
    if (latest == m_target) {
        return;
    }
    m_target = latest;
    if (!m_view.isShown()) {
        m_steps.clear();
        m_timer->stop();
        draw(latest);
        return;
    }
    m_steps.push_back(latest);
    m_timer->start();
}

void WindowSlide::tick() {
    if (m_steps.empty()) {
        m_timer->stop();
        return;
    }
    const Geometry next = m_steps.front();
    m_steps.pop_front();
    draw(next);
}

void WindowSlide::draw(const Geometry& geometry) {
    const Place place{m_view.pixels(geometry.leftTwips), m_top};
    if (std::ranges::find(m_placements, place) == m_placements.end()) {
        m_placements.push_back(place);
    }
    m_drawn = geometry;
    m_view.draw(geometry, place);
}

void WindowSlide::reported(Place place) {
    if (!m_view.isShown() || std::ranges::find(m_placements, place) != m_placements.end()) {
        return;
    }
    m_placements.clear();
    m_steps.clear();
    m_timer->stop();
    m_top = place.y;
    m_target = {m_view.twips(place.x), m_window.widthTwips()};
    draw(m_target);
    m_window.setGeometry(m_target.leftTwips, m_target.widthTwips);
}

}  // namespace korvel
