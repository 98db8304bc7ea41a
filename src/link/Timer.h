#pragma once

#include <QObject>

#include <chrono>
#include <functional>

// One of the panel's timers: an interval, start and stop, ticks on the UI thread. Starting a
// running timer, or setting the interval of a running timer, restarts its count from the
// interval; the hold-to-repeat timing relies on the latter.
class Timer : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void setInterval(std::chrono::milliseconds interval) = 0;
    virtual void start() = 0;
    virtual void stop() = 0;

Q_SIGNALS:
    void timeout();
};

// Where the panel gets its timers: QTimer in the programs, a virtual clock in tests.
using TimerFactory = std::function<Timer *(QObject *parent)>;

Timer *makeQtTimer(QObject *parent);
