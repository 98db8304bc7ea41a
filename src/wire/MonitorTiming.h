#pragma once

#include <chrono>

// After a send: how long a reply may take before the monitor marks it missing (Timer2), and
// how long the monitor shows the exchange before it is blanked (Timer4).
struct MonitorTiming
{
    std::chrono::milliseconds replyTimeout;
    std::chrono::milliseconds monitorClear;
};
