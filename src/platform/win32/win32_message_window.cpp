#include "platform/win32/win32_message_window.h"

namespace korvel {

namespace {

constexpr const wchar_t* kClassName = L"KorvelMessageWindow";

}  // namespace

MessageWindow::MessageWindow() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &MessageWindow::procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    // Registered once per process; a second registration fails harmlessly.
    RegisterClassExW(&windowClass);
    m_window = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               windowClass.hInstance, nullptr);
    SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

MessageWindow::~MessageWindow() {
    DestroyWindow(m_window);
}

LRESULT CALLBACK MessageWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr) {
        const auto found = self->m_handlers.find(message);
        // A handler taken away leaves an empty one: its late messages go to the default.
        if (found != self->m_handlers.end() && found->second) {
            // A copy: the handler may replace itself.
            const Handler handler = found->second;
            handler(wParam, lParam);
            return 0;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int runMessageLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

void quitMessageLoop(int status) {
    PostQuitMessage(status);
}

}  // namespace korvel
