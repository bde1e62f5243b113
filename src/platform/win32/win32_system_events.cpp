#include "platform/win32/win32_system_events.h"

#include <utility>

namespace korvel {

Win32SystemEvents::Win32SystemEvents(MessageWindow& window)
    : m_window(window), m_routeMessage(window.newMessage()) {
    m_window.handle(WM_POWERBROADCAST, [this](WPARAM kind, LPARAM) {
        if (kind == PBT_APMSUSPEND) {
            report(SystemEvent::Suspending);
        } else if (kind == PBT_APMRESUMEAUTOMATIC) {
            report(SystemEvent::Resumed);
        }
    });
    m_window.handle(m_routeMessage, [this](WPARAM, LPARAM) { report(SystemEvent::NetworkUp); });
    // A message-only window receives no broadcasts: it asks for the power ones by name.
    m_power = RegisterSuspendResumeNotification(m_window.handle(), DEVICE_NOTIFY_WINDOW_HANDLE);
    if (NotifyRouteChange2(AF_UNSPEC, &Win32SystemEvents::routeChanged, this, FALSE, &m_routes) !=
        NO_ERROR) {
        m_routes = nullptr;
    }
}

Win32SystemEvents::~Win32SystemEvents() {
    // Waits for a notification under way, so none reaches this object afterwards.
    if (m_routes != nullptr) {
        CancelMibChangeNotify2(m_routes);
    }
    if (m_power != nullptr) {
        UnregisterSuspendResumeNotification(m_power);
    }
    m_window.handle(WM_POWERBROADCAST, nullptr);
    m_window.handle(m_routeMessage, nullptr);
}

void Win32SystemEvents::setHandler(std::function<void(SystemEvent)> handler) {
    m_handler = std::move(handler);
}

void NETIOAPI_API_ Win32SystemEvents::routeChanged(void* context, MIB_IPFORWARD_ROW2* row,
                                                   MIB_NOTIFICATION_TYPE type) {
    // A default route that appears: the machine reaches beyond its link again.
    if (row != nullptr && type == MibAddInstance && row->DestinationPrefix.PrefixLength == 0) {
        const auto* self = static_cast<const Win32SystemEvents*>(context);
        PostMessageW(self->m_window.handle(), self->m_routeMessage, 0, 0);
    }
}

void Win32SystemEvents::report(SystemEvent event) const {
    if (m_handler) {
        m_handler(event);
    }
}

}  // namespace korvel
