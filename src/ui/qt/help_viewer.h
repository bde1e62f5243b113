#pragma once

#include <QStyle>
#include <QWidget>
#include <string>

#include "platform/timer.h"
#include "ui/form/browser_form.h"
#include "ui/qt/help_text_browser.h"

class QAction;
class QComboBox;
class QLabel;
class QToolBar;

namespace korvel {

// The help viewer window: draws a BrowserForm and forwards the window's events to it. A
// top-level window of its own that deletes itself when closed.
class HelpViewer final : public QWidget {
public:
    // The timer service must outlive the viewer.
    explicit HelpViewer(TimerService& timers);

    // Sets the starting address and runs the load step, which shows the window.
    void open(const std::string& startingAddress);

    BrowserForm& form() { return m_form; }
    QComboBox* addressBox() const { return m_cboAddress; }
    HelpTextBrowser* page() const { return m_brwWebBrowser; }
    QAction* toolbarAction(const QString& key) const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addButton(const char* key, QStyle::StandardPixmap picture, const char* toolTip);
    void redraw();

    QToolBar* m_tbToolBar;
    QWidget* m_picAddress;
    QLabel* m_lblAddress;
    QComboBox* m_cboAddress;
    HelpTextBrowser* m_brwWebBrowser;
    QtHelpBrowser m_browser;
    BrowserForm m_form;
    Connection m_redraw;
};

}  // namespace korvel
