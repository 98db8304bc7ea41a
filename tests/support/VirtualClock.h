#pragma once

#include "link/Timer.h"

#include <QList>
#include <QPointer>

#include <chrono>

// Virtual time for the panel's timers: advance(n) runs every tick due in the next n ms,
// in order, each at its own moment, so no test waits for real time.
class VirtualClock
{
public:
    using ms = std::chrono::milliseconds;

    TimerFactory factory();
    void advance(ms span);
    ms now() const { return m_now; }

private:
    class VirtualTimer;
    friend class VirtualTimer;

    ms m_now{0};
    quint64 m_sequence = 0; // breaks ties: the timer started first ticks first
    QList<QPointer<VirtualTimer>> m_timers;
};
