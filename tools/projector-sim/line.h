// Where the panel's bytes come and go: a raw pseudo-terminal, or a loopback
// TCP port and the client being served.
#pragma once

#include "options.h"

#include <optional>
#include <string>

namespace projsim {

struct Line {
    int io = -1;       // the terminal's master, or the client; -1 while none is
    int slave = -1;    // the terminal's own end, held open
    int listener = -1; // TCP only
    std::string name;  // for the first line of stdout

    bool tcp() const { return listener >= 0; }
};

std::optional<Line> openPty();
std::optional<Line> listenTcp(const Loopback &at);

// A stale link at `link` is replaced; anything else there is refused, on stderr.
bool makeLink(const std::string &link, const std::string &target);
// Only our own: another simulator may have taken the path over since.
void removeLink(const std::string &link, const std::string &target);

} // namespace projsim
