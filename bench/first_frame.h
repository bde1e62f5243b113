#pragma once

// Tells the footprint bench when a window first appeared: after the first paint of the
// window has been delivered, prints "shown MS", the milliseconds since the bench launched the
// process (KORVEL_BENCH_LAUNCH_NS, CLOCK_MONOTONIC in nanoseconds, set by the bench).

#include <QEvent>
#include <QObject>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace korvel::bench {

inline double millisecondsSinceLaunch() {
    const char* launch = std::getenv("KORVEL_BENCH_LAUNCH_NS");
    if (launch == nullptr) {
        return -1;
    }
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long long nowNs = static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec;
    return static_cast<double>(nowNs - std::atoll(launch)) / 1e6;
}

class FirstFrame final : public QObject {
public:
    explicit FirstFrame(QObject* window) { window->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            // The paint runs after this filter; the report waits until it is done.
            QTimer::singleShot(0, [] {
                std::printf("shown %.3f\n", millisecondsSinceLaunch());
                std::fflush(stdout);
            });
        }
        return false;
    }
};

}  // namespace korvel::bench
