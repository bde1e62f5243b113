#pragma once

#include <windows.h>
#include <winsock2.h>

#include <netioapi.h>

#include <functional>

#include "platform/system_events.h"
#include "platform/win32/win32_message_window.h"

namespace korvel {

// WM_POWERBROADCAST (suspend, automatic resume) and a default route that appears, both as
// messages of the program's message window. Where the system offers either notification not,
// that part reports nothing.
class Win32SystemEvents final : public SystemEventWatch {
public:
    explicit Win32SystemEvents(MessageWindow& window);
    ~Win32SystemEvents() override;
    Win32SystemEvents(const Win32SystemEvents&) = delete;
    Win32SystemEvents& operator=(const Win32SystemEvents&) = delete;

    void setHandler(std::function<void(SystemEvent)> handler) override;

private:
    // Runs on a thread of the system's: only posts to the window.
    static void NETIOAPI_API_ routeChanged(void* context, MIB_IPFORWARD_ROW2* row,
                                           MIB_NOTIFICATION_TYPE type);
    void report(SystemEvent event) const;

    MessageWindow& m_window;
    const UINT m_routeMessage;
    HPOWERNOTIFY m_power = nullptr;
    HANDLE m_routes = nullptr;
    std::function<void(SystemEvent)> m_handler;
};

}  // namespace korvel
