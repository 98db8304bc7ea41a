#include "schedule.h"

namespace projsim {

namespace {

constexpr Millis kClosingPollMs = 10; // nothing tells when the far end has read
constexpr Millis kSettleMs = 50;      // the kernel hands written bytes on late
constexpr Millis kGiveUpMs = 1000;

} // namespace

Wait nextWait(const LoopState &s)
{
    Wait w{s.replyDue};
    const bool noise = s.noise && s.client && !s.closing;
    if (noise && !s.noiseNext && !s.noiseBlocked && !s.unwritten)
        w.until = s.now; // more flood to write as soon as input has had its turn
    else if (noise && !s.noiseBlocked && s.noiseNext && (!w.until || *s.noiseNext < *w.until))
        w.until = s.noiseNext;
    if (s.closing && (!w.until || *w.until > s.now + kClosingPollMs))
        w.until = s.now + kClosingPollMs;
    // Past the last frame, input is left unread.
    w.read = !s.client || !(s.closing || s.full);
    w.write = s.client && (s.unwritten || (noise && s.noiseBlocked));
    return w;
}

bool readyToHangUp(const LoopState &s)
{
    if (!s.client) // it left first
        return true;
    if (s.replyDue)
        return false;
    if (s.now - s.lastWrite >= kGiveUpMs)
        return true;
    return !s.unwritten && s.unread == 0 && s.now - s.lastWrite >= kSettleMs;
}

} // namespace projsim
