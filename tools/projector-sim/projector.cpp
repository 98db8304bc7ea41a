#include "projector.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>

namespace projsim {

namespace {

constexpr Millis kNever = std::numeric_limits<Millis>::max();
constexpr Millis kHourMs = 3'600'000;

// Two upper-case hex digits each, after the leading 'C'.
constexpr std::array<std::string_view, 35> kCommands = {
    "00", "01", "02", "05", "07", "09", "0A", "0B", "0C", "0D", "0E", "0F", "10", "1C", "1D", "1E", "20", "21",
    "27", "2A", "2B", "30", "31", "3A", "3B", "3C", "3D", "3E", "3F", "43", "44", "89", "8A", "8E", "8F"};

constexpr std::string_view kQueries = "01346";

struct Sensor {
    double base;
    double periodS;
    double phase;
};
// Periods that share no factor, so the three read-outs never move in step.
constexpr std::array<Sensor, 3> kSensors = {{{25.0, 97.0, 0.0}, {30.5, 131.0, 1.0}, {27.0, 173.0, 2.0}}};

bool lampLit(Power p) { return p == Power::CountingDown || p == Power::On; }

} // namespace

Projector::Projector(Settings settings) : settings_(std::move(settings)) {}

std::string_view Projector::stateCode(Power p)
{
    switch (p) {
    case Power::Standby: return "80";
    case Power::CountingDown: return "40";
    case Power::On: return "00";
    case Power::CoolingDown: return "20";
    case Power::PmStandby: return "04";
    case Power::PmCoolingDown: return "24";
    }
    return "80";
}

bool Projector::isKnownCommand(std::string_view f)
{
    if (f.size() != 4 || f[0] != 'C' || f[3] != kCr)
        return false;
    return std::find(kCommands.begin(), kCommands.end(), f.substr(1, 2)) != kCommands.end();
}

bool Projector::isKnownQuery(std::string_view f)
{
    return f.size() == 4 && f[0] == 'C' && f[1] == 'R' && f[3] == kCr
           && kQueries.find(f[2]) != std::string_view::npos;
}

Millis Projector::nextTransition() const
{
    switch (power_) {
    case Power::CountingDown: return since_ + settings_.warmupMs;
    case Power::CoolingDown:
    case Power::PmCoolingDown: return since_ + settings_.cooldownMs;
    case Power::On:
        if (powerManagement_ && settings_.pmIdleMs > 0)
            return std::max(since_, lastCommand_) + settings_.pmIdleMs;
        return kNever;
    case Power::Standby:
    case Power::PmStandby: return kNever;
    }
    return kNever;
}

void Projector::account(Millis until)
{
    if (until <= accountedTo_)
        return;
    if (lampLit(power_))
        litMs_ += until - accountedTo_;
    accountedTo_ = until;
}

void Projector::advance(Millis now)
{
    for (Millis t = nextTransition(); t <= now; t = nextTransition()) {
        account(t);
        switch (power_) {
        case Power::CountingDown: power_ = Power::On; break;
        case Power::CoolingDown: power_ = Power::Standby; break;
        case Power::PmCoolingDown: power_ = Power::PmStandby; break;
        case Power::On: power_ = Power::PmCoolingDown; break;
        case Power::Standby:
        case Power::PmStandby: break;
        }
        since_ = t;
    }
    account(now);
}

Power Projector::power(Millis now)
{
    advance(std::max(now, accountedTo_));
    return power_;
}

long Projector::lampHours(Millis now)
{
    advance(std::max(now, accountedTo_));
    return settings_.startHours + static_cast<long>(litMs_ / kHourMs);
}

std::array<double, 3> Projector::temperatures(Millis now)
{
    advance(std::max(now, accountedTo_));
    // Driven by lamp time, so they wander while it is lit and hold still in
    // standby instead of jumping back.
    const double t = static_cast<double>(litMs_) / 1000.0;
    std::array<double, 3> out{};
    for (std::size_t i = 0; i < out.size(); ++i) {
        const Sensor &s = kSensors[i];
        const double v = s.base + 0.5 * std::sin(2 * std::numbers::pi * t / s.periodS + s.phase);
        out[i] = std::round(v * 10.0) / 10.0;
    }
    return out;
}

std::vector<Exchange> Projector::receive(std::string_view bytes, Millis now)
{
    now = std::max(now, accountedTo_);
    std::vector<Exchange> out;
    for (char c : bytes) {
        if (pending_.size() < kMaxFrame)
            pending_ += c;
        else
            ++pendingDropped_;

        if (c == kCr) {
            out.push_back(handle(std::move(pending_), pendingDropped_, now));
            pending_.clear();
            pendingDropped_ = 0;
        }
    }
    return out;
}

Exchange Projector::handle(std::string frame, std::size_t dropped, Millis now)
{
    advance(now);
    Exchange ex;
    if (isKnownCommand(frame)) {
        ex.known = true;
        apply(std::string_view(frame).substr(1, 2), now);
        ex.reply = std::string(1, kAck);
    } else if (isKnownQuery(frame)) {
        ex.known = true;
        ex.reply = query(frame[2], now) + kCr;
    } else {
        ex.reply = std::string("?") + kCr;
    }
    ex.frame = std::move(frame);
    ex.dropped = dropped;
    return ex;
}

void Projector::apply(std::string_view code, Millis now)
{
    lastCommand_ = now;
    const auto enter = [&](Power p) {
        power_ = p;
        since_ = now;
    };
    if (code == "00") {
        if (power_ == Power::Standby || power_ == Power::PmStandby)
            enter(Power::CountingDown);
    } else if (code == "01" || code == "02") {
        // Ignored while counting down: a lamp that is striking is not cut.
        if (power_ == Power::On)
            enter(Power::CoolingDown);
        else if (power_ == Power::PmStandby)
            enter(Power::Standby);
    } else if (code == "05") {
        pcInput_ = true;
    } else if (code == "07") {
        pcInput_ = false;
    } else if (code == "2A") {
        powerManagement_ = true;
    } else if (code == "2B") {
        powerManagement_ = false;
    }
}

std::string Projector::query(char which, Millis now)
{
    switch (which) {
    case '0': return std::string(stateCode(power_));
    case '1': return pcInput_ ? "1" : "3";
    case '3': {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%04ld", std::clamp(lampHours(now), 0L, 9999L));
        return buf;
    }
    case '4': return settings_.reversal;
    case '6': {
        // "sTT.T sTT.T sTT.T", s the sign: three signed fields of five with a
        // space between. The panel reads characters 1-5, 8-11 and 13-17, so it
        // skips the second field's sign (character 7) and both spaces.
        const auto t = temperatures(now);
        char buf[32];
        const auto f = [](double v) { return std::clamp(v, -99.9, 99.9); };
        std::snprintf(buf, sizeof buf, "%+05.1f %+05.1f %+05.1f", f(t[0]), f(t[1]), f(t[2]));
        return buf;
    }
    default: return {};
    }
}

std::string escapeFrame(std::string_view frame)
{
    std::string out;
    out.reserve(frame.size() + 4);
    for (unsigned char c : frame) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            char buf[5];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

} // namespace projsim
