#include "Timer.h"

#include <QTimer>

namespace {

// QTimer already restarts on start() and on a new interval while running.
class QtTimer final : public Timer
{
public:
    explicit QtTimer(QObject *parent)
        : Timer(parent)
    {
        // Coarse timers may be 5 % off; the hold cadence must keep to its grid.
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, &Timer::timeout);
    }

    void setInterval(std::chrono::milliseconds interval) override { m_timer.setInterval(interval); }
    void start() override { m_timer.start(); }
    void stop() override { m_timer.stop(); }

private:
    QTimer m_timer;
};

} // namespace

Timer *makeQtTimer(QObject *parent)
{
    return new QtTimer(parent);
}
