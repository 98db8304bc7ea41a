// projector-sim: a projector on a pseudo-terminal or a loopback TCP port, for
// trying the panel without the hardware. One thread, one poll() loop.
#include "outbox.h"
#include "projector.h"

#include <algorithm>
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

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
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
    "  --tcp ADDR:PORT     listen on TCP instead: ADDR a loopback address such as\n"
    "                      127.0.0.1, PORT 0 for any free one; prints\n"
    "                      tcp://ADDR:PORT and serves one client at a time\n"
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

struct Options {
    std::string link;
    std::string logPath;
    Settings projector;
    OutboxSettings outbox;
    std::optional<double> noiseRate; // 0: as fast as the terminal takes it
    std::optional<std::uint64_t> noiseBytes;
    std::optional<std::uint64_t> hangupAfter;
    std::optional<sockaddr_in> tcp;
};

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
std::optional<sockaddr_in> parseLoopback(const std::string &s)
{
    const auto colon = s.rfind(':');
    const auto port =
        colon == std::string::npos ? std::nullopt : parseNumber(s.substr(colon + 1), 0, kMaxPort, true);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    if (!port || inet_pton(AF_INET, s.substr(0, colon).c_str(), &at.sin_addr) != 1
        || ntohl(at.sin_addr.s_addr) >> 24 != kLoopbackNet)
        return std::nullopt;
    at.sin_port = htons(static_cast<std::uint16_t>(*port));
    return at;
}

std::string describeRange(const NumberOption &n)
{
    char text[96];
    std::snprintf(text, sizeof text, "%s%.15g to %.15g", n.whole ? "a whole number, " : "", n.min, n.max);
    return text;
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
        const bool flag = !inlineValue;
        const auto number = std::find_if(std::begin(kNumberOptions), std::end(kNumberOptions),
                                         [&](const NumberOption &n) { return n.name == name; });

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
            err = "unknown option: " + std::string(argv[i]);
        }
        if (err)
            return err;
    }
    if (o.noiseBytes && !o.noiseRate)
        return "--noise-bytes needs --noise";
    if (o.tcp && !o.link.empty())
        return "--link names a device, and --tcp has none";
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

// Where the panel's bytes come and go: the pseudo-terminal, or the TCP client
// being served.
struct Line {
    int io = -1;       // the terminal's master, or the client; -1 while none is
    int slave = -1;    // the terminal's own end, held open
    int listener = -1; // TCP only
    std::string name;  // for the first line of stdout

    bool tcp() const { return listener >= 0; }
};

std::optional<Line> openPty()
{
    Line p;
    p.io = posix_openpt(O_RDWR | O_NOCTTY);
    if (p.io < 0 || grantpt(p.io) != 0 || unlockpt(p.io) != 0)
        return std::nullopt;
    const char *name = ptsname(p.io);
    if (!name)
        return std::nullopt;
    p.name = name;
    // Held open so the master never sees a hangup while the panel is away.
    p.slave = open(name, O_RDWR | O_NOCTTY);
    if (p.slave < 0)
        return std::nullopt;
    makeRaw(p.slave);
    makeRaw(p.io);
    fcntl(p.io, F_SETFL, fcntl(p.io, F_GETFL) | O_NONBLOCK);
    return p;
}

std::optional<Line> listenTcp(const sockaddr_in &at)
{
    constexpr int kWaitingClients = 4; // more are held off by the kernel's retries
    Line l;
    l.listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    sockaddr_in bound{};
    socklen_t size = sizeof bound;
    if (l.listener < 0 || setsockopt(l.listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
        || bind(l.listener, reinterpret_cast<const sockaddr *>(&at), sizeof at) != 0
        || listen(l.listener, kWaitingClients) != 0
        || getsockname(l.listener, reinterpret_cast<sockaddr *>(&bound), &size) != 0)
        return std::nullopt;
    char host[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &bound.sin_addr, host, sizeof host);
    l.name = "tcp://" + std::string(host) + ':' + std::to_string(ntohs(bound.sin_port));
    return l;
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

// Says what failed and why, on stderr; false, for the caller to pass on.
bool complain(const std::string &what)
{
    std::fprintf(stderr, "projector-sim: %s: %s\n", what.c_str(), std::strerror(errno));
    return false;
}

bool writeStdout(std::string_view text)
{
    return (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0)
           || complain("cannot write standard output");
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
    Simulator(const Options &o, Line line, std::FILE *log)
        : o_(o), line_(std::move(line)), log_(log), projector_(o.projector), outbox_(o.outbox),
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
    bool accept();
    void dropClient();
    ssize_t writeOut(std::string_view data);
    bool readInput();
    bool logFrame(const Exchange &ex, Millis now);
    bool flush(Millis now);
    bool sendNoise(Millis now);
    bool readyToHangUp(Millis now) const;
    bool stdoutUnread();
    // As a device's buffer: with this much owed, input waits in the line's
    // own queue until the panel reads.
    bool full() const { return out_.size() + outbox_.bytes() >= kMaxOwedBytes; }

    static constexpr std::size_t kMaxOwedBytes = 4096;
    void hangUp();

    const Options &o_;
    Line line_;
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
    // A pipe on stdout whose reader may leave with the device line unread.
    int watchedStdout_ = -1;
};

bool Simulator::accept()
{
    line_.io = accept4(line_.listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (line_.io < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED
               || complain("accept");
    // Split replies must leave a byte at a time, not wait for an ACK to fill up.
    const int on = 1;
    setsockopt(line_.io, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // The noise picks up at its pace, without a burst for the time nobody was there. Without
    // noise nothing would clear this, and the loop would spin waiting to write nothing.
    noiseBlocked_ = noise_ && !noise_->done();
    return true;
}

// The projector stays as it is, half a frame included, as behind a gateway;
// replies owed to the client that left are lost with it.
void Simulator::dropClient()
{
    close(line_.io);
    line_.io = -1;
    out_.clear();
    outbox_ = Outbox(o_.outbox);
}

// Bytes written, 0 when the line is full or the client has just left, -1 on
// a real error.
ssize_t Simulator::writeOut(std::string_view data)
{
    const ssize_t n = writeSome(line_.io, data);
    if (n < 0 && line_.tcp() && (errno == EPIPE || errno == ECONNRESET)) {
        dropClient();
        return 0;
    }
    return n;
}

bool Simulator::readInput()
{
    char buf[4096];
    const ssize_t n = read(line_.io, buf, sizeof buf);
    if ((n == 0 || (n < 0 && errno == ECONNRESET)) && line_.tcp()) {
        dropClient();
        return true;
    }
    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || complain("read");
    if (n == 0) {
        errno = EIO; // the simulator holds the other end, so this is no hangup
        return complain("read");
    }
    const Millis t = now();
    for (const Exchange &ex : projector_.receive(std::string_view(buf, static_cast<std::size_t>(n)), t)) {
        // A frame that cannot be logged is not answered: the log is the witness.
        if (log_ && !logFrame(ex, t))
            return complain("cannot write " + o_.logPath);
        outbox_.post(ex.reply, t);
        if (o_.hangupAfter && ++frames_ >= *o_.hangupAfter) {
            closing_ = true;
            lastWrite_ = t;
            break;
        }
    }
    return true;
}

bool Simulator::logFrame(const Exchange &ex, Millis t)
{
    std::fprintf(log_, "%lld %s", static_cast<long long>(t), escapeFrame(ex.frame).c_str());
    if (ex.dropped)
        std::fprintf(log_, " [+%zu bytes]", ex.dropped);
    std::fputc('\n', log_);
    return std::fflush(log_) == 0 && !std::ferror(log_);
}

bool Simulator::flush(Millis t)
{
    while (!out_.empty()) {
        const ssize_t n = writeOut(out_);
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
    if (!noise_ || noise_->done() || line_.io < 0)
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
        const ssize_t w = writeOut(noise_->peek(n));
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
    if (line_.io < 0) // the client left first
        return true;
    if (!outbox_.empty())
        return false;
    if (t - lastWrite_ >= kGiveUpMs)
        return true;
    if (!out_.empty())
        return false;
    int unread = 0; // on TCP, not yet acknowledged: then it is the client's to read
    ioctl(line_.tcp() ? line_.io : line_.slave, line_.tcp() ? SIOCOUTQ : TIOCINQ, &unread);
    return unread == 0 && t - lastWrite_ >= kSettleMs;
}

bool Simulator::stdoutUnread()
{
    int unread = 0;
    ioctl(watchedStdout_, FIONREAD, &unread);
    watchedStdout_ = -1; // read and closed is fine: the line was all it was for
    errno = EPIPE;
    return unread > 0;
}

void Simulator::hangUp()
{
    for (int *fd : {&line_.io, &line_.slave, &line_.listener}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}

int Simulator::run()
{
    sigset_t waitMask;
    sigprocmask(SIG_SETMASK, nullptr, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGHUP);
    if (struct stat st{}; fstat(STDOUT_FILENO, &st) == 0 && S_ISFIFO(st.st_mode))
        watchedStdout_ = STDOUT_FILENO;

    while (!stopRequested) {
        const Millis t = now();
        out_ += outbox_.takeDue(t);
        if (!flush(t) || (out_.empty() && !closing_ && !sendNoise(t))) {
            complain("write");
            return 1;
        }
        if (closing_ && readyToHangUp(t))
            break;

        std::optional<Millis> wake = outbox_.nextDue();
        const bool waiting = line_.io < 0; // for a TCP client
        const bool noiseWaiting = noise_ && !noise_->done() && !closing_ && !waiting;
        if (noiseWaiting && !noise_->paced() && !noiseBlocked_ && out_.empty())
            wake = t; // more flood to write as soon as input has had its turn
        else if (noiseWaiting && !noiseBlocked_)
            if (const auto n = noise_->nextAt(); n && (!wake || *n < *wake))
                wake = n;

        if (closing_ && (!wake || *wake > t + 10))
            wake = t + 10;

        // Past the last frame, input is left unread.
        const bool takeInput = waiting || !(closing_ || full());
        pollfd fds[] = {{waiting ? line_.listener : line_.io, static_cast<short>(takeInput ? POLLIN : 0), 0},
                        {watchedStdout_, 0, 0}}; // only a closed reader reports
        pollfd &pfd = fds[0];
        if (!waiting && (!out_.empty() || (noiseBlocked_ && !closing_)))
            pfd.events |= POLLOUT;
        timespec ts{};
        if (wake) {
            const Millis ms = std::max<Millis>(0, *wake - t);
            ts.tv_sec = ms / 1000;
            ts.tv_nsec = (ms % 1000) * 1'000'000;
        }
        const int r = ppoll(fds, std::size(fds), wake ? &ts : nullptr, &waitMask);
        if (r < 0 && errno != EINTR) {
            complain("poll");
            return 1;
        }
        if (r > 0 && waiting) {
            if ((pfd.revents & POLLIN) && !accept())
                return 1;
        } else if (r > 0 && (pfd.revents & POLLIN)) {
            if (!readInput())
                return 1;
        } else if (r > 0 && (pfd.revents & (POLLERR | POLLHUP)) && line_.tcp()) {
            dropClient(); // reset while its input was not wanted
        }
        if (r > 0 && fds[1].revents && stdoutUnread()) {
            complain("nobody read the device from standard output");
            return 1;
        }
    }
    hangUp();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    // A reader that went away is a failed write to report, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);

    Options opts;
    bool help = false;
    if (const auto err = parseOptions(argc, argv, opts, help)) {
        std::fprintf(stderr, "projector-sim: %s\n%.*s", err->c_str(), static_cast<int>(kUsage.size()),
                     kUsage.data());
        return 2;
    }
    if (help)
        return writeStdout(kUsage) ? 0 : 1;

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

    auto line = opts.tcp ? listenTcp(*opts.tcp) : openPty();
    if (!line) {
        complain(opts.tcp ? "cannot listen on TCP" : "cannot open a pseudo-terminal");
        return 1;
    }
    const std::string device = line->name;
    if (!opts.link.empty() && !makeLink(opts.link, device))
        return 1;

    int rc = writeStdout(device + '\n') ? Simulator(opts, std::move(*line), log).run() : 1;

    if (!opts.link.empty())
        removeLink(opts.link, device);
    if (log && std::fclose(log) != 0 && rc == 0)
        rc = complain("cannot write " + opts.logPath) ? 0 : 1;
    return rc;
}
