#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace korvel {

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A control's place in its window, in twips.
struct TwipsRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const TwipsRect&, const TwipsRect&) = default;
};

inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kGreen{0, 255, 0};
inline constexpr Rgb kYellow{255, 255, 0};
inline constexpr Rgb kGrey{128, 128, 128};

// Observers of one control; the view connects here to redraw.
class Signal {
    struct Observer {
        std::function<void()> call;
        bool active = true;
    };

public:
    // A link to one observer that ends when this object goes, so an observer that keeps it as
    // a member is never called after its own end.
    class Connection {
    public:
        Connection() = default;
        Connection(Connection&&) noexcept = default;
        Connection& operator=(Connection&& other) noexcept {
            disconnect();
            m_observer = std::move(other.m_observer);
            return *this;
        }
        ~Connection() { disconnect(); }
        void disconnect() {
            if (const auto observer = m_observer.lock()) {
                observer->active = false;
            }
            m_observer.reset();
        }

    private:
        friend class Signal;
        explicit Connection(std::weak_ptr<Observer> observer) : m_observer(std::move(observer)) {}
        std::weak_ptr<Observer> m_observer;
    };

    Signal() = default;
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    [[nodiscard]] Connection connect(std::function<void()> observer) {
        std::erase_if(m_observers, [](const auto& ended) { return !ended->active; });
        m_observers.push_back(std::make_shared<Observer>(Observer{std::move(observer)}));
        return Connection(m_observers.back());
    }
    void notify() const {
        // A copy: an observer may connect or end connections while it runs.
        const auto observers = m_observers;
        for (const auto& observer : observers) {
            if (observer->active) {
                observer->call();
            }
        }
    }

private:
    std::vector<std::shared_ptr<Observer>> m_observers;
};

using Connection = Signal::Connection;

// Assigns and reports whether the value changed.
template <typename T>
bool assignChanged(T& field, T value) {
    if (field == value) {
        return false;
    }
    field = std::move(value);
    return true;
}

class TextBox {
public:
    explicit TextBox(std::string text = {}, bool visible = true)
        : m_text(std::move(text)), m_visible(visible) {}
    const std::string& text() const { return m_text; }
    void setText(std::string text) { notifyIf(assignChanged(m_text, std::move(text))); }
    Rgb foreColor() const { return m_foreColor; }
    void setForeColor(Rgb color) { notifyIf(assignChanged(m_foreColor, color)); }
    bool isVisible() const { return m_visible; }
    void setVisible(bool visible) { notifyIf(assignChanged(m_visible, visible)); }
    // A hint beside the text (a tool tip in the window).
    const std::string& toolTip() const { return m_toolTip; }
    void setToolTip(std::string tip) { notifyIf(assignChanged(m_toolTip, std::move(tip))); }
    // Gives the box the keyboard focus with its whole text selected, for the user to retype.
    void selectAll() const { selectionRequested.notify(); }

    Signal changed;
    Signal selectionRequested;

private:
    void notifyIf(bool change) const {
        if (change) {
            changed.notify();
        }
    }
    std::string m_text;
    Rgb m_foreColor = kWhite;
    bool m_visible = true;
    std::string m_toolTip;
};

// A command button; its enabled state is also a gate of the program.
class Button {
public:
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) {
        if (assignChanged(m_enabled, enabled)) {
            changed.notify();
        }
    }
    Signal changed;

private:
    bool m_enabled = true;
};

class Label {
public:
    const std::string& caption() const { return m_caption; }
    void setCaption(std::string caption) {
        if (assignChanged(m_caption, std::move(caption))) {
            changed.notify();
        }
    }
    Signal changed;

private:
    std::string m_caption;
};

// Setting the state from code runs the click handler, as a user's click does, but only when
// the state really changes.
class CheckBox {
public:
    bool isTicked() const { return m_ticked; }
    void setTicked(bool ticked) {
        if (assignChanged(m_ticked, ticked)) {
            changed.notify();
            if (onClick) {
                onClick();
            }
        }
    }
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) {
        if (assignChanged(m_enabled, enabled)) {
            changed.notify();
        }
    }
    std::function<void()> onClick;
    Signal changed;

private:
    bool m_ticked = false;
    bool m_enabled = true;
};

// A horizontal scroll bar; a value change from code runs the change handler like the user's.
class ScrollBar {
public:
    // What the bar's arrows, its trough and the keys ask for.
    enum class Step { SmallLess, SmallMore, LargeLess, LargeMore, ToMinimum, ToMaximum };
    // Keys the bar takes while it has the focus.
    enum class Key { Left, Up, PageUp, Right, Down, PageDown, Home, End };

    ScrollBar(int minimum, int maximum, int smallStep, int largeStep)
        : m_minimum(minimum),
          m_maximum(maximum),
          m_smallStep(smallStep),
          m_largeStep(largeStep),
          m_value(minimum) {}
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    int smallStep() const { return m_smallStep; }
    int largeStep() const { return m_largeStep; }
    int value() const { return m_value; }
    // Values outside the range are taken to its nearest end.
    void setValue(int value) {
        value = value < m_minimum ? m_minimum : (value > m_maximum ? m_maximum : value);
        if (assignChanged(m_value, value)) {
            changed.notify();
            if (onChange) {
                onChange();
            }
        }
    }
    void step(Step step) {
        switch (step) {
            case Step::SmallLess:
                setValue(m_value - m_smallStep);
                break;
            case Step::SmallMore:
                setValue(m_value + m_smallStep);
                break;
            case Step::LargeLess:
                setValue(m_value - m_largeStep);
                break;
            case Step::LargeMore:
                setValue(m_value + m_largeStep);
                break;
            case Step::ToMinimum:
                setValue(m_minimum);
                break;
            case Step::ToMaximum:
                setValue(m_maximum);
                break;
        }
    }
    // As a Windows scroll bar takes its keys: Left, Up and Page Up lower the value, Right, Down
    // and Page Down raise it, Home and End go to the ends.
    void pressKey(Key key) {
        static constexpr Step kSteps[] = {Step::SmallLess, Step::SmallLess, Step::LargeLess,
                                          Step::SmallMore, Step::SmallMore, Step::LargeMore,
                                          Step::ToMinimum, Step::ToMaximum};
        step(kSteps[static_cast<int>(key)]);
    }
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) {
        if (assignChanged(m_enabled, enabled)) {
            changed.notify();
        }
    }
    std::function<void()> onChange;
    Signal changed;

private:
    int m_minimum;
    int m_maximum;
    int m_smallStep;
    int m_largeStep;
    int m_value;
    bool m_enabled = false;
};

class StatusBar {
public:
    const std::string& panel(std::size_t index) const { return m_panels.at(index); }
    void setPanel(std::size_t index, std::string text) {
        if (assignChanged(m_panels.at(index), std::move(text))) {
            changed.notify();
        }
    }
    Signal changed;

private:
    std::array<std::string, 3> m_panels;
};

// The toolbar's status indicator (button 9) shows one picture of the image list.
class Toolbar {
public:
    static constexpr int kRestImage = 5;
    static constexpr int kAcceptedImage = 6;
    static constexpr int kRefusedImage = 8;

    int indicatorImage() const { return m_indicatorImage; }
    void setIndicatorImage(int image) {
        if (assignChanged(m_indicatorImage, image)) {
            changed.notify();
        }
    }
    Signal changed;

private:
    int m_indicatorImage = kRestImage;
};

// The main window itself: caption, horizontal geometry in twips, and whether it shows on the
// screen or only as the tray's icon.
class WindowModel {
public:
    bool isShown() const { return m_shown; }
    void setShown(bool shown) {
        if (assignChanged(m_shown, shown)) {
            shownChanged.notify();
        }
    }
    // Shows the window, restored if minimised, in front of the others with the keyboard focus.
    void bringToFront() {
        setShown(true);
        frontRequested.notify();
    }
    const std::string& caption() const { return m_caption; }
    void setCaption(std::string caption) {
        if (assignChanged(m_caption, std::move(caption))) {
            changed.notify();
        }
    }
    int widthTwips() const { return m_widthTwips; }
    int leftTwips() const { return m_leftTwips; }
    void setGeometry(int leftTwips, int widthTwips) {
        const bool moved = assignChanged(m_leftTwips, leftTwips);
        if (assignChanged(m_widthTwips, widthTwips) || moved) {
            changed.notify();
        }
    }
    int screenWidthTwips() const { return m_screenWidthTwips; }
    void setScreenWidthTwips(int twips) { m_screenWidthTwips = twips; }
    Signal changed;  // caption and geometry
    Signal shownChanged;
    Signal frontRequested;

private:
    bool m_shown = false;
    std::string m_caption;
    int m_widthTwips = 0;
    int m_leftTwips = 0;
    int m_screenWidthTwips = 0;
};

}  // namespace korvel
