#include "ui/form/browser_form.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/virtual_time.h"

namespace korvel::test {
namespace {

// A browser whose loads end when the test says so.
class FakeBrowser final : public WebBrowser {
public:
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

    void finishLoading(const std::string& pageTitle) {
        isBusy = false;
        title = pageTitle;
        downloadComplete();
    }

    std::vector<std::string> calls;
    bool isBusy = false;
    std::string title;
    std::function<void()> downloadComplete;
};

struct BrowserFormTest : ::testing::Test {
    VirtualTime time{utcTime(2026, 12, 6, 1, 0, 0), 0};
    FakeBrowser browser;
    BrowserForm form{browser, time};

    void load(const std::string& address) {
        form.StartingAddress = address;
        form.formLoad();
    }
};

TEST_F(BrowserFormTest, LoadShowsListsAndOpensTheStartingAddress) {
    load("/opt/korvel/HELP.HTM");
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.addressText(), "/opt/korvel/HELP.HTM");
    EXPECT_EQ(form.addressItems(), std::vector<std::string>{"/opt/korvel/HELP.HTM"});
    EXPECT_EQ(browser.calls, std::vector<std::string>{"navigate /opt/korvel/HELP.HTM"});
    EXPECT_TRUE(form.timTimer().isRunning());
    EXPECT_EQ(form.timTimer().interval(), 5);
    EXPECT_EQ(form.cboAddress().left, 50);
    EXPECT_EQ(form.cboAddress().top, 330);
}

TEST_F(BrowserFormTest, LoadWithoutStartingAddressShowsAnEmptyViewer) {
    load("");
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(browser.calls.empty());
    EXPECT_TRUE(form.addressItems().empty());
    EXPECT_FALSE(form.timTimer().isRunning());
    EXPECT_EQ(form.cboAddress().top, 330);
    EXPECT_EQ(form.caption(), "");
}

TEST_F(BrowserFormTest, TitleIsOneBlankWhileLoadingThenThePageTitle) {
    load("/opt/korvel/HELP.HTM");
    EXPECT_EQ(form.caption(), "");
    time.advance(5);
    EXPECT_EQ(form.caption(), " ");
    time.advance(200);
    EXPECT_EQ(form.caption(), " ");

    browser.isBusy = false;
    browser.title = "KORVEL 帮助";
    time.advance(5);
    EXPECT_EQ(form.caption(), "KORVEL 帮助");
    EXPECT_FALSE(form.timTimer().isRunning());
}

TEST_F(BrowserFormTest, DownloadCompleteShowsThePageTitleAtOnce) {
    load("/opt/korvel/HELP.HTM");
    browser.finishLoading("KORVEL 帮助");
    EXPECT_EQ(form.caption(), "KORVEL 帮助");
}

TEST_F(BrowserFormTest, ResizeKeepsTheMarginsRightOfAndBelowTheBrowser) {
    struct Case {
        int width, height;
        int areaWidth, areaHeight;
    };
    const Case cases[] = {
        {7488, 6732, 7388, 6104},  // as opened
        {3000, 2000, 2900, 1372},
        {100, 628, 0, 0},  // exactly the margins
        {40, 300, 0, 0},   // smaller than the margins
    };
    for (const Case& c : cases) {
        form.formResize(c.width, c.height);
        SCOPED_TRACE(c.width);
        EXPECT_EQ(form.brwWebBrowser(), (TwipsRect{45, 525, c.areaWidth, c.areaHeight}));
        EXPECT_EQ(form.cboAddress().width, c.areaWidth);
        EXPECT_EQ(form.clientWidthTwips(), c.width);
    }
}

TEST_F(BrowserFormTest, ToolbarButtonsActByTheirExactKey) {
    struct Case {
        const char* key;
        std::vector<std::string> calls;
        bool timerRunning;
    };
    const Case cases[] = {
        {"Back", {"back"}, true},
        {"Forward", {"forward"}, true},
        {"Refresh", {"refresh"}, true},
        {"Stop", {"stop"}, false},
        {"back", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        browser.calls.clear();
        browser.title = "Page";
        form.tbToolBarButtonClick(c.key);
        EXPECT_EQ(browser.calls, c.calls);
        EXPECT_EQ(form.timTimer().isRunning(), c.timerRunning);
    }
}

TEST_F(BrowserFormTest, StopShowsTheLocationNameAtOnce) {
    load("/opt/korvel/HELP.HTM");
    browser.title = "部分页面";
    form.tbToolBarButtonClick("Stop");
    EXPECT_EQ(form.caption(), "部分页面");
}

TEST_F(BrowserFormTest, EnterInTheAddressBoxOpensTheTypedAddress) {
    load("/opt/korvel/HELP.HTM");
    browser.finishLoading("KORVEL 帮助");
    time.advance(5);
    browser.calls.clear();

    form.setAddressText("/tmp/other.htm");
    form.cboAddressKeyPress('a');
    EXPECT_TRUE(browser.calls.empty());
    EXPECT_FALSE(form.timTimer().isRunning());

    form.cboAddressKeyPress(13);
    EXPECT_EQ(browser.calls, std::vector<std::string>{"navigate /tmp/other.htm"});
    EXPECT_TRUE(form.timTimer().isRunning());
}

TEST_F(BrowserFormTest, ChoosingAListItemOpensIt) {
    load("/opt/korvel/HELP.HTM");
    browser.calls.clear();
    form.cboAddressClick();
    EXPECT_EQ(browser.calls, std::vector<std::string>{"navigate /opt/korvel/HELP.HTM"});
}

TEST_F(BrowserFormTest, ObserversHearOfTitleChangesOnlyWhenTheTitleChanges) {
    int notices = 0;
    form.changed.connect([&] { ++notices; });
    load("/opt/korvel/HELP.HTM");
    time.advance(5);
    const int afterFirstBlank = notices;
    time.advance(50);
    EXPECT_EQ(notices, afterFirstBlank);
}

}  // namespace
}  // namespace korvel::test
