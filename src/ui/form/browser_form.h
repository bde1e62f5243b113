#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/browser.h"
#include "platform/timer.h"
#include "ui/form/controls.h"

namespace korvel {

// The help viewer frmBrowser: a browser area under a navigation toolbar, with an address strip
// of height 0 between them whose address box still takes the keyboard. The view draws this
// state and forwards the window's events to the handlers; one object per viewer window.
class BrowserForm {
public:
    // Client area when the viewer opens.
    static constexpr int kClientWidthTwips = 7488;
    static constexpr int kClientHeightTwips = 6732;
    static constexpr int kToolbarHeightTwips = 528;
    static constexpr int kTitleIntervalMs = 5;
    static constexpr int kEnterKey = 13;

    // Both must outlive the form.
    BrowserForm(WebBrowser& browser, TimerService& timers);
    BrowserForm(const BrowserForm&) = delete;
    BrowserForm& operator=(const BrowserForm&) = delete;

    // The address the viewer opens; set before formLoad.
    std::string StartingAddress;

    // Window events.
    void formLoad();
    void formResize(int clientWidthTwips, int clientHeightTwips);
    void timTimerTick();
    // key is the clicked button's key: "Back", "Forward", "Stop" or "Refresh".
    void tbToolBarButtonClick(const std::string& key);
    // An item of the address box's list was chosen.
    void cboAddressClick();
    // A character typed into the address box; the box handles every key itself as well.
    void cboAddressKeyPress(int keyAscii);
    void brwWebBrowserDownloadComplete();

    // The user edits the address box.
    void setAddressText(std::string text);

    const std::string& caption() const { return m_caption; }
    bool isVisible() const { return m_visible; }
    int clientWidthTwips() const { return m_clientWidthTwips; }
    int clientHeightTwips() const { return m_clientHeightTwips; }
    const std::string& addressText() const { return m_addressText; }
    const std::vector<std::string>& addressItems() const { return m_addressItems; }
    const TwipsRect& picAddress() const { return m_picAddress; }
    const TwipsRect& lblAddress() const { return m_lblAddress; }
    const TwipsRect& cboAddress() const { return m_cboAddress; }
    const TwipsRect& brwWebBrowser() const { return m_brwWebBrowser; }
    const Timer& timTimer() const { return *m_timTimer; }

    // Any of the state above changed.
    Signal changed;

private:
    void setCaption(std::string caption);
    void navigateToAddressText();
    void notifyIf(bool change) const;

    WebBrowser& m_browser;
    std::unique_ptr<Timer> m_timTimer;
    std::string m_caption;
    bool m_visible = false;
    int m_clientWidthTwips = kClientWidthTwips;
    int m_clientHeightTwips = kClientHeightTwips;
    std::string m_addressText;
    std::vector<std::string> m_addressItems;
    TwipsRect m_picAddress{0, kToolbarHeightTwips, kClientWidthTwips, 0};
    TwipsRect m_lblAddress{45, 60, 3075, 255};
    TwipsRect m_cboAddress{45, 300, 3795, 315};
    TwipsRect m_brwWebBrowser{45, 525, 5400, 4425};
};

}  // namespace korvel
