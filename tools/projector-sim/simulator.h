// The simulator's one loop: the projector on its line, replies and noise paced
// out, a stop signal or --hangup-after to end it.
#pragma once

#include "line.h"
#include "options.h"
#include "outbox.h"
#include "projector.h"
#include "schedule.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include <sys/types.h>

namespace projsim {

// SIGINT, SIGTERM and SIGHUP end the run; blocked but inside its wait, so a
// stop can't slip in between the check and the wait.
void blockStopSignals();

class Simulator {
public:
    Simulator(const Options &o, Line line, std::FILE *log);

    // 0 when stopped or hung up, 1 on a failure told on stderr.
    int run();

private:
    Millis now() const;
    LoopState state(Millis now) const;
    bool accept();
    bool turnAway();
    void dropClient();
    ssize_t writeOut(std::string_view data);
    bool readInput();
    bool logFrame(const Exchange &ex, Millis now);
    bool flush(Millis now);
    bool sendNoise(Millis now);
    bool stdoutUnread();
    void hangUp();

    // As a device's buffer: with this much owed, input waits in the line's
    // own queue until the panel reads.
    static constexpr std::size_t kMaxOwedBytes = 4096;

    const Options &o_;
    Line line_;
    std::FILE *log_;
    Projector projector_;
    Outbox outbox_;
    std::optional<NoiseSource> noise_;
    std::chrono::steady_clock::time_point start_;
    std::string out_; // due replies the terminal has not taken yet
    bool noiseBlocked_ = false;
    std::uint64_t frames_ = 0;
    bool closing_ = false; // the frames for --hangup-after have come
    Millis lastWrite_ = 0;
    // A pipe on stdout whose reader may leave with the device line unread.
    int watchedStdout_ = -1;
};

} // namespace projsim
