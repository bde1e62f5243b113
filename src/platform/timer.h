#pragma once

#include <functional>
#include <memory>

namespace korvel {

// A window timer. Ticks are delivered on the program's one thread, between other handlers,
// and run on monotonic time: setting the wall clock never moves a deadline.
class Timer {
public:
    virtual ~Timer() = default;
    // Restarts the countdown when the timer is running. 0 means the timer never ticks.
    virtual void setInterval(int intervalMs) = 0;
    virtual int interval() const = 0;
    // Starting a running timer changes nothing; stop followed by start restarts the countdown.
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
    // The handler may start or stop any timer, this one included.
    virtual void setTickHandler(std::function<void()> handler) = 0;
};

enum class TimerPrecision { Coarse, Precise };

class TimerService {
public:
    virtual ~TimerService() = default;
    // A new timer, stopped, interval 0.
    virtual std::unique_ptr<Timer> createTimer(TimerPrecision precision) = 0;
};

}  // namespace korvel
