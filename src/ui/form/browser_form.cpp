#include "ui/form/browser_form.h"

#include <algorithm>
#include <utility>

namespace korvel {

namespace {

// Space kept right of and below the browser area and right of the address box.
constexpr int kMarginTwips = 100;

}  // namespace

BrowserForm::BrowserForm(WebBrowser& browser, TimerService& timers)
    : m_browser(browser), m_timTimer(timers.createTimer(TimerPrecision::Precise)) {
    m_timTimer->setInterval(kTitleIntervalMs);
    m_timTimer->setTickHandler([this] { timTimerTick(); });
    m_browser.setDownloadCompleteHandler([this] { brwWebBrowserDownloadComplete(); });
}

// The browser reports no failures, so each step simply runs after the one before.
void BrowserForm::formLoad() {
    notifyIf(assignChanged(m_visible, true));
    // The toolbar draws itself; no separate redraw step is needed.
    formResize(m_clientWidthTwips, m_clientHeightTwips);
    const TwipsRect moved{50, m_lblAddress.top + m_lblAddress.height + 15, m_cboAddress.width,
                          m_cboAddress.height};
    notifyIf(assignChanged(m_cboAddress, moved));
    if (StartingAddress.empty()) {
        return;
    }
    m_addressText = StartingAddress;
    m_addressItems.push_back(m_addressText);
    changed.notify();
    m_timTimer->start();
    m_browser.navigate(StartingAddress);
}

void BrowserForm::formResize(int clientWidthTwips, int clientHeightTwips) {
    m_clientWidthTwips = clientWidthTwips;
    m_clientHeightTwips = clientHeightTwips;
    // A viewer made smaller than its margins gets empty areas, not negative sizes.
    const int width = std::max(0, clientWidthTwips - kMarginTwips);
    const int height =
        std::max(0, clientHeightTwips - (m_picAddress.top + m_picAddress.height) - kMarginTwips);
    TwipsRect address = m_cboAddress;
    address.width = width;
    TwipsRect area = m_brwWebBrowser;
    area.width = width;
    area.height = height;
    TwipsRect strip = m_picAddress;
    strip.width = clientWidthTwips;
    bool moved = assignChanged(m_cboAddress, address);
    moved = assignChanged(m_brwWebBrowser, area) || moved;
    moved = assignChanged(m_picAddress, strip) || moved;
    notifyIf(moved);
}

void BrowserForm::timTimerTick() {
    if (m_browser.busy()) {
        setCaption(" ");
        return;
    }
    m_timTimer->stop();
    setCaption(m_browser.locationName());
}

void BrowserForm::tbToolBarButtonClick(const std::string& key) {
    m_timTimer->start();
    if (key == "Back") {
        m_browser.goBack();
    } else if (key == "Forward") {
        m_browser.goForward();
    } else if (key == "Refresh") {
        m_browser.refresh();
    } else if (key == "Stop") {
        m_timTimer->stop();
        m_browser.stop();
        setCaption(m_browser.locationName());
    }
}

void BrowserForm::cboAddressClick() {
    navigateToAddressText();
}

void BrowserForm::cboAddressKeyPress(int keyAscii) {
    if (keyAscii == kEnterKey) {
        navigateToAddressText();
    }
}

void BrowserForm::brwWebBrowserDownloadComplete() {
    setCaption(m_browser.locationName());
}

void BrowserForm::setAddressText(std::string text) {
    notifyIf(assignChanged(m_addressText, std::move(text)));
}

void BrowserForm::setCaption(std::string caption) {
    notifyIf(assignChanged(m_caption, std::move(caption)));
}

void BrowserForm::navigateToAddressText() {
    m_timTimer->start();
    m_browser.navigate(m_addressText);
}

void BrowserForm::notifyIf(bool change) const {
    if (change) {
        changed.notify();
    }
}

}  // namespace korvel
