#pragma once

#include <windows.h>

#include <functional>
#include <map>

namespace korvel {

// A message-only window of the calling thread. The timers and the socket receive their events
// through it, so their handlers run on that thread between the window's other messages.
class MessageWindow {
public:
    using Handler = std::function<void(WPARAM, LPARAM)>;

    MessageWindow();
    ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    HWND handle() const { return m_window; }
    // A message number of this window's own, not used by anyone else.
    UINT newMessage() { return m_nextMessage++; }
    // Runs the handler for each arrival of the message (WM_TIMER or one from newMessage).
    void handle(UINT message, Handler handler) { m_handlers[message] = std::move(handler); }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_window = nullptr;
    std::map<UINT, Handler> m_handlers;
    UINT m_nextMessage = WM_APP;
};

// Runs the thread's message loop until quitMessageLoop; returns the status given there.
int runMessageLoop();
void quitMessageLoop(int status);

}  // namespace korvel
