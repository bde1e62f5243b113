#pragma once

#include <functional>
#include <string>

namespace korvel {

// The web browser control of the help viewer. None of the operations reports a failure: an
// address that cannot be opened shows whatever the engine shows for it, and going back or
// forward without such a page in the history does nothing.
class WebBrowser {
public:
    virtual ~WebBrowser() = default;
    // Starts loading the address: a local file path or a URL. May return before the page is
    // there; busy() tells.
    virtual void navigate(const std::string& address) = 0;
    virtual void goBack() = 0;
    virtual void goForward() = 0;
    virtual void refresh() = 0;
    // Stops loading; the page shown so far stays.
    virtual void stop() = 0;
    virtual bool busy() = 0;
    // The title of the page shown (its file name when it has none), UTF-8.
    virtual std::string locationName() = 0;
    // Called after each finished download, on the program's thread; never from inside
    // navigate() before it returns.
    virtual void setDownloadCompleteHandler(std::function<void()> handler) = 0;
};

}  // namespace korvel
