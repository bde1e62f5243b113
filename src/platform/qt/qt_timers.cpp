#include "platform/qt/qt_timers.h"

#include <QTimer>

namespace korvel {

namespace {

// QTimer fires at once for interval 0, a window timer never does; hence the running flag.
class QtTimer final : public Timer {
public:
    explicit QtTimer(TimerPrecision precision) {
        m_timer.setTimerType(precision == TimerPrecision::Precise ? Qt::PreciseTimer
                                                                  : Qt::CoarseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (m_handler) {
                m_handler();
            }
        });
    }
    void setInterval(int intervalMs) override {
        m_interval = intervalMs;
        m_timer.stop();
        sync();
    }
    int interval() const override { return m_interval; }
    void start() override {
        if (!m_running) {
            m_running = true;
            sync();
        }
    }
    void stop() override {
        m_running = false;
        m_timer.stop();
    }
    bool isRunning() const override { return m_running; }
    void setTickHandler(std::function<void()> handler) override { m_handler = std::move(handler); }

private:
    void sync() {
        if (m_running && m_interval > 0 && !m_timer.isActive()) {
            m_timer.start(m_interval);
        }
    }
    QTimer m_timer;
    std::function<void()> m_handler;
    int m_interval = 0;
    bool m_running = false;
};

}  // namespace

std::unique_ptr<Timer> QtTimerService::createTimer(TimerPrecision precision) {
    return std::make_unique<QtTimer>(precision);
}

}  // namespace korvel
