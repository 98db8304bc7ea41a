#include "outbox.h"

#include <algorithm>
#include <cmath>

namespace projsim {

void Outbox::push(std::string bytes, Millis at)
{
    // Never before what was posted earlier, so pieces of two replies cannot
    // interleave; split pieces keep the gap from whatever went before.
    if (last_)
        at = std::max(at, *last_ + (settings_.split ? settings_.splitGapMs : 0));
    last_ = at;
    bytes_ += bytes.size();
    queue_.emplace_back(at, std::move(bytes));
}

void Outbox::post(std::string_view reply, Millis now)
{
    if (settings_.silent || reply.empty())
        return;
    const Millis at = now + settings_.delayMs;
    if (!settings_.split) {
        push(std::string(reply), at);
        return;
    }
    for (char c : reply)
        push(std::string(1, c), at);
}

std::string Outbox::takeDue(Millis now)
{
    std::string out;
    while (!queue_.empty() && queue_.front().first <= now) {
        out += queue_.front().second;
        bytes_ -= queue_.front().second.size();
        queue_.pop_front();
    }
    return out;
}

std::optional<Millis> Outbox::nextDue() const
{
    if (queue_.empty())
        return std::nullopt;
    return queue_.front().first;
}

std::uint64_t NoiseSource::dueBy(Millis now) const
{
    if (now <= start_)
        return 0;
    return static_cast<std::uint64_t>(std::floor(static_cast<double>(now - start_) * rate_ / 1000.0));
}

std::uint64_t NoiseSource::ready(Millis now, std::uint64_t chunk) const
{
    std::uint64_t n = chunk;
    if (limit_)
        n = std::min(n, *limit_ > sent_ ? *limit_ - sent_ : 0);
    if (paced()) {
        const std::uint64_t due = dueBy(now);
        n = std::min(n, due > sent_ ? due - sent_ : 0);
    }
    return n;
}

std::optional<Millis> NoiseSource::nextAt() const
{
    if (!paced() || done())
        return std::nullopt;
    Millis t = start_ + static_cast<Millis>(std::ceil(static_cast<double>(sent_ + 1) * 1000.0 / rate_));
    // Rounding may leave the estimate a millisecond short, and a wake with
    // nothing due would spin. No loop here: a stop is only seen in poll.
    if (dueBy(t) <= sent_)
        ++t;
    return t;
}

void NoiseSource::resume(Millis now)
{
    if (paced())
        start_ = now - static_cast<Millis>(std::ceil(static_cast<double>(sent_) * 1000.0 / rate_));
}

std::string NoiseSource::peek(std::uint64_t n) const
{
    std::string out(n, '\0');
    for (std::uint64_t i = 0; i < n; ++i)
        out[i] = static_cast<char>((sent_ + i) & 0xFF);
    return out;
}

} // namespace projsim
