// The command line: what each option takes, in what range, and the usage.
#pragma once

#include "outbox.h"
#include "projector.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace projsim {

// A loopback address and port, both in host order.
struct Loopback {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
    bool operator==(const Loopback &) const = default;
};

struct Options {
    std::string link{};
    std::string logPath{};
    Settings projector{};
    OutboxSettings outbox{};
    std::optional<double> noiseRate{}; // 0: as fast as the terminal takes it
    std::optional<std::uint64_t> noiseBytes{};
    std::optional<std::uint64_t> hangupAfter{};
    std::optional<Loopback> tcp{};
    bool operator==(const Options &) const = default;
};

struct CommandLine {
    Options options;
    bool help = false;
    std::optional<std::string> error; // why the command line is refused
};

extern const std::string_view kUsage;

// The arguments after the program's name.
CommandLine parseCommandLine(const std::vector<std::string> &args);

} // namespace projsim
