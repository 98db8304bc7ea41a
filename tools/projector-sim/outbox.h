// When the simulator's bytes go out: replies late or in pieces, and the
// unsolicited noise at its pace. Pure, so it can be driven with made-up times.
#pragma once

#include "projector.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace projsim {

struct OutboxSettings {
    bool silent = false;
    Millis delayMs = 0;
    bool split = false;
    Millis splitGapMs = 30;
    bool operator==(const OutboxSettings &) const = default;
};

class Outbox {
public:
    explicit Outbox(OutboxSettings settings = {}) : settings_(settings) {}

    void post(std::string_view reply, Millis now);
    // Everything due by `now`, in the order it was posted.
    std::string takeDue(Millis now);
    std::optional<Millis> nextDue() const;
    bool empty() const { return queue_.empty(); }
    std::size_t bytes() const { return bytes_; }

private:
    void push(std::string bytes, Millis at);

    OutboxSettings settings_;
    std::deque<std::pair<Millis, std::string>> queue_;
    std::optional<Millis> last_;
    std::size_t bytes_ = 0;
};

// Bytes 0, 1, ..., 255, 0, 1, ... at a fixed pace, or as fast as they can
// be written when the rate is 0.
class NoiseSource {
public:
    static constexpr double kLineRate = 1920; // 19200 baud, ten bits a byte

    NoiseSource(double bytesPerSecond, std::optional<std::uint64_t> limit, Millis start)
        : rate_(bytesPerSecond), limit_(limit), start_(start)
    {
    }

    bool paced() const { return rate_ > 0; }
    bool done() const { return limit_ && sent_ >= *limit_; }
    std::uint64_t sent() const { return sent_; }
    // How many bytes may go out by `now`, at most `chunk`.
    std::uint64_t ready(Millis now, std::uint64_t chunk) const;
    // When the next paced byte is due; none when done or unpaced.
    std::optional<Millis> nextAt() const;
    // The next n bytes of the cycle; commit() what was actually written.
    std::string peek(std::uint64_t n) const;
    void commit(std::uint64_t n) { sent_ += n; }
    // Carry on at the pace from `now`, without catching up on time lost
    // while the terminal took nothing: a line does not burst after a stall.
    void resume(Millis now);

private:
    std::uint64_t dueBy(Millis now) const;

    double rate_;
    std::optional<std::uint64_t> limit_;
    Millis start_;
    std::uint64_t sent_ = 0;
};

} // namespace projsim
