// projector-sim: a projector on a pseudo-terminal, for trying the panel
// without the hardware. One thread, one poll() loop.
#include "outbox.h"
#include "projector.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using namespace projsim;

namespace {

constexpr std::string_view kUsage =
    "usage: projector-sim [options]\n"
    "Simulates the projector on a pseudo-terminal and prints its device path\n"
    "on the first line of standard output.\n"
    "\n"
    "  --link PATH         also make PATH a symbolic link to the device\n"
    "  --log FILE          log every received frame with its time in ms\n"
    "  --warmup SECONDS    counting down after power on (default 10)\n"
    "  --cooldown SECONDS  cooling down after power off (default 10)\n"
    "  --pm-idle SECONDS   with power management on, time on without a\n"
    "                      command before it goes to standby (default 300, 0 never)\n"
    "  --hours N           lamp hours at start (default 1234)\n"
    "  --reversal XX       picture reversal reply: 11, 10, 01 or 00 (default 11)\n"
    "faults:\n"
    "  --silent            never answer\n"
    "  --delay MS          send each reply MS milliseconds late\n"
    "  --split             send replies a byte at a time\n"
    "  --split-gap MS      pause between those bytes (default 30; implies --split)\n"
    "  --noise RATE        unsolicited bytes 0..255 cycling, RATE a second;\n"
    "                      'line' is 1920 (19200 baud), 'max' as fast as accepted\n"
    "  --noise-bytes N     stop the noise after N bytes\n"
    "  --hangup-after N    close the terminal after N frames and exit 0\n"
    "  -h, --help          this text\n";

struct Options {
    std::string link;
    std::string logPath;
    Settings projector;
    OutboxSettings outbox;
    std::optional<double> noiseRate; // 0: as fast as the terminal takes it
    std::optional<std::uint64_t> noiseBytes;
    std::optional<std::uint64_t> hangupAfter;
};

std::optional<double> parseNumber(const std::string &s)
{
    if (s.empty())
        return std::nullopt;
    char *end = nullptr;
    errno = 0;
    const double v = std::strtod(s.c_str(), &end);
    if (errno != 0 || *end != '\0' || !(v >= 0) || v > 1e12)
        return std::nullopt;
    return v;
}

// Returns an error message, or nothing when all is well.
std::optional<std::string> parseOptions(int argc, char **argv, Options &o, bool &help)
{
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        std::optional<std::string> err;
        const auto value = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < argc)
                return std::string(argv[++i]);
            err = name + " needs a value";
            return std::nullopt;
        };
        const auto number = [&](bool whole) -> std::optional<double> {
            const auto v = value();
            if (!v)
                return std::nullopt;
            const auto n = parseNumber(*v);
            if (!n || (whole && *n != std::floor(*n))) {
                err = "bad value for " + name + ": '" + *v + "'";
                return std::nullopt;
            }
            return n;
        };
        const auto ms = [](double seconds) { return static_cast<Millis>(std::llround(seconds * 1000.0)); };
        const bool flag = !inlineValue;

        if ((name == "-h" || name == "--help") && flag) {
            help = true;
        } else if (name == "--silent" && flag) {
            o.outbox.silent = true;
        } else if (name == "--split" && flag) {
            o.outbox.split = true;
        } else if (name == "--link" || name == "--log") {
            if (const auto v = value(); v && !v->empty())
                (name == "--link" ? o.link : o.logPath) = *v;
            else
                err = name + " needs a path";
        } else if (name == "--warmup") {
            if (const auto n = number(false))
                o.projector.warmupMs = ms(*n);
        } else if (name == "--cooldown") {
            if (const auto n = number(false))
                o.projector.cooldownMs = ms(*n);
        } else if (name == "--pm-idle") {
            if (const auto n = number(false))
                o.projector.pmIdleMs = ms(*n);
        } else if (name == "--hours") {
            if (const auto n = number(true))
                o.projector.startHours = static_cast<long>(std::min(*n, 9999.0));
        } else if (name == "--reversal") {
            const auto v = value();
            if (v && (*v == "11" || *v == "10" || *v == "01" || *v == "00"))
                o.projector.reversal = *v;
            else
                err = "--reversal takes 11, 10, 01 or 00";
        } else if (name == "--delay") {
            if (const auto n = number(true))
                o.outbox.delayMs = static_cast<Millis>(*n);
        } else if (name == "--split-gap") {
            if (const auto n = number(true)) {
                o.outbox.splitGapMs = static_cast<Millis>(*n);
                o.outbox.split = true;
            }
        } else if (name == "--noise") {
            const auto v = value();
            if (v == "max")
                o.noiseRate = 0;
            else if (v == "line")
                o.noiseRate = NoiseSource::kLineRate;
            else if (const auto r = v ? parseNumber(*v) : std::nullopt; r && *r > 0)
                o.noiseRate = *r;
            else
                err = "--noise takes a rate, 'line' or 'max'";
        } else if (name == "--noise-bytes") {
            if (const auto n = number(true))
                o.noiseBytes = static_cast<std::uint64_t>(*n);
        } else if (name == "--hangup-after") {
            if (const auto n = number(true); n && *n >= 1)
                o.hangupAfter = static_cast<std::uint64_t>(*n);
            else if (!err)
                err = "--hangup-after needs at least 1";
        } else {
            err = "unknown option: " + std::string(argv[i]);
        }
        if (err)
            return err;
    }
    if (o.noiseBytes && !o.noiseRate)
        return "--noise-bytes needs --noise";
    return std::nullopt;
}

volatile std::sig_atomic_t stopRequested = 0;
extern "C" void onStopSignal(int) { stopRequested = 1; }

void makeRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return;
    cfmakeraw(&t);
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
    tcsetattr(fd, TCSANOW, &t);
}

struct Pty {
    int master = -1;
    int slave = -1;
    std::string path;
};

std::optional<Pty> openPty()
{
    Pty p;
    p.master = posix_openpt(O_RDWR | O_NOCTTY);
    if (p.master < 0 || grantpt(p.master) != 0 || unlockpt(p.master) != 0)
        return std::nullopt;
    const char *name = ptsname(p.master);
    if (!name)
        return std::nullopt;
    p.path = name;
    // Held open so the master never sees a hangup while the panel is away.
    p.slave = open(name, O_RDWR | O_NOCTTY);
    if (p.slave < 0)
        return std::nullopt;
    makeRaw(p.slave);
    makeRaw(p.master);
    fcntl(p.master, F_SETFL, fcntl(p.master, F_GETFL) | O_NONBLOCK);
    return p;
}

bool makeLink(const std::string &link, const std::string &target)
{
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            std::fprintf(stderr, "projector-sim: %s exists and is not a link\n", link.c_str());
            return false;
        }
        unlink(link.c_str());
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "projector-sim: cannot link %s: %s\n", link.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

// Only our own: another simulator may have taken the path over since.
void removeLink(const std::string &link, const std::string &target)
{
    char buf[512];
    const ssize_t n = readlink(link.c_str(), buf, sizeof buf);
    if (n >= 0 && std::string_view(buf, static_cast<std::size_t>(n)) == target)
        unlink(link.c_str());
}

// Bytes written, 0 when the terminal is full, -1 on a real error.
ssize_t writeSome(int fd, std::string_view data)
{
    for (;;) {
        const ssize_t n = write(fd, data.data(), data.size());
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        return -1;
    }
}

class Simulator {
public:
    Simulator(const Options &o, Pty pty, std::FILE *log)
        : o_(o), pty_(std::move(pty)), log_(log), projector_(o.projector), outbox_(o.outbox),
          start_(std::chrono::steady_clock::now())
    {
        if (o.noiseRate)
            noise_.emplace(*o.noiseRate, o.noiseBytes, 0);
    }

    int run();

private:
    Millis now() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_)
            .count();
    }
    bool readInput();
    bool flush(Millis now);
    bool sendNoise(Millis now);
    bool readyToHangUp(Millis now) const;
    void hangUp();

    const Options &o_;
    Pty pty_;
    std::FILE *log_;
    Projector projector_;
    Outbox outbox_;
    std::optional<NoiseSource> noise_;
    std::chrono::steady_clock::time_point start_;
    std::string out_; // due replies the terminal has not taken yet
    bool noiseBlocked_ = false;
    std::uint64_t frames_ = 0;
    bool closing_ = false; // the frames for --hangup-after have come
    Millis lastWrite_ = 0;
};

bool Simulator::readInput()
{
    char buf[4096];
    const ssize_t n = read(pty_.master, buf, sizeof buf);
    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    if (n == 0)
        return false;
    const Millis t = now();
    for (const Exchange &ex : projector_.receive(std::string_view(buf, static_cast<std::size_t>(n)), t)) {
        if (log_) {
            std::fprintf(log_, "%lld %s", static_cast<long long>(t), escapeFrame(ex.frame).c_str());
            if (ex.dropped)
                std::fprintf(log_, " [+%zu bytes]", ex.dropped);
            std::fputc('\n', log_);
            std::fflush(log_);
        }
        outbox_.post(ex.reply, t);
        if (o_.hangupAfter && ++frames_ >= *o_.hangupAfter) {
            closing_ = true;
            lastWrite_ = t;
            break;
        }
    }
    return true;
}

bool Simulator::flush(Millis t)
{
    while (!out_.empty()) {
        const ssize_t n = writeSome(pty_.master, out_);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        out_.erase(0, static_cast<std::size_t>(n));
        lastWrite_ = t;
    }
    return true;
}

bool Simulator::sendNoise(Millis t)
{
    if (!noise_ || noise_->done())
        return true;
    if (noiseBlocked_)
        noise_->resume(t);
    noiseBlocked_ = false;
    // Paced noise goes a byte per write, as a real line delivers it; unpaced
    // in big chunks, but never so long that input waits.
    const std::uint64_t chunk = noise_->paced() ? 1 : 4096;
    for (int rounds = 0; rounds < 64; ++rounds) {
        const std::uint64_t n = noise_->ready(t, chunk);
        if (n == 0)
            break;
        const ssize_t w = writeSome(pty_.master, noise_->peek(n));
        if (w < 0)
            return false;
        noise_->commit(static_cast<std::uint64_t>(w));
        if (static_cast<std::uint64_t>(w) < n) {
            noiseBlocked_ = true;
            break;
        }
    }
    return true;
}

// A hangup makes the far end unreadable at once, so the last replies must
// have been read first; a panel that reads nothing is given a second.
bool Simulator::readyToHangUp(Millis t) const
{
    constexpr Millis kSettleMs = 50; // the kernel hands written bytes on late
    constexpr Millis kGiveUpMs = 1000;
    if (!outbox_.empty())
        return false;
    if (t - lastWrite_ >= kGiveUpMs)
        return true;
    if (!out_.empty())
        return false;
    int unread = 0;
    ioctl(pty_.slave, TIOCINQ, &unread);
    return unread == 0 && t - lastWrite_ >= kSettleMs;
}

void Simulator::hangUp()
{
    close(pty_.master);
    close(pty_.slave);
    pty_.master = pty_.slave = -1;
}

int Simulator::run()
{
    sigset_t waitMask;
    sigprocmask(SIG_SETMASK, nullptr, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGHUP);

    while (!stopRequested) {
        const Millis t = now();
        out_ += outbox_.takeDue(t);
        if (!flush(t) || (out_.empty() && !closing_ && !sendNoise(t))) {
            std::fprintf(stderr, "projector-sim: write: %s\n", std::strerror(errno));
            return 1;
        }
        if (closing_ && readyToHangUp(t))
            break;

        std::optional<Millis> wake = outbox_.nextDue();
        const bool noiseWaiting = noise_ && !noise_->done() && !closing_;
        if (noiseWaiting && !noise_->paced() && !noiseBlocked_ && out_.empty())
            wake = t; // more flood to write as soon as input has had its turn
        else if (noiseWaiting && !noiseBlocked_)
            if (const auto n = noise_->nextAt(); n && (!wake || *n < *wake))
                wake = n;

        if (closing_ && (!wake || *wake > t + 10))
            wake = t + 10;

        // Past the last frame, input is left unread.
        pollfd pfd{pty_.master, static_cast<short>(closing_ ? 0 : POLLIN), 0};
        if (!out_.empty() || (noiseBlocked_ && !closing_))
            pfd.events |= POLLOUT;
        timespec ts{};
        if (wake) {
            const Millis ms = std::max<Millis>(0, *wake - t);
            ts.tv_sec = ms / 1000;
            ts.tv_nsec = (ms % 1000) * 1'000'000;
        }
        const int r = ppoll(&pfd, 1, wake ? &ts : nullptr, &waitMask);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "projector-sim: poll: %s\n", std::strerror(errno));
            return 1;
        }
        if ((pfd.revents & POLLIN) && !readInput()) {
            std::fprintf(stderr, "projector-sim: read: %s\n", std::strerror(errno));
            return 1;
        }
    }
    hangUp();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    Options opts;
    bool help = false;
    if (const auto err = parseOptions(argc, argv, opts, help)) {
        std::fprintf(stderr, "projector-sim: %s\n%.*s", err->c_str(), static_cast<int>(kUsage.size()),
                     kUsage.data());
        return 2;
    }
    if (help) {
        std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
        return 0;
    }

    std::signal(SIGPIPE, SIG_IGN);
    // Blocked except inside ppoll(), so a stop can't slip in between the
    // check and the wait.
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(s, &sa, nullptr);
        sigaddset(&stopSignals, s);
    }
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);

    std::FILE *log = nullptr;
    if (!opts.logPath.empty() && !(log = std::fopen(opts.logPath.c_str(), "w"))) {
        std::fprintf(stderr, "projector-sim: cannot open %s: %s\n", opts.logPath.c_str(), std::strerror(errno));
        return 1;
    }

    auto pty = openPty();
    if (!pty) {
        std::fprintf(stderr, "projector-sim: cannot open a pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    const std::string device = pty->path;
    if (!opts.link.empty() && !makeLink(opts.link, device))
        return 1;

    std::printf("%s\n", device.c_str());
    std::fflush(stdout);

    const int rc = Simulator(opts, std::move(*pty), log).run();

    if (!opts.link.empty())
        removeLink(opts.link, device);
    if (log)
        std::fclose(log);
    return rc;
}
