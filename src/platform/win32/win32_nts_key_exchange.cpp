#include "platform/win32/win32_nts_key_exchange.h"

#include "platform/crypto/openssl_nts_ke.h"

namespace korvel {

Win32NtsKeyExchange::Win32NtsKeyExchange(MessageWindow& window)
    : m_window(window), m_message(window.newMessage()) {
    m_window.handle(m_message, [this](WPARAM, LPARAM) { deliverFinished(); });
}

Win32NtsKeyExchange::~Win32NtsKeyExchange() {
    // Each exchange notices within a fraction of a second and returns; results still posted
    // find no handler.
    m_cancelled = true;
    for (std::thread& thread : m_threads) {
        thread.join();
    }
    m_window.handle(m_message, {});
}

void Win32NtsKeyExchange::start(const NtsKeTarget& target, std::function<void(NtsKeResult)> done) {
    m_threads.emplace_back([this, target, done = std::move(done)]() mutable {
        NtsKeResult result = exchangeNtsKeys(target, m_cancelled);
        if (m_cancelled) {
            return;
        }
        {
            const std::lock_guard lock(m_mutex);
            m_finished.emplace_back(
                [done = std::move(done), result = std::move(result)] { done(result); });
        }
        PostMessageW(m_window.handle(), m_message, 0, 0);
    });
}

void Win32NtsKeyExchange::deliverFinished() {
    for (;;) {
        std::function<void()> next;
        {
            const std::lock_guard lock(m_mutex);
            if (m_finished.empty()) {
                return;
            }
            next = std::move(m_finished.front());
            m_finished.pop_front();
        }
        next();
    }
}

}  // namespace korvel
