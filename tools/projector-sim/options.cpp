#include "options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include <arpa/inet.h>

namespace projsim {

const std::string_view kUsage =
    "usage: projector-sim [options]\n"
    "Simulates the projector on a pseudo-terminal and prints its device path\n"
    "on the first line of standard output.\n"
    "\n"
    "  --tcp ADDR:PORT     listen on TCP instead: ADDR a loopback address such as\n"
    "                      127.0.0.1, PORT 0 for any free one; prints\n"
    "                      tcp://ADDR:PORT and serves one client at a time,\n"
    "                      telling any other \"Port already in use\"\n"
    "  --link PATH         also make PATH a symbolic link to the device (no --tcp)\n"
    "  --log FILE          log every received frame with its time in ms\n"
    "  --warmup SECONDS    counting down after power on (default 10)\n"
    "  --cooldown SECONDS  cooling down after power off (default 10)\n"
    "  --pm-idle SECONDS   with power management on, time on without a\n"
    "                      command before it goes to standby (default 300, 0 never)\n"
    "  --hours N           lamp hours at start, 0 to 9999 (default 1234)\n"
    "  --reversal XX       picture reversal reply: 11, 10, 01 or 00 (default 11)\n"
    "faults:\n"
    "  --silent            never answer\n"
    "  --delay MS          send each reply MS milliseconds late\n"
    "  --split             send replies a byte at a time\n"
    "  --split-gap MS      pause between those bytes (default 30; implies --split)\n"
    "  --noise RATE        unsolicited bytes 0..255 cycling, RATE a second;\n"
    "                      'line' is 1920 (19200 baud), 'max' as fast as accepted\n"
    "  --noise-bytes N     stop the noise after N bytes\n"
    "  --hangup-after N    close the terminal or connection after N frames, exit 0\n"
    "  -h, --help          this text\n"
    "SECONDS go up to 1000000, MS to 1000000000, RATE from 0.001 to 1000000,\n"
    "counts N up to 1000000000000000.\n";

namespace {

// Every number has a range that keeps the times and counts built from it well
// inside 64 bits: a noise rate of 1e-16 once put the next byte past them.
constexpr double kMaxSeconds = 1e6; // about eleven days
constexpr double kMaxMs = kMaxSeconds * 1000;
constexpr double kMaxCount = 1e15; // bytes or frames; doubles are still exact there
constexpr double kMinNoiseRate = 1e-3;
constexpr double kMaxNoiseRate = 1e6;
constexpr double kMaxHours = 9999; // the four digits of CR3
constexpr double kMaxPort = 65535;
constexpr std::uint32_t kLoopbackNet = 127; // 127.0.0.0/8

Millis secondsToMs(double seconds) { return std::llround(seconds * 1000.0); }

struct NumberOption {
    std::string_view name;
    double min;
    double max;
    bool whole;
    void (*apply)(Options &, double);
};

constexpr NumberOption kNumberOptions[] = {
    {"--warmup", 0, kMaxSeconds, false, [](Options &o, double v) { o.projector.warmupMs = secondsToMs(v); }},
    {"--cooldown", 0, kMaxSeconds, false,
     [](Options &o, double v) { o.projector.cooldownMs = secondsToMs(v); }},
    {"--pm-idle", 0, kMaxSeconds, false, [](Options &o, double v) { o.projector.pmIdleMs = secondsToMs(v); }},
    {"--hours", 0, kMaxHours, true,
     [](Options &o, double v) { o.projector.startHours = static_cast<long>(v); }},
    {"--delay", 0, kMaxMs, true, [](Options &o, double v) { o.outbox.delayMs = static_cast<Millis>(v); }},
    {"--split-gap", 0, kMaxMs, true,
     [](Options &o, double v) {
         o.outbox.splitGapMs = static_cast<Millis>(v);
         o.outbox.split = true;
     }},
    {"--noise", kMinNoiseRate, kMaxNoiseRate, false, [](Options &o, double v) { o.noiseRate = v; }},
    {"--noise-bytes", 0, kMaxCount, true,
     [](Options &o, double v) { o.noiseBytes = static_cast<std::uint64_t>(v); }},
    {"--hangup-after", 1, kMaxCount, true,
     [](Options &o, double v) { o.hangupAfter = static_cast<std::uint64_t>(v); }},
};

// NaN fails every comparison, so it is out of range too.
std::optional<double> parseNumber(const std::string &s, double min, double max, bool whole)
{
    if (s.empty())
        return std::nullopt;
    char *end = nullptr;
    errno = 0;
    const double v = std::strtod(s.c_str(), &end);
    if (errno != 0 || *end != '\0' || !(v >= min && v <= max) || (whole && v != std::floor(v)))
        return std::nullopt;
    return v;
}

// Only the loopback address: the simulator is no device to put on a network.
std::optional<Loopback> parseLoopback(const std::string &s)
{
    const auto colon = s.rfind(':');
    const auto port =
        colon == std::string::npos ? std::nullopt : parseNumber(s.substr(colon + 1), 0, kMaxPort, true);
    in_addr address{};
    if (!port || inet_pton(AF_INET, s.substr(0, colon).c_str(), &address) != 1
        || ntohl(address.s_addr) >> 24 != kLoopbackNet)
        return std::nullopt;
    return Loopback{ntohl(address.s_addr), static_cast<std::uint16_t>(*port)};
}

std::string describeRange(const NumberOption &n)
{
    char text[96];
    std::snprintf(text, sizeof text, "%s%.15g to %.15g", n.whole ? "a whole number, " : "", n.min, n.max);
    return text;
}

} // namespace

CommandLine parseCommandLine(const std::vector<std::string> &args)
{
    CommandLine cl;
    Options &o = cl.options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        std::optional<std::string> &err = cl.error;
        const auto value = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < args.size())
                return args[++i];
            err = name + " needs a value";
            return std::nullopt;
        };
        const bool flag = !inlineValue;
        const auto number = std::find_if(std::begin(kNumberOptions), std::end(kNumberOptions),
                                         [&](const NumberOption &n) { return n.name == name; });

        if ((name == "-h" || name == "--help") && flag) {
            cl.help = true;
        } else if (name == "--silent" && flag) {
            o.outbox.silent = true;
        } else if (name == "--split" && flag) {
            o.outbox.split = true;
        } else if (name == "--link" || name == "--log") {
            if (const auto v = value(); v && !v->empty())
                (name == "--link" ? o.link : o.logPath) = *v;
            else
                err = name + " needs a path";
        } else if (name == "--reversal") {
            const auto v = value();
            if (v && (*v == "11" || *v == "10" || *v == "01" || *v == "00"))
                o.projector.reversal = *v;
            else
                err = "--reversal takes 11, 10, 01 or 00";
        } else if (name == "--tcp") {
            const auto v = value();
            if (const auto at = v ? parseLoopback(*v) : std::nullopt)
                o.tcp = at;
            else if (v)
                err =
                    "--tcp takes a loopback address and a port 0 to 65535, e.g. 127.0.0.1:0, not '" + *v + "'";
        } else if (number != std::end(kNumberOptions)) {
            const auto v = value();
            if (name == "--noise" && v == "max")
                o.noiseRate = 0;
            else if (name == "--noise" && v == "line")
                o.noiseRate = NoiseSource::kLineRate;
            else if (const auto n = v ? parseNumber(*v, number->min, number->max, number->whole) : std::nullopt)
                number->apply(o, *n);
            else if (v)
                err = name + " takes " + describeRange(*number) + (name == "--noise" ? ", 'line' or 'max'" : "")
                      + ", not '" + *v + "'";
        } else {
            err = "unknown option: " + args[i];
        }
        if (err)
            return cl;
    }
    if (o.noiseBytes && !o.noiseRate)
        cl.error = "--noise-bytes needs --noise";
    else if (o.tcp && !o.link.empty())
        cl.error = "--link names a device, and --tcp has none";
    return cl;
}

} // namespace projsim
