#pragma once

#include <QObject>
#include <atomic>
#include <thread>
#include <vector>

#include "platform/nts_key_exchange.h"

namespace korvel {

// Key exchanges with OpenSSL, each on a thread of its own; the result comes back through the
// event loop of the thread that made this object.
class QtNtsKeyExchange final : public NtsKeyExchange {
public:
    QtNtsKeyExchange() = default;
    ~QtNtsKeyExchange() override;
    QtNtsKeyExchange(const QtNtsKeyExchange&) = delete;
    QtNtsKeyExchange& operator=(const QtNtsKeyExchange&) = delete;

    void start(const NtsKeTarget& target, std::function<void(NtsKeResult)> done) override;

private:
    QObject m_receiver;  // results are posted to it; those still queued go with it
    std::atomic<bool> m_cancelled{false};
    std::vector<std::thread> m_threads;
};

}  // namespace korvel
