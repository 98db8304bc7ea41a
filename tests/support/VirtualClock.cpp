#include "VirtualClock.h"

#include <optional>

class VirtualClock::VirtualTimer final : public Timer
{
public:
    VirtualTimer(VirtualClock *clock, QObject *parent)
        : Timer(parent)
        , m_clock(clock)
    {
    }

    void setInterval(ms interval) override
    {
        m_interval = interval;
        if (m_active)
            start();
    }
    void start() override
    {
        m_active = true;
        m_due = m_clock->m_now + m_interval;
        m_order = ++m_clock->m_sequence;
    }
    void stop() override { m_active = false; }

    void fire()
    {
        // A periodic timer, like QTimer: it keeps its grid until stopped or restarted.
        m_due += std::max(m_interval, ms{1});
        m_order = ++m_clock->m_sequence;
        emit timeout();
    }

    VirtualClock *m_clock;
    ms m_interval{0};
    ms m_due{0};
    quint64 m_order = 0;
    bool m_active = false;
};

TimerFactory VirtualClock::factory()
{
    return [this](QObject *parent) -> Timer * {
        auto *timer = new VirtualTimer(this, parent);
        m_timers.append(timer);
        return timer;
    };
}

void VirtualClock::advance(ms span)
{
    const ms end = m_now + span;
    for (;;) {
        VirtualTimer *next = nullptr;
        for (const QPointer<VirtualTimer> &t : std::as_const(m_timers))
            if (t && t->m_active && t->m_due <= end
                && (!next || t->m_due < next->m_due || (t->m_due == next->m_due && t->m_order < next->m_order)))
                next = t;
        if (!next)
            break;
        m_now = next->m_due;
        next->fire();
    }
    m_now = end;
}
