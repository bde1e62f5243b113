#include "ui/form/browser_form.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/virtual_time.h"

namespace korvel::test {
namespace {

using Calls = std::vector<std::string>;

// A browser whose loads end when the test says so.
struct FakeBrowser final : WebBrowser {
    void navigate(const std::string& address) override {
        calls.push_back("navigate " + address);
        isBusy = true;
    }
    void goBack() override { calls.push_back("back"); }
    void goForward() override { calls.push_back("forward"); }
    void refresh() override { calls.push_back("refresh"); }
    void stop() override { calls.push_back("stop"); }
    bool busy() override { return isBusy; }
    std::string locationName() override { return title; }
    void setDownloadCompleteHandler(std::function<void()> handler) override {
        downloadComplete = std::move(handler);
    }

    Calls calls;
    bool isBusy = false;
    std::string title;
    std::function<void()> downloadComplete;
};

// Loading opens the starting address with one blank as the title until the page is in; the
// end of a download shows the page title at once.
TEST(BrowserForm, TitleIsOneBlankWhileLoadingThenThePageTitle) {
    VirtualTime time{utcTime(2026, 12, 6, 1, 0, 0), 0};
    FakeBrowser browser;
    BrowserForm form{browser, time};
    form.StartingAddress = "/opt/korvel/HELP.HTM";
    form.formLoad();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.addressItems(), Calls{"/opt/korvel/HELP.HTM"});
    EXPECT_EQ(browser.calls, Calls{"navigate /opt/korvel/HELP.HTM"});
    // The address box moves below its label, into the strip of height 0.
    EXPECT_EQ(form.cboAddress(), (TwipsRect{50, 330, 7388, 315}));
    EXPECT_EQ(form.caption(), "");
    time.advance(205);
    EXPECT_EQ(form.caption(), " ");

    browser.isBusy = false;
    browser.title = "KORVEL 帮助";
    time.advance(5);
    EXPECT_EQ(form.caption(), "KORVEL 帮助");
    EXPECT_FALSE(form.timTimer().isRunning());
    browser.title = "第二页";
    browser.downloadComplete();
    EXPECT_EQ(form.caption(), "第二页");
}

}  // namespace
}  // namespace korvel::test
