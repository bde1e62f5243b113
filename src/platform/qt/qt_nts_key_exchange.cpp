#include "platform/qt/qt_nts_key_exchange.h"

#include <QMetaObject>

#include "platform/crypto/openssl_nts_ke.h"

namespace korvel {

QtNtsKeyExchange::~QtNtsKeyExchange() {
    // Each exchange notices within a fraction of a second and returns.
    m_cancelled = true;
    for (std::thread& thread : m_threads) {
        thread.join();
    }
}

void QtNtsKeyExchange::start(const NtsKeTarget& target, std::function<void(NtsKeResult)> done) {
    m_threads.emplace_back([this, target, done = std::move(done)]() mutable {
        NtsKeResult result = exchangeNtsKeys(target, m_cancelled);
        if (m_cancelled) {
            return;
        }
        QMetaObject::invokeMethod(
            &m_receiver, [done = std::move(done), result = std::move(result)] { done(result); },
            Qt::QueuedConnection);
    });
}

}  // namespace korvel
