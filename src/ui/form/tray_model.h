#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/system_time.h"
#include "ui/form/controls.h"

namespace korvel {

struct MainForm;

namespace layout {
struct TrayItem;
}

// What the tray's icon shows.
enum class TrayState : std::uint8_t {
    Idle,       // nothing measured yet, or the last burst gave no offset
    Measuring,  // a burst or a correction is under way
    Good,       // the last burst gave an offset, and no correction since went wrong
    Refused,    // the last correction did not go through, or its end is unknown
};

// The tray icon's state, tool tip and menu gates, drawn from the window's models and outcomes
// alone. A view shows them where the system has a tray.
class TrayModel {
public:
    // The form outlives the model; its gates, clock and outcomes are watched from here on.
    explicit TrayModel(MainForm& form);
    TrayModel(const TrayModel&) = delete;
    TrayModel& operator=(const TrayModel&) = delete;

    TrayState state() const { return m_state; }
    // Lines: the program, the last offset and when it was measured, how the last burst or
    // correction ended, the next scheduled run while automatic calibration is on.
    const std::string& toolTip() const { return m_toolTip; }
    // The item's gate, the toolbar's for the same command.
    bool isEnabled(const layout::TrayItem& item) const;
    // Whether the system shows the icon; the view that puts it there tells.
    bool isShown() const { return m_shown; }
    void setShown(bool shown);

    // State, tool tip, a gate or the icon's presence changed.
    Signal changed;

private:
    void recordOutcome();
    void refresh(bool gatesChanged);
    std::string statusLines() const;

    MainForm& m_form;
    TrayState m_state = TrayState::Idle;
    std::string m_toolTip;
    bool m_shown = false;
    bool m_anyOutcome = false;
    std::optional<double> m_offsetSec;  // of the last burst that gave one
    SystemTime m_measuredAt;            // local time
    std::vector<Connection> m_connections;
};

}  // namespace korvel
