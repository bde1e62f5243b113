#pragma once

#include <QTextBrowser>
#include <functional>
#include <string>

#include "platform/browser.h"

namespace korvel {

// The page area of the help viewer: local pages, links to other sites handed to the desktop's
// web browser, and a short notice page for an address that cannot be opened.
class HelpTextBrowser final : public QTextBrowser {
public:
    explicit HelpTextBrowser(QWidget* parent = nullptr);
    QVariant loadResource(int type, const QUrl& name) override;
    void backward() override;
    void forward() override;

private:
    void dropLinkFocus();
};

// The browser control of the help viewer on a HelpTextBrowser. Pages load at once, so the
// control is never busy; the end of each load is reported from the event loop.
class QtHelpBrowser final : public WebBrowser {
public:
    // The view must outlive this object.
    explicit QtHelpBrowser(HelpTextBrowser& view);

    void navigate(const std::string& address) override;
    void goBack() override;
    void goForward() override;
    void refresh() override;
    void stop() override;
    bool busy() override;
    std::string locationName() override;
    void setDownloadCompleteHandler(std::function<void()> handler) override;

    // The address as a URL: a local path (either separator) or a URL with its scheme.
    static QUrl urlOf(const std::string& address);

private:
    HelpTextBrowser& m_view;
    std::function<void()> m_downloadComplete;
};

}  // namespace korvel
