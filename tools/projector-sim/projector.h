// The simulated projector without any terminal: bytes and the time go in,
// reply bytes come out, so the protocol can be tested with injected time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace projsim {

using Millis = std::int64_t; // since the simulator started

inline constexpr char kAck = '\x06';
inline constexpr char kCr = '\r';

enum class Power { Standby, CountingDown, On, CoolingDown, PmStandby, PmCoolingDown };

struct Settings {
    Millis warmupMs = 10'000;
    Millis cooldownMs = 10'000;
    // With power management on, this long on without a command sends it to
    // power-management standby. 0 never does.
    Millis pmIdleMs = 300'000;
    long startHours = 1234;
    std::string reversal = "11";
    bool operator==(const Settings &) const = default;
};

// One frame the panel sent, and what the projector says to it.
struct Exchange {
    std::string frame;       // as received, CR included, unless cut at kMaxFrame
    std::size_t dropped = 0; // bytes past kMaxFrame that were thrown away
    std::string reply;
    bool known = false;
};

class Projector {
public:
    static constexpr std::size_t kMaxFrame = 64;

    explicit Projector(Settings settings = {});

    // `now` must not go backwards; if it does it is taken as the last time seen.
    std::vector<Exchange> receive(std::string_view bytes, Millis now);

    Power power(Millis now);
    long lampHours(Millis now);
    std::array<double, 3> temperatures(Millis now);
    bool pcInput() const { return pcInput_; }
    bool powerManagement() const { return powerManagement_; }

    static std::string_view stateCode(Power p);
    static bool isKnownCommand(std::string_view frame);
    static bool isKnownQuery(std::string_view frame);

private:
    void advance(Millis now);
    void account(Millis until);
    Millis nextTransition() const;
    Exchange handle(std::string frame, std::size_t dropped, Millis now);
    void apply(std::string_view code, Millis now);
    std::string query(char which, Millis now);

    Settings settings_;
    Power power_ = Power::Standby;
    Millis since_ = 0;       // when power_ was entered
    Millis lastCommand_ = 0; // queries do not count as activity
    Millis accountedTo_ = 0;
    Millis litMs_ = 0; // lamp time since start
    bool pcInput_ = true;
    bool powerManagement_ = false;
    std::string pending_;
    std::size_t pendingDropped_ = 0;
};

// Frame text for the log: printable ASCII as is, CR as \r, backslash as \\,
// anything else as \xNN.
std::string escapeFrame(std::string_view frame);

} // namespace projsim
