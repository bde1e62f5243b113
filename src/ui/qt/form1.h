#pragma once

#include <QMainWindow>
#include <functional>
#include <optional>
#include <vector>

#include "ui/form/controls.h"
#include "ui/form/form_actions.h"
#include "ui/form/form_layout.h"
#include "ui/form/window_slide.h"

class QStatusBar;
class QWidget;

namespace korvel {

struct MainForm;

// The main window: draws the window state of MainForm and hands the user's actions on. It
// keeps no state of the program's own; every control redraws from its model when the model
// reports a change.
class Form1 final : public QMainWindow {
public:
    // The form outlives the window. Tells the form the screen's width.
    Form1(MainForm& form, FormActions actions);

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void buildToolbar();
    void buildMenus();
    void buildControls();
    void buildStatusBar();
    void textBox(QWidget* parent, const layout::ControlLayout& control, const QFont& font,
                 TextBox& model);
    void comboBox(QWidget* parent, const layout::ControlLayout& control, const QFont& font,
                  TextBox& model);
    void checkBox(QWidget* parent, const layout::ControlLayout& control, const QFont& font,
                  CheckBox& model);
    void scrollBar(QWidget* parent, const layout::ControlLayout& control, ScrollBar& model);
    // Redraws the widget from its model now and at every change the model reports.
    template <typename Widget>
    void follow(Signal& changed, Widget* widget, std::function<void(Widget*)> draw);
    void applyGeometry(const WindowSlide::Geometry& geometry, WindowSlide::Place place);

    MainForm& m_form;
    FormActions m_actions;
    QWidget* m_client = nullptr;
    QWidget* m_toolbar = nullptr;
    QStatusBar* m_statusBar = nullptr;
    // Both end before the widgets they draw, which the window deletes after its members.
    std::vector<Connection> m_connections;
    std::optional<WindowSlide> m_slide;
};

}  // namespace korvel
