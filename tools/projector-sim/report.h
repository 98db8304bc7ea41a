// How the simulator tells what went wrong: on stderr, with the system's reason.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace projsim {

// Says what failed and why; false, for the caller to pass on.
bool complain(const std::string &what);

// All of it and flushed, or complains of standard output.
bool print(std::FILE *out, std::string_view text);

} // namespace projsim
