#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/nts_key_exchange.h"
#include "platform/win32/win32_message_window.h"

namespace korvel {

// Key exchanges with OpenSSL, each on a thread of its own; the result is posted back to the
// message window, and done runs from its loop on the window's thread.
class Win32NtsKeyExchange final : public NtsKeyExchange {
public:
    explicit Win32NtsKeyExchange(MessageWindow& window);
    ~Win32NtsKeyExchange() override;
    Win32NtsKeyExchange(const Win32NtsKeyExchange&) = delete;
    Win32NtsKeyExchange& operator=(const Win32NtsKeyExchange&) = delete;

    void start(const NtsKeTarget& target, std::function<void(NtsKeResult)> done) override;

private:
    void deliverFinished();

    MessageWindow& m_window;
    UINT m_message;
    std::atomic<bool> m_cancelled{false};
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;  // guards m_finished, which the threads fill
    std::deque<std::function<void()>> m_finished;
};

}  // namespace korvel
