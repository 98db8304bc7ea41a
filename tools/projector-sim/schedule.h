// When the loop wakes, what it waits for, and when it may hang up. Pure, so
// tests drive it with made-up times and state.
#pragma once

#include "projector.h"

#include <optional>

namespace projsim {

// What the loop knows as it is about to wait.
struct LoopState {
    Millis now = 0;
    bool client = true;                // false while a TCP port waits for one
    bool closing = false;              // the frames for --hangup-after have come
    bool full = false;                 // as much owed as a device would hold
    bool unwritten = false;            // due bytes the line has not taken yet
    std::optional<Millis> replyDue{};  // the next reply still held back
    bool noise = false;                // noise still to send
    bool noiseBlocked = false;         // the line took less noise than offered
    std::optional<Millis> noiseNext{}; // the next byte of paced noise; none for a flood
    int unread = 0;                    // written, not yet read at the far end
    Millis lastWrite = 0;
};

struct Wait {
    std::optional<Millis> until; // none: until the line or a signal stirs
    bool read = false;           // the line's input, or a client to accept
    bool write = false;          // room on the line
    bool operator==(const Wait &) const = default;
};

Wait nextWait(const LoopState &s);

// A hangup makes the far end unreadable at once, so the last replies must
// have been read first; a panel that reads nothing is given a second.
bool readyToHangUp(const LoopState &s);

} // namespace projsim
