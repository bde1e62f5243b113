#pragma once

#include <QMainWindow>
#include <QPoint>
#include <QTimer>
#include <deque>

#include "ui/form/form_actions.h"

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
    bool focusNextPrevChild(bool next) override;

private:
    struct Geometry {
        int leftTwips;
        int widthTwips;
        friend bool operator==(const Geometry&, const Geometry&) = default;
    };

    void buildToolbar();
    void buildMenus();
    void buildControls();
    void buildStatusBar();
    void followWindowModel();
    void applyGeometry(Geometry geometry);
    void showNextSlideStep();

    MainForm& m_form;
    FormActions m_actions;
    QWidget* m_client = nullptr;
    QWidget* m_toolbar = nullptr;
    QStatusBar* m_statusBar = nullptr;
    int m_topPixels = 0;
    Geometry m_target{0, 0};  // the geometry last drawn or waiting to be drawn
    // Each width and left edge the window passes through while it slides, shown in turn.
    std::deque<Geometry> m_slideSteps;
    // Where the window was put and has not yet reported being; any other move is the user's.
    std::deque<QPoint> m_placements;
    QTimer m_slideTimer;
};

}  // namespace korvel
